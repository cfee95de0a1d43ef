"""Assembly of the dev server: storage, routes, real-time channel, test control."""

from __future__ import annotations

import logging
from dataclasses import dataclass
from pathlib import Path

from aiohttp import web

from . import routes_api, routes_web
from .jsonutil import fail
from .pixelart import write_generated_images
from .realtime import Realtime
from .seed import seed
from .store import Store
from .testcontrol import TestControl

log = logging.getLogger("moonlodge.app")

REPO_ROOT = Path(__file__).resolve().parents[2]
BUILTIN_AVATAR_DIR = REPO_ROOT / "resources" / "avatar"
DATABASE_NAME = "moonlodge.sqlite3"


@dataclass
class Config:
    data_dir: Path
    test_control: bool = False
    ping_interval: float = 25.0
    ping_timeout: float = 20.0


@web.middleware
async def api_errors(request: web.Request, handler):
    """JSON envelopes for API paths, also for unknown routes and crashes."""
    try:
        return await handler(request)
    except web.HTTPException as exc:
        if request.path.startswith("/api/") and exc.status >= 400:
            return fail(exc.reason, exc.status)
        raise
    except Exception:
        if not request.path.startswith("/api/"):
            raise
        log.exception("error handling %s %s", request.method, request.path)
        return fail("Internal server error.", 500)


def build_app(config: Config) -> web.Application:
    config.data_dir.mkdir(parents=True, exist_ok=True)
    generated = config.data_dir / "generated"
    avatar_dir, image_dir = generated / "avatars", generated / "images"
    write_generated_images(avatar_dir, image_dir)

    store = Store(config.data_dir / DATABASE_NAME)
    if store.is_empty():
        log.info("seeding the demo community into %s", config.data_dir)
        seed(store)

    middlewares = []
    control = TestControl() if config.test_control else None
    if control:
        middlewares.append(control.middleware)
    middlewares.append(api_errors)

    app = web.Application(middlewares=middlewares)
    app["config"] = config
    app["store"] = store
    app["realtime"] = realtime = Realtime(store, config.ping_interval, config.ping_timeout)
    routes_api.setup(app)
    routes_web.setup(app, [BUILTIN_AVATAR_DIR, avatar_dir], image_dir)
    realtime.attach(app)
    if control:
        control.add_routes(app)

    async def close_store(app: web.Application) -> None:
        store.close()

    async def close_sockets(app: web.Application) -> None:
        await realtime.disconnect_all()

    app.on_shutdown.append(close_sockets)
    app.on_cleanup.append(close_store)
    return app
