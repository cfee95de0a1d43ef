#!/usr/bin/python3
"""Draws MoonLodge's seven built-in pixel-art avatars into resources/avatar/.

Standard library only. Every avatar is a 24 x 24 pixel map (most are mirror
symmetric, so only the left half is written out) drawn over a stepped, round
neon backdrop and upscaled by 8 with nearest-neighbour to 192 x 192. The
client crops avatars to circles, so each character stays inside the
inscribed circle.

    /usr/bin/python3 tools/make_avatars.py [output-folder]
"""

import math
import os
import struct
import sys
import zlib

GRID = 24
SCALE = 8


def hex_rgba(value):
    value = value.lstrip("#")
    r, g, b = int(value[0:2], 16), int(value[2:4], 16), int(value[4:6], 16)
    a = int(value[6:8], 16) if len(value) == 8 else 255
    return (r, g, b, a)


def write_png(path, width, height, rows):
    """rows: list of bytes objects, each width * 4 RGBA bytes."""
    raw = b"".join(b"\x00" + row for row in rows)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


def mirror(left_half):
    rows = []
    for row in left_half:
        if len(row) == GRID:
            rows.append(row)
            continue
        assert len(row) == GRID // 2, row
        rows.append(row + row[::-1])
    assert len(rows) == GRID
    return rows


def backdrop(colours):
    """Stepped round glow: bright core, darker rings, checker dither between bands,
    plus a few twinkling stars near the rim."""
    inner, mid, outer, rim = (hex_rgba(c) for c in colours)
    bands = [(6.5, inner), (9.0, mid), (11.2, outer), (99.0, rim)]
    grid = []
    for y in range(GRID):
        row = []
        for x in range(GRID):
            d = math.hypot(x + 0.5 - GRID / 2, y + 0.5 - GRID / 2)
            colour = rim
            for i, (limit, c) in enumerate(bands):
                if d < limit:
                    colour = c
                    # dither the last half pixel of each band into the next one
                    if d > limit - 0.7 and (x + y) % 2 == 0 and i + 1 < len(bands):
                        colour = bands[i + 1][1]
                    break
            row.append(colour)
        grid.append(row)
    return grid


STAR = hex_rgba("#f0abfc")
STAR_CORE = hex_rgba("#ffffff")
STARS = [(4, 5), (19, 3), (20, 17), (3, 18)]


def render(name, art, palette, colours, stars=STARS, outdir=".", fixes=()):
    rows = [list(r) for r in mirror(art)]
    for x, y, ch in fixes:
        rows[y][x] = ch
    grid = backdrop(colours)
    for sx, sy in stars:
        for dx, dy, c in ((0, 0, STAR_CORE), (1, 0, STAR), (-1, 0, STAR), (0, 1, STAR), (0, -1, STAR)):
            x, y = sx + dx, sy + dy
            if 0 <= x < GRID and 0 <= y < GRID and rows[y][x] == ".":
                grid[y][x] = c
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch != ".":
                grid[y][x] = hex_rgba(palette[ch])
    size = GRID * SCALE
    out_rows = []
    for y in range(GRID):
        line = b"".join(bytes(grid[y][x]) * SCALE for x in range(GRID))
        out_rows.extend([line] * SCALE)
    write_png(os.path.join(outdir, name), size, size, out_rows)


OUTLINE = "#1b0f30"

# ---------------------------------------------------------------- cat
CAT = [
    "............",
    "............",
    "............",
    "....K.......",
    "....KK......",
    "....KPK.....",
    "...KWPPK....",
    "...KWPPPKKKK",
    "..KWWWWWWWWW",
    "..KWWWWWWWWW",
    "..KWWWWWWWWW",
    ".KWWWKKKWWWW",
    ".KWWKEHEKWWW",
    ".KWWKEEEKWWW",
    "DKWWWKKKWWWN",
    ".KWBBWWWWKWK",
    "DKWBBWWWWWKW",
    ".KWWWWWWWWWW",
    "..KSWWWWWWWW",
    "..KSSWWWWWWW",
    "...KKSSSSSSS",
    ".....KKKKKKK",
    "............",
    "............",
]
CAT_PAL = {"K": OUTLINE, "W": "#f3ecff", "S": "#c7b3f5", "P": "#ff72c6", "E": "#2a1747",
           "H": "#ffffff", "N": "#ff2ca8", "B": "#ffa3dc", "D": "#d9c7ff"}

