"""Fixtures: the real dev server in a subprocess, an HTTP helper, a raw Socket.IO client."""

from __future__ import annotations

import asyncio
import contextlib
import http.client
import json
import selectors
import signal
import subprocess
import time
from dataclasses import dataclass
from pathlib import Path
from urllib.parse import urlsplit

import sys

import aiohttp
import pytest

DEVSERVER = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(DEVSERVER))  # the server package, for in-process unit tests
RUN_PY = DEVSERVER / "run.py"
READY = "MOONLODGE_DEVSERVER_READY "
PASSWORD = "moonlodge"
PYTHON = "/usr/bin/python3"  # Debian's interpreter, which sees the Debian packages

# Heartbeat used by the shared server: short, so that keep-alive is testable.
PING_INTERVAL = 0.6
PING_TIMEOUT = 0.6


def start_server(data_dir: Path, *extra: str) -> tuple[subprocess.Popen, str]:
    """Start run.py on a free port; returns the process and its base URL.

    The server's log goes to data_dir/server.log.
    """
    data_dir.mkdir(parents=True, exist_ok=True)
    with open(data_dir / "server.log", "w") as log:
        proc = subprocess.Popen(
            [PYTHON, str(RUN_PY), "--port", "0", "--data", str(data_dir), "--log-level", "INFO", *extra],
            stdout=subprocess.PIPE, stderr=log, text=True, cwd="/")
    selector = selectors.DefaultSelector()
    selector.register(proc.stdout, selectors.EVENT_READ)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        if selector.select(timeout=0.2):
            line = proc.stdout.readline()
            if line.startswith(READY):
                return proc, line[len(READY):].strip()
            if not line:
                break
    proc.kill()
    raise RuntimeError("dev server did not start: " + (data_dir / "server.log").read_text())


def stop_server(proc: subprocess.Popen) -> int:
    proc.send_signal(signal.SIGTERM)
    try:
        return proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise


@dataclass
class Reply:
    status: int
    headers: list[tuple[str, str]]
    body: bytes

    def header(self, name: str) -> str | None:
        return next((v for k, v in self.headers if k.lower() == name.lower()), None)

    def headers_named(self, name: str) -> list[str]:
        return [v for k, v in self.headers if k.lower() == name.lower()]

    def json(self):
        assert "application/json" in (self.header("Content-Type") or ""), self.header("Content-Type")
        return json.loads(self.body.decode("utf-8"))

    @property
    def text(self) -> str:
        return self.body.decode("utf-8")


class Server:
    """The running server, with a tiny HTTP client that never follows redirects."""

    def __init__(self, base: str, data_dir: Path):
        self.base = base
        self.data_dir = data_dir
        parts = urlsplit(base)
        self.host, self.port = parts.hostname, parts.port

    def request(self, method: str, path: str, body=None, headers: dict | None = None,
                cookie: str | None = None) -> Reply:
        conn = http.client.HTTPConnection(self.host, self.port, timeout=10)
        headers = dict(headers or {})
        if cookie:
            headers["Cookie"] = cookie
        if isinstance(body, (dict, list)):
            body = json.dumps(body)
            headers.setdefault("Content-Type", "application/json")
        try:
            conn.request(method, path, body=body, headers=headers)
            resp = conn.getresponse()
            return Reply(resp.status, resp.getheaders(), resp.read())
        finally:
            conn.close()

    def get(self, path: str, **kw) -> Reply:
        return self.request("GET", path, **kw)

    def post(self, path: str, body=None, **kw) -> Reply:
        return self.request("POST", path, body=body, **kw)

    def control(self, method: str, name: str, body=None):
        reply = self.request(method, "/__test__/" + name, body=body)
        assert reply.status == 200, (name, reply.status, reply.body)
        return reply.json()

    def session(self, username: str = "luna") -> "Member":
        made = self.control("POST", "session", {"username": username})
        return Member(self, username, made["cookie"], made["csrf_token"])

    def login(self, username: str = "luna", password: str = PASSWORD) -> "Member":
        reply = self.post("/api/desktop/login", {"username": username, "password": password})
        assert reply.status == 200, reply.body
        cookie = reply.header("Set-Cookie").split(";", 1)[0]
        profile = self.get("/api/desktop/profile", cookie=cookie).json()
        return Member(self, username, cookie, profile["csrf_token"])


@dataclass
class Member:
    """A signed-in member: cookie and anti-forgery token."""
    server: Server
    username: str
    cookie: str
    csrf: str

    def get(self, path: str, **kw) -> Reply:
        return self.server.get(path, cookie=self.cookie, **kw)

    def post(self, path: str, body=None, headers: dict | None = None, referer: str | None = "/") -> Reply:
        all_headers = {"X-CSRFToken": self.csrf}
        if referer is not None:
            all_headers["Referer"] = self.server.base + referer
        all_headers.update(headers or {})
        return self.server.post(path, body=body, headers=all_headers, cookie=self.cookie)


