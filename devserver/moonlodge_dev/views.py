"""How members, messages and ideas look in the JSON replies."""

from __future__ import annotations

import sqlite3
from datetime import datetime


def timestamp_text(ts: float) -> str:
    """Local ISO 8601 time to the second, with its UTC offset."""
    return datetime.fromtimestamp(ts).astimezone().isoformat(timespec="seconds")


def date_text(ts: float) -> str:
    return datetime.fromtimestamp(ts).strftime("%d/%m/%Y")


def user_object(user: sqlite3.Row, stats: dict, online: bool, voice_active: bool,
                with_email: bool) -> dict:
    """The "user" object of the login, own profile and public profile replies."""
    obj = {
        "id": user["id"],
        "username": user["username"],
        "profile_image": user["profile_image"],
        "status": user["status"],
        "online": online,
        "voice_active": voice_active,
        "description": user["description"],
        "member_since": date_text(user["member_since"]),
        "message_count": stats["message_count"],
        "idea_count": stats["idea_count"],
        "nebulite_best_score": stats["nebulite_best_score"],
    }
    if with_email:
        obj["email"] = user["email"]
    return obj


def member_entry(user: sqlite3.Row, online: bool, voice_active: bool) -> dict:
    """One member of the presence, online-members and members lists."""
    return {
        "username": user["username"],
        "profile_image": user["profile_image"],
        "status": user["status"],
        "online": online,
        "voice_active": voice_active,
    }


def message_object(row: sqlite3.Row) -> dict:
    return {
        "id": row["id"],
        "sender": row["username"],
        "profile_image": row["profile_image"],
        "text": row["text"],
        "created_at": timestamp_text(row["created_at"]),
    }


def idea_object(row: sqlite3.Row, viewer_id: int) -> dict:
    return {
        "id": row["id"],
        "author": row["username"],
        "profile_image": row["profile_image"],
        "title": row["title"],
        "content": row["content"],
        "created_at": timestamp_text(row["created_at"]),
        "like_count": row["like_count"],
        "liked_by_me": bool(row["liked_by_me"]),
        "can_delete": row["user_id"] == viewer_id,
    }
