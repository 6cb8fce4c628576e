#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws all of Brindle's pictures, pixel by pixel, at their native size.

    icon/brindle.ico, icon/brindle.png    the program icon: the food stall
    icon/brindle-{16,...,256}.png         the same icon for the desktop's icon theme, at
                                          16, 24, 32, 48, 64, 128 and 256 pixels
    buttons/Picture{1,7,8,10}.gif         the four 22x22 button pictures
    ★MailData/Yatai.gif                   idle scene: the stall keeper at work
    ★MailData/nande.gif, nande2.gif       event scenes: the crying traveller and the
                                          singing guitarist, on the stage by day, and later
                                          that night by the river, the guitarist on a rock
                                          and the traveller dancing through his tears
    previews/Image1.gif, Image2.gif       the image dialog's previews of those scenes

Run with /usr/bin/python3 (needs python3-pil). `--preview DIR` also writes 4x enlarged
PNG copies of every frame into DIR for looking at.
"""

import math
import os
import sys

from PIL import ImageDraw, ImageFont

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pixelkit as pk  # noqa: E402
from pixelkit import C  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
MAILDATA = os.path.join(HERE, "★MailData")
FONT = "/usr/share/fonts/truetype/vlgothic/VL-Gothic-Regular.ttf"
PREVIEW_DIR = None


def show(name, frames, scale=4):
    if not PREVIEW_DIR:
        return
    if not isinstance(frames, list):
        frames = [frames]
    for i, fr in enumerate(frames):
        pk.preview(fr, os.path.join(PREVIEW_DIR, f"{name}_{i:02d}.png"), scale)


class Sprite:
    """A sprite layer built from shaded, outlined pieces, back to front."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.img = pk.new_canvas(w, h)

    def piece(self, shape, base, dark=None, light=None, depth=2, ink=True, lightdepth=1):
        layer = pk.new_canvas(self.w, self.h)
        m = pk.mask(self.w, self.h)
        shape(ImageDraw.Draw(m))
        pk.shade(layer, m, base, dark, light, depth, lightdepth)
        if ink:
            pk.outline(layer)
        pk.stamp(self.img, layer)
        return m

    def px(self, x, y, colour):
        pk.put(self.img, x, y, colour)

    def line(self, pts, colour, width=1):
        ImageDraw.Draw(self.img).line(pts, fill=C[colour], width=width)

    def rect(self, box, colour):
        ImageDraw.Draw(self.img).rectangle(box, fill=C[colour])

    def grid(self, x, y, rows, key):
        pk.grid(self.img, x, y, rows, key)


def E(box):
    return lambda d: d.ellipse(box, fill=255)


def R(box):
    return lambda d: d.rectangle(box, fill=255)


def P(pts):
    return lambda d: d.polygon(pts, fill=255)


def many(*fns):
    def f(d):
        for fn in fns:
            fn(d)

    return f


def rounded_mask(d, x0, y0, x1, y1, corner):
    """A pixel-art rounded rectangle; corner lists how far each row is inset."""
    for j in range(y0, y1 + 1):
        k = 0
        if j - y0 < len(corner):
            k = corner[j - y0]
        elif y1 - j < len(corner):
            k = corner[y1 - j]
        d.line([(x0 + k, j), (x1 - k, j)], fill=255)


# ---------------------------------------------------------------------------
# Buttons
# ---------------------------------------------------------------------------

BUTTONS = {
    # name: (background, [top .. bottom ramp], rim width)
    "Picture1": ("grey3", [(255, 255, 255), (238, 238, 242), (214, 214, 222), (186, 186, 196), (150, 150, 160)], 2),
    "Picture7": ("grey3", [(255, 150, 140), (240, 84, 76), (214, 36, 40), (176, 20, 30), (130, 10, 24)], 1),
    "Picture8": ("blue2", [(206, 180, 255), (160, 124, 246), (128, 92, 226), (100, 64, 196), (70, 40, 150)], 1),
    "Picture10": ("green3", [(190, 255, 170), (110, 226, 100), (60, 190, 70), (34, 150, 54), (18, 104, 40)], 1),
}


def draw_button(name):
    bg, ramp, rim = BUTTONS[name]
    cols = [pk.add_colour(f"{name}_{i}", rgb) for i, rgb in enumerate(ramp)]
    img = pk.new_canvas(22, 22, bg)
    outer = pk.mask(22, 22)
    rounded_mask(ImageDraw.Draw(outer), 1, 1, 20, 20, [3, 1, 1])
    pk.paint(img, outer, "black")
    inner = pk.mask(22, 22)
    rounded_mask(ImageDraw.Draw(inner), 1 + rim, 1 + rim, 20 - rim, 20 - rim, [2, 1] if rim == 1 else [2, 1])
    px = img.load()
    ip = inner.load()
    top, bottom = 1 + rim, 20 - rim
    for y in range(22):
        for x in range(22):
            if ip[x, y]:
                t = (y - top) / (bottom - top)
                px[x, y] = cols[min(4, int(t * 4.99))]
    # Glossy cap: a lighter band over the upper half with a bright streak.
    gloss = pk.mask(22, 22)
    rounded_mask(ImageDraw.Draw(gloss), 3 + rim, 2 + rim, 18 - rim, 9, [2, 1])
    g = gloss.load()
    for y in range(22):
        for x in range(22):
            if g[x, y]:
                px[x, y] = cols[0] if y < 6 else cols[1]
    for x in range(5 + rim, 10):
        px[x, 2 + rim] = C["white"]
    px[4 + rim, 3 + rim] = C["white"]
    px[4 + rim, 4 + rim] = C["white"]
    # Bottom reflected light.
    for x in range(7, 15):
        px[x, 18 - rim] = cols[2]
    return img


# ---------------------------------------------------------------------------
# The stall keeper and the stall
# ---------------------------------------------------------------------------


