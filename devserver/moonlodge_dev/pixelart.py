"""Small original pixel-art images, drawn in code and written as PNG.

Only the standard library is used: the PNG encoder below writes 8-bit RGBA
images (colour type 6) with one zlib-compressed IDAT chunk.
"""

from __future__ import annotations

import random
import struct
import zlib
from pathlib import Path

RGBA = tuple  # (r, g, b, a)

TRANSPARENT = (0, 0, 0, 0)


def encode_png(width: int, height: int, pixels: list[list[RGBA]]) -> bytes:
    """Encode rows of RGBA tuples as a PNG file."""
    if len(pixels) != height or any(len(row) != width for row in pixels):
        raise ValueError("pixel rows do not match the image size")

    def chunk(kind: bytes, data: bytes) -> bytes:
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def from_map(rows: list[str], palette: dict[str, RGBA], scale: int) -> tuple[int, int, list[list[RGBA]]]:
    """Turn a character map into scaled pixel rows; each character is one cell."""
    width = max(len(r) for r in rows)
    out: list[list[RGBA]] = []
    for text in rows:
        line: list[RGBA] = []
        for ch in text.ljust(width, "."):
            line.extend([palette.get(ch, TRANSPARENT)] * scale)
        out.extend([list(line) for _ in range(scale)])
    return width * scale, len(rows) * scale, out


# --- "comet.png": an avatar that only the server has -----------------------

COMET_MAP = [
    "................",
    "..........oooo..",
    "........oowwwwo.",
    ".......owwyyyywo",
    "......owyyyyyywo",
    ".....oyyyyyyyyo.",
    "....pyykyykyyyo.",
    "...ppyyyyyyyyo..",
    "..ppmyyymyyyo...",
    ".pmmmyyyyyyo....",
    "pmm.mmoooo......",
    "mm..mm..........",
    "m..mm...........",
    "..mm............",
    ".m..............",
    "................",
]

COMET_PALETTE = {
    "o": (122, 70, 214, 255),   # violet outline
    "w": (255, 250, 235, 255),  # white-hot rim
    "y": (255, 209, 102, 255),  # golden body
    "k": (43, 27, 73, 255),     # eyes
    "p": (236, 72, 153, 255),   # pink tail
    "m": (167, 139, 250, 255),  # lilac tail
}


def comet_avatar() -> bytes:
    """A smiling comet on a dark violet disc, 128 x 128."""
    cells = 16
    scale = 8
    _, _, sprite = from_map(COMET_MAP, COMET_PALETTE, scale)
    size = cells * scale
    centre = (size - 1) / 2
    radius = size / 2
    pixels: list[list[RGBA]] = []
    for y in range(size):
        row: list[RGBA] = []
        for x in range(size):
            d2 = (x - centre) ** 2 + (y - centre) ** 2
            if d2 > radius * radius:
                row.append(TRANSPARENT)
                continue
            # Stepped (pixelated) radial shading of the background disc.
            band = int((d2 ** 0.5) / radius * 4)
            shade = (43 - band * 6, 27 - band * 4, 73 - band * 8, 255)
            px = sprite[y][x]
            row.append(px if px[3] else shade)
        pixels.append(row)
    return encode_png(size, size, pixels)


# --- "nebulite.png": the game card banner ----------------------------------

