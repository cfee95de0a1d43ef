# State-changing routes: anti-forgery checks, refusal of invalid ideas and profiles, likes.

import pytest


def first_idea(member):
    return member.get("/api/desktop/ideas").json()["ideas"][0]


@pytest.mark.parametrize("route, body", [("/ideas/create", {"title": "T", "content": "C"}), ("/ideas/1/like", None),
                                         ("/api/desktop/profile", {"description": "d", "status": "Away"})])
@pytest.mark.parametrize("options", [dict(headers={"X-CSRFToken": ""}), "another session's token",
                                     dict(referer=None), dict(headers={"Referer": "http://evil.example/ideas"}),
                                     dict(referer="0/ideas")])  # a look-alike origin
def test_forged_requests_are_refused(srv, route, body, options):
    member = srv.session()
    if isinstance(options, str):
        options = dict(headers={"X-CSRFToken": srv.session("orion").csrf})
    reply = member.post(route, body, **options)
    assert reply.status == 400 and reply.json()["success"] is False and reply.json()["error"]
    assert len(member.get("/api/desktop/ideas").json()["ideas"]) == 12
    assert member.get("/api/desktop/profile").json()["user"]["status"] == "Online"


def test_invalid_ideas_and_profiles_are_refused(srv):
    member = srv.session("mira")
    for route, bad in (("/ideas/create", {"title": " ", "content": "x"}), ("/ideas/create", {"title": "x"}),
                       ("/ideas/create", {"title": 3, "content": "x"}),
                       ("/api/desktop/profile", {"description": "x", "status": "Sleeping"}),
                       ("/api/desktop/profile", {"description": "x" * 501, "status": "Away"})):
        assert member.post(route, bad).status == 400, bad
    assert len(member.get("/api/desktop/ideas").json()["ideas"]) == 12


def test_likes_toggle_per_member_and_report_the_server_count(srv):
    luna, orion = srv.session("luna"), srv.session("orion")
    route = f"/ideas/{first_idea(luna)['id']}/like"  # the newest demo idea has no likes
    for member, liked, count in ((luna, True, 1), (orion, True, 2), (luna, False, 1)):
        assert member.post(route).json() == {"success": True, "liked": liked, "like_count": count}
    assert first_idea(orion)["liked_by_me"] is True and first_idea(luna)["liked_by_me"] is False
    assert luna.post("/ideas/999999/like").status == 404
