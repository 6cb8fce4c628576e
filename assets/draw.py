#!/usr/bin/python3
"""Draws all of Brindle's pictures, pixel by pixel, at their native size.

    icon/brindle.ico, icon/brindle.png    the program icon: the food stall
    buttons/Picture{1,7,8,10}.gif         the four 22x22 button pictures
    ★MailData/Yatai.gif                   idle scene: the stall keeper at work
    ★MailData/nande.gif, nande2.gif       event scenes: the crying traveller and the
                                          singing guitarist (standing / dancing)
    previews/Image1.gif, Image2.gif       the image dialog's previews of those scenes

Run with /usr/bin/python3 (needs python3-pil). `--preview DIR` also writes 4x enlarged
PNG copies of every frame into DIR for looking at.
"""

import math
import os
import sys

from PIL import ImageDraw, ImageFont

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
    # Right arm lifts the ladle.
    ay = [0, -3, -6][arm]
    s.piece(P([(37, 30), (43, 35 + ay // 2), (43, 40 + ay // 2), (36, 41), (35, 34)]), "navy1", "navy2", None)
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
    s.piece(E((40, 33 + ay, 46, 39 + ay)), "skin1", "skin2", None, 1)
    return s.img, (43, 33 + ay)


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
    stall.piece(R((11, 24, 84, 62)), "glow1", "glow2", None, 3, ink=False)
    for y in range(28, 60, 6):
        stall.line([(12, y), (83, y)], "cream3")
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


def draw_icon():
    img = pk.new_canvas(32, 32)
    s = Sprite(32, 32)
    # Back wall.
    s.piece(R((4, 8, 27, 22)), "glow1", "glow2", None, 2, ink=False)
    # Keeper.
    s.piece(P([(9, 22), (10, 18), (22, 18), (23, 22)]), "navy1", "navy2", None, 1)
    s.piece(E((11, 8, 20, 17)), "skin1", "skin2", None, 1)
    s.piece(R((11, 10, 20, 11)), "white", None, None, 1, ink=False)
    s.piece(many(E((11, 13, 20, 19)), E((13, 16, 18, 21))), "white", "grey2", None, 1)
    s.px(13, 12, "ink")
    s.px(18, 12, "ink")
    s.px(15, 13, "skin3")
    s.px(16, 13, "skin3")
    s.line([(15, 16), (16, 16)], "red3")
    # Awning.
    s.piece(P([(0, 4), (2, 1), (29, 1), (31, 4)]), "wood2", "wood3", "wood1", 1)
    for i in range(4):
        x0 = 2 + i * 7
        s.piece(many(R((x0, 5, x0 + 6, 8)), E((x0, 6, x0 + 6, 10))), "red2", "red3", None, 1)
        s.px(x0 + 3, 6, "white")
        s.px(x0 + 2, 7, "white")
        s.px(x0 + 4, 7, "white")
    s.piece(R((1, 5, 2, 27)), "wood2", "wood3", None, 1, ink=False)
    s.piece(R((29, 5, 30, 27)), "wood2", "wood3", None, 1, ink=False)
    # Counter.
    s.piece(R((0, 22, 31, 24)), "wood1", "wood2", "cream3", 1)
    s.piece(R((2, 25, 29, 30)), "wood2", "wood3", None, 1)
    # Red lantern and blue bowl in front.
    s.piece(E((3, 13, 9, 22)), "red2", "red3", "red1", 1)
    s.piece(many(E((19, 17, 28, 24))), "blue2", "blue3", "blue1", 1)
    s.line([(20, 18), (27, 18)], "noodle")
    pk.stamp(img, s.img)
    pk.put(img, 22, 14, "steam1")
    pk.put(img, 23, 13, "steam2")
    pk.put(img, 25, 15, "steam1")
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


def traveller(pose):
    """The crying traveller in red with a bundle on a stick.
    pose keys: 'bob', 'tilt' (-1/0/1), 'legs' (0 stand, 1/2 kick), 'arm' (0..3), 'sob' (0/1)."""
    s = Sprite(100, 130)
    bob = pose.get("bob", 0)
    legs = pose.get("legs", 0)
    arm = pose.get("arm", 0)
    sob = pose.get("sob", 0)
    tilt = pose.get("tilt", 0)
    ground = 122
    # Bundle on the stick behind the shoulder.
    bx, by = 14 + tilt * 2, 24 + bob + sob
    s.line([(bx + 12, by + 8), (62, 66 + bob)], "wood3", 2)
    s.piece(many(E((bx, by, bx + 26, by + 22)), P([(bx + 8, by + 2), (bx + 13, by - 5), (bx + 17, by + 2)])), "green2", "green3", "green1", 3)
    for (x, y) in [(6, 6), (14, 12), (18, 5), (8, 15), (20, 15)]:
        s.grid(bx + x - 1, by + y - 1, [".w.", "w.w"][:1] + ["ww."], {"w": "cream1"})
    # Legs.
    lx = 40
    if legs == 0:
        s.piece(R((lx, 92 + bob, lx + 7, ground - 4)), "red3", "red4", None, 1)
        s.piece(R((lx + 11, 92 + bob, lx + 18, ground - 4)), "red3", "red4", None, 1)
        s.piece(E((lx - 4, ground - 6, lx + 8, ground)), "wood3", "wood4", "wood2", 1)
        s.piece(E((lx + 11, ground - 6, lx + 23, ground)), "wood3", "wood4", "wood2", 1)
    else:
        k = 1 if legs == 1 else -1
        # One leg kicks out, the other stands.
        st = lx + (11 if k == 1 else 0)
        s.piece(R((st, 92 + bob, st + 7, ground - 4)), "red3", "red4", None, 1)
        s.piece(E((st - 2, ground - 6, st + 10, ground)), "wood3", "wood4", "wood2", 1)
        if k == 1:
            s.piece(P([(lx, 92 + bob), (lx + 7, 94 + bob), (lx - 6, 110 + bob), (lx - 12, 106 + bob)]), "red3", "red4", None, 1)
            s.piece(E((lx - 20, 104 + bob, lx - 8, 111 + bob)), "wood3", "wood4", "wood2", 1)
        else:
            s.piece(P([(lx + 11, 94 + bob), (lx + 18, 92 + bob), (lx + 30, 106 + bob), (lx + 24, 110 + bob)]), "red3", "red4", None, 1)
            s.piece(E((lx + 26, 104 + bob, lx + 38, 111 + bob)), "wood3", "wood4", "wood2", 1)
    # Body: red jacket.
    s.piece(P([(36, 62 + bob), (62, 62 + bob), (64, 96 + bob), (34, 96 + bob)]), "red2", "red3", "red1", 3)
    s.line([(49, 63 + bob), (49, 95 + bob)], "red3")
    s.piece(R((34, 88 + bob, 64, 91 + bob)), "white", "grey1", None, 1)
    # Arm holding the stick (at the shoulder).
    s.piece(P([(58, 64 + bob), (66, 70 + bob), (62, 76 + bob), (55, 70 + bob)]), "red2", "red3", None, 1)
    s.piece(E((58, 62 + bob, 66, 70 + bob)), "skin1", "skin2", None, 1)
    # Free arm: wipes tears or waves.
    fx = [(30, 58), (24, 52), (26, 76), (20, 64)][arm]
    s.piece(P([(38, 64 + bob), (fx[0] + 5, fx[1] + bob), (fx[0] + 1, fx[1] + 5 + bob), (36, 72 + bob)]), "red2", "red3", None, 1)
    s.piece(E((fx[0] - 4, fx[1] - 3 + bob, fx[0] + 4, fx[1] + 5 + bob)), "skin1", "skin2", None, 1)
    # Head.
    hx, hy = 30 + tilt, 22 + bob + sob
    s.piece(E((hx, hy, hx + 38, hy + 40)), "skin1", "skin2", None, 3)
    # Hair.
    s.piece(
        many(E((hx + 1, hy - 2, hx + 37, hy + 18)), P([(hx + 4, hy + 14), (hx + 10, hy + 8), (hx + 14, hy + 16), (hx + 20, hy + 9), (hx + 26, hy + 16), (hx + 32, hy + 9), (hx + 36, hy + 14)])),
        "hair",
        "ink",
        "brown1",
        2,
    )
    # Closed crying eyes.
    s.grid(hx + 7, hy + 20, ["kk....", "..kk..", "....kk"][::-1], {"k": "ink"})
    s.grid(hx + 25, hy + 20, ["kk....", "..kk..", "....kk"][::-1][::1], {"k": "ink"})
    # Wailing mouth.
    s.piece(E((hx + 14, hy + 27, hx + 24, hy + 36 + sob)), "red4", None, None, ink=True)
    s.piece(E((hx + 16, hy + 32 + sob, hx + 22, hy + 36 + sob)), "pink1", None, None, ink=False)
    s.px(hx + 8, hy + 26, "blush")
    s.px(hx + 9, hy + 26, "blush")
    s.px(hx + 29, hy + 26, "blush")
    s.px(hx + 30, hy + 26, "blush")
    return s.img, (hx, hy)


def tears(img, x, y, t, spread=0):
    """Two streams of tears from the eyes at (x, y) (left eye) and (x + 18, y)."""
    for side, ex in ((-1, x), (1, x + 22)):
        for j in range(7):
            ph = (j * 3 + t * 2) % 21
            dx = side * (2 + ph // 2 + spread * ph // 4)
            dy = ph * ph // 14
            pk.put(img, ex + dx, y + dy, "tear2")
            pk.put(img, ex + dx, y + dy + 1, "tear2")
            pk.put(img, ex + dx - side, y + dy, "tear1")


def guitarist(pose):
    """The singing guitarist in a straw hat. pose: 'strum' (0/1), 'mouth' (0..2), 'bob'."""
    s = Sprite(110, 140)
    bob = pose.get("bob", 0)
    strum = pose.get("strum", 0)
    mouth = pose.get("mouth", 0)
    ground = 132
    # Legs and shoes.
    s.piece(R((42, 96, 51, ground - 5)), "blue3", "blue4", None, 1)
    s.piece(R((58, 96, 67, ground - 5)), "blue3", "blue4", None, 1)
    tap = pose.get("tap", 0)
    s.piece(E((38, ground - 7, 52, ground)), "ink", None, "grey4", 1)
    s.piece(E((57, ground - 7 - tap, 72, ground - tap)), "ink", None, "grey4", 1)
    # Striped shirt.
    s.piece(P([(38, 58 + bob), (72, 58 + bob), (74, 100), (36, 100)]), "white", "grey1", None, 2)
    for y in range(62 + bob, 100, 6):
        s.line([(37, y), (73, y)], "blue2")
        s.line([(37, y + 1), (73, y + 1)], "blue2")
    # Head.
    hx, hy = 36, 20 + bob
    s.piece(E((hx, hy, hx + 38, hy + 38)), "skin1", "skin2", None, 3)
    # Happy closed eyes, eyebrows.
    s.grid(hx + 8, hy + 18, [".kk.", "k..k"], {"k": "ink"})
    s.grid(hx + 26, hy + 18, [".kk.", "k..k"], {"k": "ink"})
    s.px(hx + 7, hy + 24, "blush")
    s.px(hx + 8, hy + 24, "blush")
    s.px(hx + 30, hy + 24, "blush")
    s.px(hx + 31, hy + 24, "blush")
    # Singing mouth.
    mh = [3, 6, 8][mouth]
    s.piece(E((hx + 14, hy + 26, hx + 24, hy + 26 + mh)), "red4", None, None)
    if mh > 4:
        s.line([(hx + 17, hy + 25 + mh), (hx + 21, hy + 25 + mh)], "pink1")
    # Straw hat.
    s.piece(E((hx - 8, hy + 6, hx + 46, hy + 16)), "yellow2", "yellow3", "yellow1", 2)
    s.piece(many(E((hx + 5, hy - 8, hx + 33, hy + 12))), "yellow2", "yellow3", "yellow1", 2)
    s.piece(R((hx + 5, hy + 4, hx + 33, hy + 7)), "red2", "red3", None, 1)
    # Guitar across the body.
    gx, gy = 30, 74
    s.line([(gx + 30, gy + 6), (gx + 70, gy - 18)], "wood4", 4)
    s.line([(gx + 32, gy + 4), (gx + 70, gy - 19)], "wood3", 1)
    s.piece(P([(gx + 66, gy - 22), (gx + 76, gy - 28), (gx + 79, gy - 22), (gx + 70, gy - 16)]), "wood3", "wood4", None, 1)
    s.piece(many(E((gx - 2, gy, gx + 24, gy + 26)), E((gx + 12, gy - 4, gx + 34, gy + 18))), "orange", "wood2", "yellow2", 3)
    s.piece(E((gx + 14, gy + 5, gx + 22, gy + 13)), "wood4", None, None)
    s.line([(gx + 4, gy + 18), (gx + 10, gy + 22)], "wood3", 2)
    # Strumming hand.
    sy = gy + (4 if strum else 14)
    s.piece(P([(38, 64 + bob), (30, 76 + bob), (gx + 16, sy + 2), (gx + 22, sy - 2), (40, 72 + bob)]), "white", "grey1", None, 1)
    s.piece(E((gx + 16, sy - 4, gx + 26, sy + 5)), "skin1", "skin2", None, 1)
    # Fretting hand on the neck.
    s.piece(P([(70, 64 + bob), (80, 72 + bob), (gx + 58, gy - 16), (gx + 52, gy - 12), (72, 76 + bob)]), "white", "grey1", None, 1)
    s.piece(E((gx + 54, gy - 18, gx + 62, gy - 10)), "skin1", "skin2", None, 1)
    return s.img


def note_sprite(img, x, y, colour):
    pk.grid(img, x, y, ["..kk", "..kkk", "..k.k", "..k", "kkk", "kkk", ".k"], {"k": colour})


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


def scene(t, n, dancing):
    img = background(t, n)
    # Guitarist on the right.
    gpose = {"strum": t % 2, "mouth": [1, 2, 1, 0][t % 4], "bob": 1 if t % 4 in (1, 2) else 0, "tap": 2 if t % 4 < 2 else 0}
    pk.stamp(img, guitarist(gpose), 128, 38)
    # Traveller on the left.
    if dancing:
        cycle = t % 14
        legs = [0, 1, 1, 0, 2, 2, 0][cycle % 7]
        pose = {"bob": [0, -4, -6, -2, -4, -6, -2][cycle % 7], "legs": legs, "arm": [1, 3, 1, 3, 1, 3, 1][cycle % 7], "tilt": [0, -2, -2, 0, 2, 2, 0][cycle % 7], "sob": 0}
    else:
        pose = {"bob": 0, "legs": 0, "arm": 0, "sob": 1 if t % 4 in (1, 2) else 0, "tilt": 0}
    timg, (hx, hy) = traveller(pose)
    pk.stamp(img, timg, 14, 46)
    tears(img, 14 + hx + 5, 46 + hy + 21, t, spread=2 if dancing else 0)
    # Music notes rising from the guitar.
    for k in range(3):
        ph = (t * 3 + k * 14) % 42
        x = 208 + k * 10 + [0, 2, 3, 2, 0, -2, -3, -2][(ph // 3) % 8]
        y = 120 - ph * 2
        if y > 40:
            note_sprite(img, x, y, ["blue3", "red2", "green3"][k])
    speech_bubble(img, (96, 6, 244, 40), [(196, 38), (206, 38), (200, 52)])
    lettering(img, "なんでだろ～♪", 106, 12, 20, "red2")
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

    n = 8
    yatai = [draw_yatai(t, n) for t in range(n)]
    pk.write_gif(os.path.join(MAILDATA, "Yatai.gif"), yatai, [15] * n)
    show("yatai", yatai)

    n = 8
    stand = [scene(t, n, False) for t in range(n)]
    pk.write_gif(os.path.join(MAILDATA, "nande.gif"), stand, [10] * n)
    show("nande", stand, 3)

    n = 14
    dance = [scene(t, n, True) for t in range(n)]
    pk.write_gif(os.path.join(MAILDATA, "nande2.gif"), dance, [8] * n)
    show("nande2", dance, 3)

    pk.write_gif(os.path.join(HERE, "previews", "Image1.gif"), [stand[i] for i in (0, 1, 2, 3, 5)], [16, 8, 8, 16, 8])
    pk.write_gif(os.path.join(HERE, "previews", "Image2.gif"), dance, [8] * 14)


if __name__ == "__main__":
    main()
