#!/usr/bin/python3
"""Draws the MoonLodge application icon into resources/icons/hicolor/.

Standard library only, like make_avatars.py. The icon is a 32 x 32 pixel map:
a crescent moon and a neon sparkle over a little lodge, on a night-violet
rounded tile with a pink-to-violet neon rim. It is written as PNG at every
hicolor size from 16 to 512 pixels (nearest-neighbour at multiples of 32,
averaged below or between them) and as a scalable SVG of crisp squares.

    /usr/bin/python3 tools/make_icons.py [output-folder]
"""

import math
import os
import sys

from make_avatars import hex_rgba, write_png

ICON_ID = "org.moonlodge.MoonLodge"
GRID = 32
SIZES = (16, 24, 32, 48, 64, 128, 256, 512)
CLEAR = (0, 0, 0, 0)

NIGHT_TOP = hex_rgba("#3b1d78")
NIGHT_BOTTOM = hex_rgba("#140a2a")
RIM_PINK = hex_rgba("#ff2ca8")
RIM_VIOLET = hex_rgba("#7b2cff")
MOON = hex_rgba("#f0abfc")
MOON_LIGHT = hex_rgba("#ffffff")
MOON_SHADE = hex_rgba("#c8a2ff")
STAR = hex_rgba("#ff72c6")
STAR_CORE = hex_rgba("#ffffff")
DUST = hex_rgba("#a78bfa")
OUTLINE = hex_rgba("#1b0f30")
ROOF = hex_rgba("#ff2ca8")
ROOF_DARK = hex_rgba("#b8137a")
WALL = hex_rgba("#4a2a8c")
WALL_DARK = hex_rgba("#2b174f")
WINDOW = hex_rgba("#ffe066")
GROUND = hex_rgba("#7b2cff")


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(4))


def inside_tile(x, y, margin=1, radius=7):
    """The rounded tile: a square inset by margin with circular corners."""
    lo, hi = margin, GRID - 1 - margin
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return math.hypot(x - cx, y - cy) <= radius + 0.25


def tile(grid):
    for y in range(GRID):
        for x in range(GRID):
            if not inside_tile(x, y):
                continue
            if not inside_tile(x, y, margin=2, radius=6):
                # neon rim: pink at the top left, violet at the bottom right
                grid[y][x] = mix(RIM_PINK, RIM_VIOLET, (x + y) / (2 * GRID - 2))
                continue
            # night sky in stepped bands, checker-dithered where two bands meet
            band = min(y // 4, 7)
            if y % 4 == 3 and (x + y) % 2 == 0:
                band = min(band + 1, 7)
            grid[y][x] = mix(NIGHT_TOP, NIGHT_BOTTOM, band / 7)


def moon(grid):
    for y in range(GRID):
        for x in range(GRID):
            px, py = x + 0.5, y + 0.5
            d = math.hypot(px - 20, py - 11.5)
            if d > 7.2 or math.hypot(px - 23.2, py - 8.6) < 6.4:
                continue
            if d > 6.2 and px < 20:
                grid[y][x] = MOON_LIGHT
            elif px + py > 35:
                grid[y][x] = MOON_SHADE
            else:
                grid[y][x] = MOON


def sparkle(grid, cx, cy, arm):
    grid[cy][cx] = STAR_CORE
    for i in range(1, arm + 1):
        for x, y in ((cx - i, cy), (cx + i, cy), (cx, cy - i), (cx, cy + i)):
            grid[y][x] = STAR if i < arm else DUST


LODGE = [
    "......KK......",
    ".....KRRK.....",
    "....KRRRRK....",
    "...KRRRRRRK...",
    "..KRRRRRRRRK..",
    ".KRDDDDDDDDRK.",
    "KKKKKKKKKKKKKK",
    ".KWWWWWWWWWWK.",
    ".KWYYWWWKKWWK.",
    ".KWYYWWWKKWSK.",
    ".KWWWWWWKKWSK.",
    ".KSSSSSSKKSSK.",
]
LODGE_PAL = {"K": OUTLINE, "R": ROOF, "D": ROOF_DARK, "W": WALL, "S": WALL_DARK, "Y": WINDOW}


def lodge(grid, left, top):
    for dy, row in enumerate(LODGE):
        for dx, ch in enumerate(row):
            if ch != ".":
                grid[top + dy][left + dx] = LODGE_PAL[ch]


def ground(grid, row):
    for x in range(3, GRID - 3):
        if inside_tile(x, row, margin=2, radius=6):
            grid[row][x] = GROUND


def draw():
    grid = [[CLEAR] * GRID for _ in range(GRID)]
    tile(grid)
    for x, y in ((6, 15), (14, 5), (27, 19), (11, 12), (25, 25)):
        grid[y][x] = DUST
    moon(grid)
    sparkle(grid, 8, 8, 2)
    lodge(grid, 5, 16)
    ground(grid, 28)
    return grid


def png_rows(grid, size):
    """Nearest-neighbour for multiples of the grid, a 4 x 4 sampled average otherwise."""
    rows = []
    if size % GRID == 0:
        scale = size // GRID
        for y in range(GRID):
            line = b"".join(bytes(grid[y][x]) * scale for x in range(GRID))
            rows.extend([line] * scale)
        return rows
    samples = 4
    for oy in range(size):
        line = bytearray()
        for ox in range(size):
            total = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    gx = int((ox + (sx + 0.5) / samples) * GRID / size)
                    gy = int((oy + (sy + 0.5) / samples) * GRID / size)
                    r, g, b, a = grid[gy][gx]
                    total[0] += r * a
                    total[1] += g * a
                    total[2] += b * a
                    total[3] += a
            alpha = total[3]
            colour = [round(total[i] / alpha) if alpha else 0 for i in range(3)]
            line += bytes(colour + [round(alpha / samples ** 2)])
        rows.append(bytes(line))
    return rows


def svg(grid):
    """One rect per horizontal run of equal colour."""
    parts = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{GRID * 16}" height="{GRID * 16}" '
        f'viewBox="0 0 {GRID} {GRID}" shape-rendering="crispEdges">',
    ]
    for y in range(GRID):
        x = 0
        while x < GRID:
            colour = grid[y][x]
            run = 1
            while x + run < GRID and grid[y][x + run] == colour:
                run += 1
            if colour[3]:
                fill = "#%02x%02x%02x" % colour[:3]
                opacity = "" if colour[3] == 255 else f' fill-opacity="{colour[3] / 255:.3f}"'
                parts.append(f'<rect x="{x}" y="{y}" width="{run}" height="1" fill="{fill}"{opacity}/>')
            x += run
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "icons", "hicolor")
    grid = draw()
    for size in SIZES:
        folder = os.path.join(outdir, f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, ICON_ID + ".png")
        write_png(path, size, size, png_rows(grid, size))
        print("wrote", path)
    folder = os.path.join(outdir, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, ICON_ID + ".svg")
    with open(path, "w", encoding="utf-8") as out:
        out.write(svg(grid))
    print("wrote", path)


if __name__ == "__main__":
    main()
