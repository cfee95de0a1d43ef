"""Test-control surface under /__test__/ (only with --test-control).

Lets automated tests reset the data, read the requests the server received,
inject failures, emit real-time events and inspect the live sockets. Only
loopback peers may use it.
"""

from __future__ import annotations

import asyncio
import ipaddress
import json
import logging
from dataclasses import dataclass

from aiohttp import web

from .jsonutil import fail, json_reply, ok
from .routes_api import submit_score
from .security import SESSION_COOKIE
from .seed import seed

log = logging.getLogger("moonlodge.testcontrol")

PREFIX = "/__test__/"
FAILURE_MODES = ("status", "invalid_json", "delay", "drop", "oversize")
MAX_GENERATED_MESSAGES = 200_000


@dataclass
class FailureRule:
    path: str
    method: str | None
    count: int
    mode: str
    status: int
    body: str | None
    content_type: str | None
    delay_ms: int
    size: int

    def matches(self, request: web.Request) -> bool:
        if self.method and self.method != request.method:
            return False
        candidates = (request.path, request.raw_path.split("?", 1)[0])
        if self.path.endswith("*"):
            return any(p.startswith(self.path[:-1]) for p in candidates)
        return self.path in candidates


class TestControl:
    def __init__(self):
        self.requests: list[dict] = []
        self.failures: list[FailureRule] = []

    def clear(self) -> None:
        self.requests.clear()
        self.failures.clear()

    # --- recording and failure injection (middleware) ----------------------

    async def record(self, request: web.Request) -> None:
        headers: dict[str, str] = {}
        for raw_name, raw_value in request.raw_headers:
            name = raw_name.decode("latin-1")
            value = raw_value.decode("utf-8", "replace")
            existing = next((k for k in headers if k.lower() == name.lower()), None)
            if existing is None:
                headers[name] = value
            else:
                headers[existing] += ", " + value
        body = await request.read() if request.can_read_body else b""
        self.requests.append({
            "method": request.method,
            "path": request.path,
            "raw_path": request.raw_path,
            "headers": headers,
            "body": body.decode("utf-8", "replace"),
        })

    def take_failure(self, request: web.Request) -> FailureRule | None:
        for rule in self.failures:
            if rule.matches(request):
                rule.count -= 1
                if rule.count <= 0:
                    self.failures.remove(rule)
                return rule
        return None

    @web.middleware
    async def middleware(self, request: web.Request, handler):
        if request.path.startswith(PREFIX):
            if not is_loopback(request.remote):
                return fail("Test control is only available from loopback.", 403)
            return await handler(request)
        await self.record(request)
        rule = self.take_failure(request)
        if rule is None:
            return await handler(request)
        log.info("injecting %s failure into %s %s", rule.mode, request.method, request.path)
        if rule.mode == "delay":
            await asyncio.sleep(rule.delay_ms / 1000)
            return await handler(request)
        if rule.mode == "drop":
            if request.transport is not None:
                request.transport.abort()
            raise asyncio.CancelledError()
        if rule.mode == "oversize":
            return oversize_reply(rule.size)
        if rule.mode == "invalid_json":
            return web.Response(status=rule.status or 200, text='{"success":true,"broken":',
                                content_type="application/json", charset="utf-8")
        if rule.body is None:
            return fail("Injected failure", rule.status or 500)
        content_type = rule.content_type or "text/plain"
        return web.Response(status=rule.status or 500, text=rule.body, content_type=content_type,
                            charset="utf-8")

    # --- routes ------------------------------------------------------------

    def add_routes(self, app: web.Application) -> None:
        app.router.add_post(PREFIX + "reset", self.reset)
        app.router.add_get(PREFIX + "requests", self.list_requests)
        app.router.add_delete(PREFIX + "requests", self.clear_requests)
        app.router.add_post(PREFIX + "fail", self.add_failure)
        app.router.add_post(PREFIX + "emit", self.emit)
        app.router.add_post(PREFIX + "score", self.score)
        app.router.add_get(PREFIX + "sockets", self.sockets)
        app.router.add_post(PREFIX + "sockets/close", self.close_sockets)
        app.router.add_post(PREFIX + "sockets/namespace-disconnect", self.namespace_disconnect)
        app.router.add_post(PREFIX + "session", self.session)
        app.router.add_post(PREFIX + "chat", self.fill_chat)

    async def reset(self, request: web.Request) -> web.Response:
        app = request.app
        await app["realtime"].disconnect_all()
        seed(app["store"])
        self.clear()
        return ok()

    async def list_requests(self, request: web.Request) -> web.Response:
        return json_reply({"requests": self.requests})

    async def clear_requests(self, request: web.Request) -> web.Response:
        self.requests.clear()
        return ok()

    async def add_failure(self, request: web.Request) -> web.Response:
        failure = await json_body(request)
        if not isinstance(failure, dict) or not isinstance(failure.get("path"), str) or not failure["path"]:
            return fail('"path" is required.', 400)
        mode = failure.get("mode", "status")
        if mode not in FAILURE_MODES:
            return fail(f'"mode" must be one of {", ".join(FAILURE_MODES)}.', 400)
        try:
            rule = FailureRule(
                path=failure["path"],
                method=failure["method"].upper() if failure.get("method") else None,
                count=int(failure.get("count", 1)),
                mode=mode,
                status=int(failure.get("status", 500 if mode == "status" else 0)),
                body=failure.get("body") if isinstance(failure.get("body"), str) else None,
                content_type=failure.get("content_type") if isinstance(failure.get("content_type"), str) else None,
                delay_ms=int(failure.get("delay_ms", 0)),
                size=int(failure.get("size", 0)),
            )
        except (TypeError, ValueError, AttributeError):
            return fail('"count", "status", "delay_ms" and "size" must be integers.', 400)
        if rule.count < 1:
            return fail('"count" must be at least 1.', 400)
        self.failures.append(rule)
        return ok()

    async def emit(self, request: web.Request) -> web.Response:
        failure = await json_body(request)
        if not isinstance(failure, dict) or not isinstance(failure.get("event"), str) or not failure["event"]:
            return fail('"event" is required.', 400)
        realtime = request.app["realtime"]
        data = failure.get("data")
        if failure.get("username") is not None:
            delivered = await realtime.emit_to(realtime.sids_of_user(failure["username"]), failure["event"], data)
        else:
            delivered = await realtime.broadcast(failure["event"], data)
        return ok(delivered=delivered)

    async def score(self, request: web.Request) -> web.Response:
        failure = await json_body(request)
        if not isinstance(failure, dict):
            return fail("A JSON object is required.", 400)
        user = request.app["store"].user_by_name(str(failure.get("username", "")))
        score = failure.get("score")
        if user is None:
            return fail("User not found.", 404)
        if not isinstance(score, int) or isinstance(score, bool) or score < 0:
            return fail('"score" must be a non-negative integer.', 400)
        new_best, best = await submit_score(request.app, user, score)
        return ok(new_best=new_best, best_score=best)

    async def fill_chat(self, request: web.Request) -> web.Response:
        body = await json_body(request)
        count = body.get("count") if isinstance(body, dict) else None
        if not isinstance(count, int) or isinstance(count, bool) or not 0 <= count <= MAX_GENERATED_MESSAGES:
            return fail(f'"count" must be an integer from 0 to {MAX_GENERATED_MESSAGES}.', 400)
        request.app["store"].replace_chat(count)
        return ok(count=count)

    async def sockets(self, request: web.Request) -> web.Response:
        return json_reply({"sockets": request.app["realtime"].sockets()})

    async def close_sockets(self, request: web.Request) -> web.Response:
        """Closes the sockets of one member ("username") or of everybody."""
        body = await json_body(request)
        username = body.get("username") if isinstance(body, dict) else None
        realtime = request.app["realtime"]
        closed = len(realtime.sids_of_user(username)) if username else len(realtime.clients)
        await realtime.disconnect_where(lambda client: username is None or client.username == username)
        return ok(closed=closed)

    async def namespace_disconnect(self, request: web.Request) -> web.Response:
        """Sends "41" to a member's sockets and keeps the transport open; what they send afterwards is dropped."""
        body = await json_body(request)
        username = body.get("username") if isinstance(body, dict) else None
        if not isinstance(username, str):
            return fail('"username" is required.', 400)
        realtime = request.app["realtime"]
        sids = realtime.sids_of_user(username)
        for sid in sids:
            await realtime.end_namespace(sid)
        return ok(disconnected=len(sids))

    async def session(self, request: web.Request) -> web.Response:
        failure = await json_body(request)
        store = request.app["store"]
        user = store.user_by_name(str(failure.get("username", ""))) if isinstance(failure, dict) else None
        if user is None:
            return fail("User not found.", 404)
        session = store.create_session(user["id"])
        return json_reply({"success": True, "cookie": f"{SESSION_COOKIE}={session['token']}",
                           "csrf_token": session["csrf_token"]})


def oversize_reply(size: int) -> web.StreamResponse:
    """A JSON reply whose body is `size` bytes long."""
    head, tail = b'{"success":true,"padding":"', b'"}'
    filler = max(0, size - len(head) - len(tail))
    return web.Response(body=head + b"x" * filler + tail, content_type="application/json")


async def json_body(request: web.Request):
    try:
        return json.loads(await request.text() or "null")
    except ValueError:
        return None


def is_loopback(remote: str | None) -> bool:
    if not remote:
        return False
    try:
        address = ipaddress.ip_address(remote.split("%", 1)[0])
    except ValueError:
        return False
    if isinstance(address, ipaddress.IPv6Address) and address.ipv4_mapped is not None:
        address = address.ipv4_mapped
    return address.is_loopback

