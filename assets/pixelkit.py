# SPDX-License-Identifier: GPL-3.0-or-later
"""Small pixel-art toolkit for Brindle's artwork.

Everything here works on palette-indexed PIL images ("P" mode) drawn at native
resolution. The GIF and ICO writers are written out by hand so that the files
have exactly the structure the program relies on (256-entry colour tables,
the loop extension, every frame stored whole with its own delay) and so that
running the scripts again gives byte-identical files.
"""

import struct

from PIL import Image, ImageChops, ImageDraw

# ---------------------------------------------------------------------------
# Palette: one shared table for every picture. Index 0 is "empty" on sprite
# layers (it is never painted onto a finished picture).
# ---------------------------------------------------------------------------

COLOURS = [
    ("clear", (255, 0, 255)),
    ("ink", (28, 20, 36)),  # outline colour
    ("white", (255, 255, 255)),
    ("black", (0, 0, 0)),
    ("grey1", (226, 226, 232)),
    ("grey2", (176, 176, 186)),
    ("grey3", (128, 128, 128)),
    ("grey4", (84, 84, 96)),
    ("skin1", (255, 222, 186)),
    ("skin2", (242, 186, 144)),
    ("skin3", (200, 132, 98)),
    ("blush", (246, 132, 132)),
    ("red1", (255, 110, 96)),
    ("red2", (222, 40, 44)),
    ("red3", (150, 18, 36)),
    ("red4", (92, 10, 26)),
    ("orange", (255, 160, 48)),
    ("yellow1", (255, 240, 140)),
    ("yellow2", (250, 204, 60)),
    ("yellow3", (206, 146, 30)),
    ("wood1", (214, 156, 92)),
    ("wood2", (170, 108, 58)),
    ("wood3", (116, 68, 38)),
    ("wood4", (72, 40, 26)),
    ("blue1", (150, 200, 255)),
    ("blue2", (70, 130, 230)),
    ("blue3", (40, 70, 170)),
    ("blue4", (24, 36, 96)),
    ("navy1", (44, 52, 110)),
    ("navy2", (28, 32, 74)),
    ("navy3", (16, 18, 44)),
    ("green1", (150, 230, 120)),
    ("green2", (60, 180, 70)),
    ("green3", (26, 118, 52)),
    ("green4", (14, 68, 36)),
    ("violet1", (190, 160, 255)),
    ("violet2", (130, 96, 230)),
    ("violet3", (84, 54, 170)),
    ("tear1", (200, 240, 255)),
    ("tear2", (110, 196, 250)),
    ("cream1", (255, 248, 220)),
    ("cream2", (255, 232, 176)),
    ("cream3", (246, 206, 140)),
    ("pink1", (255, 196, 206)),
    ("brown1", (120, 80, 60)),
    ("hair", (52, 36, 32)),
    ("steam1", (240, 244, 252)),
    ("steam2", (196, 206, 226)),
    ("noodle", (250, 226, 130)),
    ("night1", (58, 64, 128)),
    ("night2", (40, 44, 98)),
    ("glow1", (255, 214, 120)),
    ("glow2", (236, 160, 80)),
    ("sky1", (255, 250, 226)),
    ("sky2", (255, 236, 190)),
    ("sky3", (250, 214, 160)),
    ("floor1", (222, 168, 110)),
    ("floor2", (190, 132, 80)),
    ("floor3", (146, 96, 56)),
]

C = {name: i for i, (name, _) in enumerate(COLOURS)}


def add_colour(name, rgb):
    """Adds a colour to the shared table (used for ramps that only one picture needs)."""
    if name in C:
        return C[name]
    COLOURS.append((name, rgb))
    C[name] = len(COLOURS) - 1
    if len(COLOURS) > 256:
        raise ValueError("palette overflow")
    return C[name]


def palette_bytes():
    pal = []
    for _, rgb in COLOURS:
        pal.extend(rgb)
    pal.extend([0] * (768 - len(pal)))
    return pal


def rgb_of(index):
    return COLOURS[index][1]


def new_canvas(w, h, colour="clear"):
    img = Image.new("P", (w, h), C[colour] if isinstance(colour, str) else colour)
    img.putpalette(palette_bytes())
    return img


def to_rgb(img):
    img = img.copy()
    img.putpalette(palette_bytes())
    return img.convert("RGB")


def preview(img, path, scale=4):
    """Saves an enlarged copy for looking at the result (not part of the assets)."""
    to_rgb(img).resize((img.width * scale, img.height * scale), Image.NEAREST).save(path)


# ---------------------------------------------------------------------------
# Layers and shapes. A "mask" is an "L" image with 255 inside the shape.
# ---------------------------------------------------------------------------


def mask(w, h):
    return Image.new("L", (w, h), 0)


def shifted(m, dx, dy):
    out = Image.new("L", m.size, 0)
    out.paste(m, (dx, dy))
    return out


def paint(img, m, colour):
    img.paste(C[colour] if isinstance(colour, str) else colour, (0, 0), m)


def shade(img, m, base, dark=None, light=None, depth=2, lightdepth=1, dx=1, dy=1):
    """Fills a shape with a base colour, a shadow band on the side away from the light
    (light comes from the top left) and a thin highlight on the lit edge."""
    paint(img, m, base)
    if dark:
        inner = shifted(m, -dx * depth, -dy * depth)
        band = ImageChops.subtract(m, inner)
        paint(img, band, dark)
    if light:
        inner = shifted(m, dx * lightdepth, dy * lightdepth)
        band = ImageChops.subtract(m, inner)
        if dark:
            inner2 = shifted(m, -dx * depth, -dy * depth)
            band = ImageChops.multiply(band, inner2)
        paint(img, band, light)


