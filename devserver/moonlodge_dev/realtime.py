"""The real-time channel: Socket.IO on /socket.io/, WebSocket transport only.

Keeps the live sockets (who is online) and the voice room (who is in voice),
stores and broadcasts chat messages and relays the voice signalling.
"""

from __future__ import annotations

import asyncio
import logging
from dataclasses import dataclass
from http.cookies import CookieError, SimpleCookie

import socketio

from .security import SESSION_COOKIE
from .store import Store
from .views import message_object

log = logging.getLogger("moonlodge.realtime")

MAX_MESSAGE_LENGTH = 2000
RELAYED_VOICE_EVENTS = ("voice_offer", "voice_answer", "voice_ice_candidate")


@dataclass
class Client:
    sid: str
    user_id: int
    username: str
    session_token: str
    transport: asyncio.Transport | None = None


def session_token_from_cookie_header(header: str) -> str | None:
    cookies = SimpleCookie()
    try:
        cookies.load(header or "")
    except CookieError:
        return None
    morsel = cookies.get(SESSION_COOKIE)
    return morsel.value if morsel else None


class Realtime:
    def __init__(self, store: Store, ping_interval: float, ping_timeout: float):
        self.store = store
        self.sio = socketio.AsyncServer(
            async_mode="aiohttp",
            transports=["websocket"],
            ping_interval=ping_interval,
            ping_timeout=ping_timeout,
            async_handlers=False,  # one client's events are handled in order
            logger=False,
            engineio_logger=False,
        )
        self.clients: dict[str, Client] = {}
        self.voice_room: dict[str, None] = {}  # sids in join order
        self.sio.on("connect", self.on_connect)
        self.sio.on("disconnect", self.on_disconnect)
        self.sio.on("send_message", self.on_send_message)
        self.sio.on("voice_join", self.on_voice_join)
        self.sio.on("voice_leave", self.on_voice_leave)
        for event in RELAYED_VOICE_EVENTS:
            self.sio.on(event, self._relay_handler(event))

    def attach(self, app) -> None:
        self.sio.attach(app, socketio_path="socket.io")

    # --- presence queries used by the HTTP routes --------------------------

    def online_user_ids(self) -> set[int]:
        return {c.user_id for c in self.clients.values()}

    def voice_user_ids(self) -> set[int]:
        return {self.clients[sid].user_id for sid in self.voice_room if sid in self.clients}

    def sids_of_user(self, username: str) -> list[str]:
        return [sid for sid, c in self.clients.items() if c.username == username]

    def sockets(self) -> list[dict]:
        return [{"sid": c.sid, "username": c.username, "voice": c.sid in self.voice_room}
                for c in self.clients.values()]

    # --- sending -----------------------------------------------------------

    async def emit_to(self, sids, event: str, data=None) -> int:
        count = 0
        for sid in list(sids):
            if sid in self.clients:
                await self.sio.emit(event, data, to=sid)
                count += 1
        return count

    async def broadcast(self, event: str, data=None, skip: set[str] | None = None) -> int:
        return await self.emit_to([s for s in self.clients if not skip or s not in skip], event, data)

    async def members_changed(self, skip: set[str] | None = None) -> None:
        await self.broadcast("online_members_changed",
                             {"online_count": len(self.online_user_ids())}, skip)

    async def disconnect_where(self, predicate) -> None:
        """Close the sockets of the clients the predicate picks."""
        for sid, client in list(self.clients.items()):
            if predicate(client):
                await self._force_close(sid, client)

    async def _force_close(self, sid: str, client: Client) -> None:
        """Engine.IO close packet, disconnect handling, then the TCP connection itself.

        The connection is closed by the server because a client is not required
        to hang up when it receives the close packet.
        """
        eio_sid = self.sio.manager.eio_sid_from_sid(sid, "/")
        eio_socket = self.sio.eio.sockets.get(eio_sid) if eio_sid else None
        if eio_socket is not None and not eio_socket.closed:
            await eio_socket.close(wait=False)  # runs on_disconnect, queues the close packet
            try:  # let the writer flush the close packet (it may already be gone)
                await asyncio.wait_for(eio_socket.queue.join(), 0.5)
            except asyncio.TimeoutError:
                pass
        if sid in self.clients:
            await self.on_disconnect(sid)
        if client.transport is not None:
            client.transport.close()

    async def end_namespace(self, sid: str) -> None:
        """A namespace disconnect ("41") with the transport left open: the
        member counts as gone and later packets of the socket reach nobody."""
        eio_sid = self.sio.manager.eio_sid_from_sid(sid, "/")
        if eio_sid:
            await self.sio.eio.send(eio_sid, "1")
        await self.on_disconnect(sid)

    async def disconnect_all(self) -> None:
        await self.disconnect_where(lambda client: True)

    async def disconnect_session(self, token: str) -> None:
        await self.disconnect_where(lambda client: client.session_token == token)

    # --- connection ----------------------------------------------------------

    async def on_connect(self, sid, environ, auth=None):
        token = session_token_from_cookie_header(environ.get("HTTP_COOKIE", ""))
        session = self.store.session(token)
        user = self.store.user_by_id(session["user_id"]) if session else None
        if user is None:
            log.info("refused socket without a valid session")
            raise socketio.exceptions.ConnectionRefusedError("Authentication required.")
        request = environ.get("aiohttp.request")
        self.clients[sid] = Client(sid, user["id"], user["username"], token,
                                   request.transport if request is not None else None)
        log.info("socket %s connected for %s", sid, user["username"])
        # The connecting socket itself is not acknowledged yet: tell the others.
        await self.members_changed(skip={sid})

    async def on_disconnect(self, sid):
        client = self.clients.pop(sid, None)
        if client is None:
            return
        log.info("socket %s of %s disconnected", sid, client.username)
        if sid in self.voice_room:
            del self.voice_room[sid]
            await self.emit_to(self.voice_room, "voice_user_left", {"sid": sid})
            await self.emit_to(self.sids_of_user(client.username), "voice_account_status",
                               self._voice_status(client, sid))
        await self.members_changed()

    # --- chat ----------------------------------------------------------------

    async def on_send_message(self, sid, data=None):
        client = self.clients.get(sid)
        if client is None or not isinstance(data, dict) or not isinstance(data.get("text"), str):
            return
        text = data["text"].strip()
        if not text or len(text) > MAX_MESSAGE_LENGTH:
            return
        row = self.store.add_message(client.user_id, text)
        await self.broadcast("receive_message", message_object(row))

    # --- voice room ----------------------------------------------------------

    def _voice_status(self, client: Client, changed_sid: str) -> dict:
        active = client.user_id in self.voice_user_ids()
        return {"username": client.username, "voice_active": active, "sid": changed_sid,
                "in_voice": changed_sid in self.voice_room}

    async def _announce_voice_change(self, client: Client, sid: str, others_in_room: list,
                                     room_event: str, room_data) -> None:
        """Tell the room, the member and everybody else (one event per socket).

        The room is taken by the caller together with the membership change,
        before any await, so that joins handled at the same time see each other
        exactly once."""
        own = self.sids_of_user(client.username)
        await self.emit_to(others_in_room, room_event, room_data)
        await self.emit_to(own, "voice_account_status", self._voice_status(client, sid))
        told = set(others_in_room) | set(own)
        await self.members_changed(skip=told)

    async def on_voice_join(self, sid, data=None):
        client = self.clients.get(sid)
        if client is None:
            return
        existing = [{"sid": s, "username": self.clients[s].username}
                    for s in self.voice_room if s != sid and s in self.clients]
        newcomer = sid not in self.voice_room
        others_in_room = [s for s in self.voice_room if s != sid]
        self.voice_room[sid] = None
        await self.sio.emit("voice_existing_users", existing, to=sid)
        if not newcomer:
            return  # a repeated join only refreshes the list
        log.info("%s (%s) joined voice", client.username, sid)
        await self._announce_voice_change(client, sid, others_in_room, "voice_user_joined",
                                          {"sid": sid, "username": client.username})

    async def on_voice_leave(self, sid, data=None):
        client = self.clients.get(sid)
        if client is None or sid not in self.voice_room:
            return
        del self.voice_room[sid]
        others_in_room = list(self.voice_room)
        log.info("%s (%s) left voice", client.username, sid)
        await self._announce_voice_change(client, sid, others_in_room, "voice_user_left", {"sid": sid})

    def _relay_handler(self, event: str):
        async def relay(sid, data=None):
            if sid not in self.clients or not isinstance(data, dict):
                return
            target = data.get("targetSid")
            if not isinstance(target, str) or target not in self.clients or target == sid:
                return
            await self.sio.emit(event, {**data, "fromSid": sid}, to=target)
        return relay
