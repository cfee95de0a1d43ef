"""JSON routes: the desktop API and the ideas board's form routes."""

from __future__ import annotations

import asyncio
import functools
import json
import logging

from aiohttp import web

from . import views
from .jsonutil import fail, json_reply, ok
from .security import SESSION_COOKIE, csrf_problem, verify_password

log = logging.getLogger("moonlodge.api")

STATUSES = ("Online", "Away", "Busy", "Gaming", "Offline")
MAX_DESCRIPTION = 500
MAX_TITLE = 150
MAX_CONTENT = 5000


# --- helpers ---------------------------------------------------------------

def current_session(request: web.Request):
    """(session, user) of the request's cookie, or None."""
    store = request.app["store"]
    session = store.session(request.cookies.get(SESSION_COOKIE))
    if session is None:
        return None
    user = store.user_by_id(session["user_id"])
    return (session, user) if user is not None else None


def login_required(csrf: bool = False):
    """Refuse anonymous callers (401) and, with csrf, forged requests (400)."""
    def decorate(handler):
        @functools.wraps(handler)
        async def wrapper(request: web.Request):
            found = current_session(request)
            if found is None:
                return fail("Authentication required.", 401)
            request["session"], request["user"] = found
            if csrf:
                problem = csrf_problem(request, found[0]["csrf_token"])
                if problem:
                    return fail(problem, 400)
            return await handler(request)
        return wrapper
    return decorate


async def read_json_object(request: web.Request) -> dict | None:
    """The body as a JSON object; form-encoded bodies are accepted as well."""
    if request.content_type == "application/x-www-form-urlencoded":
        return dict(await request.post())
    text = await request.text()
    if not text.strip():
        return {}
    try:
        value = json.loads(text)
    except ValueError:
        return None
    return value if isinstance(value, dict) else None


def user_reply_object(request: web.Request, user, with_email: bool) -> dict:
    realtime = request.app["realtime"]
    return views.user_object(user, request.app["store"].user_stats(user["id"]),
                             online=user["id"] in realtime.online_user_ids(),
                             voice_active=user["id"] in realtime.voice_user_ids(),
                             with_email=with_email)


def member_entries(request: web.Request, only_online: bool = False) -> list[dict]:
    realtime = request.app["realtime"]
    online, voice = realtime.online_user_ids(), realtime.voice_user_ids()
    entries = [views.member_entry(u, u["id"] in online, u["id"] in voice)
               for u in request.app["store"].all_users()]
    # Online members first, then alphabetical.
    entries.sort(key=lambda e: (not e["online"], e["username"].casefold()))
    return [e for e in entries if e["online"]] if only_online else entries


async def submit_score(app: web.Application, user, score: int) -> tuple[bool, int]:
    """Record a Nebulite score; a new best is announced on the real-time channel."""
    new_best, best = app["store"].submit_score(user["id"], score)
    if new_best:
        await app["realtime"].broadcast("nebulite_leaderboard_changed",
                                        {"username": user["username"], "best_score": best})
    return new_best, best


# --- session ---------------------------------------------------------------

async def login(request: web.Request) -> web.Response:
    body = await read_json_object(request)
    if body is None:
        return fail("The request body must be a JSON object.", 400)
    username = str(body.get("username") or "").strip()
    password = str(body.get("password") or "")
    if not username or not password:
        return fail("Please enter both username and password.", 400)
    store = request.app["store"]
    user = store.user_by_name(username)
    valid = False
    if user is not None:
        valid = await asyncio.get_running_loop().run_in_executor(
            None, verify_password, password, user["password_salt"], user["password_hash"])
    if not valid:
        log.info("failed login for %r", username)
        return fail("Invalid username or password.", 401)
    session = store.create_session(user["id"])
    reply = ok(user=user_reply_object(request, user, with_email=True))
    reply.set_cookie(SESSION_COOKIE, session["token"], path="/", httponly=True, samesite="Lax")
    log.info("%s logged in", user["username"])
    return reply


@login_required()
async def profile_get(request: web.Request) -> web.Response:
    return ok(user=user_reply_object(request, request["user"], with_email=True),
              csrf_token=request["session"]["csrf_token"])


