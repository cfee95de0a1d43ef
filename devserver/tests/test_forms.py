"""State-changing routes: anti-forgery checks, ideas, likes, profile editing."""

import pytest


def first_idea(member):
    return member.get("/api/desktop/ideas").json()["ideas"][0]


@pytest.mark.parametrize("route, body", [
    ("/ideas/create", {"title": "T", "content": "C"}),
    ("/ideas/1/like", None),
    ("/api/desktop/profile", {"description": "d", "status": "Away"}),
])
def test_forged_requests_are_refused(srv, route, body):
    member = srv.session()
    attempts = {
        "missing token": dict(headers={"X-CSRFToken": ""}),
        "wrong token": dict(headers={"X-CSRFToken": srv.session("orion").csrf}),
        "missing referer": dict(referer=None),
        "foreign referer": dict(headers={"Referer": "http://evil.example/ideas"}),
        "look-alike referer": dict(headers={"Referer": srv.base + "0/ideas"}),
    }
    for label, options in attempts.items():
        reply = member.post(route, body, **options)
        assert reply.status == 400, label
        answer = reply.json()
        assert answer["success"] is False and answer["error"], label
    # Nothing was changed by the refused attempts.
    assert len(member.get("/api/desktop/ideas").json()["ideas"]) == 12
    assert member.get("/api/desktop/profile").json()["user"]["status"] == "Online"


def test_publishing_an_idea(srv):
    member = srv.session("nova")
    reply = member.post("/ideas/create", {"title": "  Star map  ", "content": "Clickable constellations."},
                        headers={"Accept": "application/json"}, referer="/ideas")
    assert reply.status == 200 and reply.json()["success"] is True
    newest = first_idea(member)
    assert (newest["title"], newest["author"], newest["can_delete"]) == ("Star map", "nova", True)
    assert newest["like_count"] == 0 and newest["liked_by_me"] is False
    assert member.get("/api/desktop/profile").json()["user"]["idea_count"] == 2
    for bad in ({"title": " ", "content": "x"}, {"title": "x"}, {"title": 3, "content": "x"}):
        refused = member.post("/ideas/create", bad, referer="/ideas")
        assert refused.status == 400 and refused.json()["error"]


def test_likes_toggle_per_member_and_report_the_server_count(srv):
    luna, orion = srv.session("luna"), srv.session("orion")
    idea = first_idea(luna)  # the newest demo idea has no likes
    route = f"/ideas/{idea['id']}/like"
    assert idea["like_count"] == 0

    assert luna.post(route, referer="/ideas").json() == {"success": True, "liked": True, "like_count": 1}
    assert orion.post(route, referer="/ideas").json() == {"success": True, "liked": True, "like_count": 2}
    assert luna.post(route, referer="/ideas").json() == {"success": True, "liked": False, "like_count": 1}

    seen_by_orion = first_idea(orion)
    assert seen_by_orion["like_count"] == 1 and seen_by_orion["liked_by_me"] is True
    assert first_idea(luna)["liked_by_me"] is False

    missing = luna.post("/ideas/999999/like", referer="/ideas")
    assert missing.status == 404 and missing.json()["success"] is False


def test_profile_edit(srv):
    member = srv.session("mira")
    reply = member.post("/api/desktop/profile", {"description": "  spaces kept  ", "status": "Gaming"},
                        headers={"Content-Type": "application/json"})
    assert reply.status == 200 and reply.json()["success"] is True
    user = member.get("/api/desktop/profile").json()["user"]
    assert user["description"] == "  spaces kept  " and user["status"] == "Gaming"
    public = srv.session().get("/api/desktop/users/mira").json()["user"]
    assert public["status"] == "Gaming"

    refused = member.post("/api/desktop/profile", {"description": "x", "status": "Sleeping"})
    assert refused.status == 400 and refused.json()["success"] is False
    too_long = member.post("/api/desktop/profile", {"description": "x" * 501, "status": "Away"})
    assert too_long.status == 400
    assert member.get("/api/desktop/profile").json()["user"]["status"] == "Gaming"