def keeper(frame):
    """The white-bearded stall keeper, seen from the chest up. frame: dict with
    'bob' (0/1 head drop), 'blink' (bool), 'arm' (0..2 ladle height)."""
    s = Sprite(48, 44)
    bob = frame.get("bob", 0)
    arm = frame.get("arm", 0)
    # Body: indigo jacket with a white collar.
    s.piece(P([(6, 43), (9, 30), (16, 26), (32, 26), (39, 30), (42, 43)]), "navy1", "navy2", "night1", 2)
    s.piece(P([(18, 27), (24, 40), (30, 27)]), "white", "grey1")
    s.line([(24, 33), (24, 43)], "navy2")
    # Left arm (viewer's left) resting on the counter.
    s.piece(P([(9, 31), (4, 40), (6, 43), (14, 43), (13, 34)]), "navy1", "navy2", None)
    # Right arm lifts the ladle out of the bowl and dips it back.
    ay = [0, -3, -6][arm]
    s.piece(P([(36, 29), (42, 26 + ay), (44, 31 + ay), (38, 38)]), "navy1", "navy2", None)
    s.line([(42, 16 + ay), (42, 36 + ay)], "grey4", 2)
    s.piece(E((37, 35 + ay, 46, 41 + ay)), "grey2", "grey4", "grey1", 1)
    # Head.
    hy = 4 + bob
    s.piece(E((14, hy, 34, hy + 22)), "skin1", "skin2", None, 2)
    # Headband with a knot on the side.
    s.piece(R((14, hy + 5, 34, hy + 8)), "white", "grey1", None, 1)
    s.piece(P([(33, hy + 5), (38, hy + 3), (39, hy + 7), (34, hy + 9)]), "white", "grey1", None, 1)
    # Side hair (white).
    s.piece(E((12, hy + 9, 17, hy + 16)), "white", "grey2", None, 1)
    s.piece(E((31, hy + 9, 36, hy + 16)), "white", "grey2", None, 1)
    # Beard: a big white cloud under the face.
    s.piece(
        many(E((15, hy + 13, 33, hy + 27)), E((18, hy + 19, 30, hy + 31))),
        "white",
        "grey2",
        None,
        2,
    )
    # Eyes and brows.
    if frame.get("blink"):
        s.line([(19, hy + 12), (21, hy + 12)], "ink")
        s.line([(27, hy + 12), (29, hy + 12)], "ink")
    else:
        s.grid(18, hy + 10, ["k..", "kk.", ".kk"][:0] + [".k.", "k.k"], {"k": "ink"})
        s.grid(27, hy + 10, [".k.", "k.k"], {"k": "ink"})
    s.line([(18, hy + 9), (21, hy + 9)], "grey1")
    s.line([(27, hy + 9), (30, hy + 9)], "grey1")
    # Nose, cheeks, moustache and a smiling mouth in the beard.
    s.piece(E((22, hy + 12, 26, hy + 16)), "skin2", "skin3", None, 1, ink=False)
    s.px(23, hy + 13, "skin1")
    s.px(17, hy + 14, "blush")
    s.px(31, hy + 14, "blush")
    s.piece(many(E((17, hy + 16, 24, hy + 19)), E((24, hy + 16, 31, hy + 19))), "white", "grey1", None, 1)
    s.line([(22, hy + 21), (26, hy + 21)], "red3")
    s.px(21, hy + 20, "ink")
    s.px(27, hy + 20, "ink")
    # Hands.
    s.piece(E((4, 38, 10, 43)), "skin1", "skin2", None, 1)
    s.piece(E((39, 22 + ay, 45, 28 + ay)), "skin1", "skin2", None, 1)
    return s.img, (42, 22 + ay)


def awning_mark(s, cx, y):
    """A white festival mark: a ring with a dot."""
    s.grid(cx - 3, y, [".www.", "w...w", "w.w.w", "w...w", ".www."], {"w": "white"})


def draw_yatai(t, n):
    """One frame of the idle scene (96x96)."""
    img = pk.new_canvas(96, 96, "navy2")
    d = ImageDraw.Draw(img)
    # Night sky with soft bands and a few stars; a warm glow around the stall.
    for y in range(0, 40, 1):
        if y < 14:
            col = "navy3"
        elif y < 28:
            col = "navy2"
        else:
            col = "night2"
        d.line([(0, y), (95, y)], fill=C[col])
    for x, y, tw in [(6, 3, 0), (22, 8, 3), (47, 2, 6), (70, 6, 1), (88, 11, 4), (58, 9, 2), (3, 20, 5)]:
        if (t + tw) % n < n - 2:
            pk.put(img, x, y, "yellow1")
        else:
            pk.put(img, x, y, "cream3")
    # Moon
    d.ellipse((78, 1, 90, 13), fill=C["cream1"])
    d.ellipse((75, -1, 86, 10), fill=C["navy3"])
    # Ground.
    d.rectangle((0, 86, 95, 95), fill=C["navy1"])
    d.line([(0, 86), (95, 86)], fill=C["night1"])
    d.ellipse((6, 85, 90, 93), fill=C["navy2"])

    stall = Sprite(96, 96)
    # Back wall, lit warmly.
    stall.piece(R((11, 24, 84, 62)), "glow2", "wood2", None, 3, ink=False)
    for y in range(28, 60, 6):
        stall.line([(12, y), (83, y)], "glow1" if y == 28 else "wood2")
    # Posts.
    stall.piece(R((8, 10, 11, 84)), "wood2", "wood3", "wood1", 1)
    stall.piece(R((84, 10, 87, 84)), "wood2", "wood3", "wood1", 1)
    sp = pk.new_canvas(96, 96)
    pk.stamp(img, stall.img)

    # Keeper behind the counter.
    frame = {"bob": 1 if t % 4 in (1, 2) else 0, "blink": t == n - 3, "arm": [0, 1, 2, 2, 1, 0, 0, 0][t % 8]}
    kimg, hand = keeper(frame)
    pk.stamp(img, kimg, 24, 20)

    front = Sprite(96, 96)
    # Roof board and awning panels.
    front.piece(P([(3, 9), (6, 4), (89, 4), (92, 9)]), "wood2", "wood3", "wood1", 1)
    sway = [0, 0, 1, 1, 1, 0, 0, 0][t % 8]
    for i in range(5):
        x0 = 9 + i * 16
        hem = 24 + ((i + sway) % 2)
        front.piece(
            many(R((x0, 10, x0 + 14, hem - 2)), E((x0, hem - 5, x0 + 14, hem))),
            "red2",
            "red3",
            "red1",
            2,
        )
        awning_mark(front, x0 + 7, 13)
    # Counter top and front.
    front.piece(R((3, 62, 92, 65)), "wood1", "wood2", "cream3", 1)
    front.piece(R((6, 66, 89, 83)), "wood2", "wood3", None, 2)
    for x in range(16, 89, 10):
        front.line([(x, 67), (x, 82)], "wood3")
    # Wheel.
    front.piece(E((66, 72, 84, 90)), "wood3", "wood4", "wood2", 1)
    front.piece(E((72, 78, 78, 84)), "wood2", "wood3", None, 1)
    for a in range(0, 360, 45):
        r = math.radians(a + t * 0)
        front.line([(75, 81), (75 + round(7 * math.cos(r)), 81 + round(7 * math.sin(r)))], "wood4")
    # Red lantern hanging at the front left.
    swing = [0, 0, 1, 1, 0, 0, -1, -1][t % 8]
    front.line([(18, 25), (18 + swing, 30)], "ink")
    lx = 18 + swing
    front.piece(E((lx - 7, 30, lx + 7, 48)), "red2", "red3", "red1", 2)
    front.piece(R((lx - 4, 29, lx + 4, 31)), "ink", None, None, ink=False)
    front.piece(R((lx - 4, 48, lx + 4, 49)), "ink", None, None, ink=False)
    for y in (34, 38, 42):
        front.line([(lx - 6, y), (lx + 5, y)], "red3")
    front.grid(lx - 2, 36, ["wwww", ".w..", "wwww"], {"w": "white"})
    # Blue bowl of noodles on the counter.
    front.piece(many(E((56, 52, 74, 66)), R((60, 62, 70, 63))), "blue2", "blue3", "blue1", 2)
    front.piece(E((57, 53, 73, 57)), "noodle", "yellow3", None, 1, ink=False)
    front.line([(58, 59), (72, 59)], "white")
    for x in (60, 66):
        front.px(x, 61, "white")
    # Chopsticks.
    front.line([(66, 55), (78, 46)], "wood3")
    front.line([(68, 55), (79, 48)], "wood3")
    pk.stamp(img, front.img)

    # Steam from the bowl: three wisps drifting up.
    for k in range(3):
        phase = (t * 2 + k * 5) % 16
        x = 60 + k * 5
        for j in range(6):
            yy = 50 - phase - j * 2
            if yy < 22 or yy > 52:
                continue
            xx = x + [0, 1, 1, 0, -1, -1][(j + t + k) % 6]
            colour = "steam1" if j < 3 else "steam2"
            if phase + j * 2 > 22:
                continue
            pk.put(img, xx, yy, colour)
            pk.put(img, xx, yy - 1, colour)
    return img