FONT_5X7 = {
    "N": ["X...X", "XX..X", "X.X.X", "X..XX", "X...X", "X...X", "X...X"],
    "E": ["XXXXX", "X....", "X....", "XXXX.", "X....", "X....", "XXXXX"],
    "B": ["XXXX.", "X...X", "X...X", "XXXX.", "X...X", "X...X", "XXXX."],
    "U": ["X...X", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "L": ["X....", "X....", "X....", "X....", "X....", "X....", "XXXXX"],
    "I": ["XXXXX", "..X..", "..X..", "..X..", "..X..", "..X..", "XXXXX"],
    "T": ["XXXXX", "..X..", "..X..", "..X..", "..X..", "..X..", "..X.."],
}

SHIP_MAP = [
    "....c.......",
    "...ccc......",
    "..cwwwc.....",
    ".cwbbbwc....",
    "ppcwbbwccccc",
    "ffpcwwccvvvv",
    "ppcwbbwccccc",
    ".cwbbbwc....",
    "..cwwwc.....",
    "...ccc......",
    "....c.......",
]

SHIP_PALETTE = {
    "c": (167, 139, 250, 255),
    "w": (237, 233, 254, 255),
    "b": (56, 189, 248, 255),
    "v": (124, 58, 237, 255),
    "p": (236, 72, 153, 255),
    "f": (255, 209, 102, 255),
}


def nebulite_banner() -> bytes:
    """The Nebulite game image: a ship crossing a violet nebula, 540 x 200."""
    cols, rows, scale = 135, 50, 4
    rng = random.Random(20240611)  # fixed: the image is the same on every start
    grid: list[list[RGBA]] = []
    for y in range(rows):
        line: list[RGBA] = []
        for x in range(cols):
            # Two soft clouds, quantised into bands for the pixel look.
            c1 = max(0.0, 1 - (((x - 40) / 38) ** 2 + ((y - 22) / 16) ** 2))
            c2 = max(0.0, 1 - (((x - 100) / 30) ** 2 + ((y - 32) / 14) ** 2))
            level = int((c1 * 0.9 + c2 * 0.7) * 5) / 5
            r = int(15 + 90 * level)
            g = int(11 + 30 * level)
            b = int(24 + 140 * level)
            line.append((min(r, 255), min(g, 255), min(b, 255), 255))
        grid.append(line)
    for _ in range(140):
        x, y = rng.randrange(cols), rng.randrange(rows)
        bright = rng.choice([(200, 190, 255, 255), (255, 255, 255, 255), (255, 209, 102, 255)])
        grid[y][x] = bright
    # Title, 2 cells per font pixel, centred at the top.
    title = "NEBULITE"
    text_w = len(title) * 6 * 2 - 2
    ox, oy = (cols - text_w) // 2, 4
    for i, ch in enumerate(title):
        glyph = FONT_5X7[ch]
        for gy, glyph_row in enumerate(glyph):
            for gx, cell in enumerate(glyph_row):
                if cell != "X":
                    continue
                for dy in range(2):
                    for dx in range(2):
                        px, py = ox + i * 12 + gx * 2 + dx, oy + gy * 2 + dy
                        # Shadow first, then the letter.
                        if py + 1 < rows and px + 1 < cols:
                            grid[py + 1][px + 1] = (76, 29, 149, 255)
                        grid[py][px] = (240, 171, 252, 255)
    # Ship with a dotted trail.
    sx, sy = 78, 30
    for y, text in enumerate(SHIP_MAP):
        for x, ch in enumerate(text):
            if ch in SHIP_PALETTE:
                grid[sy + y][sx + x] = SHIP_PALETTE[ch]
    for k in range(0, 26, 3):
        grid[sy + 5][sx - 3 - k] = (236, 72, 153, 255) if k % 2 else (255, 209, 102, 255)
    pixels: list[list[RGBA]] = []
    for line in grid:
        wide = [px for px in line for _ in range(scale)]
        pixels.extend([list(wide) for _ in range(scale)])
    return encode_png(cols * scale, rows * scale, pixels)


GENERATED_AVATARS = {"comet.png": comet_avatar}


def write_generated_images(avatar_dir: Path, image_dir: Path) -> None:
    """Write the server-only avatars and the game image (skipped when present)."""
    avatar_dir.mkdir(parents=True, exist_ok=True)
    image_dir.mkdir(parents=True, exist_ok=True)
    for name, draw in GENERATED_AVATARS.items():
        target = avatar_dir / name
        if not target.exists():
            target.write_bytes(draw())
    banner = image_dir / "nebulite.png"
    if not banner.exists():
        banner.write_bytes(nebulite_banner())
