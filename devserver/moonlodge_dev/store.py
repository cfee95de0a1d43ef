"""SQLite storage of the community: members, sessions, chat, ideas, scores.

One connection, used only from the event loop thread. Times are stored as
Unix timestamps (float seconds).
"""

from __future__ import annotations

import secrets
import sqlite3
import time
from contextlib import contextmanager
from pathlib import Path

CHAT_RETENTION_SECONDS = 24 * 60 * 60

SCHEMA = """
CREATE TABLE IF NOT EXISTS users (
    id            INTEGER PRIMARY KEY,
    username      TEXT NOT NULL UNIQUE COLLATE NOCASE,
    email         TEXT NOT NULL,
    password_salt BLOB NOT NULL,
    password_hash BLOB NOT NULL,
    profile_image TEXT NOT NULL DEFAULT '',
    status        TEXT NOT NULL DEFAULT 'Online',
    description   TEXT NOT NULL DEFAULT '',
    member_since  REAL NOT NULL,
    message_count INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS sessions (
    token      TEXT PRIMARY KEY,
    user_id    INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    csrf_token TEXT NOT NULL,
    created_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS messages (
    id         INTEGER PRIMARY KEY,
    user_id    INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    text       TEXT NOT NULL,
    created_at REAL NOT NULL
);
CREATE INDEX IF NOT EXISTS messages_by_time ON messages(created_at);
CREATE TABLE IF NOT EXISTS ideas (
    id         INTEGER PRIMARY KEY,
    user_id    INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    title      TEXT NOT NULL,
    content    TEXT NOT NULL,
    created_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS idea_likes (
    idea_id INTEGER NOT NULL REFERENCES ideas(id) ON DELETE CASCADE,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    PRIMARY KEY (idea_id, user_id)
);
CREATE TABLE IF NOT EXISTS scores (
    user_id     INTEGER PRIMARY KEY REFERENCES users(id) ON DELETE CASCADE,
    best_score  INTEGER NOT NULL,
    achieved_at REAL NOT NULL
);
"""