ICON_KEY = {
    "k": "ink", "Y": "wood1", "O": "wood2", "o": "wood3", "L": "red1", "R": "red2", "r": "red3",
    "W": "white", "w": "grey1", "g": "grey2", "S": "skin1", "s": "skin2", "p": "blush",
    "N": "navy1", "n": "navy2", "B": "blue2", "b": "blue3", "l": "blue1", "x": "noodle",
    "m": "steam1", "v": "steam2", "y": "glow1", "Z": "glow2", "c": "cream3",
}

ICON_ROOF = [
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkk...",
    ".kYYYYYYYYYYYYYYYYYYYYYYYYYYYk..",
    "kOOOOOOOOOOOOOOOOOOOOOOOOOOOOOk.",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk.",
    ".kLLLLLLkLLLLLLkLLLLLLkLLLLLLk..",
    ".kRRWWRrkRRWWRrkRRWWRrkRRWWRrk..",
    ".kRWRRWrkRWRRWrkRWRRWrkRWRRWrk..",
    ".kRRWWRrkRRWWRrkRRWWRrkRRWWRrk..",
    ".kRRRRRrkRRRRRrkRRRRRrkRRRRRrk..",
    ".krrrrrrkrrrrrrkrrrrrrkrrrrrrk..",
    "..kkkkkk.kkkkkk.kkkkkk.kkkkkk...",
]

ICON_KEEPER = [
    "..kWWWWWWWWWWWk..",
    "..kWSSSSSSSSSWk..",
    "..kWSkSSSSSkSWk..",
    "..kWpSSsssSSpWk..",
    "..kWWWWWWWWWWWk..",
    "..kWWWWrrrWWWWk..",
    "..kwWWWWWWWWWwk..",
    "kkkkwWWWWWWWwkkkk",
    "kNNNNkwWWWwkNNNNk",
    "kNNNNNkwWwkNNNNNk",
    "kNnNNNNkkkNNNNnNk",
]

ICON_LANTERN = [
    ".kkkkk.",
    "kLLRRRk",
    "kLRRRrk",
    "kRWWWrk",
    "kRRWRrk",
    "kRWWWrk",
    "kRRRRrk",
    "kRRRrrk",
    ".kkkkk.",
]

ICON_BOWL = [
    ".kkkkkkkk.",
    "kxxxxxxxxk",
    "klBBBBBBbk",
    ".kBWBWBbk.",
    "..kbbbbk..",
    "..kkkkkk..",
]

ICON_STEAM = [
    "..m.....",
    ".m..v...",
    "..m..m..",
    ".v..m...",
    "....v...",
]


# The sizes the desktop's icon theme (hicolor) gets the icon in.
HICOLOR_SIZES = (16, 24, 32, 48, 64, 128, 256)


def draw_icon():
    img = pk.new_canvas(32, 32)
    d = ImageDraw.Draw(img)
    # Back wall, warmly lit, between the posts.
    d.rectangle((3, 10, 27, 21), fill=C["glow2"])
    d.line([(3, 10), (3, 21)], fill=C["wood2"])
    d.line([(27, 10), (27, 21)], fill=C["wood2"])
    d.line([(4, 16), (26, 16)], fill=C["wood2"])
    # Posts.
    for x in (0, 28):
        d.line([(x, 10), (x, 21)], fill=C["ink"])
        d.line([(x + 1, 10), (x + 1, 21)], fill=C["wood2"])
        d.line([(x + 2, 10), (x + 2, 21)], fill=C["ink"])
    pk.grid(img, 0, 0, ICON_ROOF, ICON_KEY)
    pk.grid(img, 7, 11, ICON_KEEPER, ICON_KEY)
    # Counter and cart front.
    d.line([(0, 22), (30, 22)], fill=C["ink"])
    d.line([(1, 23), (29, 23)], fill=C["wood1"])
    d.line([(1, 24), (29, 24)], fill=C["wood2"])
    pk.put(img, 0, 23, "ink")
    pk.put(img, 30, 23, "ink")
    pk.put(img, 0, 24, "ink")
    pk.put(img, 30, 24, "ink")
    d.line([(0, 25), (30, 25)], fill=C["ink"])
    d.rectangle((2, 26, 28, 30), fill=C["wood2"])
    for x in (1, 29):
        d.line([(x, 26), (x, 30)], fill=C["ink"])
    for x in (8, 15, 22):
        d.line([(x, 26), (x, 30)], fill=C["wood3"])
    d.line([(2, 30), (28, 30)], fill=C["wood3"])
    d.line([(1, 31), (29, 31)], fill=C["ink"])
    # The red lantern hangs in front of the left post; the blue bowl steams on the right.
    pk.put(img, 5, 11, "ink")
    pk.grid(img, 2, 12, ICON_LANTERN, ICON_KEY)
    pk.grid(img, 20, 16, ICON_BOWL, ICON_KEY)
    pk.grid(img, 21, 10, ICON_STEAM, ICON_KEY)
    return img


