"""The real-time channel spoken with raw Engine.IO text frames."""

import asyncio
import json

import aiohttp

from conftest import PING_INTERVAL, PING_TIMEOUT, SocketClient, run, sockets


def test_handshake_and_refused_connections(srv):
    async def body():
        client = await SocketClient().open(srv.base, srv.session().cookie)
        try:
            assert client.open_packet["upgrades"] == []
            assert client.open_packet["pingInterval"] == int(PING_INTERVAL * 1000)
            assert client.open_packet["pingTimeout"] == int(PING_TIMEOUT * 1000)
            ack = await client.wait_frame(lambda f: f.startswith("4"))
            assert ack.startswith("40{") and json.loads(ack[2:])["sid"]
        finally:
            await client.close()

        for cookie in (None, "session=forged", "other=1"):
            refused = await SocketClient().open(srv.base, cookie)
            try:
                frame = await refused.wait_frame(lambda f: f.startswith("4"))
                assert frame.startswith("44") and json.loads(frame[2:])["message"], frame
            finally:
                await refused.close()
        assert srv.control("GET", "sockets") == {"sockets": []}

        # Polling is not offered: without transport=websocket the request fails.
        async with aiohttp.ClientSession() as http:
            async with http.get(srv.base + "/socket.io/?EIO=4&transport=polling") as reply:
                assert reply.status >= 400

    run(body())


def test_heartbeat_keeps_answering_clients_and_drops_silent_ones(srv):
    async def body():
        async with sockets(srv, "luna", "orion") as (lively, silent):
            silent.answer_pings = False
            await asyncio.wait_for(silent.closed.wait(), PING_INTERVAL + PING_TIMEOUT + 2)
            assert not lively.closed.is_set() and lively.frames.count("2") >= 1
            assert [s["username"] for s in srv.control("GET", "sockets")["sockets"]] == ["luna"]
            await lively.event("online_members_changed")

    run(body())


def test_presence_follows_sockets(srv):
    async def body():
        member = srv.session("orion")
        async with sockets(srv, "luna") as (luna,):
            orion = await SocketClient("orion").connect(srv.base, member.cookie)
            assert await luna.event("online_members_changed") is not None
            presence = member.get("/api/desktop/presence").json()
            assert presence["online_count"] == 2
            assert sorted(m["username"] for m in presence["members"] if m["online"]) == ["luna", "orion"]
            online = member.get("/api/online-members").json()
            assert sorted(m["username"] for m in online) == ["luna", "orion"]
            assert all(m["online"] is True and m["voice_active"] is False for m in online)
            assert member.get("/api/desktop/users/luna").json()["user"]["online"] is True

            await orion.close()
            await luna.event("online_members_changed")
            assert [m["username"] for m in member.get("/api/online-members").json()] == ["luna"]

            # A profile change refreshes the panels too.
            member.post("/api/desktop/profile", {"status": "Away"})
            await luna.event("online_members_changed")

    run(body())


def test_chat_messages_are_stored_and_broadcast(srv):
    async def body():
        member = srv.session("luna")
        before = member.get("/api/desktop/profile").json()["user"]["message_count"]
        async with sockets(srv, "luna", "orion") as (luna, orion):
            await luna.emit("send_message", {"text": "  Hello lodge ✨  "})
            for client in (luna, orion):
                message = await client.event("receive_message")
                assert message["sender"] == "luna" and message["text"] == "Hello lodge ✨"
                assert message["created_at"][10] == "T"
            history = member.get("/api/desktop/chat/messages").json()["messages"]
            assert history[-1]["text"] == "Hello lodge ✨" and history[-1]["sender"] == "luna"
            assert member.get("/api/desktop/profile").json()["user"]["message_count"] == before + 1

            for junk in ({"text": "   "}, {"text": 5}, "plain", None, {"text": "x" * 5000}):
                await luna.emit("send_message", junk)
            await orion.no_event("receive_message")
            assert len(member.get("/api/desktop/chat/messages").json()["messages"]) == len(history)

    run(body())