class Store:
    def __init__(self, path: Path):
        self.path = path
        self.db = sqlite3.connect(str(path), isolation_level=None)
        self.db.row_factory = sqlite3.Row
        self.db.execute("PRAGMA foreign_keys = ON")
        self.db.execute("PRAGMA journal_mode = WAL")
        self.db.execute("PRAGMA synchronous = NORMAL")
        self.db.executescript(SCHEMA)

    @contextmanager
    def transaction(self):
        """Group statements; nested uses join the outer transaction."""
        if self.db.in_transaction:
            yield
            return
        self.db.execute("BEGIN IMMEDIATE")
        try:
            yield
        except BaseException:
            self.db.execute("ROLLBACK")
            raise
        self.db.execute("COMMIT")

    def close(self) -> None:
        self.db.close()

    # --- whole data set -----------------------------------------------------

    def is_empty(self) -> bool:
        return self.db.execute("SELECT COUNT(*) FROM users").fetchone()[0] == 0

    def wipe(self) -> None:
        with self.transaction():
            for table in ("idea_likes", "ideas", "messages", "scores", "sessions", "users"):
                self.db.execute(f"DELETE FROM {table}")

    # --- members -----------------------------------------------------------

    def add_user(self, username: str, email: str, salt: bytes, password_hash: bytes,
                 profile_image: str, status: str, description: str,
                 member_since: float, message_count: int = 0) -> int:
        cur = self.db.execute(
            "INSERT INTO users (username, email, password_salt, password_hash, profile_image,"
            " status, description, member_since, message_count) VALUES (?,?,?,?,?,?,?,?,?)",
            (username, email, salt, password_hash, profile_image, status, description,
             member_since, message_count))
        return cur.lastrowid

    def user_by_name(self, username: str) -> sqlite3.Row | None:
        return self.db.execute("SELECT * FROM users WHERE username = ?", (username,)).fetchone()

    def user_by_id(self, user_id: int) -> sqlite3.Row | None:
        return self.db.execute("SELECT * FROM users WHERE id = ?", (user_id,)).fetchone()

    def all_users(self) -> list[sqlite3.Row]:
        return self.db.execute("SELECT * FROM users ORDER BY id").fetchall()

    def update_profile(self, user_id: int, description: str, status: str) -> None:
        self.db.execute("UPDATE users SET description = ?, status = ? WHERE id = ?",
                        (description, status, user_id))

    def user_stats(self, user_id: int) -> dict:
        row = self.db.execute(
            "SELECT u.message_count AS message_count,"
            " (SELECT COUNT(*) FROM ideas WHERE user_id = u.id) AS idea_count,"
            " COALESCE((SELECT best_score FROM scores WHERE user_id = u.id), 0) AS best"
            " FROM users u WHERE u.id = ?", (user_id,)).fetchone()
        return {"message_count": row["message_count"], "idea_count": row["idea_count"],
                "nebulite_best_score": row["best"]}

    # --- sessions ----------------------------------------------------------

    def create_session(self, user_id: int) -> sqlite3.Row:
        token = secrets.token_urlsafe(32)
        csrf = secrets.token_urlsafe(32)
        self.db.execute("INSERT INTO sessions (token, user_id, csrf_token, created_at) VALUES (?,?,?,?)",
                        (token, user_id, csrf, time.time()))
        return self.session(token)

    def session(self, token: str | None) -> sqlite3.Row | None:
        if not token:
            return None
        return self.db.execute("SELECT * FROM sessions WHERE token = ?", (token,)).fetchone()

    def delete_session(self, token: str) -> None:
        self.db.execute("DELETE FROM sessions WHERE token = ?", (token,))

    # --- chat --------------------------------------------------------------

    def purge_old_messages(self, now: float | None = None) -> int:
        cutoff = (now or time.time()) - CHAT_RETENTION_SECONDS
        return self.db.execute("DELETE FROM messages WHERE created_at < ?", (cutoff,)).rowcount

    def add_message(self, user_id: int, text: str, created_at: float | None = None,
                    count_it: bool = True) -> sqlite3.Row:
        with self.transaction():
            cur = self.db.execute("INSERT INTO messages (user_id, text, created_at) VALUES (?,?,?)",
                                  (user_id, text, created_at or time.time()))
            if count_it:
                self.db.execute("UPDATE users SET message_count = message_count + 1 WHERE id = ?",
                                (user_id,))
        return self.message(cur.lastrowid)

    def replace_chat(self, count: int) -> None:
        """Replaces the chat with `count` generated messages from the members in
        turn, spread evenly over the last 23 hours, oldest first."""
        users = [row["id"] for row in self.db.execute("SELECT id FROM users ORDER BY id")]
        now = time.time()
        span = 23 * 3600
        rows = ((users[i % len(users)], f"Message {i + 1}: " + "lorem ipsum dolor sit amet " * (i % 4 + 1),
                 now - span + span * i / max(count, 1)) for i in range(count))
        with self.transaction():
            self.db.execute("DELETE FROM messages")
            self.db.executemany("INSERT INTO messages (user_id, text, created_at) VALUES (?,?,?)", rows)

    def message(self, message_id: int) -> sqlite3.Row | None:
        return self.db.execute(
            "SELECT m.*, u.username, u.profile_image FROM messages m JOIN users u ON u.id = m.user_id"
            " WHERE m.id = ?", (message_id,)).fetchone()

    def recent_messages(self) -> list[sqlite3.Row]:
        """Messages of the last 24 hours, oldest first (older ones are dropped)."""
        now = time.time()
        self.purge_old_messages(now)
        return self.db.execute(
            "SELECT m.*, u.username, u.profile_image FROM messages m JOIN users u ON u.id = m.user_id"
            " WHERE m.created_at >= ? ORDER BY m.created_at, m.id",
            (now - CHAT_RETENTION_SECONDS,)).fetchall()

    # --- ideas -------------------------------------------------------------

    def add_idea(self, user_id: int, title: str, content: str, created_at: float | None = None) -> int:
        cur = self.db.execute("INSERT INTO ideas (user_id, title, content, created_at) VALUES (?,?,?,?)",
                              (user_id, title, content, created_at or time.time()))
        return cur.lastrowid

    def ideas(self, viewer_id: int) -> list[sqlite3.Row]:
        """All ideas, newest first, with like counts and the viewer's own like."""
        return self.db.execute(
            "SELECT i.*, u.username, u.profile_image,"
            " (SELECT COUNT(*) FROM idea_likes l WHERE l.idea_id = i.id) AS like_count,"
            " EXISTS (SELECT 1 FROM idea_likes l WHERE l.idea_id = i.id AND l.user_id = ?) AS liked_by_me"
            " FROM ideas i JOIN users u ON u.id = i.user_id ORDER BY i.created_at DESC, i.id DESC",
            (viewer_id,)).fetchall()

    def idea_exists(self, idea_id: int) -> bool:
        return self.db.execute("SELECT 1 FROM ideas WHERE id = ?", (idea_id,)).fetchone() is not None

    def set_like(self, idea_id: int, user_id: int, liked: bool) -> None:
        if liked:
            self.db.execute("INSERT OR IGNORE INTO idea_likes (idea_id, user_id) VALUES (?,?)",
                            (idea_id, user_id))
        else:
            self.db.execute("DELETE FROM idea_likes WHERE idea_id = ? AND user_id = ?",
                            (idea_id, user_id))

    def toggle_like(self, idea_id: int, user_id: int) -> tuple[bool, int]:
        """Flip the member's like; returns (liked now, like count)."""
        with self.transaction():
            liked = self.db.execute("SELECT 1 FROM idea_likes WHERE idea_id = ? AND user_id = ?",
                                    (idea_id, user_id)).fetchone() is None
            self.set_like(idea_id, user_id, liked)
            count = self.db.execute("SELECT COUNT(*) FROM idea_likes WHERE idea_id = ?",
                                    (idea_id,)).fetchone()[0]
        return liked, count

    # --- Nebulite scores ---------------------------------------------------

    def submit_score(self, user_id: int, score: int, at: float | None = None) -> tuple[bool, int]:
        """Record a score; returns (is a new best, best score)."""
        with self.transaction():
            row = self.db.execute("SELECT best_score FROM scores WHERE user_id = ?", (user_id,)).fetchone()
            if row is not None and row["best_score"] >= score:
                return False, row["best_score"]
            self.db.execute("INSERT INTO scores (user_id, best_score, achieved_at) VALUES (?,?,?)"
                            " ON CONFLICT(user_id) DO UPDATE SET best_score = excluded.best_score,"
                            " achieved_at = excluded.achieved_at",
                            (user_id, score, at or time.time()))
        return True, score

    def leaderboard(self) -> list[sqlite3.Row]:
        return self.db.execute(
            "SELECT s.best_score, s.achieved_at, u.username, u.profile_image FROM scores s"
            " JOIN users u ON u.id = s.user_id ORDER BY s.best_score DESC, s.achieved_at, u.id").fetchall()