# ---------------------------------------------------------------------------
# Event scenes: the crying traveller and the singing guitarist
# ---------------------------------------------------------------------------

SCENE_W, SCENE_H = 250, 200


def background(t, n):
    img = pk.new_canvas(SCENE_W, SCENE_H, "sky1")
    d = ImageDraw.Draw(img)
    cx, cy = 125, 60
    rays = 16
    turn = (t / n) * (2 * math.pi / rays) * 2
    for i in range(0, rays, 2):
        a0 = turn + i * 2 * math.pi / rays
        a1 = a0 + 2 * math.pi / rays
        pts = [(cx, cy), (cx + 400 * math.cos(a0), cy + 400 * math.sin(a0)), (cx + 400 * math.cos(a1), cy + 400 * math.sin(a1))]
        d.polygon([(round(x), round(y)) for x, y in pts], fill=C["sky2"])
    # Stage floor.
    d.rectangle((0, 168, SCENE_W - 1, SCENE_H - 1), fill=C["floor1"])
    d.line([(0, 168), (SCENE_W - 1, 168)], fill=C["floor3"])
    d.line([(0, 169), (SCENE_W - 1, 169)], fill=C["cream3"])
    for y in (178, 190):
        d.line([(0, y), (SCENE_W - 1, y)], fill=C["floor2"])
    for k, y0 in enumerate((170, 179, 191)):
        for x in range(-20 + 37 * k % 50, SCENE_W, 50):
            d.line([(x, y0), (x, y0 + (7 if y0 < 190 else 8))], fill=C["floor2"])
    return img


def limb(s, pts, width, base, dark=None, light=None):
    """A bent arm or leg: a thick polyline with rounded joints."""
    r = width / 2

    def shape(d):
        d.line(pts, fill=255, width=width)
        for x, y in pts:
            d.ellipse((round(x - r + 0.5), round(y - r + 0.5), round(x + r - 0.5), round(y + r - 0.5)), fill=255)

    return s.piece(shape, base, dark, light, 2)


def lerp(a, b, t):
    return a + (b - a) * t


def lerp_pt(p, q, t):
    return (round(lerp(p[0], q[0], t)), round(lerp(p[1], q[1], t)))


SWIRL = [".ww.", "w..w", "w.w.", ".w.."]


def traveller(pose):
    """The crying traveller in red, with a bundle on a stick over his shoulder.
    pose: 'lift' (how far the whole body hops up), 'kick' (-1..1: which leg kicks and how
    far), 'wave' (0..1: free arm raised), 'dance' (bool), 'sob' (0/1), 'tilt' (head lean)."""
    s = Sprite(110, 130)
    lift = round(pose.get("lift", 0))
    kick = pose.get("kick", 0)
    wave = pose.get("wave", 0)
    sob = pose.get("sob", 0)
    tilt = round(pose.get("tilt", 0))
    dance = pose.get("dance", False)
    cx = 52
    ground = 122 - lift
    hip = 94 - lift
    sh = 64 - lift + (1 if sob and not dance else 0)  # shoulders
    # Bundle hanging behind the left shoulder.
    bx, by = cx - 50 + tilt, 22 - lift + sob
    knot = (bx + 15, by + 3)
    s.piece(
        many(E((bx, by + 2, bx + 30, by + 27)), P([(bx + 9, by + 6), (bx + 12, by - 4), (bx + 16, by + 2), (bx + 21, by - 3), (bx + 22, by + 6)])),
        "green2",
        "green3",
        "green1",
        3,
    )
    for x, y in [(5, 10), (14, 14), (21, 8), (9, 19), (20, 19)]:
        s.grid(bx + x - 2, by + y - 2, SWIRL, {"w": "cream1"})
    s.px(knot[0], knot[1], "green3")
    # Legs and shoes.
    hips = [(cx - 6, hip), (cx + 6, hip)]
    for side in (-1, 1):
        hx, hy = hips[0 if side < 0 else 1]
        k = max(0.0, kick * side)  # how far this leg kicks out
        foot = (hx + side * 2 + side * round(20 * k), ground - 4 - round(16 * k))
        knee = (hx + side * (1 + round(12 * k)), hy + 13 - round(4 * k))
        limb(s, [(hx, hy), knee, foot], 8, "red3", "red4")
        fx, fy = foot
        toe = side * 5
        s.piece(E((fx - 6 + toe, fy - 3, fx + 6 + toe, fy + 4)), "wood3", "wood4", "wood2", 1)
    # Body: red jacket with white trim.
    s.piece(P([(cx - 14, sh - 2), (cx + 14, sh - 2), (cx + 17, hip + 3), (cx - 17, hip + 3)]), "red2", "red3", "red1", 3)
    s.line([(cx, sh + 2), (cx, hip + 2)], "white")
    s.line([(cx - 16, hip), (cx + 16, hip)], "white")
    s.line([(cx - 16, hip + 1), (cx + 16, hip + 1)], "grey1")
    s.piece(P([(cx - 8, sh - 3), (cx, sh + 4), (cx + 8, sh - 3)]), "white", "grey1")
    # Head.
    hx0, hy0 = cx - 21 + tilt, 22 - lift + sob
    s.piece(E((hx0, hy0, hx0 + 42, hy0 + 40)), "skin1", "skin2", None, 3)
    # Ears.
    s.piece(E((hx0 - 3, hy0 + 19, hx0 + 3, hy0 + 27)), "skin1", "skin2", None, 1)
    s.piece(E((hx0 + 39, hy0 + 19, hx0 + 45, hy0 + 27)), "skin1", "skin2", None, 1)
    s.piece(E((hx0 + 1, hy0 + 2, hx0 + 41, hy0 + 38)), "skin1", "skin2", None, 3, ink=False)
    # Bowl-cut hair with a tuft on top and a jagged fringe.
    fringe = [(hx0 + 1, hy0 + 20), (hx0 + 1, hy0 + 8)]
    fringe += [(hx0 + 41, hy0 + 8), (hx0 + 41, hy0 + 20), (hx0 + 37, hy0 + 20)]
    for i, x in enumerate(range(hx0 + 36, hx0 + 4, -4)):
        fringe.append((x, hy0 + (13 if i % 2 == 0 else 16)))
    fringe.append((hx0 + 5, hy0 + 20))
    s.piece(
        many(
            E((hx0, hy0 - 2, hx0 + 42, hy0 + 18)),
            P(fringe),
            P([(hx0 + 18, hy0 + 1), (hx0 + 22, hy0 - 7), (hx0 + 24, hy0 - 4), (hx0 + 25, hy0 + 1)]),
        ),
        "hair",
        "ink",
        "brown1",
        2,
    )
    s.line([(hx0 + 12, hy0 + 3), (hx0 + 17, hy0 + 2)], "brown1")
    # Sad brows and squeezed-shut eyes: > <
    ex, ey = hx0 + 9, hy0 + 21
    s.grid(ex - 1, ey - 4, ["...kk", ".kk..", "k...."], {"k": "ink"})
    s.grid(ex + 19, ey - 4, ["kk...", "..kk.", "....k"], {"k": "ink"})
    s.grid(ex, ey, ["kk...", "..kk.", "....k", "..kk.", "kk..."], {"k": "ink"})
    s.grid(ex + 20, ey, ["...kk", ".kk..", "k....", ".kk..", "...kk"], {"k": "ink"})
    # Cheeks.
    for x in (hx0 + 5, hx0 + 33):
        s.rect((x, hy0 + 28, x + 3, hy0 + 29), "blush")
    # Wailing mouth: wide open, corners pulled down.
    my = hy0 + 27
    s.piece(
        P([(hx0 + 15, my + 5), (hx0 + 18, my + 1), (hx0 + 24, my + 1), (hx0 + 27, my + 5), (hx0 + 26, my + 9 + sob), (hx0 + 16, my + 9 + sob)]),
        "red4",
        None,
        None,
    )
    s.rect((hx0 + 18, my + 7 + sob, hx0 + 24, my + 9 + sob), "pink1")
    s.px(hx0 + 18, my + 7 + sob, "red4")
    s.px(hx0 + 24, my + 7 + sob, "red4")
    # Tear streams down the cheeks.
    for tx in (ex + 1, ex + 22):
        s.rect((tx - 1, ey + 5, tx + 2, ey + 14), "blue3")
        s.rect((tx, ey + 5, tx + 1, ey + 13), "tear2")
        s.line([(tx, ey + 5), (tx, ey + 12)], "tear1")
    # Arm holding the stick at the left shoulder, and the stick itself.
    shl = (cx - 12, sh + 2)
    hand = (cx - 13, sh - 2)
    limb(s, [shl, (cx - 23, sh + 14), hand], 7, "red2", "red3")
    s.line([(hand[0] + 4, hand[1] + 3), knot], "wood4", 3)
    s.line([(hand[0] + 4, hand[1] + 2), (knot[0], knot[1] - 1)], "wood2", 1)
    s.piece(E((hand[0] - 4, hand[1] - 3, hand[0] + 4, hand[1] + 4)), "skin1", "skin2", None, 1)
    # Free arm: rubs the eye when standing, waves when dancing.
    shr = (cx + 12, sh + 2)
    if dance:
        elbow = lerp_pt((cx + 26, sh + 10), (cx + 27, sh - 2), wave)
        fist = lerp_pt((cx + 36, sh - 2), (cx + 30, sh - 20), wave)
    else:
        elbow = (cx + 22, sh + 12)
        fist = (cx + 14 + sob, sh - 16)
    limb(s, [shr, elbow, fist], 7, "red2", "red3")
    s.piece(E((fist[0] - 4, fist[1] - 4, fist[0] + 4, fist[1] + 4)), "skin1", "skin2", None, 1)
    return s.img, (ex, ey)


