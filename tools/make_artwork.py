#!/usr/bin/env python3
"""Draws Nearwatch's icons, cursor and bitmaps and writes them to res/art/.

Standard library only: the .ico, .cur and .bmp bytes are assembled here.
Each icon image is stored as a PNG inside the .ico (Windows Vista and later
read those at every size): a third of the bytes of the uncompressed bitmap
with its mask, which would otherwise ship in the exe as they are.
Icons are drawn as vector shapes with 8x8 supersampling (straight alpha,
32 bits per pixel); the toolbar and sort bitmaps are hand-placed pixel art
on an 8-bit palette whose background entry is the 3-D face grey C0C0C0, so
that LoadImage's 3-D colour mapping (which only rewrites colour tables)
turns the background into the current button face.

Usage: tools/make_artwork.py [output folder]   (default: res/art)
"""
import math
import zlib
import os
import struct
import sys

# ---------------------------------------------------------------------------
# Vector rendering for the icons
# ---------------------------------------------------------------------------

SUPERSAMPLE = 8


def rgb(hex_value, alpha=1.0):
    return ((hex_value >> 16) / 255.0, ((hex_value >> 8) & 0xFF) / 255.0,
            (hex_value & 0xFF) / 255.0, alpha)


def render(size, layers):
    """Returns size*size straight-alpha RGBA tuples (0..255), rows top first.

    layers: (inside(u, v) -> bool, colour) pairs painted bottom to top, where
    u, v run over 0..1 across the icon and colour is an RGBA tuple or a
    function of (u, v) giving one.
    """
    pixels = []
    step = 1.0 / SUPERSAMPLE
    for y in range(size):
        for x in range(size):
            acc_r = acc_g = acc_b = acc_a = 0.0
            for sy in range(SUPERSAMPLE):
                v = (y + (sy + 0.5) * step) / size
                for sx in range(SUPERSAMPLE):
                    u = (x + (sx + 0.5) * step) / size
                    r = g = b = a = 0.0
                    for inside, colour in layers:
                        if not inside(u, v):
                            continue
                        cr, cg, cb, ca = colour(u, v) if callable(colour) else colour
                        r = cr * ca + r * (1 - ca)
                        g = cg * ca + g * (1 - ca)
                        b = cb * ca + b * (1 - ca)
                        a = ca + a * (1 - ca)
                    acc_r += r
                    acc_g += g
                    acc_b += b
                    acc_a += a
            n = SUPERSAMPLE * SUPERSAMPLE
            a = acc_a / n
            if a <= 0.0:
                pixels.append((0, 0, 0, 0))
                continue
            pixels.append((round(acc_r / n / a * 255), round(acc_g / n / a * 255),
                           round(acc_b / n / a * 255), round(a * 255)))
    return pixels


def disc(cx, cy, radius):
    r2 = radius * radius
    return lambda u, v: (u - cx) ** 2 + (v - cy) ** 2 <= r2


def ring(cx, cy, radius, width):
    lo = (radius - width / 2) ** 2
    hi = (radius + width / 2) ** 2
    return lambda u, v: lo <= (u - cx) ** 2 + (v - cy) ** 2 <= hi


def bearing(cx, cy, u, v):
    """Clockwise angle from north in degrees, 0..360."""
    return math.degrees(math.atan2(u - cx, cy - v)) % 360.0


def arc(cx, cy, radius, width, start, end):
    """Ring segment from bearing start to end (clockwise), with round caps."""
    band = ring(cx, cy, radius, width)
    caps = [disc(cx + radius * math.sin(math.radians(t)),
                 cy - radius * math.cos(math.radians(t)), width / 2) for t in (start, end)]

    def inside(u, v):
        if band(u, v) and start <= bearing(cx, cy, u, v) <= end:
            return True
        return any(c(u, v) for c in caps)
    return inside