@login_required(csrf=True)
async def profile_post(request: web.Request) -> web.Response:
    body = await read_json_object(request)
    if body is None:
        return fail("The request body must be a JSON object.", 400)
    user = request["user"]
    description = body.get("description", user["description"])
    status = body.get("status", user["status"])
    if not isinstance(description, str) or not isinstance(status, str):
        return fail("Description and status must be text.", 400)
    if len(description) > MAX_DESCRIPTION:
        return fail(f"The description can be at most {MAX_DESCRIPTION} characters.", 400)
    canonical = next((s for s in STATUSES if s.lower() == status.strip().lower()), None)
    if canonical is None:
        return fail("Invalid status.", 400)
    store = request.app["store"]
    store.update_profile(user["id"], description, canonical)
    await request.app["realtime"].members_changed()
    return ok(user=user_reply_object(request, store.user_by_id(user["id"]), with_email=True))


# --- members and presence --------------------------------------------------

@login_required()
async def public_profile(request: web.Request) -> web.Response:
    user = request.app["store"].user_by_name(request.match_info["name"])
    if user is None:
        return fail("User not found.", 404)
    return ok(user=user_reply_object(request, user, with_email=False))


@login_required()
async def members(request: web.Request) -> web.Response:
    return ok(members=member_entries(request))


@login_required()
async def presence(request: web.Request) -> web.Response:
    entries = member_entries(request)
    return ok(online_count=sum(1 for e in entries if e["online"]), members=entries)


@login_required()
async def online_members(request: web.Request) -> web.Response:
    return json_reply(member_entries(request, only_online=True))


# --- chat ----------------------------------------------------------------

@login_required()
async def chat_messages(request: web.Request) -> web.Response:
    rows = request.app["store"].recent_messages()
    return ok(messages=[views.message_object(r) for r in rows], retention_hours=24)


# --- ideas ---------------------------------------------------------------

@login_required()
async def ideas_list(request: web.Request) -> web.Response:
    viewer = request["user"]["id"]
    rows = request.app["store"].ideas(viewer)
    return ok(ideas=[views.idea_object(r, viewer) for r in rows],
              csrf_token=request["session"]["csrf_token"])


@login_required(csrf=True)
async def idea_create(request: web.Request) -> web.Response:
    body = await read_json_object(request)
    if body is None:
        return fail("The request body must be a JSON object.", 400)
    title = body.get("title")
    content = body.get("content")
    title = title.strip() if isinstance(title, str) else ""
    content = content.strip() if isinstance(content, str) else ""
    if not title or not content:
        return fail("Please enter both a title and your idea.", 400)
    if len(title) > MAX_TITLE:
        return fail(f"The title can be at most {MAX_TITLE} characters.", 400)
    if len(content) > MAX_CONTENT:
        return fail(f"The idea can be at most {MAX_CONTENT} characters.", 400)
    store = request.app["store"]
    viewer = request["user"]["id"]
    idea_id = store.add_idea(viewer, title, content)
    row = next(r for r in store.ideas(viewer) if r["id"] == idea_id)
    return ok(idea=views.idea_object(row, viewer))


@login_required(csrf=True)
async def idea_like(request: web.Request) -> web.Response:
    digits = request.match_info["idea_id"]
    idea_id = int(digits) if len(digits) <= 9 else 0
    store = request.app["store"]
    if not store.idea_exists(idea_id):
        return fail("Idea not found.", 404)
    liked, count = store.toggle_like(idea_id, request["user"]["id"])
    return ok(liked=liked, like_count=count)


# --- games -----------------------------------------------------------------

@login_required()
async def leaderboard(request: web.Request) -> web.Response:
    rows = request.app["store"].leaderboard()
    entries = [{"rank": i + 1, "username": r["username"], "profile_image": r["profile_image"],
                "best_score": r["best_score"], "achieved_at": views.timestamp_text(r["achieved_at"])}
               for i, r in enumerate(rows)]
    return ok(username=request["user"]["username"], leaderboard=entries)


def setup(app: web.Application) -> None:
    r = app.router
    r.add_post("/api/desktop/login", login)
    r.add_get("/api/desktop/profile", profile_get)
    r.add_post("/api/desktop/profile", profile_post)
    r.add_get("/api/desktop/users/{name}", public_profile)
    r.add_get("/api/desktop/members", members)
    r.add_get("/api/desktop/presence", presence)
    r.add_get("/api/online-members", online_members)
    r.add_get("/api/desktop/chat/messages", chat_messages)
    r.add_get("/api/desktop/ideas", ideas_list)
    r.add_get("/api/desktop/games/leaderboard", leaderboard)
    r.add_post("/ideas/create", idea_create)
    r.add_post(r"/ideas/{idea_id:\d+}/like", idea_like)
