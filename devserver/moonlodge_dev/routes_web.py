"""Web-site routes: home page, logout, static images, the game's download page."""

from __future__ import annotations

import html
import re
from pathlib import Path

from aiohttp import web

from .routes_api import current_session
from .security import SESSION_COOKIE

# Plain file names only: no separators, no leading dot, no "..".
SAFE_FILE_NAME = re.compile(r"^[A-Za-z0-9][A-Za-z0-9_-]*(\.[A-Za-z0-9]+)?$")

PAGE = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>{title}</title>
<style>
body {{ background:#0f0b18; color:#ddd6fe; font-family:'Times New Roman',serif;
       max-width:640px; margin:48px auto; padding:0 16px; }}
h1 {{ color:#c8a2ff; }} a {{ color:#f0abfc; }} img {{ max-width:100%; image-rendering:pixelated;
       border:1px solid #a78bfa; border-radius:12px; }}
.note {{ color:#9f91b5; font-size:14px; }}
</style></head><body>{body}</body></html>"""


def page(title: str, body: str) -> web.Response:
    return web.Response(text=PAGE.format(title=html.escape(title), body=body), content_type="text/html",
                        charset="utf-8")


async def home(request: web.Request) -> web.Response:
    found = current_session(request)
    who = (f"Signed in as <b>{html.escape(found[1]['username'])}</b>." if found
           else "Not signed in.")
    return page("MoonLodge (dev server)",
                "<h1>✦ MoonLodge</h1><p>Local development server of the MoonLodge community.</p>"
                f"<p>{who}</p><p><a href=\"/download/nebulite\">Nebulite</a></p>")


async def logout(request: web.Request) -> web.Response:
    token = request.cookies.get(SESSION_COOKIE)
    if token:
        request.app["store"].delete_session(token)
        await request.app["realtime"].disconnect_session(token)
    reply = web.Response(status=302, headers={"Location": "/"})
    reply.del_cookie(SESSION_COOKIE, path="/")
    return reply


async def download_nebulite(request: web.Request) -> web.Response:
    return page("Nebulite – MoonLodge",
                "<h1>Nebulite 💜</h1><img src=\"/static/images/nebulite.png\" alt=\"Nebulite\">"
                "<p>A fast-paced pixel art game where you must survive as long as possible.</p>"
                "<p class=\"note\">This is the local development server: the game's installer is "
                "not hosted here. Scores can be posted through the test-control surface.</p>"
                "<p><a href=\"/\">← Back to MoonLodge</a></p>")


def serve_from(directories: list[Path], name: str) -> web.StreamResponse:
    """A file by plain name from the first directory holding it, or 404."""
    if not SAFE_FILE_NAME.match(name) or not name.lower().endswith(".png"):
        raise web.HTTPNotFound()
    for directory in directories:
        candidate = directory / name
        if candidate.is_file():
            return web.FileResponse(candidate, headers={"Content-Type": "image/png"})
    raise web.HTTPNotFound()


def setup(app: web.Application, avatar_dirs: list[Path], image_dir: Path) -> None:
    async def avatar(request: web.Request) -> web.StreamResponse:
        return serve_from(avatar_dirs, request.match_info["file"])

    async def nebulite_image(request: web.Request) -> web.StreamResponse:
        return serve_from([image_dir], "nebulite.png")

    r = app.router
    r.add_get("/", home)
    r.add_get("/logout", logout)
    r.add_get("/download/nebulite", download_nebulite)
    r.add_get("/static/avatars/{file}", avatar)
    r.add_get("/static/images/nebulite.png", nebulite_image)