def tears(img, x, y, t, n, dancing):
    """Drops flying off both eyes; x, y is the left eye, the right one is 20 pixels on."""
    for side, ex in ((-1, x - 1), (1, x + 24)):
        for j in range(3):
            ph = ((t / n) + j / 3) % 1.0
            if dancing:
                dx = side * round(6 + 26 * ph)
                dy = round(-6 * ph + 40 * ph * ph)
            else:
                dx = side * round(3 + 8 * ph)
                dy = round(4 + 30 * ph * ph)
            pk.grid(img, ex + dx - 2, y + dy - 3, ["..k..", ".klk.", "klbbk", "kbbbk", ".kkk."], {"l": "tear1", "b": "tear2", "k": "blue3"})


def guitarist(pose):
    """The singing guitarist in a knitted cap. pose: 'strum' (0..1), 'mouth' (0..2), 'bob', 'tap',
    'sit' (bool: seated, knees apart and shins short, for a seat drawn behind him)."""
    s = Sprite(110, 140)
    bob = round(pose.get("bob", 0))
    strum = pose.get("strum", 0)
    mouth = pose.get("mouth", 0)
    tap = pose.get("tap", 0)
    cx = 55
    sit = pose.get("sit", False)
    ground = 124 if sit else 132
    # Legs and shoes.
    if sit:
        limb(s, [(cx - 7, 100), (cx - 13, 106), (cx - 9, ground - 5)], 9, "blue3", "blue4")
        limb(s, [(cx + 7, 100), (cx + 13, 106), (cx + 8, ground - 5 - tap)], 9, "blue3", "blue4")
    else:
        limb(s, [(cx - 7, 100), (cx - 8, ground - 5)], 9, "blue3", "blue4")
        limb(s, [(cx + 7, 100), (cx + 8, ground - 5 - tap)], 9, "blue3", "blue4")
    s.piece(E((cx - 16, ground - 7, cx - 3, ground)), "ink", None, "grey4", 1)
    s.piece(E((cx + 3, ground - 7 - tap, cx + 17, ground - tap)), "ink", None, "grey4", 1)
    # Striped shirt.
    top = 60 + bob
    m = s.piece(P([(cx - 15, top), (cx + 15, top), (cx + 18, 104), (cx - 18, 104)]), "white", "grey1", None, 2)
    for y in range(top + 4, 104, 5):
        s.line([(cx - 18, y), (cx + 18, y)], "blue2")
        s.line([(cx - 18, y + 1), (cx + 18, y + 1)], "blue2")
    pk.outline(s.img)
    # Head.
    hx, hy = cx - 20, 22 + bob
    s.piece(E((hx - 3, hy + 18, hx + 4, hy + 26)), "skin1", "skin2", None, 1)
    s.piece(E((hx + 36, hy + 18, hx + 43, hy + 26)), "skin1", "skin2", None, 1)
    s.piece(E((hx, hy, hx + 40, hy + 39)), "skin1", "skin2", None, 3)
    # Sideburns and tufts of hair under the cap.
    s.piece(many(R((hx + 1, hy + 10, hx + 5, hy + 22)), R((hx + 35, hy + 10, hx + 39, hy + 22))), "brown1", "hair", None, 1, ink=False)
    # Happy closed eyes and raised brows.
    s.grid(hx + 8, hy + 20, [".kkk.", "k...k"], {"k": "ink"})
    s.grid(hx + 27, hy + 20, [".kkk.", "k...k"], {"k": "ink"})
    s.line([(hx + 8, hy + 16), (hx + 12, hy + 15)], "brown1")
    s.line([(hx + 28, hy + 15), (hx + 32, hy + 16)], "brown1")
    for x in (hx + 5, hx + 32):
        s.rect((x, hy + 25, x + 3, hy + 26), "blush")
    # Singing mouth.
    mh = [3, 6, 9][mouth]
    s.piece(E((hx + 14, hy + 27, hx + 26, hy + 27 + mh)), "red4", None, None)
    if mh > 4:
        s.rect((hx + 17, hy + 25 + mh, hx + 23, hy + 26 + mh), "pink1")
    # Knitted cap with a pompom.
    s.piece(many(E((hx + 1, hy - 8, hx + 39, hy + 16)), R((hx + 1, hy + 6, hx + 39, hy + 12))), "violet2", "violet3", "violet1", 2)
    s.piece(R((hx - 1, hy + 10, hx + 41, hy + 16)), "violet1", "violet2", None, 1)
    for x in range(hx + 1, hx + 41, 3):
        s.line([(x, hy + 11), (x, hy + 15)], "violet2")
    for x in range(hx + 6, hx + 36, 6):
        s.line([(x, hy - 2), (x + 1, hy + 8)], "violet3")
    s.piece(E((hx + 14, hy - 16, hx + 26, hy - 5)), "cream1", "cream3", None, 2)
    # Guitar across the body: neck up to the right.
    gx, gy = cx - 26, 74
    s.line([(gx + 28, gy + 10), (gx + 72, gy - 16)], "ink", 6)
    s.line([(gx + 28, gy + 10), (gx + 72, gy - 16)], "wood3", 4)
    s.line([(gx + 30, gy + 8), (gx + 72, gy - 17)], "wood2", 1)
    for k in range(4):
        px_, py_ = lerp_pt((gx + 40, gy + 3), (gx + 66, gy - 12), k / 3)
        s.px(px_, py_, "cream1")
    s.piece(P([(gx + 70, gy - 18), (gx + 80, gy - 25), (gx + 84, gy - 19), (gx + 74, gy - 13)]), "wood3", "wood4", "wood2", 1)
    for k in range(3):
        s.px(gx + 73 + k * 3, gy - 22 - k * 2, "grey1")
    s.piece(many(E((gx - 4, gy + 2, gx + 24, gy + 28)), E((gx + 10, gy - 4, gx + 32, gy + 18))), "orange", "wood2", "yellow2", 3)
    s.piece(E((gx + 13, gy + 5, gx + 22, gy + 14)), "wood4", None, None)
    s.line([(gx + 2, gy + 20), (gx + 8, gy + 23)], "wood3", 2)
    s.line([(gx + 5, gy + 21), (gx + 30, gy + 7)], "cream2", 1)
    # Strumming arm (left) and fretting arm (right), striped sleeves.
    hand = lerp_pt((gx + 10, gy + 6), (gx + 12, gy + 16), strum)
    limb(s, [(cx - 14, top + 4), (cx - 22, top + 18), hand], 8, "white", "grey1")
    s.piece(E((hand[0] - 4, hand[1] - 4, hand[0] + 4, hand[1] + 4)), "skin1", "skin2", None, 1)
    fret = (gx + 60, gy - 12)
    limb(s, [(cx + 14, top + 4), (cx + 24, top + 20), fret], 8, "white", "grey1")
    s.piece(E((fret[0] - 4, fret[1] - 4, fret[0] + 4, fret[1] + 4)), "skin1", "skin2", None, 1)
    return s.img