@pytest.fixture(scope="session")
def server(tmp_path_factory):
    data_dir = tmp_path_factory.mktemp("devserver-data")
    proc, base = start_server(data_dir, "--test-control", "--ping-interval", str(PING_INTERVAL),
                              "--ping-timeout", str(PING_TIMEOUT))
    yield Server(base, data_dir)
    assert stop_server(proc) == 0
    log = (data_dir / "server.log").read_text()
    assert "Traceback" not in log, "the server logged an unhandled error:\n" + log


@pytest.fixture
def srv(server):
    """The shared server, reset to the demo data before the test."""
    server.control("POST", "reset")
    return server


# --- raw Socket.IO client (Engine.IO 4 text frames over a WebSocket) --------

class SocketClient:
    def __init__(self, name: str = ""):
        self.name = name
        self.frames: list[str] = []
        self.answer_pings = True
        self.sid: str | None = None
        self.open_packet: dict | None = None
        self._new = asyncio.Event()
        self._http: aiohttp.ClientSession | None = None
        self.ws: aiohttp.ClientWebSocketResponse | None = None
        self._reader: asyncio.Task | None = None
        self.closed = asyncio.Event()

    async def open(self, base: str, cookie: str | None) -> "SocketClient":
        self._http = aiohttp.ClientSession()
        url = base.replace("http://", "ws://") + "/socket.io/?EIO=4&transport=websocket"
        headers = {"Cookie": cookie} if cookie else {}
        self.ws = await self._http.ws_connect(url, headers=headers, autoping=True)
        first = await self.ws.receive_str(timeout=5)
        assert first.startswith("0"), first
        self.open_packet = json.loads(first[1:])
        self._reader = asyncio.create_task(self._read())
        await self.ws.send_str("40")
        return self

    async def connect(self, base: str, cookie: str | None) -> "SocketClient":
        """Open and wait for the namespace acknowledgement."""
        await self.open(base, cookie)
        ack = await self.wait_frame(lambda f: f.startswith("40") or f.startswith("44"))
        assert ack.startswith("40"), ack
        self.sid = json.loads(ack[2:])["sid"]
        return self

    async def _read(self):
        try:
            async for msg in self.ws:
                if msg.type != aiohttp.WSMsgType.TEXT:
                    break
                if msg.data == "2" and self.answer_pings:
                    await self.ws.send_str("3")
                self.frames.append(msg.data)
                self._new.set()
        finally:
            self.closed.set()
            self._new.set()

    async def wait_frame(self, predicate, timeout: float = 3.0) -> str:
        """Next unconsumed frame matching predicate (frames before it are skipped over)."""
        deadline = asyncio.get_running_loop().time() + timeout
        while True:
            for i, frame in enumerate(self.frames):
                if predicate(frame):
                    return self.frames.pop(i)
            remaining = deadline - asyncio.get_running_loop().time()
            if remaining <= 0:
                raise AssertionError(f"{self.name}: no matching frame; got {self.frames}")
            self._new.clear()
            try:
                await asyncio.wait_for(self._new.wait(), remaining)
            except asyncio.TimeoutError:
                pass

    def events(self, name: str | None = None) -> list[tuple[str, object]]:
        found = []
        for frame in self.frames:
            if frame.startswith("42"):
                packet = json.loads(frame[2:])
                if name is None or packet[0] == name:
                    found.append((packet[0], packet[1] if len(packet) > 1 else None))
        return found

    async def event(self, name: str, timeout: float = 3.0):
        """Data of the next event with this name (consumed)."""
        frame = await self.wait_frame(lambda f: f.startswith("42") and json.loads(f[2:])[0] == name,
                                      timeout)
        packet = json.loads(frame[2:])
        return packet[1] if len(packet) > 1 else None

    async def no_event(self, name: str, within: float = 0.3) -> None:
        await asyncio.sleep(within)
        assert not self.events(name), f"{self.name}: unexpected {name}: {self.events(name)}"

    def drop_events(self) -> None:
        self.frames = [f for f in self.frames if not f.startswith("42")]

    async def emit(self, name: str, data=None) -> None:
        packet = [name] if data is None else [name, data]
        await self.ws.send_str("42" + json.dumps(packet, separators=(",", ":")))

    async def close(self) -> None:
        if self.ws is not None:
            await self.ws.close()
        if self._reader is not None:
            await asyncio.wait([self._reader], timeout=2)
        if self._http is not None:
            await self._http.close()


def run(coro):
    """Run one asynchronous test body to completion."""
    return asyncio.run(asyncio.wait_for(coro, 30))


@contextlib.asynccontextmanager
async def sockets(srv, *names, settle=True):
    """Connected clients for fresh sessions of these members, closed afterwards.

    With settle, the presence events their own arrival caused are dropped first."""
    clients = []
    try:
        for name in names:
            clients.append(await SocketClient(name).connect(srv.base, srv.session(name).cookie))
        if settle:
            await asyncio.sleep(0.05)
            for client in clients:
                client.drop_events()
        yield clients
    finally:
        for client in clients:
            await client.close()