# ---------------------------------------------------------------- frog
FROG = [
    "............",
    "............",
    "............",
    "............",
    "....KKKKK...",
    "...KGGGGGK..",
    "..KGWWWWWGK.",
    "..KGWWHEWGKK",
    ".KGGWWEEWGGG",
    ".KGGGWWWGGGG",
    "KGGGGGGGGGKG",
    "KGGGGGGGGGGG",
    "KGBBGGGGGGGG",
    "KGBBKGGGGGGG",
    "KGGGGKGGGGGG",
    "KGGGGGKKKKKK",
    ".KGGGGGGGGGG",
    ".KDGGGGLLLLL",
    "..KDDGLLLLLL",
    "...KKDDLLLLL",
    ".....KKKKKKK",
    "............",
    "............",
    "............",
]
FROG_PAL = {"K": OUTLINE, "G": "#5eea9b", "D": "#2fb277", "W": "#ffffff", "E": "#1b0f30",
            "H": "#ffffff", "B": "#ff8fcf", "L": "#b8f7cf"}

# ---------------------------------------------------------------- ghost
GHOST = [
    "............",
    "............",
    "........KKKK",
    "......KKWWWW",
    ".....KWWWWWW",
    "....KWWWWWWW",
    "...KWWWWWWWW",
    "...KWWWWWWWW",
    "...KWWKKWWWW",
    "..KWWKEHKWWW",
    "..KWWKEEKWWW",
    "..KWWKEEKWWW",
    "..KWWWKKWWWW",
    "..KWBBWWWWWK",
    "..KWBBWWWWKR",
    "..KWWWWWWWWK",
    "..KWWWWWWWWW",
    "..KSWWWWWWWW",
    "..KSSWWWWWWS",
    "..KSSSSSSSSS",
    "..KSKKSSSKKS",
    "..KK..KSK..K",
    "........K...",
    "............",
]
GHOST_PAL = {"K": OUTLINE, "W": "#f1eaff", "S": "#b9a4ff", "E": "#1b0f30", "H": "#ffffff",
             "B": "#ff9ad8", "R": "#ff2ca8"}

# ---------------------------------------------------------------- fox
FOX = [
    "............",
    "............",
    ".....K......",
    ".....KK.....",
    "....KDOK....",
    "....KDCOK...",
    "....KCCOOK..",
    "...KOCCOOOKK",
    "...KOOOOOOOO",
    "..KOOOOOOOOO",
    "..KOOOOOOOOO",
    ".KOOOOOOOOOO",
    ".KOOOKKOOOOO",
    ".KOOKEHKOOOO",
    "KOOWKEEKOOOO",
    "KWWWWKKWWOOO",
    ".KWWWWWWWWWW",
    "..KWBBWWWWWW",
    "...KWWWWWWNN",
    "....KKWWWWNN",
    "......KKWWWK",
    "........KKKK",
    "............",
    "............",
]
FOX_PAL = {"K": OUTLINE, "O": "#ff8a3d", "D": "#3a1b4f", "C": "#ffe2c2", "W": "#fff4ea",
           "E": "#1b0f30", "H": "#ffffff", "B": "#ff9ad8", "N": "#1b0f30"}

# ---------------------------------------------------------------- panda
PANDA = [
    "............",
    "............",
    "............",
    "....KKK.....",
    "...KEEEK....",
    "...KEEEKKKKK",
    "...KEEKWWWWW",
    "...KKWWWWWWW",
    "..KWWWWWWWWW",
    ".KWWWWWWWWWW",
    ".KWWWEEEWWWW",
    ".KWWEEEEEWWW",
    ".KWEEHEEEWWW",
    ".KWEEEEEWWWW",
    ".KWBEEEWWWWN",
    ".KWBBWWWWKWK",
    ".KWWWWWWWWKW",
    ".KWWWWWWWWWW",
    "..KSWWWWWWWW",
    "..KSSWWWWWWW",
    "...KKSSSSSSS",
    ".....KKKKKKK",
    "............",
    "............",
]
PANDA_PAL = {"K": OUTLINE, "E": "#2a1d3f", "W": "#fbf8ff", "S": "#cdbdf0", "H": "#ffffff",
             "B": "#ff9ad8", "N": "#1b0f30"}

