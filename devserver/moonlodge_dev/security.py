"""Password hashing and the request checks shared by the routes."""

from __future__ import annotations

import hashlib
import hmac
import secrets

from aiohttp import web

SESSION_COOKIE = "session"

# scrypt cost: strong enough to be honest, cheap enough for a dev server.
_SCRYPT = dict(n=2 ** 14, r=8, p=1, dklen=32, maxmem=64 * 1024 * 1024)


def hash_password(password: str, salt: bytes | None = None) -> tuple[bytes, bytes]:
    """Return (salt, hash) for a password; a fresh random salt when none is given."""
    salt = salt if salt is not None else secrets.token_bytes(16)
    return salt, hashlib.scrypt(password.encode("utf-8"), salt=salt, **_SCRYPT)


def verify_password(password: str, salt: bytes, expected: bytes) -> bool:
    return hmac.compare_digest(hash_password(password, salt)[1], expected)


def own_origin(request: web.Request) -> str:
    """scheme://host[:port] of this server as the client addressed it."""
    return f"{request.scheme}://{request.host}"


def referer_is_own(request: web.Request) -> bool:
    referer = request.headers.get("Referer", "")
    origin = own_origin(request)
    return referer == origin or referer.startswith(origin + "/")


def csrf_problem(request: web.Request, session_csrf: str) -> str | None:
    """Why a state-changing request fails the anti-forgery check, or None."""
    token = request.headers.get("X-CSRFToken", "")
    if not token:
        return "The CSRF token is missing."
    if not hmac.compare_digest(token.encode(), session_csrf.encode()):
        return "The CSRF token is invalid."
    if not request.headers.get("Referer"):
        return "The referrer header is missing."
    if not referer_is_own(request):
        return "The referrer does not match this site."
    return None
