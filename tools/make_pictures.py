#!/usr/bin/env python3
"""Writes the program's pictures: the window icon (vellomar.png), the same icon
drawn scalable for desktop menus (vellomar.svg) and the hand pointer
(HAND-M.CUR, a 32x32 Windows cursor with its hot spot on the fingertip).
Run from the repository root: python3 tools/make_pictures.py"""
import struct
import zlib

HAND = """
.........##.....................
........#..#....................
........#..#....................
........#..#....................
........#..#....................
........#..###..................
........#..#..###...............
........#..#..#..##.............
.....##.#..#..#..#.#............
....#..##..#..#..#..#...........
....#...#........#..#...........
.....#..#...........#...........
.....#..............#...........
......#.............#...........
......#............#............
.......#...........#............
.......#..........#.............
........#.........#.............
........##########..............
"""

def hand_pixels():
    rows = [r for r in HAND.strip("\n").split("\n")]
    rows += ["." * 32] * (32 - len(rows))
    # Fill the inside of the outline with white: a pixel is inside when an
    # outline pixel stands left and right of it on its row.
    pixels = []
    for r in rows:
        line = []
        for x, c in enumerate(r):
            if c == "#":
                line.append("black")
            elif "#" in r[:x] and "#" in r[x + 1:]:
                line.append("white")
            else:
                line.append(None)
        pixels.append(line)
    return pixels

def write_cursor(path, hotspot):
    pixels = hand_pixels()
    xor = b""
    mask = b""
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        bits = 0
        for x, p in enumerate(row):
            if p == "black":
                xor += bytes((0, 0, 0, 255))
            elif p == "white":
                xor += bytes((255, 255, 255, 255))
            else:
                xor += bytes((0, 0, 0, 0))
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    info = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + xor + mask
    header = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 0, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + image)

def write_png(path, size, pixel):
    raw = b""
    for y in range(size):
        raw += b"\0" + b"".join(bytes(pixel(x, y)) for x in range(size))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)

def icon_pixel(x, y):
    # A green sheet with grid lines and a white "V" across it.
    if x < 2 or x > 29 or y < 2 or y > 29:
        return (0, 0, 0, 0)
    on_v = abs((x - 16) - (y - 6) * 10 / 20 * (1 if x >= 16 else -1)) < 2.2 and 6 <= y <= 26
    if on_v:
        return (255, 255, 255, 255)
    if x in (2, 29) or y in (2, 29) or x % 9 == 2 or y % 9 == 2:
        return (20, 90, 50, 255)
    return (46, 160, 90, 255)

def write_svg(path):
    # icon_pixel's picture on the same 32-unit grid: pixel x spans x..x+1.
    dark, light = "#145a32", "#2ea05a"
    grid = "".join(f'<path d="M{c + 0.5} 2V30M2 {c + 0.5}H30"/>' for c in (11, 20))
    svg = (
        '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">\n'
        f'<rect x="2.5" y="2.5" width="27" height="27" fill="{light}" stroke="{dark}"/>\n'
        f'<g stroke="{dark}" fill="none">{grid}</g>\n'
        '<path d="M6.5 26.5L16.5 6.5L26.5 26.5" fill="none" stroke="#fff" stroke-width="3.9"/>\n'
        '</svg>\n')
    with open(path, "w") as f:
        f.write(svg)

if __name__ == "__main__":
    write_cursor("resources/HAND-M.CUR", hotspot=(9, 0))
    write_png("resources/vellomar.png", 32, icon_pixel)
    write_svg("resources/vellomar.svg")
