"""Command line of the dev server."""

from __future__ import annotations

import argparse
import asyncio
import logging
import os
import signal
import sys
from pathlib import Path

from aiohttp import web

from .app import Config, build_app

READY_PREFIX = "MOONLODGE_DEVSERVER_READY"


def default_data_dir() -> Path:
    base = os.environ.get("XDG_DATA_HOME") or os.path.join(os.path.expanduser("~"), ".local", "share")
    return Path(base) / "moonlodge-devserver"


def parse_args(argv: list[str] | None = None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(prog="run.py", description="MoonLodge local community server.")
    parser.add_argument("--host", default="127.0.0.1", help="address to bind (default 127.0.0.1)")
    parser.add_argument("--port", type=int, default=8765, help="port (default 8765; 0 picks a free one)")
    parser.add_argument("--data", type=Path, default=None,
                        help=f"data folder (default {default_data_dir()})")
    parser.add_argument("--test-control", action="store_true",
                        help="enable the /__test__/ routes (loopback peers only)")
    parser.add_argument("--ping-interval", type=float, default=25.0,
                        help="Socket.IO ping interval in seconds (default 25)")
    parser.add_argument("--ping-timeout", type=float, default=20.0,
                        help="Socket.IO ping timeout in seconds (default 20)")
    parser.add_argument("--log-level", default="INFO",
                        choices=["DEBUG", "INFO", "WARNING", "ERROR", "CRITICAL"])
    return parser.parse_args(argv)


async def serve(args: argparse.Namespace) -> None:
    config = Config(data_dir=(args.data or default_data_dir()).resolve(),
                    test_control=args.test_control,
                    ping_interval=args.ping_interval, ping_timeout=args.ping_timeout)
    app = build_app(config)
    runner = web.AppRunner(app, access_log=logging.getLogger("moonlodge.access"))
    await runner.setup()
    site = web.TCPSite(runner, args.host, args.port)
    await site.start()

    sockname = site._server.sockets[0].getsockname()
    host = args.host if ":" not in args.host else f"[{args.host}]"
    print(f"{READY_PREFIX} http://{host}:{sockname[1]}", flush=True)
    logging.getLogger("moonlodge").info("data folder: %s", config.data_dir)

    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGINT, signal.SIGTERM):
        loop.add_signal_handler(sig, stop.set)
    try:
        await stop.wait()
    finally:
        await runner.cleanup()


def main(argv: list[str] | None = None) -> int:
    args = parse_args(argv)
    logging.basicConfig(level=getattr(logging, args.log_level), stream=sys.stderr,
                        format="%(asctime)s %(levelname)s %(name)s: %(message)s")
    asyncio.run(serve(args))
    return 0
