# Login, the session cookie, authentication of every API route, logout.

import asyncio

import pytest

from conftest import PASSWORD, sockets

def test_login_sets_a_private_session_cookie_and_returns_the_user(srv):
    reply = srv.post("/api/desktop/login", {"username": "  luna ", "password": PASSWORD})
    assert reply.status == 200 and reply.json()["success"] is True
    assert reply.json()["user"]["member_since"] == "14/01/2023"  # dd/mm/yyyy as the profile shows it
    name_value, *attributes = [part.strip() for part in reply.header("Set-Cookie").split(";")]
    assert name_value.startswith("session=") and len(name_value) >= 40
    assert {"httponly", "path=/", "samesite=lax"} <= {a.lower() for a in attributes}
    assert srv.get("/api/desktop/profile", cookie=name_value).json()["user"]["username"] == "luna"
    again = srv.post("/api/desktop/login", {"username": "luna", "password": PASSWORD})
    assert again.header("Set-Cookie").split(";")[0] != name_value, "each login gets its own session"


@pytest.mark.parametrize("body, status", [
    ({"username": "luna", "password": "wrong"}, 401),
    ({"username": "nobody", "password": PASSWORD}, 401),
    ({"username": "luna", "password": " moonlodge"}, 401),
    ({"username": "luna"}, 400),
    ("not json", 400),
])
def test_failed_logins_are_refused_without_a_cookie(srv, body, status):
    reply = srv.post("/api/desktop/login", body, headers={"Content-Type": "application/json"})
    assert reply.status == status and reply.header("Set-Cookie") is None
    assert reply.json()["success"] is False and reply.json()["error"]
    if status == 401:
        assert reply.json()["error"] == "Invalid username or password."


@pytest.mark.parametrize("cookie", [None, "session=not-a-session"])
def test_api_routes_refuse_anonymous_and_unknown_sessions(srv, cookie):
    for method, path in [("GET", "/api/desktop/profile"), ("POST", "/api/desktop/profile"),
                         ("GET", "/api/desktop/users/luna"), ("GET", "/api/desktop/members"),
                         ("GET", "/api/desktop/presence"), ("GET", "/api/online-members"),
                         ("GET", "/api/desktop/chat/messages"), ("GET", "/api/desktop/ideas"),
                         ("GET", "/api/desktop/games/leaderboard"), ("POST", "/ideas/create"),
                         ("POST", "/ideas/1/like")]:
        reply = srv.request(method, path, cookie=cookie)
        assert reply.status == 401 and reply.json()["success"] is False and reply.json()["error"], path


async def test_logout_ends_the_session_and_closes_its_sockets(srv):
    async with sockets(srv, "luna", "stella") as (mine, theirs):
        reply = mine.member.get("/logout")
        assert reply.status == 302 and reply.header("Location") == "/"
        assert "max-age=0" in reply.header("Set-Cookie").lower() or "expires" in reply.header("Set-Cookie").lower()
        await asyncio.wait_for(mine.closed.wait(), 3)
        await theirs.event("online_members_changed")
        assert [s["username"] for s in srv.control("GET", "sockets")["sockets"]] == ["stella"]
        assert mine.member.get("/api/desktop/profile").status == 401
        assert srv.get("/logout").status == 302  # without a session: harmless
