"""Avatars, the game image, the download page and path-traversal refusal."""

import struct
import zlib
from pathlib import Path

import pytest

REPO_ROOT = Path(__file__).resolve().parents[2]


def png_size(data: bytes) -> tuple[int, int]:
    """Check the PNG signature, header and pixel data, and return its size."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    width, height = struct.unpack(">II", data[16:24])
    start = data.index(b"IDAT") + 4
    length = struct.unpack(">I", data[start - 8:start - 4])[0]
    assert len(zlib.decompress(data[start:start + length])) == height * (1 + 4 * width)
    return width, height


def test_server_only_avatar_and_game_image_are_valid_pngs(server):
    avatar = server.get("/static/avatars/comet.png")
    assert avatar.status == 200 and avatar.header("Content-Type") == "image/png"
    assert png_size(avatar.body) == (128, 128)
    image = server.get("/static/images/nebulite.png")
    assert image.status == 200 and image.header("Content-Type") == "image/png"
    width, height = png_size(image.body)
    assert width >= 400 and height >= 150


@pytest.mark.parametrize("name", ["cat.png", "frog.png", "ghost.png", "fox.png",
                                  "panda.png", "sakura.png", "bunny.png"])
def test_builtin_avatars_are_served_from_the_resources(server, name):
    source = REPO_ROOT / "resources" / "avatar" / name
    reply = server.get("/static/avatars/" + name)
    if source.is_file():
        assert reply.status == 200 and reply.body == source.read_bytes()
    else:
        assert reply.status == 404


@pytest.mark.parametrize("path", [
    "/static/avatars/unknown.png",
    "/static/avatars/../logout",
    "/static/avatars/..%2flogout",
    "/static/avatars/%2e%2e/logout",
    "/static/avatars/%2e%2e%2f%2e%2e%2fREADME.md",
    "/static/avatars/%2e%2e%2fimages%2fnebulite.png",
    "/static/avatars//etc/passwd",
    "/static/avatars/%2Fetc%2Fpasswd",
    "/static/avatars/%2e%2e%5cmoonlodge.sqlite3",
    "/static/avatars/.hidden.png",
    "/static/images/../avatars/comet.png",
    "/static/images/comet.png",
])
def test_path_traversal_is_refused(srv, path):
    member = srv.session()
    reply = member.get(path)
    assert reply.status == 404, path
    assert b"PNG" not in reply.body[:8]
    # In particular nothing reached the logout route.
    assert member.get("/api/desktop/profile").status == 200


def test_download_page_and_home_page(server):
    page = server.get("/download/nebulite")
    assert page.status == 200 and page.header("Content-Type").startswith("text/html")
    assert "Nebulite" in page.text and "/static/images/nebulite.png" in page.text
    home = server.get("/")
    assert home.status == 200 and "MoonLodge" in home.text
