"""Compact JSON replies in the community's reply envelope."""

from __future__ import annotations

import json

from aiohttp import web


def dumps(value) -> str:
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def json_reply(value, status: int = 200) -> web.Response:
    return web.Response(text=dumps(value), status=status,
                        content_type="application/json", charset="utf-8")


def ok(**payload) -> web.Response:
    return json_reply({"success": True, **payload})


def fail(error: str, status: int) -> web.Response:
    return json_reply({"success": False, "error": error}, status)