def test_voice_room_join_relay_and_leave(srv):
    async def body():
        async with sockets(srv, "luna", "orion", "nova") as (luna, orion, nova):
            await luna.emit("voice_join")
            assert await luna.event("voice_existing_users") == []
            status = await luna.event("voice_account_status")
            assert status["username"] == "luna" and status["voice_active"] is True
            await orion.event("online_members_changed")
            await nova.event("online_members_changed")
            await orion.no_event("voice_user_joined", within=0.1)

            await orion.emit("voice_join")
            assert await orion.event("voice_existing_users") == [{"sid": luna.sid, "username": "luna"}]
            assert await luna.event("voice_user_joined") == {"sid": orion.sid, "username": "orion"}
            await orion.event("voice_account_status")
            await nova.event("online_members_changed")
            await luna.no_event("online_members_changed", within=0.1)
            presence = srv.session().get("/api/desktop/presence").json()["members"]
            assert {m["username"] for m in presence if m["voice_active"]} == {"luna", "orion"}

            offer = {"targetSid": luna.sid, "offer": {"type": "offer", "sdp": "v=0 ✓"}}
            await orion.emit("voice_offer", offer)
            assert await luna.event("voice_offer") == {**offer, "fromSid": orion.sid}
            answer = {"targetSid": orion.sid, "answer": {"type": "answer", "sdp": "v=0"}}
            await luna.emit("voice_answer", answer)
            assert await orion.event("voice_answer") == {**answer, "fromSid": luna.sid}
            candidate = {"targetSid": orion.sid, "candidate": {"candidate": "candidate:1 1 UDP", "sdpMid": "0"}}
            await luna.emit("voice_ice_candidate", candidate)
            assert await orion.event("voice_ice_candidate") == {**candidate, "fromSid": luna.sid}
            # Unknown or missing targets go nowhere.
            await luna.emit("voice_offer", {"targetSid": "nobody", "offer": {}})
            await luna.emit("voice_answer", {"answer": {}})
            await nova.no_event("voice_offer", within=0.1)
            await orion.no_event("voice_offer", within=0.1)

            await orion.emit("voice_leave")
            assert await luna.event("voice_user_left") == {"sid": orion.sid}
            assert (await orion.event("voice_account_status"))["voice_active"] is False
            await nova.event("online_members_changed")
            await orion.emit("voice_leave")  # not in voice: nothing happens
            await luna.no_event("voice_user_left", within=0.1)

    run(body())


def test_joins_at_the_same_time_meet_exactly_once(srv):
    """Each of two members joining together learns of the other once: from the
    existing list or from a joined event, never both and never neither."""
    async def body():
        async with sockets(srv, "luna", "orion") as (luna, orion):
            await asyncio.gather(luna.emit("voice_join"), orion.emit("voice_join"))
            luna_existing = await luna.event("voice_existing_users")
            orion_existing = await orion.event("voice_existing_users")
            assert len(luna_existing) + len(orion_existing) == 1
            later, earlier = (orion, luna) if orion_existing else (luna, orion)
            assert await earlier.event("voice_user_joined") == {"sid": later.sid, "username": later.name}
            await later.no_event("voice_user_joined", within=0.2)

    run(body())


def test_disconnect_leaves_the_voice_room(srv):
    async def body():
        async with sockets(srv, "luna", "orion") as (luna, orion):
            await luna.emit("voice_join")
            await orion.emit("voice_join")
            await luna.event("voice_user_joined")
            await orion.close()
            assert await luna.event("voice_user_left") == {"sid": orion.sid}
            await luna.event("online_members_changed")
            presence = srv.session().get("/api/desktop/presence").json()["members"]
            assert [m["username"] for m in presence if m["voice_active"]] == ["luna"]

            async with sockets(srv, "orion") as (again,):
                await again.emit("voice_join")
                assert await again.event("voice_existing_users") == [{"sid": luna.sid, "username": "luna"}]
                assert again.sid != orion.sid

    run(body())


def test_new_best_score_announces_a_leaderboard_change(srv):
    async def body():
        async with sockets(srv, "luna") as (luna,):
            srv.control("POST", "score", {"username": "orion", "score": 30000})
            assert (await luna.event("nebulite_leaderboard_changed"))["username"] == "orion"
            board = srv.session().get("/api/desktop/games/leaderboard").json()["leaderboard"]
            assert board[0]["username"] == "orion" and board[0]["best_score"] == 30000
            srv.control("POST", "score", {"username": "orion", "score": 10})
            await luna.no_event("nebulite_leaderboard_changed")

    run(body())
