"""Login, the session cookie, authentication of every API route, logout."""

import asyncio

from conftest import PASSWORD, SocketClient, run

USER_KEYS = {
    "username": str, "profile_image": str, "status": str, "online": bool, "description": str,
    "member_since": str, "message_count": int, "idea_count": int, "nebulite_best_score": int,
}

PROTECTED = [
    ("GET", "/api/desktop/profile"),
    ("POST", "/api/desktop/profile"),
    ("GET", "/api/desktop/users/luna"),
    ("GET", "/api/desktop/members"),
    ("GET", "/api/desktop/presence"),
    ("GET", "/api/online-members"),
    ("GET", "/api/desktop/chat/messages"),
    ("GET", "/api/desktop/ideas"),
    ("GET", "/api/desktop/games/leaderboard"),
    ("POST", "/ideas/create"),
    ("POST", "/ideas/1/like"),
]


def assert_user_object(user, with_email=True):
    for key, kind in USER_KEYS.items():
        assert isinstance(user[key], kind), (key, user.get(key))
    assert ("email" in user) == with_email
    if with_email:
        assert isinstance(user["email"], str) and "@" in user["email"]


def test_login_sets_a_private_session_cookie_and_returns_the_user(srv):
    reply = srv.post("/api/desktop/login", {"username": "  luna ", "password": PASSWORD})
    assert reply.status == 200
    assert b" " not in reply.body.split(b'"description"')[0], "reply JSON is not compact"
    body = reply.json()
    assert body["success"] is True
    assert_user_object(body["user"])
    assert body["user"]["username"] == "luna"
    assert body["user"]["profile_image"] == "cat.png"
    assert body["user"]["member_since"] == "14/01/2023"

    cookies = reply.headers_named("Set-Cookie")
    assert len(cookies) == 1
    name_value, *attributes = [part.strip() for part in cookies[0].split(";")]
    name, value = name_value.split("=", 1)
    assert name == "session" and len(value) >= 32
    lowered = [a.lower() for a in attributes]
    assert "httponly" in lowered and "path=/" in lowered and "samesite=lax" in lowered

    profile = srv.get("/api/desktop/profile", cookie=name_value).json()
    assert profile["success"] is True and profile["user"]["username"] == "luna"

    # Each login gets its own session.
    first, second = srv.login(), srv.login()
    assert first.cookie != second.cookie and first.csrf != second.csrf
    assert first.get("/api/desktop/profile").status == 200 and second.get("/api/desktop/profile").status == 200


def test_failed_logins_are_refused_without_a_cookie(srv):
    for body in ({"username": "luna", "password": "wrong"},
                 {"username": "nobody", "password": PASSWORD},
                 {"username": "luna", "password": " moonlodge"}):
        reply = srv.post("/api/desktop/login", body)
        assert reply.status == 401
        assert reply.json() == {"success": False, "error": "Invalid username or password."}
        assert reply.header("Set-Cookie") is None
    missing = srv.post("/api/desktop/login", {"username": "luna"})
    assert missing.status == 400 and missing.json()["success"] is False
    garbage = srv.post("/api/desktop/login", "not json", headers={"Content-Type": "application/json"})
    assert garbage.status == 400 and isinstance(garbage.json()["error"], str)


def test_every_demo_member_can_log_in_with_the_demo_password(srv):
    names = [m["username"] for m in srv.session().get("/api/desktop/members").json()["members"]]
    assert len(names) >= 8
    for name in names:
        reply = srv.post("/api/desktop/login", {"username": name, "password": PASSWORD})
        assert reply.status == 200, name
        assert reply.json()["user"]["username"] == name


def test_api_routes_refuse_anonymous_and_unknown_sessions(srv):
    for cookie in (None, "session=not-a-session"):
        for method, path in PROTECTED:
            reply = srv.request(method, path, cookie=cookie)
            assert reply.status == 401, (method, path)
            body = reply.json()
            assert body["success"] is False and isinstance(body["error"], str) and body["error"]


def test_logout_redirects_and_ends_the_session(srv):
    member = srv.login()
    reply = member.get("/logout")
    assert reply.status == 302
    assert reply.header("Location") == "/"
    cleared = reply.header("Set-Cookie")
    assert cleared.startswith("session=") and ("Max-Age=0" in cleared or "expires" in cleared.lower())
    assert member.get("/api/desktop/profile").status == 401
    # Logging out without a session is harmless.
    assert srv.get("/logout").status == 302


def test_logout_closes_the_sessions_realtime_sockets(srv):
    async def body():
        member = srv.login()
        other = srv.login("stella")
        mine = await SocketClient("luna").connect(srv.base, member.cookie)
        theirs = await SocketClient("stella").connect(srv.base, other.cookie)
        try:
            member.get("/logout")
            await asyncio.wait_for(mine.closed.wait(), 3)
            await theirs.event("online_members_changed")
            assert [s["username"] for s in srv.control("GET", "sockets")["sockets"]] == ["stella"]
        finally:
            await mine.close()
            await theirs.close()

    run(body())
