# Community routes where the client's page suites do not already read the replies:
# names in a path segment, the chat's 24-hour window, the JSON envelope of errors.

import sqlite3
import time
from datetime import datetime
from urllib.parse import quote


def test_public_profile_by_percent_encoded_name(srv):
    member = srv.session()
    user = member.get("/api/desktop/users/" + quote("Zoë Star", safe="")).json()["user"]
    assert user["username"] == "Zoë Star" and "email" not in user
    for path in ("/api/desktop/users/" + quote("no such/one", safe=""), "/api/desktop/nothing-here"):
        reply = member.get(path)
        assert reply.status == 404 and reply.json()["success"] is False and reply.json()["error"]


def test_chat_history_is_oldest_first_within_the_last_24_hours(srv):
    member = srv.session()
    db = sqlite3.connect(srv.data_dir / "moonlodge.sqlite3")
    try:
        with db:
            for text, age in (("stale", 24 * 3600 + 60), ("fresh", 24 * 3600 - 120)):
                db.execute("INSERT INTO messages (user_id, text, created_at) VALUES (1, ?, ?)", (text, time.time() - age))
        messages = member.get("/api/desktop/chat/messages").json()["messages"]
        assert "fresh" in [m["text"] for m in messages] and "stale" not in [m["text"] for m in messages]
        assert db.execute("SELECT COUNT(*) FROM messages WHERE text = 'stale'").fetchone()[0] == 0, "dropped, not hidden"
    finally:
        db.close()
    stamps = [datetime.fromisoformat(m["created_at"]) for m in messages]
    assert stamps == sorted(stamps) and all(m["created_at"][10] == "T" for m in messages)
