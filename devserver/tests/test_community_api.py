"""Reply layouts of the community routes and the behaviour behind them."""

import sqlite3
import time
from datetime import datetime
from urllib.parse import quote

from test_session import assert_user_object

MEMBER_KEYS = {"username": str, "profile_image": str, "status": str, "online": bool, "voice_active": bool}


def assert_member_entry(entry):
    for key, kind in MEMBER_KEYS.items():
        assert isinstance(entry[key], kind), (key, entry)


def test_demo_community_members(srv):
    entries = srv.session().get("/api/desktop/members").json()["members"]
    for entry in entries:
        assert_member_entry(entry)
    assert {"Online", "Away", "Busy", "Gaming", "Offline"} <= {e["status"] for e in entries}
    assert {"cat.png", "comet.png"} <= {e["profile_image"] for e in entries}
    assert not any(e["online"] for e in entries), "nobody has a live socket yet"


def test_public_profile_by_percent_encoded_name(srv):
    member = srv.session()
    reply = member.get("/api/desktop/users/" + quote("Zoë Star", safe=""))
    assert reply.status == 200
    user = reply.json()["user"]
    assert_user_object(user, with_email=False)
    assert user["username"] == "Zoë Star" and user["status"] == "Gaming"
    assert user["nebulite_best_score"] == 24780
    never = member.get("/api/desktop/users/drifter").json()["user"]
    assert never["status"] == "Offline" and never["online"] is False and never["profile_image"] == ""
    missing = member.get("/api/desktop/users/" + quote("no such/one", safe=""))
    assert missing.status == 404
    assert missing.json()["success"] is False and missing.json()["error"]


def test_own_profile_carries_the_token_and_statistics(srv):
    member = srv.session("stella")
    body = member.get("/api/desktop/profile", headers={"Accept": "application/json"}).json()
    assert body["success"] is True and body["csrf_token"] == member.csrf
    assert_user_object(body["user"])
    assert body["user"]["idea_count"] == 2
    assert body["user"]["message_count"] > 0


def test_chat_history_layout_and_order(srv):
    body = srv.session().get("/api/desktop/chat/messages").json()
    assert body["success"] is True
    messages = body["messages"]
    assert len(messages) >= 20
    now = datetime.now().astimezone()
    stamps = []
    for m in messages:
        assert isinstance(m["sender"], str) and isinstance(m["text"], str)
        stamp = datetime.fromisoformat(m["created_at"])
        assert m["created_at"][13] == ":" and m["created_at"][10] == "T"
        assert (now - stamp).total_seconds() < 24 * 3600
        stamps.append(stamp)
    assert stamps == sorted(stamps), "oldest first"
    assert (stamps[-1] - stamps[0]).total_seconds() > 20 * 3600, "spread over the day"


def test_chat_keeps_only_the_last_24_hours(srv):
    member = srv.session()
    db = sqlite3.connect(srv.data_dir / "moonlodge.sqlite3")
    try:
        now = time.time()
        with db:
            db.execute("INSERT INTO messages (user_id, text, created_at) VALUES (1, 'stale', ?)",
                       (now - 24 * 3600 - 60,))
            db.execute("INSERT INTO messages (user_id, text, created_at) VALUES (1, 'fresh', ?)",
                       (now - 24 * 3600 + 120,))
        texts = [m["text"] for m in member.get("/api/desktop/chat/messages").json()["messages"]]
        assert "fresh" in texts and "stale" not in texts
        left = db.execute("SELECT COUNT(*) FROM messages WHERE text = 'stale'").fetchone()[0]
        assert left == 0, "old messages are dropped from the store, not just hidden"
    finally:
        db.close()


def test_presence_and_ideas_layouts(srv):
    member = srv.session("pixel")
    presence = member.get("/api/desktop/presence").json()
    assert presence["success"] is True and presence["online_count"] == 0
    for entry in presence["members"]:
        assert_member_entry(entry)
    assert member.get("/api/online-members").json() == []

    body = member.get("/api/desktop/ideas", headers={"Accept": "application/json"}).json()
    assert body["success"] is True and body["csrf_token"] == member.csrf
    kinds = {"id": int, "author": str, "profile_image": str, "title": str, "content": str,
             "liked_by_me": bool, "like_count": int, "can_delete": bool}
    for idea in body["ideas"]:
        assert all(isinstance(idea[key], kind) for key, kind in kinds.items()), idea
        assert idea["can_delete"] == (idea["author"] == "pixel")
    assert any(i["liked_by_me"] for i in body["ideas"]) and not all(i["liked_by_me"] for i in body["ideas"])


def test_leaderboard_layout_and_order(srv):
    body = srv.session("kai").get("/api/desktop/games/leaderboard").json()
    assert body["success"] is True and body["username"] == "kai"
    board = body["leaderboard"]
    assert len(board) >= 5
    for entry in board:
        assert isinstance(entry["username"], str) and isinstance(entry["profile_image"], str)
        assert isinstance(entry["best_score"], int)
    scores = [e["best_score"] for e in board]
    assert scores == sorted(scores, reverse=True)
    assert board[0]["username"] == "Zoë Star"


def test_unknown_api_path_answers_in_the_envelope(srv):
    reply = srv.session().get("/api/desktop/nothing-here")
    assert reply.status == 404 and reply.json()["success"] is False