def outline(img, colour="ink", diagonal=False, empty="clear"):
    """Draws a 1-pixel outline around everything on a sprite layer that is not empty."""
    w, h = img.size
    px = img.load()
    e = C[empty]
    ink = C[colour]
    solid = [[px[x, y] != e for x in range(w)] for y in range(h)]
    n4 = ((1, 0), (-1, 0), (0, 1), (0, -1))
    n8 = n4 + ((1, 1), (1, -1), (-1, 1), (-1, -1))
    for y in range(h):
        for x in range(w):
            if solid[y][x]:
                continue
            for ddx, ddy in n8 if diagonal else n4:
                xx, yy = x + ddx, y + ddy
                if 0 <= xx < w and 0 <= yy < h and solid[yy][xx]:
                    px[x, y] = ink
                    break


def stamp(dst, src, x=0, y=0, empty="clear"):
    """Pastes a sprite layer onto a picture, leaving its empty pixels out."""
    m = src.point(lambda v: 0 if v == C[empty] else 255, "L")
    dst.paste(src, (x, y), m)


def grid(img, x0, y0, rows, key):
    """Paints a text grid: each character looks up a colour name in key ('.' = skip)."""
    px = img.load()
    for j, row in enumerate(rows):
        for i, ch in enumerate(row):
            if ch in (".", " "):
                continue
            xx, yy = x0 + i, y0 + j
            if 0 <= xx < img.width and 0 <= yy < img.height:
                px[xx, yy] = C[key[ch]]


def put(img, x, y, colour):
    if 0 <= x < img.width and 0 <= y < img.height:
        img.putpixel((x, y), C[colour])


def flip(img):
    return img.transpose(Image.FLIP_LEFT_RIGHT)


# ---------------------------------------------------------------------------
# Writers
# ---------------------------------------------------------------------------


def _lzw(indices, min_size=8):
    clear = 1 << min_size
    eoi = clear + 1
    out = bytearray()
    acc = 0
    nbits = 0

    def emit(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def width_for(next_code):
        return max(min_size + 1, (next_code - 1).bit_length())

    table = {}
    next_code = eoi + 1
    emit(clear, min_size + 1)
    prefix = indices[0]
    for k in indices[1:]:
        key = (prefix << 8) | k
        code = table.get(key)
        if code is not None:
            prefix = code
            continue
        emit(prefix, width_for(next_code))
        table[key] = next_code
        next_code += 1
        if next_code == 4095:
            # Start afresh before the table would overflow.
            emit(clear, width_for(next_code))
            table = {}
            next_code = eoi + 1
        prefix = k
    emit(prefix, width_for(next_code))
    # The decoder would add one more entry before the next code; account for it.
    next_code += 1
    emit(eoi, width_for(next_code))
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def _blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i : i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def write_gif(path, frames, delays=None, loop=True):
    """Writes a GIF89a with a 256-entry global colour table. Each frame is stored whole
    (no cropping or merging), with its own graphic control extension and delay in
    hundredths of a second. loop adds the NETSCAPE2.0 extension with loop count 0."""
    w, h = frames[0].size
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", w, h, 0xF7, 0, 0)
    out += bytes(palette_bytes())
    animated = len(frames) > 1
    if animated and loop:
        out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    for i, fr in enumerate(frames):
        assert fr.size == (w, h)
        if animated:
            delay = delays[i]
            # Disposal 1: leave the frame in place; the next one covers it fully anyway.
            out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 0x04, delay, 0, 0)
        out += struct.pack("<BHHHHB", 0x2C, 0, 0, w, h, 0)
        out.append(8)
        out += _blocks(_lzw(list(fr.getdata())))
    out += b"\x3b"
    with open(path, "wb") as f:
        f.write(out)


def write_ico(path, img, transparent="clear"):
    """Writes a one-image .ico: a BMP-style 8-bit entry (BITMAPINFOHEADER with doubled
    height, 256-entry palette, bottom-up XOR pixels, then the 1-bit AND mask)."""
    w, h = img.size
    px = img.load()
    t = C[transparent]
    pal = bytearray()
    for i in range(256):
        r, g, b = COLOURS[i][1] if i < len(COLOURS) else (0, 0, 0)
        if i == t:
            r, g, b = 0, 0, 0
        pal += bytes((b, g, r, 0))
    xor_stride = (w + 3) & ~3
    and_stride = ((w + 31) // 32) * 4
    xor = bytearray()
    andm = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x in range(w):
            v = px[x, y]
            if v == t:
                bits[x // 8] |= 0x80 >> (x % 8)
                row[x] = t
            else:
                row[x] = v
        xor += row
        andm += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 8, 0, len(xor) + len(andm), 0, 0, 0, 0)
    body = header + pal + xor + andm
    out = struct.pack("<HHH", 0, 1, 1)
    out += struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, 0, 0, 1, 8, len(body), 22)
    out += body
    with open(path, "wb") as f:
        f.write(out)


def to_rgba(img, transparent="clear"):
    rgba = to_rgb(img).convert("RGBA")
    a = img.point(lambda v: 0 if v == C[transparent] else 255, "L")
    rgba.putalpha(a)
    return rgba


def write_png_rgba(path, img, transparent="clear"):
    to_rgba(img, transparent).save(path, optimize=False)


def write_png_rgba_at(path, img, size, largest=256, transparent="clear"):
    """A square picture as an RGBA PNG of size pixels: a whole multiple of its size enlarged pixel
    for pixel, any other size averaged down from its pixel-for-pixel enlargement to largest."""
    rgba = to_rgba(img, transparent)
    if size % img.width == 0:
        rgba = rgba.resize((size, size), Image.NEAREST)
    else:
        rgba = rgba.resize((largest, largest), Image.NEAREST).resize((size, size), Image.BOX)
    rgba.save(path, optimize=False)
