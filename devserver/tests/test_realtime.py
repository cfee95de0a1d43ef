# The real-time channel spoken with raw Engine.IO text frames.

import asyncio
import json

import aiohttp

from conftest import PING_INTERVAL, PING_TIMEOUT, SocketClient, sockets


async def test_handshake_and_refused_connections(srv):
    for cookie in (None, "session=forged", "other=1"):
        refused = await SocketClient().open(srv.base, cookie, ack=False)
        try:
            frame = await refused.wait_frame(lambda f: f.startswith("4"))
            assert frame.startswith("44") and json.loads(frame[2:])["message"], frame
        finally:
            await refused.close()
    assert srv.control("GET", "sockets") == {"sockets": []}
    async with aiohttp.ClientSession() as http:  # polling is not offered
        async with http.get(srv.base + "/socket.io/?EIO=4&transport=polling") as reply:
            assert reply.status >= 400


async def test_heartbeat_keeps_answering_clients_and_drops_silent_ones(srv):
    async with sockets(srv, "luna", "orion") as (lively, silent):
        silent.answer_pings = False
        await asyncio.wait_for(silent.closed.wait(), PING_INTERVAL + PING_TIMEOUT + 2)
        assert not lively.closed.is_set() and "2" in lively.frames
        assert silent.open_packet["upgrades"] == [] and silent.open_packet["pingInterval"] == PING_INTERVAL * 1000
        assert [s["username"] for s in srv.control("GET", "sockets")["sockets"]] == ["luna"]


async def test_presence_follows_sockets_and_profiles(srv):
    member = srv.session("orion")
    async with sockets(srv, "luna") as (luna,):
        orion = await SocketClient("orion").open(srv.base, member.cookie)
        await luna.event("online_members_changed")
        assert member.get("/api/desktop/presence").json()["online_count"] == 2
        await orion.close()
        await luna.event("online_members_changed")
        assert [m["username"] for m in member.get("/api/online-members").json()] == ["luna"]
        member.post("/api/desktop/profile", {"status": "Away"})
        await luna.event("online_members_changed")


async def test_chat_messages_are_stored_and_broadcast(srv):
    async with sockets(srv, "luna", "orion") as (luna, orion):
        member = luna.member
        await luna.emit("send_message", {"text": "  Hello lodge ✨  "})
        for client in (luna, orion):
            message = await client.event("receive_message")
            assert (message["sender"], message["text"]) == ("luna", "Hello lodge ✨")
        history = member.get("/api/desktop/chat/messages").json()["messages"]
        assert history[-1]["text"] == "Hello lodge ✨"
        for junk in ({"text": "   "}, {"text": 5}, "plain", None, {"text": "x" * 5000}):
            await luna.emit("send_message", junk)
        await orion.no_event("receive_message")
        assert len(member.get("/api/desktop/chat/messages").json()["messages"]) == len(history)


async def test_voice_room_join_relay_and_leave(srv):
    async with sockets(srv, "luna", "orion", "nova") as (luna, orion, nova):
        await luna.emit("voice_join")
        assert await luna.event("voice_existing_users") == []
        assert (await luna.event("voice_account_status"))["voice_active"] is True
        await nova.event("online_members_changed")
        await orion.emit("voice_join")
        assert await orion.event("voice_existing_users") == [{"sid": luna.sid, "username": "luna"}]
        assert await luna.event("voice_user_joined") == {"sid": orion.sid, "username": "orion"}
        await orion.event("voice_account_status")
        assert {m["username"] for m in srv.session().get("/api/online-members").json() if m["voice_active"]} == {
            "luna", "orion"}

        for sender, target, kind, payload in ((orion, luna, "voice_offer", {"type": "offer", "sdp": "v=0 ✓"}),
                                              (luna, orion, "voice_answer", {"type": "answer", "sdp": "v=0"}),
                                              (luna, orion, "voice_ice_candidate", {"candidate": "c", "sdpMid": "0"})):
            key = "candidate" if kind == "voice_ice_candidate" else kind[6:]
            await sender.emit(kind, {"targetSid": target.sid, key: payload})
            assert await target.event(kind) == {"targetSid": target.sid, key: payload, "fromSid": sender.sid}
        await luna.emit("voice_offer", {"targetSid": "nobody", "offer": {}})  # unknown or missing targets
        await luna.emit("voice_answer", {"answer": {}})
        await nova.no_event("voice_offer", within=0.1)
        await orion.no_event("voice_offer", within=0.1)

        await orion.emit("voice_leave")
        assert await luna.event("voice_user_left") == {"sid": orion.sid}
        assert (await orion.event("voice_account_status"))["voice_active"] is False
        await orion.emit("voice_leave")  # not in voice: nothing happens
        await luna.no_event("voice_user_left", within=0.1)


async def test_joins_at_the_same_time_meet_exactly_once(srv):
    # Each of two members joining together learns of the other once: from the
    # existing list or from a joined event, never both and never neither.
    async with sockets(srv, "luna", "orion") as (luna, orion):
        await asyncio.gather(luna.emit("voice_join"), orion.emit("voice_join"))
        luna_existing = await luna.event("voice_existing_users")
        orion_existing = await orion.event("voice_existing_users")
        assert len(luna_existing) + len(orion_existing) == 1
        later, earlier = (orion, luna) if orion_existing else (luna, orion)
        assert await earlier.event("voice_user_joined") == {"sid": later.sid, "username": later.name}
        await later.no_event("voice_user_joined", within=0.2)
        await later.close()  # a dropped connection leaves the room
        assert await earlier.event("voice_user_left") == {"sid": later.sid}


async def test_only_a_new_best_score_announces_a_leaderboard_change(srv):
    async with sockets(srv, "luna") as (luna,):
        srv.control("POST", "score", {"username": "orion", "score": 30000})
        assert (await luna.event("nebulite_leaderboard_changed"))["username"] == "orion"
        srv.control("POST", "score", {"username": "orion", "score": 10})
        await luna.no_event("nebulite_leaderboard_changed")