NOTE_GLYPHS = [
    ["...kkk", "...kbbk", "...kbkbk", "...kbk.k", "...kbk", ".kkkbk", "kbbbbk", "kbbbbk", ".kkkk"],
    ["...kkkkkk", "...kbbbbbk", "...kbkkkbk", "...kbk.kbk", ".kkkbkkkbk", "kbbbbkbbbk", "kbbbbkbbbk", ".kkkk.kkk"],
]


def note_sprite(img, x, y, colour, kind=0):
    pk.grid(img, x, y, NOTE_GLYPHS[kind], {"k": "ink", "b": colour})


def sparkle(img, x, y, big):
    if big:
        pk.grid(img, x - 2, y - 2, ["..w..", "..w..", "wwyww", "..w..", "..w.."], {"w": "white", "y": "yellow2"})
    else:
        pk.grid(img, x - 1, y - 1, [".w.", "wyw", ".w."], {"w": "white", "y": "yellow2"})


def lettering(img, text, x, y, size=20, colour="red3", outline_colour="white"):
    font = ImageFont.truetype(FONT, size)
    layer = pk.new_canvas(SCENE_W, SCENE_H)
    d = ImageDraw.Draw(layer)
    d.fontmode = "1"
    d.text((x, y), text, font=font, fill=C[colour])
    border = pk.new_canvas(SCENE_W, SCENE_H)
    pk.stamp(border, layer)
    pk.outline(border, outline_colour, diagonal=True)
    pk.outline(border, "ink", diagonal=False)
    pk.stamp(img, border)


def speech_bubble(img, box, tail):
    s = Sprite(SCENE_W, SCENE_H)
    x0, y0, x1, y1 = box
    s.piece(
        many(lambda d: rounded_mask(d, x0, y0, x1, y1, [5, 3, 2, 1, 1]), P(tail)),
        "white",
        "cream2",
        None,
        2,
    )
    pk.stamp(img, s.img)