def segment(x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    half2 = (width / 2) ** 2

    def inside(u, v):
        t = max(0.0, min(1.0, ((u - x0) * dx + (v - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (u - px) ** 2 + (v - py) ** 2 <= half2
    return inside


def polar(cx, cy, angle, radius):
    return cx + radius * math.sin(math.radians(angle)), cy - radius * math.cos(math.radians(angle))


def radar_layers(size):
    """The program's mark: a blue radar scope with a sweep and two echoes."""
    px = 1.0 / size
    c = 0.5
    outer = 0.48
    rim = max(0.035, 1.0 * px)
    stroke = max(0.028, 0.95 * px)
    sweep_end = 62.0
    sweep_span = 80.0
    top, bottom = rgb(0x2F8CF2), rgb(0x0A3A8C)

    def body(u, v):
        t = max(0.0, min(1.0, (v - 0.02) / 0.96))
        return tuple(top[i] * (1 - t) + bottom[i] * t for i in range(3)) + (1.0,)

    def sweep_colour(u, v):
        behind = (sweep_end - bearing(c, c, u, v)) % 360.0
        fade = max(0.0, 1.0 - behind / sweep_span)
        return rgb(0x7CE8FF, 0.7 * fade)

    sweep_r = outer - rim
    layers = [
        (disc(c, c, outer), body),
        (lambda u, v: (u - c) ** 2 + (v - c) ** 2 <= sweep_r ** 2 and
         (sweep_end - bearing(c, c, u, v)) % 360.0 <= sweep_span, sweep_colour),
    ]
    # Small sizes keep a single ring: more would blur into the body.
    radii = (0.27,) if size < 24 else (0.14, 0.255, 0.37)
    for r in radii:
        layers.append((ring(c, c, r, stroke), rgb(0xA6D2FF, 0.75)))
    layers.append((ring(c, c, outer - rim / 2, rim), rgb(0x072A66)))
    tip = polar(c, c, sweep_end, sweep_r - 0.01)
    layers.append((segment(c, c, tip[0], tip[1], max(0.04, 1.4 * px)), rgb(0xFFFFFF)))
    blip = max(0.05, 1.3 * px)
    echo = polar(c, c, 38.0, 0.29)
    layers.append((disc(echo[0], echo[1], blip), rgb(0xC4FF6E)))
    if size >= 24:
        faint = polar(c, c, 215.0, 0.31)
        layers.append((disc(faint[0], faint[1], blip * 0.9), rgb(0xC4FF6E, 0.55)))
    layers.append((disc(c, c, max(0.045, 1.0 * px)), rgb(0xFFFFFF)))
    return layers


def device_layers(size):
    """Row mark: a device sending two waves up and to the right."""
    px = 1.0 / size
    cx, cy = 0.27, 0.73
    blue = rgb(0x1E6FD9)
    width = max(0.11, 2.0 * px)
    return [
        (disc(cx, cy, 0.16), blue),
        (arc(cx, cy, 0.40, width, 5.0, 85.0), blue),
        (arc(cx, cy, 0.65, width, 5.0, 85.0), rgb(0x1E6FD9, 0.8)),
    ]


# ---------------------------------------------------------------------------
# File writers
# ---------------------------------------------------------------------------

def mask_rows(width, height, transparent):
    """1-bpp AND mask, bottom-up, rows padded to 32 bits."""
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for y in reversed(range(height)):
        row = bytearray(stride)
        for x in range(width):
            if transparent(x, y):
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def png_chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered_rows(size, raw):
    """Each row with the PNG filter that leaves the fewest distinct bytes
    (a cheap stand-in for "compresses best"); fixed choices, so the same
    pixels always give the same file."""
    stride = size * 4
    out = bytearray()
    previous = bytes(stride)
    for y in range(size):
        row = raw[y * stride:(y + 1) * stride]
        candidates = []
        for kind in range(5):
            line = bytearray(stride)
            for i in range(stride):
                left = row[i - 4] if i >= 4 else 0
                up = previous[i]
                upleft = previous[i - 4] if i >= 4 else 0
                predictor = (0, left, up, (left + up) // 2, paeth(left, up, upleft))[kind]
                line[i] = (row[i] - predictor) & 0xFF
            candidates.append((sum(min(b, 256 - b) for b in line), kind, line))
        _, kind, line = min(candidates)
        out += bytes((kind,)) + line
        previous = row
    return bytes(out)


def icon_image(size, pixels):
    """One icon image as a PNG: 8-bit RGBA, straight alpha, rows top first."""
    raw = bytes(channel for pixel in pixels for channel in pixel)
    header = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', header) +
            png_chunk(b'IDAT', zlib.compress(filtered_rows(size, raw), 9)) + png_chunk(b'IEND', b''))


def write_icon(path, images):
    """images: (size, pixels) pairs."""
    count = len(images)
    blobs = [icon_image(size, pixels) for size, pixels in images]
    out = bytearray(struct.pack('<HHH', 0, 1, count))
    offset = 6 + 16 * count
    for (size, _), blob in zip(images, blobs):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, 'wb') as f:
        f.write(out)


def write_cursor(path, grid, hotspot):
    """Monochrome 32x32 cursor. grid: 'X' black, 'o' white, anything else clear."""
    size = 32
    rows = [line.ljust(size) for line in grid] + [''.ljust(size)] * (size - len(grid))

    def at(x, y):
        return rows[y][x]
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 2)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    xor = mask_rows(size, size, lambda x, y: at(x, y) == 'o')
    mask = mask_rows(size, size, lambda x, y: at(x, y) not in 'Xo')
    blob = header + palette + xor + mask
    out = struct.pack('<HHH', 0, 2, 1)
    out += struct.pack('<BBBBHHII', size, size, 0, 0, hotspot[0], hotspot[1], len(blob), 22)
    with open(path, 'wb') as f:
        f.write(out + blob)


def write_bitmap8(path, width, height, pixels, palette):
    """8-bit palette BMP; pixels are palette indexes, rows top first."""
    stride = (width + 3) & ~3
    bits = bytearray()
    for y in reversed(range(height)):
        row = bytearray(pixels[y * width:(y + 1) * width])
        row += bytes(stride - width)
        bits += row
    colours = bytearray()
    for value in palette:
        colours += bytes((value & 0xFF, (value >> 8) & 0xFF, value >> 16, 0))
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, len(bits),
                       2835, 2835, len(palette), len(palette))
    offset = 14 + len(info) + len(colours)
    head = struct.pack('<2sIHHI', b'BM', offset + len(bits), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(head + info + bytes(colours) + bytes(bits))


# ---------------------------------------------------------------------------
# Pixel art
# ---------------------------------------------------------------------------

# '.' is the background and must stay palette entry 0 (C0C0C0, the 3-D face).
# 808080 and DFDFDF are avoided on purpose except where a colour should
# follow the 3-D shadow ('S').
PALETTE = {
    '.': 0xC0C0C0,
    'K': 0x2E3440,  # outline
    'w': 0xFFFFFF,
    'g': 0x8A939E,  # text lines
    'G': 0xD2D6DB,  # light metal
    'b': 0x2F7DE1,
    'B': 0x0D3F8F,
    'l': 0xA9D1FF,
    'n': 0x9A6234,  # wood
    'y': 0xF2C230,
    'r': 0xD8433B,
    'e': 0x2E9E4F,
    'S': 0x808080,  # follows the 3-D shadow colour
}

FIND = [
    "................",
    "...BBBBB........",
    "..BlllllB.......",
    ".BlwwllllB......",
    ".BlwlllllB......",
    ".BlllllllB......",
    ".BlllllllB......",
    ".BlllllllB......",
    "..BlllllB.......",
    "...BBBBBKK......",
    ".........KKK....",
    "..........KKK...",
    "...........KKK..",
    "............KKK.",
    ".............KK.",
    "................",
]

SAVE = [
    "................",
    ".BBBBBBBBBBBBBB.",
    ".BbwwwwwwwwwwbB.",
    ".BbwggggggggwbB.",
    ".BbwwwwwwwwwwbB.",
    ".BbwggggggggwbB.",
    ".BbwwwwwwwwwwbB.",
    ".BbbbbbbbbbbbbB.",
    ".BbbbbbbbbbbbbB.",
    ".BbbGGGGGGGGbbB.",
    ".BbbGGKKGGGGbbB.",
    ".BbbGGKKGGGGbbB.",
    ".BbbGGKKGGGGbbB.",
    ".BbbGGGGGGGGbbB.",
    ".BBBBBBBBBBBBBB.",
    "................",
]

COPY = [
    "................",
    ".KKKKKKKK.......",
    ".KwwwwwwK.......",
    ".KwggggwK.......",
    ".KwwwwKKKKKKKK..",
    ".KwgggKwwwwwwK..",
    ".KwwwwKwbbbbwK..",
    ".KwgggKwwwwwwK..",
    ".KwwwwKwbbbbwK..",
    ".KKKKKKwwwwwwK..",
    "......KwbbbbwK..",
    "......KwwwwwwK..",
    "......KwbbbwwK..",
    "......KwwwwwwK..",
    "......KKKKKKKK..",
    "................",
]

PROPERTIES = [
    "................",
    ".KKKKKKKKKKKKKK.",
    ".KbbbbbbbbbbbbK.",
    ".KbbbbbbbbbwwbK.",
    ".KwwwwwwwwwwwwK.",
    ".KwggwlllllllwK.",
    ".KwwwwwwwwwwwwK.",
    ".KwggwlllllllwK.",
    ".KwwwwwwwwwwwwK.",
    ".KwggwlllllllwK.",
    ".KwwwwwwwwwwwwK.",
    ".KwggwlllllllwK.",
    ".KwwwwwwwwwwwwK.",
    ".KKKKKKKKKKKKKK.",
    "................",
    "................",
]

EXIT = [
    "................",
    ".KKKKKKK........",
    ".KnnnnnK........",
    ".KnnnnnK........",
    ".KnnnnnK...r....",
    ".KnnnnnK...rr...",
    ".KnnnnnK...rrr..",
    ".KnnnnyK.rrrrrr.",
    ".KnnnnyK.rrrrrr.",
    ".KnnnnnK...rrr..",
    ".KnnnnnK...rr...",
    ".KnnnnnK...r....",
    ".KnnnnnK........",
    ".KnnnnnK........",
    ".KKKKKKK........",
    "................",
]

# Presence timeline: bars on a time grid.
TIMELINE = [
    "................",
    ".KKKKKKKKKKKKKK.",
    ".KwwwgwwwwgwwwK.",
    ".KwbbbbbgwwwwwK.",
    ".KwbbbbbgwwwwwK.",
    ".KwwwgwwwwgwwwK.",
    ".KwwwgweeeeeeeK.",
    ".KwwwgweeeeeeeK.",
    ".KwwwgwwwwgwwwK.",
    ".KwwbbbbwwgbbwK.",
    ".KwwbbbbwwgbbwK.",
    ".KwwwgwwwwgwwwK.",
    ".KKKKKKKKKKKKKK.",
    "....S....S......",
    "....S....S......",
    "................",
]

HIDE = [
    "................",
    ".KKKKKKKKKKKKKK.",
    ".KbbbbbbbbbbbbK.",
    ".KwwwwwwwwwwwwK.",
    ".KwwwwwwwwwwwwK.",
    ".KwwwwwwwwwwwwK.",
    ".KwwwwwwwwwwwwK.",
    ".KKKKKKeeKKKKKK.",
    ".......ee.......",
    ".......ee.......",
    ".....eeeeee.....",
    "......eeee......",
    ".......ee.......",
    "................",
    "..KKKKKKKKKKKK..",
    "................",
]

SORT_UP = [
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    ".......SS.......",
    "......SSSS......",
    ".....SSSSSS.....",
    "....SSSSSSSS....",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
]

SORT_DOWN = [
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "....SSSSSSSS....",
    ".....SSSSSS.....",
    "......SSSS......",
    ".......SS.......",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
]

# Pointing hand; the hot spot is the tip of the index finger.
HAND = [
    "      XX",
    "     XooX",
    "     XooX",
    "     XooX",
    "     XooX",
    "     XooXXX",
    "     XooXooXXX",
    "     XooXooXooXX",
    "     XooXooXooXoX",
    " XX  XooXooXooXoX",
    "XooX XooooooooooX",
    "XoooXXooooooooooX",
    " XooooooooooooooX",
    "  XoooooooooooooX",
    "  XoooooooooooooX",
    "   XooooooooooooX",
    "   XoooooooooooX",
    "    XooooooooooX",
    "    XooooooooooX",
    "    XooooooooooX",
    "    XXXXXXXXXXXX",
]
HAND_HOTSPOT = (6, 0)


def palette_pixels(images):
    """Joins 16x16 grids side by side into palette indexes."""
    keys = list(PALETTE)
    width = 16 * len(images)
    out = []
    for y in range(16):
        for grid in images:
            row = grid[y]
            if len(row) != 16 or len(grid) != 16:
                raise ValueError('pixel art must be 16x16')
            out.extend(keys.index(ch) for ch in row)
    return width, out, [PALETTE[k] for k in keys]


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '..', 'res', 'art')
    os.makedirs(out_dir, exist_ok=True)

    def place(name):
        return os.path.join(out_dir, name)

    radar = {size: render(size, radar_layers(size)) for size in (16, 32, 48)}
    write_icon(place('nearwatch.ico'), [(s, radar[s]) for s in (16, 32, 48)])
    write_icon(place('tray.ico'), [(s, radar[s]) for s in (16, 32)])
    write_icon(place('row.ico'), [(s, render(s, device_layers(s))) for s in (16, 32)])
    write_cursor(place('link.cur'), HAND, HAND_HOTSPOT)

    width, pixels, palette = palette_pixels([FIND, SAVE, COPY, PROPERTIES, EXIT, HIDE, TIMELINE])
    write_bitmap8(place('toolbar.bmp'), width, 16, pixels, palette)
    for name, grid in (('sort_up.bmp', SORT_UP), ('sort_down.bmp', SORT_DOWN)):
        width, pixels, palette = palette_pixels([grid])
        write_bitmap8(place(name), width, 16, pixels, palette)


if __name__ == '__main__':
    main()
