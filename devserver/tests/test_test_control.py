"""The /__test__/ surface where the client's suites do not already lean on it: reset,
emit, socket controls, the chat route, and that it exists only on loopback when asked for.
(Failure injection, the request log, sessions and scores are used by every page suite.)"""

import asyncio
import http.client
import socket
import time
from unittest import mock

from aiohttp import web
from aiohttp.test_utils import make_mocked_request

from conftest import run, sockets, start_server, stop_server


def test_bad_failure_specs_are_rejected(srv):
    for failure in ({}, {"path": "/x", "mode": "explode"}, {"path": "/x", "count": "many"}):
        reply = srv.post("/__test__/fail", failure)
        assert reply.status == 400 and reply.json()["success"] is False


def test_reset_restores_the_demo_and_forgets_everything(srv):
    member = srv.session()
    member.post("/ideas/create", {"title": "temp", "content": "temp"})
    member.post("/api/desktop/profile", {"status": "Busy", "description": "changed"})
    srv.control("POST", "fail", {"path": "/api/desktop/members"})

    async def body():
        async with sockets(srv, "luna", settle=False) as (client,):
            assert srv.control("POST", "reset") == {"success": True}
            await asyncio.wait_for(client.closed.wait(), 3)

    run(body())
    assert srv.control("GET", "sockets") == {"sockets": []}
    assert srv.control("GET", "requests") == {"requests": []}
    assert member.get("/api/desktop/profile").status == 401, "sessions are dropped"
    fresh = srv.session()
    assert fresh.get("/api/desktop/members").status == 200, "pending failures are dropped"
    assert len(fresh.get("/api/desktop/ideas").json()["ideas"]) == 12
    assert fresh.get("/api/desktop/profile").json()["user"]["status"] == "Online"


def test_emit_targets_a_member_or_everyone(srv):
    async def body():
        async with sockets(srv, "luna", "luna", "orion", settle=False) as (luna_a, luna_b, orion):
            sent = srv.control("POST", "emit", {"event": "custom", "data": {"n": 1}, "username": "luna"})
            assert sent == {"success": True, "delivered": 2}
            assert await luna_a.event("custom") == {"n": 1}
            assert await luna_b.event("custom") == {"n": 1}
            await orion.no_event("custom")

            sent = srv.control("POST", "emit", {"event": "bare"})
            assert sent["delivered"] == 3
            frame = await orion.wait_frame(lambda f: f.startswith('42["bare"'))
            assert frame == '42["bare"]'
            assert srv.control("POST", "emit", {"event": "x", "username": "drifter"})["delivered"] == 0

            listed = srv.control("GET", "sockets")["sockets"]
            assert sorted((s["sid"], s["username"], s["voice"]) for s in listed) == sorted(
                [(luna_a.sid, "luna", False), (luna_b.sid, "luna", False), (orion.sid, "orion", False)])

    run(body())


def test_test_control_only_exists_when_enabled_and_server_stops_cleanly(tmp_path):
    proc, base = start_server(tmp_path)
    try:
        host, port = base.split("//")[1].split(":")
        conn = http.client.HTTPConnection(host, int(port), timeout=5)
        conn.request("POST", "/__test__/reset")
        assert conn.getresponse().status == 404
        conn.close()
    finally:
        started = time.monotonic()
        assert stop_server(proc) == 0
        assert time.monotonic() - started < 5
    assert (tmp_path / "moonlodge.sqlite3").is_file()
    assert (tmp_path / "generated" / "images" / "nebulite.png").is_file()


def test_test_control_refuses_peers_that_are_not_loopback():
    from moonlodge_dev.testcontrol import TestControl, is_loopback

    assert is_loopback("127.0.0.1") and is_loopback("::1") and is_loopback("::ffff:127.0.0.1")
    assert not is_loopback("192.0.2.10") and not is_loopback("2001:db8::1") and not is_loopback(None)

    async def body():
        control = TestControl()
        handler = mock.AsyncMock(return_value=web.Response(text="ran"))
        transport = mock.Mock()
        transport.get_extra_info.side_effect = \
            lambda key, default=None: ("192.0.2.10", 4242) if key == "peername" else default
        request = make_mocked_request("POST", "/__test__/reset", transport=transport)
        reply = await control.middleware(request, handler)
        assert reply.status == 403 and not handler.called
        transport.get_extra_info.side_effect = \
            lambda key, default=None: ("127.0.0.1", 4242) if key == "peername" else default
        request = make_mocked_request("POST", "/__test__/reset", transport=transport)
        assert (await control.middleware(request, handler)).text == "ran"

    run(body())


def test_server_binds_only_the_requested_address(server):
    # The shared server was started on 127.0.0.1: another loopback address is not served.
    with socket.socket() as probe:
        probe.settimeout(2)
        assert probe.connect_ex(("127.0.0.2", server.port)) != 0


def test_socket_controls_close_or_end_the_namespace(srv):
    async def body():
        async with sockets(srv, "luna", "orion", settle=False) as (luna, orion):
            ended = srv.control("POST", "sockets/namespace-disconnect", {"username": "luna"})
            assert ended["disconnected"] == 1
            assert await luna.wait_frame(lambda f: f == "41")
            assert not luna.closed.is_set(), "the transport stays open"
            await luna.emit("send_message", {"text": "lost"})
            await orion.no_event("receive_message")

            assert srv.control("POST", "sockets/close", {"username": "orion"})["closed"] == 1
            await asyncio.wait_for(orion.closed.wait(), 3)

    run(body())


def test_chat_route_replaces_the_history(srv):
    member = srv.session()
    assert srv.control("POST", "chat", {"count": 1000}) == {"success": True, "count": 1000}
    messages = member.get("/api/desktop/chat/messages").json()["messages"]
    assert len(messages) == 1000 and len({m["id"] for m in messages}) == 1000
    assert [m["created_at"] for m in messages] == sorted(m["created_at"] for m in messages)
    assert srv.post("/__test__/chat", {"count": -1}).status == 400