def scene(t, n):
    """One frame of the first event scene: on the stage, the traveller stands and cries."""
    img = background(t, n)
    u = t / n  # where in the loop this frame is, 0..1
    beat = math.sin(u * 2 * math.pi * 4)
    # Sparkles that blink around the stage.
    for k, (x, y) in enumerate([(18, 20), (70, 34), (240, 66), (110, 96), (6, 120), (236, 150)]):
        if (t + k * 3) % (n // 2) < n // 3:
            sparkle(img, x, y, (t + k) % (n // 2) < 2)
    # Guitarist on the right.
    gpose = {
        "strum": t % 2,
        "mouth": [2, 1, 2, 0][t % 4],
        "bob": 1 if beat > 0 else 0,
        "tap": 2 if beat > 0 else 0,
    }
    pk.stamp(img, guitarist(gpose), 128, 38)
    # Traveller on the left.
    pose = {"sob": 1 if t % 4 in (1, 2) else 0}
    ox, oy = 12, 46
    ImageDraw.Draw(img).ellipse((ox + 32, 165, ox + 72, 170), fill=C["floor2"])
    ImageDraw.Draw(img).ellipse((128 + 55 - 22, 167, 128 + 55 + 22, 172), fill=C["floor2"])
    timg, (ex, ey) = traveller(pose)
    pk.stamp(img, timg, ox, oy)
    tears(img, ox + ex, oy + ey + 2, t, n, False)
    # Music notes rising from the guitar.
    for k in range(3):
        ph = (u + k / 3) % 1.0
        x = 196 + k * 12 + round(4 * math.sin(ph * 2 * math.pi * 2))
        y = 112 - round(64 * ph)
        note_sprite(img, x, y, ["blue2", "red2", "green2"][k], k % 2)
    speech_bubble(img, (92, 4, 244, 40), [(168, 38), (178, 38), (174, 54)])
    lettering(img, "なんでだろ～♪", 103, 11, 20, "red2")
    return img


# ---------------------------------------------------------------------------
# The second event scene: later that night, by the river
# ---------------------------------------------------------------------------

RIVER_COLOURS = [
    ("dusk1", (30, 20, 66)),  # sky, from the top down to the far bank
    ("dusk2", (50, 30, 96)),
    ("dusk3", (84, 46, 124)),
    ("dusk4", (140, 70, 134)),
    ("dusk5", (196, 104, 130)),
    ("town1", (22, 16, 48)),  # the far bank's roofs
    ("town2", (38, 28, 70)),
    ("water1", (16, 40, 78)),
    ("water2", (26, 66, 112)),
    ("water3", (60, 120, 168)),
    ("grass1", (46, 108, 62)),
    ("grass2", (28, 76, 48)),
    ("grass3", (16, 48, 36)),
    ("rock1", (132, 128, 146)),
    ("rock2", (92, 88, 108)),
    ("rock3", (60, 56, 76)),
    ("moon1", (255, 248, 206)),
    ("moon2", (236, 222, 164)),
    ("firefly", (214, 255, 110)),
]

RIVER_TOP, BANK_TOP = 112, 144


def river_background(t, n):
    """A violet night sky with a full moon, the lights of the far bank, the river and the near
    bank's grass. Everything that moves goes round once (or a whole number of times) per loop."""
    for name, rgb in RIVER_COLOURS:
        pk.add_colour(name, rgb)
    u = t / n
    img = pk.new_canvas(SCENE_W, SCENE_H, "dusk1")
    d = ImageDraw.Draw(img)
    # Sky in bands, each band's lower edge dithered into the next.
    bands = [(0, "dusk1"), (30, "dusk2"), (58, "dusk3"), (82, "dusk4"), (98, "dusk5")]
    for (y0, col), (y1, _) in zip(bands, bands[1:] + [(RIVER_TOP, None)]):
        d.rectangle((0, y0, SCENE_W - 1, y1 - 1), fill=C[col])
        if y0:
            above = [c for y, c in bands if y < y0][-1]
            for x in range(0, SCENE_W, 2):
                pk.put(img, x + (y0 // 2) % 2, y0, above)
    for k, (x, y) in enumerate([(70, 8), (96, 22), (128, 6), (150, 30), (184, 12), (206, 40), (236, 8),
                                (12, 60), (88, 50), (240, 56), (160, 62), (6, 14)]):
        if (t + k * 5) % n < n - 3:
            pk.put(img, x, y, "cream1" if k % 3 else "yellow1")
        if (t + k * 5) % n == 0:
            sparkle(img, x, y, False)
    # The full moon with its halo and a few craters.
    mx, my, r = 124, 26, 15
    d.ellipse((mx - r - 4, my - r - 4, mx + r + 4, my + r + 4), fill=C["dusk2"])
    d.ellipse((mx - r, my - r, mx + r, my + r), fill=C["moon1"])
    for cx, cy, cr in [(-6, -4, 4), (6, 5, 5), (-3, 9, 2), (8, -8, 2)]:
        d.ellipse((mx + cx - cr, my + cy - cr, mx + cx + cr, my + cy + cr), fill=C["moon2"])
    # The far bank: a row of roofs with lit windows, some of which go out and come on again.
    roofs = pk.mask(SCENE_W, SCENE_H)
    rd = ImageDraw.Draw(roofs)
    x = 0
    for k, (w, h) in enumerate([(18, 10), (14, 16), (22, 8), (12, 20), (20, 12), (16, 7), (26, 14), (14, 22),
                                (18, 9), (24, 13), (16, 18), (20, 10), (14, 6)]):
        rd.rectangle((x, RIVER_TOP - h, x + w - 1, RIVER_TOP - 1), fill=255)
        if k % 3 == 1:  # a pointed roof
            rd.polygon([(x - 1, RIVER_TOP - h), (x + w // 2, RIVER_TOP - h - 6), (x + w, RIVER_TOP - h)], fill=255)
        x += w
    pk.paint(img, roofs, "town1")
    for k in range(22):
        wx = 5 + (k * 53) % 240
        wy = RIVER_TOP - 4 - (k * 7) % 9
        if wy >= RIVER_TOP - 2 or roofs.getpixel((wx, wy)) == 0 or roofs.getpixel((wx + 1, wy - 1)) == 0:
            continue
        lit = (k * 3 + (t if k % 4 == 0 else 0)) % n < n - 4 if k % 4 == 0 else True
        d.rectangle((wx, wy - 1, wx + 1, wy), fill=C["glow1" if lit else "town2"])
    # The river: dark bands with ripples drifting left, and the moon's broken reflection.
    d.rectangle((0, RIVER_TOP, SCENE_W - 1, BANK_TOP - 1), fill=C["water1"])
    d.line([(0, RIVER_TOP), (SCENE_W - 1, RIVER_TOP)], fill=C["water3"])
    for y in range(RIVER_TOP + 3, BANK_TOP, 4):
        row = (y - RIVER_TOP) // 4
        shift = round(u * 40 * (1 + row % 2)) % 40
        for x0 in range(-40 + (row * 17) % 40 - shift, SCENE_W, 40):
            d.line([(x0, y), (x0 + 10 + row % 3 * 4, y)], fill=C["water2"])
    for j, y in enumerate(range(RIVER_TOP + 2, BANK_TOP - 2, 3)):
        half = 9 - j + round(2 * math.sin(2 * math.pi * (u * 2 + j / 4)))
        if half > 1:
            x0 = mx - half + round(2 * math.sin(2 * math.pi * (u + j / 5)))
            d.line([(x0, y), (x0 + 2 * half, y)], fill=C["moon2" if j % 2 else "moon1"])
    # The near bank: grass with a lighter lip, and tufts that sway in the night wind.
    d.rectangle((0, BANK_TOP, SCENE_W - 1, SCENE_H - 1), fill=C["grass2"])
    for x in range(SCENE_W):
        lip = BANK_TOP + round(1.5 + 1.5 * math.sin(x / 9))
        d.line([(x, BANK_TOP - 1), (x, lip)], fill=C["grass1"])
        pk.put(img, x, BANK_TOP - 2 if x % 7 == 3 else BANK_TOP - 1, "grass1")
    for y in (170, 186):
        for x in range((y * 3) % 23, SCENE_W, 23):
            d.line([(x, y), (x + 6, y)], fill=C["grass3"])
    sway = round(math.sin(2 * math.pi * u))
    for k, x in enumerate(range(4, SCENE_W, 19)):
        y = 152 + (k * 11) % 44
        tip = sway if k % 2 else -sway
        for dx, h in ((-2, 5), (0, 7), (2, 4)):
            d.line([(x + dx, y), (x + dx + tip, y - h)], fill=C["grass1" if dx else "grass3"])
    return img


def fireflies(img, t, n):
    """Fireflies drifting over the river bank, each glowing for part of the loop."""
    u = t / n
    for k in range(7):
        a = 2 * math.pi * (u + k / 7)
        x = 20 + k * 33 + round(8 * math.sin(a + k))
        y = 118 + (k * 13) % 40 + round(6 * math.sin(2 * a))
        glow = (t + k * 2) % n
        if glow < n // 2:
            pk.put(img, x, y, "firefly")
            if glow < n // 4:
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                    pk.put(img, x + dx, y + dy, "grass1")
                pk.put(img, x, y, "yellow1")


def river_scene(t, n):
    img = river_background(t, n)
    u = t / n
    beat = math.sin(u * 2 * math.pi * 2)
    # The guitarist sits on a rock at the left, the traveller dances on the grass at the right.
    gx, gy = 2, 50
    s = Sprite(SCENE_W, SCENE_H)
    s.piece(many(E((gx + 22, gy + 94, gx + 90, gy + 128)), R((gx + 22, gy + 112, gx + 90, gy + 122))), "rock2", "rock3", "rock1", 3)
    s.line([(gx + 40, gy + 104), (gx + 48, gy + 108)], "rock3")
    pk.stamp(img, s.img)
    ImageDraw.Draw(img).ellipse((gx + 18, gy + 124, gx + 94, gy + 132), fill=C["grass3"])
    gpose = {
        "sit": True,
        "strum": 0.5 + 0.5 * math.sin(u * 2 * math.pi * 7),
        "mouth": [2, 1, 2, 0, 1, 2, 0][t % 7],
        "bob": 1 if beat > 0 else 0,
        "tap": 2 if beat > 0 else 0,
    }
    pk.stamp(img, guitarist(gpose), gx, gy)
    # Two hops per loop, kicking left then right; the free arm waves with each hop.
    a = u * 2 * math.pi * 2
    pose = {
        "dance": True,
        "lift": 7 * abs(math.sin(a)) ** 0.8,
        "kick": math.sin(a / 2),
        "wave": 0.5 + 0.5 * math.sin(a),
        "tilt": round(3 * math.sin(a / 2)),
        "sob": 0,
    }
    ox, oy = 128, 54
    shadow = 20 - round(pose["lift"])  # the shadow on the grass stays put while he hops
    ImageDraw.Draw(img).ellipse((ox + 52 - shadow, oy + 118, ox + 52 + shadow, oy + 124), fill=C["grass3"])
    timg, (ex, ey) = traveller(pose)
    pk.stamp(img, timg, ox, oy)
    tears(img, ox + ex, oy + ey + 2, t, n, True)
    fireflies(img, t, n)
    # Notes float up from the guitar towards the moon.
    for k in range(3):
        ph = (u + k / 3) % 1.0
        x = 96 + k * 10 + round(5 * math.sin(ph * 2 * math.pi * 2))
        y = 104 - round(60 * ph)
        note_sprite(img, x, y, ["yellow2", "pink1", "tear2"][k], k % 2)
    lettering(img, "なんでだろ～♪", 58, 177, 20, "yellow2", "red3")
    return img


def main():
    global PREVIEW_DIR
    if "--preview" in sys.argv:
        PREVIEW_DIR = sys.argv[sys.argv.index("--preview") + 1]
        os.makedirs(PREVIEW_DIR, exist_ok=True)

    for name in BUTTONS:
        b = draw_button(name)
        pk.write_gif(os.path.join(HERE, "buttons", f"{name}.gif"), [b])
        show(name, b, 8)

    icon = draw_icon()
    pk.write_ico(os.path.join(HERE, "icon", "brindle.ico"), icon)
    pk.write_png_rgba(os.path.join(HERE, "icon", "brindle.png"), icon)
    show("icon", icon, 8)
    for size in HICOLOR_SIZES:
        pk.write_png_rgba_at(os.path.join(HERE, "icon", f"brindle-{size}.png"), icon, size)

    n = 8
    yatai = [draw_yatai(t, n) for t in range(n)]
    pk.write_gif(os.path.join(MAILDATA, "Yatai.gif"), yatai, [15] * n)
    show("yatai", yatai)

    n = 12
    stand = [scene(t, n) for t in range(n)]
    pk.write_gif(os.path.join(MAILDATA, "nande.gif"), stand, [10] * n)
    show("nande", stand, 3)

    pk.write_gif(os.path.join(HERE, "previews", "Image1.gif"), [stand[i] for i in (0, 2, 4, 6, 9)], [16, 8, 8, 16, 8])

    # Drawn last: its colours join the shared table, and the files written above keep theirs.
    n = 14
    night = [river_scene(t, n) for t in range(n)]
    pk.write_gif(os.path.join(MAILDATA, "nande2.gif"), night, [8] * n)
    show("nande2", night, 3)
    pk.write_gif(os.path.join(HERE, "previews", "Image2.gif"), night, [8] * n)


if __name__ == "__main__":
    main()
