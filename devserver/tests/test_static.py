# Avatars, the download page and path-traversal refusal (the client's page suites
# download and decode the server-only avatar and the game image).

from pathlib import Path

import pytest

RESOURCES = Path(__file__).resolve().parents[2] / "resources" / "avatar"


def test_builtin_avatars_are_served_from_the_resources(server):
    for source in RESOURCES.glob("*.png"):
        assert server.get("/static/avatars/" + source.name).body == source.read_bytes(), source.name


@pytest.mark.parametrize("path", [
    "/static/avatars/unknown.png", "/static/avatars/../logout", "/static/avatars/..%2flogout",
    "/static/avatars/%2e%2e/logout", "/static/avatars/%2e%2e%2f%2e%2e%2fREADME.md",
    "/static/avatars/%2e%2e%2fimages%2fnebulite.png", "/static/avatars//etc/passwd",
    "/static/avatars/%2Fetc%2Fpasswd", "/static/avatars/%2e%2e%5cmoonlodge.sqlite3",
    "/static/avatars/.hidden.png", "/static/images/../avatars/comet.png", "/static/images/comet.png",
])
def test_path_traversal_is_refused(srv, path):
    member = srv.session()
    assert member.get(path).status == 404, path
    assert member.get("/api/desktop/profile").status == 200, "nothing reached the logout route"


def test_download_page(server):
    page = server.get("/download/nebulite")
    assert page.status == 200 and "/static/images/nebulite.png" in page.body.decode()