# ---------------------------------------------------------------- sakura (cherry blossom)
SAKURA = [
    "........................",
    "........................",
    "........KKK.KKK.........",
    ".......KLLLKLLLK........",
    ".......KPLLLLLPK........",
    "....KKKPPLLLLLPPKKK.....",
    "...KPPPDPLLPLLPDPPPK....",
    "..KLLLPPDPPPPPDPPLLLK...",
    "..KLLLLPDDDDDDDPLLLLK...",
    "..KKLLLPDDRRRDDPLLLKK...",
    ".KLLLLPPDRRYRRDPPLLLLK..",
    ".KLLLLPDDRYYYRDDPLLLLK..",
    "..KPPPPDDRYYYRDDPPPPK...",
    "..KPPDDDDRRYRRDDDDPPK...",
    "...KKDPPDDRRRDDPPDKK....",
    "...KPPLPPDDDDDPPLPPK....",
    "...KPLLLPPPDPPPLLLPK....",
    "...KLLLLLLPDPLLLLLLK....",
    "...KLLLLLLPDPLLLLLLK....",
    "....KKKLLPPKPPLLKKK.....",
    "......KLLPK.KPLLK.......",
    ".......KKK...KKK........",
    "........................",
    "........................",
]
SAKURA_PAL = {"K": "#5a1240", "P": "#ffb3dd", "L": "#fff0f8", "D": "#ff6fb8", "Y": "#ffe066",
              "R": "#ff2ca8"}

# ---------------------------------------------------------------- bunny
BUNNY = [
    "............",
    "......KK....",
    ".....KWWK...",
    ".....KWPK...",
    ".....KWPK...",
    ".....KWPK...",
    ".....KWPK...",
    ".....KWPWK..",
    "....KWWWWKKK",
    "...KWWWWWWWW",
    "..KWWWWWWWWW",
    "..KWWWWWWWWW",
    ".KWWWKKWWWWW",
    ".KWWKEHKWWWW",
    ".KWWKEEKWWWW",
    ".KWBBKKWWWNN",
    ".KWBBWWWWWKW",
    ".KWWWWWWWWWK",
    "..KSWWWWWWWW",
    "..KSSWWWWWWW",
    "...KKSSSSSSS",
    ".....KKKKKKK",
    "............",
    "............",
]
BUNNY_PAL = {"K": OUTLINE, "W": "#fff5fb", "S": "#e8c2e8", "P": "#ff8fcf", "E": "#2a1747",
             "H": "#ffffff", "B": "#ffa3dc", "N": "#ff2ca8"}

AVATARS = [
    ("cat.png", CAT, CAT_PAL, ("#6d3fd0", "#4f2aa6", "#37197a", "#241052")),
    ("frog.png", FROG, FROG_PAL, ("#3f4fd6", "#2f36a8", "#231f7a", "#170f52"),
     [(16, 7, "H"), (17, 7, "E")]),
    ("ghost.png", GHOST, GHOST_PAL, ("#8a2fc9", "#6a1fa3", "#4a1478", "#2c0b4f")),
    ("fox.png", FOX, FOX_PAL, ("#c2338f", "#921f75", "#641659", "#3c0d3d")),
    ("panda.png", PANDA, PANDA_PAL, ("#b04be0", "#8433b8", "#5a228c", "#35145c")),
    ("sakura.png", SAKURA, SAKURA_PAL, ("#5b3fd6", "#4229a8", "#2d1b7a", "#1b1052")),
    ("bunny.png", BUNNY, BUNNY_PAL, ("#d0479b", "#a23082", "#74226a", "#451448")),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "avatar")
    os.makedirs(outdir, exist_ok=True)
    for name, art, palette, colours, *fixes in AVATARS:
        render(name, art, palette, colours, outdir=outdir, fixes=fixes[0] if fixes else ())
        print("wrote", os.path.join(outdir, name))


if __name__ == "__main__":
    main()
