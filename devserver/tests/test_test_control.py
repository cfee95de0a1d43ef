# The /__test__/ surface exists only when asked for and only for loopback peers; reset
# forgets everything. (Emit, socket controls, failures, the request log, sessions, scores
# and the chat route are used by the client's suites.)

import asyncio
import socket
from unittest import mock

from aiohttp import web
from aiohttp.test_utils import make_mocked_request

from conftest import Server, sockets, start_server, stop_server


async def test_reset_restores_the_demo_and_forgets_everything(srv):
    member = srv.session()
    member.post("/ideas/create", {"title": "temp", "content": "temp"})
    member.post("/api/desktop/profile", {"status": "Busy", "description": "changed"})
    srv.control("POST", "fail", {"path": "/api/desktop/members"})
    async with sockets(srv, "luna", settle=False) as (client,):
        assert srv.control("POST", "reset") == {"success": True}
        await asyncio.wait_for(client.closed.wait(), 3)
    assert srv.control("GET", "sockets") == {"sockets": []} and srv.control("GET", "requests") == {"requests": []}
    assert member.get("/api/desktop/profile").status == 401, "sessions are dropped"
    fresh = srv.session()
    assert fresh.get("/api/desktop/members").status == 200, "pending failures are dropped"
    assert len(fresh.get("/api/desktop/ideas").json()["ideas"]) == 12
    assert fresh.get("/api/desktop/profile").json()["user"]["status"] == "Online"


def test_test_control_only_exists_when_enabled_and_server_stops_cleanly(tmp_path):
    proc, base = start_server(tmp_path)
    try:
        assert Server(base, tmp_path).post("/__test__/reset").status == 404
    finally:
        assert stop_server(proc) == 0


async def test_test_control_refuses_peers_that_are_not_loopback(server):
    from moonlodge_dev.testcontrol import TestControl, is_loopback

    assert all(map(is_loopback, ("127.0.0.1", "::1", "::ffff:127.0.0.1")))
    assert not any(map(is_loopback, ("192.0.2.10", "2001:db8::1", None)))
    handler = mock.AsyncMock(return_value=web.Response(text="ran"))
    for peer, status in (("192.0.2.10", 403), ("127.0.0.1", 200)):
        transport = mock.Mock()
        transport.get_extra_info.side_effect = lambda key, default=None: (peer, 4242) if key == "peername" else default
        request = make_mocked_request("POST", "/__test__/reset", transport=transport)
        assert (await TestControl().middleware(request, handler)).status == status
    assert handler.call_count == 1
    with socket.socket() as probe:  # the server listens on 127.0.0.1 only
        probe.settimeout(2)
        assert probe.connect_ex(("127.0.0.2", server.port)) != 0
