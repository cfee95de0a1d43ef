# Fixtures: the real dev server in a subprocess, an HTTP helper, a raw Socket.IO client.

import asyncio
import contextlib
import functools
import http.client
import inspect
import json
import signal
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path
from urllib.parse import urlsplit

import aiohttp
import pytest

DEVSERVER = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(DEVSERVER))  # the server package, for in-process unit tests
READY = "MOONLODGE_DEVSERVER_READY "
PASSWORD = "moonlodge"
PING_INTERVAL = PING_TIMEOUT = 0.6  # short, so that keep-alive is testable


def start_server(data_dir: Path, *extra: str) -> tuple[subprocess.Popen, str]:
    # run.py on a free port (log in data_dir/server.log): the process and its base URL.
    data_dir.mkdir(parents=True, exist_ok=True)
    with open(data_dir / "server.log", "w") as log:
        proc = subprocess.Popen(["/usr/bin/python3", str(DEVSERVER / "run.py"), "--port", "0", "--data",
                                 str(data_dir), "--log-level", "INFO", *extra],
                                stdout=subprocess.PIPE, stderr=log, text=True, cwd="/")
    for line in proc.stdout:  # until it listens, or exits
        if line.startswith(READY):
            return proc, line[len(READY):].strip()
    proc.kill()
    raise RuntimeError("dev server did not start: " + (data_dir / "server.log").read_text())


def stop_server(proc: subprocess.Popen) -> int:
    proc.send_signal(signal.SIGTERM)
    return proc.wait(timeout=10)


@dataclass
class Reply:
    status: int
    headers: list[tuple[str, str]]
    body: bytes

    def header(self, name: str) -> str | None:
        return next((v for k, v in self.headers if k.lower() == name.lower()), None)

    def json(self):
        assert "application/json" in (self.header("Content-Type") or "")
        return json.loads(self.body.decode("utf-8"))


class Server:
    # The running server, with a tiny HTTP client that never follows redirects.

    def __init__(self, base: str, data_dir: Path):
        self.base, self.data_dir = base, data_dir
        self.host, self.port = urlsplit(base).hostname, urlsplit(base).port

    def request(self, method, path, body=None, headers=None, cookie=None) -> Reply:
        conn = http.client.HTTPConnection(self.host, self.port, timeout=10)
        headers = dict(headers or {}, **({"Cookie": cookie} if cookie else {}))
        if isinstance(body, (dict, list)):
            body = json.dumps(body)
            headers.setdefault("Content-Type", "application/json")
        try:
            conn.request(method, path, body=body, headers=headers)
            resp = conn.getresponse()
            return Reply(resp.status, resp.getheaders(), resp.read())
        finally:
            conn.close()

    get = functools.partialmethod(request, "GET")
    post = functools.partialmethod(request, "POST")

    def control(self, method, name, body=None):
        reply = self.request(method, "/__test__/" + name, body=body)
        assert reply.status == 200, (name, reply.status, reply.body)
        return reply.json()

    def session(self, username="luna") -> "Member":
        made = self.control("POST", "session", {"username": username})
        return Member(self, username, made["cookie"], made["csrf_token"])



@dataclass
class Member:
    # A signed-in member: cookie and anti-forgery token.
    server: Server
    username: str
    cookie: str
    csrf: str

    def get(self, path, **kw) -> Reply:
        return self.server.get(path, cookie=self.cookie, **kw)

    def post(self, path, body=None, headers=None, referer="/") -> Reply:
        sent = {"X-CSRFToken": self.csrf, **({"Referer": self.server.base + referer} if referer else {})}
        return self.server.post(path, body=body, headers={**sent, **(headers or {})}, cookie=self.cookie)


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
    # The shared server, reset to the demo data before the test.
    server.control("POST", "reset")
    return server


class SocketClient:
    # Raw Socket.IO client: Engine.IO 4 text frames over a WebSocket.

    def __init__(self, name: str = ""):
        self.name, self.frames, self.answer_pings = name, [], True
        self.sid = self.open_packet = self.ws = self._http = self._reader = None
        self._new, self.closed = asyncio.Event(), asyncio.Event()

    async def open(self, base: str, cookie: str | None, ack=True) -> "SocketClient":
        # Open; with ack, wait for the namespace acknowledgement.
        self._http = aiohttp.ClientSession()
        self.ws = await self._http.ws_connect(base.replace("http://", "ws://") + "/socket.io/?EIO=4&transport=websocket",
                                              headers={"Cookie": cookie} if cookie else {})
        first = await self.ws.receive_str(timeout=5)
        self.open_packet = json.loads(first[1:])
        self._reader = asyncio.create_task(self._read())
        await self.ws.send_str("40")
        if ack:
            frame = await self.wait_frame(lambda f: f.startswith("4"))
            assert frame.startswith("40"), frame
            self.sid = json.loads(frame[2:])["sid"]
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
        # Next unconsumed frame matching predicate (frames before it are skipped over).
        deadline = asyncio.get_running_loop().time() + timeout
        while True:
            for i, frame in enumerate(self.frames):
                if predicate(frame):
                    return self.frames.pop(i)
            remaining = deadline - asyncio.get_running_loop().time()
            assert remaining > 0, f"{self.name}: no matching frame; got {self.frames}"
            self._new.clear()
            with contextlib.suppress(asyncio.TimeoutError):
                await asyncio.wait_for(self._new.wait(), remaining)

    async def event(self, name: str, timeout: float = 3.0):
        # Data of the next event with this name (consumed).
        packet = json.loads((await self.wait_frame(lambda f: f.startswith("42") and json.loads(f[2:])[0] == name,
                                                   timeout))[2:])
        return packet[1] if len(packet) > 1 else None

    async def no_event(self, name: str, within: float = 0.3) -> None:
        await asyncio.sleep(within)
        seen = [f for f in self.frames if f.startswith("42") and json.loads(f[2:])[0] == name]
        assert not seen, f"{self.name}: unexpected {seen}"

    async def emit(self, name: str, data=None) -> None:
        await self.ws.send_str("42" + json.dumps([name] if data is None else [name, data], separators=(",", ":")))

    async def close(self) -> None:
        await self.ws.close()
        await asyncio.wait([self._reader], timeout=2)
        await self._http.close()


@pytest.hookimpl(tryfirst=True)
def pytest_pyfunc_call(pyfuncitem):
    # Asynchronous tests run to completion in a loop of their own, within 30 s.
    if not inspect.iscoroutinefunction(pyfuncitem.obj):
        return None
    arguments = {name: pyfuncitem.funcargs[name] for name in pyfuncitem._fixtureinfo.argnames}
    asyncio.run(asyncio.wait_for(pyfuncitem.obj(**arguments), 30))
    return True


@contextlib.asynccontextmanager
async def sockets(srv, *names, settle=True):
    # Connected clients for fresh sessions of these members (each client's .member), closed
    # afterwards. With settle, the presence events their own arrival caused are dropped first.
    clients = []
    try:
        for name in names:
            member = srv.session(name)
            clients.append(await SocketClient(name).open(srv.base, member.cookie))
            clients[-1].member = member
        if settle:
            await asyncio.sleep(0.05)
            for client in clients:
                client.frames = [f for f in client.frames if not f.startswith("42")]
        yield clients
    finally:
        for client in clients:
            await client.close()
