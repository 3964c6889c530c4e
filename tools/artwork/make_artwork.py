#!/usr/bin/python3
"""Draws every picture Tastovolant ships: the main window's backdrop, the status shields,
the maker's logo sheet, the small list icons, the remote-control page's buttons and the
application icon.

Everything is drawn here from geometric shapes and gradients with Pillow; nothing is read
from disk except the Liberation Sans Bold font used for the word mark.  The output is
deterministic: running the script twice gives byte-identical files.

    /usr/bin/python3 tools/artwork/make_artwork.py [--out DIR]

DIR defaults to the repository root; files go to DIR/src/assets/{pictures,gfx,icon}.
"""

import argparse
import io
import math
import random
import struct
import sys
from pathlib import Path

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

REPO_ROOT = Path(__file__).resolve().parents[2]
FONT_PATH = Path("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf")

# Where the device's screen sits on the main window; the status shields are drawn over it.
SCREEN_BOX = (80, 80, 141, 212)          # x, y, width, height
LOGO_GRID_RGBA = (77, 142, 0, 255)
LOGO_FRAME = (240, 109)

LANCZOS = Image.Resampling.LANCZOS
BILINEAR = Image.Resampling.BILINEAR


# ----------------------------------------------------------------------------------------------
# Small drawing toolkit
# ----------------------------------------------------------------------------------------------

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def ramp(stops, t):
    """Colour at t along a list of (position, colour) stops, positions ascending 0..1."""
    t = clamp(t)
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, 0.0 if p1 == p0 else (t - p0) / (p1 - p0))
    return stops[-1][1]


def as_rgb(c):
    return tuple(int(round(clamp(v, 0, 255))) for v in c[:3])


def field(size, fn, step=1, mode="RGB"):
    """Image whose pixels are fn(x, y) (a colour or, for mode L, a number 0..255).

    With step > 1 the function is sampled on a coarser grid and smoothly enlarged, which is
    plenty for gradients and much faster in pure Python."""
    w, h = size
    sw, sh = max(2, -(-w // step)), max(2, -(-h // step))
    fx, fy = w / sw, h / sh
    data = []
    for j in range(sh):
        y = (j + 0.5) * fy
        for i in range(sw):
            v = fn((i + 0.5) * fx, y)
            if mode == "L":
                data.append(int(round(clamp(v, 0, 255))))
            else:
                data.append(as_rgb(v))
    im = Image.new(mode, (sw, sh))
    im.putdata(data)
    return im if (sw, sh) == size else im.resize(size, BILINEAR)


def linear(size, p0, p1, stops, step=1):
    dx, dy = p1[0] - p0[0], p1[1] - p0[1]
    n = dx * dx + dy * dy
    return field(size, lambda x, y: ramp(stops, ((x - p0[0]) * dx + (y - p0[1]) * dy) / n), step)


def radial(size, centre, radius, stops, step=1, mode="RGB"):
    cx, cy = centre
    rx, ry = (radius, radius) if not isinstance(radius, tuple) else radius

    def fn(x, y):
        t = math.hypot((x - cx) / rx, (y - cy) / ry)
        return ramp(stops, t) if mode != "L" else ramp([(p, (c,)) for p, c in stops], t)[0]
    return field(size, fn, step, mode)


def shape_mask(size, scale, draw_fn):
    """Antialiased coverage mask: draw_fn(draw, s) draws at s times the size, which is then
    averaged down."""
    big = Image.new("L", (size[0] * scale, size[1] * scale), 0)
    draw_fn(ImageDraw.Draw(big), scale)
    return big.reduce(scale) if scale > 1 else big


def scale_pts(pts, s):
    return [(x * s, y * s) for x, y in pts]


def multiply(*masks):
    out = masks[0]
    for m in masks[1:]:
        out = ImageChops.multiply(out, m)
    return out


def fade(mask, opacity):
    return mask.point(lambda v: int(round(v * opacity)))


def paint(base, colour, mask, opacity=1.0):
    """Lays a flat colour over an RGBA base through a coverage mask."""
    layer = Image.new("RGBA", base.size, as_rgb(colour) + (0,))
    layer.putalpha(fade(mask, opacity) if opacity != 1.0 else mask)
    return Image.alpha_composite(base, layer)


def paint_image(base, picture, mask, opacity=1.0):
    """Lays an RGB picture over an RGBA base through a coverage mask."""
    layer = picture.convert("RGB").convert("RGBA")
    layer.putalpha(fade(mask, opacity) if opacity != 1.0 else mask)
    return Image.alpha_composite(base, layer)


def blur(mask, radius):
    return mask.filter(ImageFilter.GaussianBlur(radius))


def shifted(mask, dx, dy):
    return ImageChops.offset(mask, dx, dy) if (dx or dy) else mask


def bezier(p0, p1, p2, p3, n=48):
    pts = []
    for i in range(n + 1):
        t = i / n
        u = 1 - t
        pts.append((u * u * u * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t * t * t * p3[0],
                    u * u * u * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t * t * t * p3[1]))
    return pts


def png_bytes(im):
    buf = io.BytesIO()
    im.save(buf, "PNG", optimize=True)
    return buf.getvalue()


# ----------------------------------------------------------------------------------------------
# Heraldic shield (status pictures, error picture, application icon)
# ----------------------------------------------------------------------------------------------

PALETTES = {
    "green": dict(light=(150, 228, 96), mid=(58, 168, 38), dark=(18, 92, 16),
                  rim_light=(196, 244, 150), rim_dark=(10, 58, 10)),
    "red": dict(light=(255, 132, 112), mid=(214, 40, 30), dark=(116, 10, 8),
                rim_light=(255, 190, 172), rim_dark=(74, 4, 4)),
    "grey": dict(light=(214, 218, 220), mid=(138, 142, 146), dark=(70, 73, 77),
                 rim_light=(240, 242, 244), rim_dark=(40, 42, 45)),
}


SHIELD_ASPECT = 0.96       # width / height


def shield_outline(left, top, right, bottom):
    """Outline of a heater shield: gently dipped top edge, straight flanks that sweep into a
    point at the bottom."""
    w, h = right - left, bottom - top
    cx = (left + right) / 2
    shoulder = top + 0.42 * h
    dip = 0.05 * h
    pts = bezier((left, top), (left + 0.3 * w, top + dip), (right - 0.3 * w, top + dip), (right, top), 32)
    pts += [(right, shoulder)]
    pts += bezier((right, shoulder), (right, top + 0.76 * h), (cx + 0.16 * w, top + 0.90 * h), (cx, bottom))[1:]
    pts += bezier((cx, bottom), (cx - 0.16 * w, top + 0.90 * h), (left, top + 0.76 * h), (left, shoulder))[1:]
    return pts


def render_shield(size, palette, shadow=True, scale=8):
    """A shield crossed by a white band from its lower left to its upper right, on a
    transparent ground, filling most of a picture of the given size."""
    pal = PALETTES[palette]
    w, h = size
    S = scale
    W, H = w * S, h * S
    small = min(w, h) < 40
    margin_x = (0.07 if shadow else 0.04) * w
    margin_t = (0.04 if shadow else 0.03) * h
    margin_b = (0.07 if shadow else 0.03) * h
    # Fit a shield of fixed proportions into the space left by the margins.
    room_w, room_h = w - 2 * margin_x, h - margin_t - margin_b
    sw = min(room_w, room_h * SHIELD_ASPECT)
    sh = sw / SHIELD_ASPECT
    left, top = (w - sw) / 2, margin_t + (room_h - sh) / 2
    box = (left * S, top * S, (left + sw) * S, (top + sh) * S)
    bw = box[2] - box[0]
    rim = bw * (0.075 if not small else 0.10)

    def poly_mask(b):
        m = Image.new("L", (W, H), 0)
        ImageDraw.Draw(m).polygon(shield_outline(*b), fill=255)
        return m

    outer = poly_mask(box)
    inner = poly_mask((box[0] + rim, box[1] + rim, box[2] - rim, box[3] - rim * 1.55))
    img = Image.new("RGBA", (W, H), pal["mid"] + (0,))

    if shadow:
        sh = blur(shifted(outer, int(0.02 * W), int(0.035 * H)), 0.03 * W)
        img = paint(img, (0, 0, 0), sh, 0.45)

    # Rim: a bevelled edge lit from the upper left.
    rim_fill = linear((W, H), (box[0], box[1]), (box[2], box[3]),
                      [(0.0, pal["rim_light"]), (0.35, pal["mid"]), (0.75, pal["dark"]), (1.0, pal["rim_dark"])],
                      step=S)
    img = paint_image(img, rim_fill, outer)

    # Field: darkening downwards, with a soft light pool in the upper left.
    field_fill = linear((W, H), (box[0], box[1]), (box[0] + 0.35 * bw, box[3]),
                        [(0.0, pal["light"]), (0.45, pal["mid"]), (1.0, pal["dark"])], step=S)
    img = paint_image(img, field_fill, inner)
    pool = radial((W, H), (box[0] + 0.32 * bw, box[1] + 0.28 * (box[3] - box[1])), 0.55 * bw,
                  [(0.0, 255), (1.0, 0)], step=S, mode="L")
    img = paint(img, pal["light"], multiply(inner, pool), 0.55)

    # Inner edge shading: a dark line just inside the rim at the top, light at the bottom.
    edge = ImageChops.subtract(inner, shifted(inner, 0, int(rim * 0.35)))
    img = paint(img, pal["rim_dark"], blur(edge, rim * 0.15), 0.8)
    edge = ImageChops.subtract(inner, shifted(inner, 0, -int(rim * 0.3)))
    img = paint(img, pal["rim_light"], blur(edge, rim * 0.15), 0.5)

    # The band, from lower left to upper right, with a soft shadow beneath it.
    cx, cy = (box[0] + box[2]) / 2, box[1] + 0.47 * (box[3] - box[1])
    ang = math.radians(-48)
    ux, uy = math.cos(ang), math.sin(ang)
    nx, ny = -uy, ux
    half = bw * (0.13 if not small else 0.16)
    reach = 2 * max(W, H)

    def band(off):
        m = Image.new("L", (W, H), 0)
        c = (cx + nx * off, cy + ny * off)
        ImageDraw.Draw(m).polygon([
            (c[0] - ux * reach + nx * half, c[1] - uy * reach + ny * half),
            (c[0] + ux * reach + nx * half, c[1] + uy * reach + ny * half),
            (c[0] + ux * reach - nx * half, c[1] + uy * reach - ny * half),
            (c[0] - ux * reach - nx * half, c[1] - uy * reach - ny * half)], fill=255)
        return m

    band_mask = multiply(band(0), inner)
    band_shadow = multiply(blur(shifted(band(0), int(rim * 0.25), int(rim * 0.45)), rim * 0.35), inner)
    img = paint(img, pal["rim_dark"], band_shadow, 0.55)
    band_fill = linear((W, H), (cx + nx * half, cy + ny * half), (cx - nx * half, cy - ny * half),
                       [(0.0, (214, 220, 222)), (0.4, (250, 251, 252)), (0.75, (255, 255, 255)), (1.0, (232, 236, 238))],
                       step=S)
    img = paint_image(img, band_fill, band_mask)
    band_edges = ImageChops.subtract(band(0), band(-half * 0.16))   # the band's lower edge
    img = paint(img, (150, 156, 160), multiply(band_edges, inner), 0.6)

    # Gloss over the upper part of the shield.
    gloss = Image.new("L", (W, H), 0)
    gd = ImageDraw.Draw(gloss)
    gd.ellipse((box[0] - 0.45 * bw, box[1] - 1.1 * bw, box[2] + 0.25 * bw, box[1] + 0.46 * (box[3] - box[1])), fill=255)
    gloss_fade = linear((W, H), (0, box[1]), (0, box[1] + 0.5 * (box[3] - box[1])),
                        [(0.0, (255,) * 3), (1.0, (40,) * 3)], step=S).convert("L")
    img = paint(img, (255, 255, 255), multiply(gloss, gloss_fade, inner), 0.32)

    # A fine light line round the outside of the rim for crispness.
    outer_line = ImageChops.subtract(outer, poly_mask((box[0] + rim * 0.12, box[1] + rim * 0.12,
                                                       box[2] - rim * 0.12, box[3] - rim * 0.2)))
    img = paint(img, pal["rim_light"], multiply(outer_line, linear(
        (W, H), (0, box[1]), (0, box[3]), [(0.0, (255,) * 3), (1.0, (60,) * 3)], step=S).convert("L")), 0.7)

    return img.resize(size, LANCZOS)


# ----------------------------------------------------------------------------------------------
# Main window backdrop
# ----------------------------------------------------------------------------------------------

BODY = (62, 30, 239, 353)        # device body, edges (right/bottom exclusive)
BODY_RADIUS = 26
BUTTON_CENTRE = (150.5, 322.5)
BUTTON_RADIUS = 15


def ray_mask(size, origin, a0, a1, seed, reach=2500):
    """White wedges fanning out of origin between angles a0 and a1 (degrees)."""
    rnd = random.Random(seed)
    m = Image.new("L", size, 0)
    d = ImageDraw.Draw(m)
    a = a0
    while a < a1:
        width = rnd.uniform(1.2, 4.0)
        level = rnd.randint(90, 255)
        p = lambda ang: (origin[0] + reach * math.cos(math.radians(ang)),
                         origin[1] + reach * math.sin(math.radians(ang)))
        d.polygon([origin, p(a), p(a + width)], fill=level)
        a += width + rnd.uniform(1.5, 6.5)
    return m


def flare_layer(base, centre, radius, colour, opacity, ring=0.0, soft=1.5):
    x, y = centre
    m = shape_mask(base.size, 4, lambda d, s: d.ellipse(((x - radius) * s, (y - radius) * s,
                                                          (x + radius) * s, (y + radius) * s), fill=255))
    # Brighter towards the edge, like a real lens ghost.
    inner = radial(base.size, centre, radius, [(0.0, 150), (0.8, 200), (1.0, 255)], step=4, mode="L")
    base = paint(base, colour, blur(multiply(m, inner), soft), opacity)
    if ring:
        r2 = radius * 1.0
        rm = shape_mask(base.size, 4, lambda d, s: d.ellipse(((x - r2) * s, (y - r2) * s,
                                                               (x + r2) * s, (y + r2) * s),
                                                              outline=255, width=max(1, int(1.5 * s))))
        base = paint(base, colour, blur(rm, 0.8), ring)
    return base


def draw_background(size):
    w, h = size
    glow_at = (180.0, 90.0)

    def bg(x, y):
        t = clamp(0.62 * y / h + 0.38 * x / w)
        c = ramp([(0.0, (150, 214, 58)), (0.45, (104, 182, 32)), (1.0, (52, 124, 14))], t)
        g = clamp(1 - math.hypot(x - glow_at[0], y - glow_at[1]) / 420.0) ** 2
        c = mix(c, (196, 240, 110), 0.35 * g)
        # Gentle darkening in the far corners.
        v = clamp(math.hypot((x - w * 0.45) / (w * 0.75), (y - h * 0.45) / (h * 0.75)) - 0.55) * 0.9
        return mix(c, (28, 80, 8), v)

    img = field(size, bg, step=2).convert("RGBA")

    # Light rays fanning from above the device; quieter where the controls sit.
    rays = blur(ray_mask(size, (200, -140), 20, 160, seed=11), 3.5)
    falloff = radial(size, (200, -140), 640, [(0.0, 255), (0.35, 200), (1.0, 0)], step=4, mode="L")
    calm = blur(shape_mask(size, 1, lambda d, s: d.rectangle((290, 85, 640, 380), fill=255)), 30)
    quiet = calm.point(lambda v: 255 - int(v * 0.6))
    img = paint(img, (236, 255, 200), multiply(rays, falloff, quiet), 0.30)

    # The light source in the top right corner and its lens flares.
    src = (598.0, 34.0)
    img = paint(img, (255, 255, 230), radial(size, src, 120, [(0.0, 255), (0.15, 150), (1.0, 0)], step=2, mode="L"), 0.75)
    streak = Image.new("L", size, 0)
    sd = ImageDraw.Draw(streak)
    sd.line((src[0] - 150, src[1], src[0] + 150, src[1]), fill=255, width=2)
    sd.line((src[0], src[1] - 70, src[0], src[1] + 70), fill=160, width=1)
    streak = multiply(blur(streak, 1.2), radial(size, src, 150, [(0.0, 255), (1.0, 0)], step=2, mode="L"))
    img = paint(img, (255, 255, 240), streak, 0.8)
    img = paint(img, (255, 255, 255), radial(size, src, 9, [(0.0, 255), (0.6, 230), (1.0, 0)], step=1, mode="L"))

    direction = (-556.0, 130.0)      # the flare chain runs along the top of the window
    ghosts = [
        (0.09, 7, (255, 255, 210), 0.30, 0.0),
        (0.17, 16, (220, 255, 150), 0.16, 0.10),
        (0.27, 5, (255, 255, 255), 0.32, 0.0),
        (0.37, 24, (170, 240, 255), 0.10, 0.10),
        (0.47, 10, (255, 240, 170), 0.18, 0.0),
        (0.585, 30, (230, 255, 180), 0.09, 0.12),
        (0.99, 40, (200, 250, 255), 0.08, 0.10),
        (1.05, 12, (255, 255, 220), 0.16, 0.0),
    ]
    for t, r, colour, op, ring in ghosts:
        img = flare_layer(img, (src[0] + direction[0] * t, src[1] + direction[1] * t), r, colour, op, ring)
    return img


def rounded_mask(size, box, radius, scale=4):
    x0, y0, x1, y1 = box
    return shape_mask(size, scale, lambda d, s: d.rounded_rectangle(
        (x0 * s, y0 * s, x1 * s - 1, y1 * s - 1), radius=radius * s, fill=255))


def circle_mask(size, centre, radius, scale=4):
    cx, cy = centre
    return shape_mask(size, scale, lambda d, s: d.ellipse(
        ((cx - radius) * s, (cy - radius) * s, (cx + radius) * s - 1, (cy + radius) * s - 1), fill=255))


def draw_screen(size):
    """The device's glass: dark green with rays of light behind the shield."""
    sx, sy, sw, sh = SCREEN_BOX
    local = (sw, sh)
    centre = (70.0, 111.0)            # centre of the shield drawn at (20, 61)
    glass = linear(local, (0, 0), (sw * 0.3, sh), [(0.0, (30, 86, 38)), (0.5, (16, 62, 26)), (1.0, (8, 38, 16))])
    glass = glass.convert("RGBA")
    glow = radial(local, centre, (95, 110), [(0.0, 255), (0.5, 120), (1.0, 0)], mode="L")
    glass = paint(glass, (84, 190, 70), glow, 0.55)
    big = (sw * 4, sh * 4)
    rays = ray_mask(big, (centre[0] * 4, centre[1] * 4), 0, 360, seed=5).reduce(4)
    rays = multiply(blur(rays, 0.8), radial(local, centre, 120, [(0.0, 255), (0.3, 230), (1.0, 0)], mode="L"))
    glass = paint(glass, (150, 240, 120), rays, 0.30)
    # Glass glare: a broad diagonal sheen over the upper left.
    sheen = Image.new("L", local, 0)
    ImageDraw.Draw(sheen).polygon([(0, 0), (sw * 0.95, 0), (0, sh * 0.62)], fill=255)
    sheen = multiply(blur(sheen, 3), linear(local, (0, 0), (sw * 0.5, sh * 0.5),
                                            [(0.0, (255,) * 3), (1.0, (0,) * 3)]).convert("L"))
    glass = paint(glass, (220, 255, 220), sheen, 0.13)
    # A faint shade along the top and left edges where the bezel meets the glass.
    edge = Image.new("L", local, 0)
    ImageDraw.Draw(edge).rectangle((0, 0, sw - 1, sh - 1), outline=255, width=1)
    glass = paint(glass, (0, 20, 6), blur(edge, 1.2), 0.7)
    return glass


def draw_device(size):
    """The handheld device on its own transparent layer."""
    x0, y0, x1, y1 = BODY
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    outer = rounded_mask(size, BODY, BODY_RADIUS)
    inset = 3.5
    inner = rounded_mask(size, (x0 + inset, y0 + inset, x1 - inset, y1 - inset), BODY_RADIUS - inset)

    metal = linear(size, (x0, y0), (x1, y1), [
        (0.0, (250, 252, 252)), (0.18, (176, 182, 186)), (0.38, (236, 240, 242)), (0.55, (128, 134, 140)),
        (0.75, (212, 216, 220)), (1.0, (96, 100, 106))], step=2)
    layer = paint_image(layer, metal, outer)
    # A darker hairline just outside the metal so the rim reads against the bright ground.
    ring = ImageChops.subtract(outer, rounded_mask(size, (x0 + 0.8, y0 + 0.8, x1 - 0.8, y1 - 0.8), BODY_RADIUS - 0.8))
    layer = paint(layer, (40, 46, 50), ring, 0.7)

    body = linear(size, (x0, y0), (x1 * 0.8, y1), [(0.0, (44, 48, 50)), (0.35, (18, 20, 22)), (1.0, (4, 5, 6))], step=2)
    layer = paint_image(layer, body, inner)
    # Gloss along the left flank and top of the black body.
    sheen = Image.new("L", size, 0)
    ImageDraw.Draw(sheen).polygon([(x0, y0), (x0 + 120, y0), (x0, y0 + 220)], fill=255)
    sheen = multiply(blur(sheen, 10), inner)
    layer = paint(layer, (255, 255, 255), sheen, 0.10)
    # Inner edge of the black body catches a little light at the top.
    lip = ImageChops.subtract(inner, shifted(inner, 0, 2))
    layer = paint(layer, (120, 126, 130), lip, 0.5)

    # Bezel shade round the screen, then the glass itself (hard-edged, exactly on its rectangle).
    sx, sy, sw, sh = SCREEN_BOX
    frame = rounded_mask(size, (sx - 3, sy - 3, sx + sw + 3, sy + sh + 3), 3)
    layer = paint(layer, (0, 0, 0), frame)
    lower_lip = rounded_mask(size, (sx - 3, sy + sh, sx + sw + 3, sy + sh + 3), 2)
    layer = paint(layer, (70, 76, 80), lower_lip, 0.35)
    layer.paste(draw_screen(size).convert("RGBA"), (sx, sy))

    # Speaker slot and camera dot in the top bezel are left out: the maker's mark goes there.
    # Round button under the screen.
    bc, br = BUTTON_CENTRE, BUTTON_RADIUS
    layer = paint(layer, (0, 0, 0), blur(circle_mask(size, (bc[0], bc[1] + 1), br + 1), 1.2), 0.8)
    button_metal = linear(size, (bc[0] - br, bc[1] - br), (bc[0] + br, bc[1] + br),
                          [(0.0, (246, 248, 250)), (0.45, (150, 156, 162)), (1.0, (214, 218, 222))])
    layer = paint_image(layer, button_metal, circle_mask(size, bc, br))
    face = linear(size, (0, bc[1] - br), (0, bc[1] + br), [(0.0, (10, 12, 12)), (1.0, (46, 50, 54))])
    layer = paint_image(layer, face, circle_mask(size, bc, br - 2.5))
    glyph = shape_mask(size, 8, lambda d, s: d.rounded_rectangle(
        ((bc[0] - 5.5) * s, (bc[1] - 5.5) * s, (bc[0] + 5.5) * s, (bc[1] + 5.5) * s),
        radius=2.2 * s, outline=255, width=int(1.1 * s)))
    layer = paint(layer, (170, 176, 180), glyph, 0.85)
    return layer


def draw_main_backdrop():
    size = (640, 480)
    img = draw_background(size)
    device = draw_device(size)
    body = rounded_mask(size, BODY, BODY_RADIUS)

    # Reflection on the glossy surface below the device.
    x0, y0, x1, y1 = BODY
    gap = 3
    flipped = device.crop((0, y0, size[0], y1)).transpose(Image.Transpose.FLIP_TOP_BOTTOM)
    mirror = Image.new("RGBA", size, (0, 0, 0, 0))
    mirror.paste(flipped, (0, y1 + gap))
    fade_mask = linear(size, (0, y1 + gap), (0, y1 + gap + 75), [(0.0, (255,) * 3), (1.0, (0,) * 3)]).convert("L")
    alpha = multiply(mirror.getchannel("A"), fade_mask)
    mirror.putalpha(fade(alpha, 0.30))
    img = Image.alpha_composite(img, mirror)

    # Contact shadow, then the device itself.
    shadow = blur(shifted(body, 7, 9), 9)
    img = paint(img, (10, 40, 0), shadow, 0.45)
    img = Image.alpha_composite(img, device)
    img.putalpha(255)
    return img


# ----------------------------------------------------------------------------------------------
# Maker's word mark
# ----------------------------------------------------------------------------------------------

def load_font(px):
    if not FONT_PATH.is_file():
        sys.exit(f"make_artwork: font not found: {FONT_PATH} (install the fonts-liberation package)")
    return ImageFont.truetype(str(FONT_PATH), px)


WORD = "Zorvane"
LOGO_MARK_CENTRE_Y = 47        # rows from the top of a 109-row frame


def render_logo_frame(state, S=4):
    w, h = LOGO_FRAME
    W, H = w * S, h * S
    font = load_font(46 * S)
    stroke = int(3.0 * S)
    bb = font.getbbox(WORD, stroke_width=stroke)
    tw, th = bb[2] - bb[0], bb[3] - bb[1]
    press = S if state == "pressed" else 0
    # Centred across; a little above the middle, so on the device's top bezel the mark sits
    # midway between the rim and the screen.
    ox = (W - tw) / 2 - bb[0]
    oy = LOGO_MARK_CENTRE_Y * S - th / 2 - bb[1] + press
    img = Image.new("RGBA", (W, H), (0, 0, 0, 0))

    def text_mask(sw):
        m = Image.new("L", (W, H), 0)
        ImageDraw.Draw(m).text((ox, oy), WORD, font=font, fill=255, stroke_width=sw, stroke_fill=255)
        return m

    letters = text_mask(0)
    outlined = text_mask(stroke)
    top, bottom = oy + bb[1] + stroke, oy + bb[3] - stroke

    if state == "pressed":
        plate_box = (7 * S, 12 * S, W - 7 * S, 84 * S)
        plate = Image.new("L", (W, H), 0)
        ImageDraw.Draw(plate).rounded_rectangle(plate_box, radius=20 * S, fill=255)
        img = paint(img, (0, 0, 0), plate)
        # Inner shade at the top of the plate gives it a pushed-in look.
        top_edge = ImageChops.subtract(plate, shifted(plate, 0, 5 * S))
        bottom_edge = ImageChops.subtract(plate, shifted(plate, 0, -2 * S))
        img = paint(img, (255, 255, 255), multiply(blur(bottom_edge, S), plate), 0.14)
        img = paint(img, (0, 0, 0), multiply(blur(top_edge, 3 * S), plate), 0.6)

    if state == "normal":
        outline_col, letter_stops = (234, 246, 226), [(0.0, (52, 84, 28)), (1.0, (14, 30, 6))]
        halo_col, halo_op = (0, 0, 0), 0.35
    elif state == "hover":
        outline_col, letter_stops = (255, 255, 255), [(0.0, (176, 244, 92)), (1.0, (84, 176, 18))]
        halo_col, halo_op = (170, 255, 90), 0.75
    else:
        outline_col, letter_stops = (196, 210, 190), [(0.0, (40, 70, 20)), (1.0, (10, 24, 4))]
        halo_col, halo_op = None, 0

    if halo_col is not None:
        img = paint(img, halo_col, blur(text_mask(stroke + 2 * S), 3 * S), halo_op)
    outline_fill = linear((W, H), (0, top), (0, bottom),
                          [(0.0, (255, 255, 255)), (1.0, mix(outline_col, (150, 170, 140), 0.5))], step=S)
    outline_fill = Image.blend(outline_fill, Image.new("RGB", (W, H), outline_col), 0.5)
    img = paint_image(img, outline_fill, outlined)
    img = paint_image(img, linear((W, H), (0, top), (0, bottom), letter_stops, step=S), letters)
    # A thin highlight on the top half of each letter.
    shine = multiply(letters, linear((W, H), (0, top), (0, (top + bottom) / 2),
                                     [(0.0, (255,) * 3), (0.99, (0,) * 3), (1.0, (0,) * 3)], step=S).convert("L"))
    img = paint(img, (255, 255, 255), shine, 0.22 if state != "pressed" else 0.12)
    img = img.resize((w, h), LANCZOS)
    # Fully clear pixels take the outline colour, so a plain resize of the sheet leaves no dark fringe.
    bleed = (0, 0, 0) if state == "pressed" else outline_col
    clear = img.getchannel("A").point(lambda a: 255 if a == 0 else 0)
    img.paste(Image.new("RGBA", (w, h), bleed + (0,)), (0, 0), clear)
    return img


def draw_logo_sheet():
    sheet = Image.new("RGBA", (242, 331), (0, 0, 0, 0))
    for i, state in enumerate(("normal", "hover", "pressed")):
        sheet.paste(render_logo_frame(state), (1, 1 + 110 * i))
    d = ImageDraw.Draw(sheet)
    for y in (0, 110, 220, 330):
        d.line((0, y, 241, y), fill=LOGO_GRID_RGBA)
    for x in (0, 241):
        d.line((x, 0, x, 330), fill=LOGO_GRID_RGBA)
    return sheet


# ----------------------------------------------------------------------------------------------
# Small list icons
# ----------------------------------------------------------------------------------------------

def render_icon(kind, size=20, S=16):
    W = size * S
    img = Image.new("RGBA", (W, W), (0, 0, 0, 0))
    blue = [(0.0, (120, 186, 255)), (0.5, (34, 112, 226)), (1.0, (14, 64, 160))]
    red = [(0.0, (255, 128, 112)), (0.5, (222, 38, 30)), (1.0, (140, 12, 8))]
    c = W / 2
    m = Image.new("L", (W, W), 0)
    d = ImageDraw.Draw(m)
    if kind in ("add", "remove"):
        arm, thick = 8.2 * S, 2.0 * S     # half length, half thickness
        bars = [(c - arm, c - thick, c + arm, c + thick), (c - thick, c - arm, c + thick, c + arm)]
        for b in bars:
            d.rounded_rectangle(b, radius=thick * 0.7, fill=255)
        if kind == "remove":
            m = m.rotate(45, resample=Image.Resampling.BICUBIC, center=(c, c))
        stops = blue if kind == "add" else red
        dark = (10, 40, 110) if kind == "add" else (100, 6, 4)
    else:
        d.ellipse((0.6 * S, 0.6 * S, W - 0.6 * S, W - 0.6 * S), fill=255)
        stops, dark = blue, (10, 40, 110)
    outline = blur(m.filter(ImageFilter.MaxFilter(2 * int(0.6 * S) + 1)), 0.3 * S)
    img = paint(img, dark, outline, 0.9)
    fill = linear((W, W), (W * 0.3, 0), (W * 0.7, W), stops, step=S)
    img = paint_image(img, fill, m)
    gloss = Image.new("L", (W, W), 0)
    ImageDraw.Draw(gloss).ellipse((-0.2 * W, -0.7 * W, 1.2 * W, 0.5 * W), fill=255)
    img = paint(img, (255, 255, 255), multiply(gloss, m), 0.30)
    if kind == "info":
        glyph = Image.new("L", (W, W), 0)
        gd = ImageDraw.Draw(glyph)
        gd.ellipse((c - 1.8 * S, 3.4 * S, c + 1.8 * S, 7.0 * S), fill=255)
        gd.rounded_rectangle((c - 1.7 * S, 8.4 * S, c + 1.7 * S, 16.4 * S), radius=0.6 * S, fill=255)
        img = paint(img, (6, 30, 90), blur(shifted(glyph, 0, int(0.5 * S)), 0.4 * S), 0.6)
        img = paint(img, (255, 255, 255), glyph)
    return img.resize((size, size), LANCZOS)


# ----------------------------------------------------------------------------------------------
# Remote-control page buttons
# ----------------------------------------------------------------------------------------------

SYMBOL_ZOOM = 1.22


def symbol_mask(kind, size, s):
    """The white symbol of a button, drawn on a 96-unit grid around the centre and enlarged
    by SYMBOL_ZOOM."""
    m = Image.new("L", (size * s, size * s), 0)
    d = ImageDraw.Draw(m)
    c = size / 2
    k = SYMBOL_ZOOM
    P = lambda pts: [((c + (x - c) * k) * s, (c + (y - c) * k) * s) for x, y in pts]
    s_k = s * k

    def tri_right(x, y, w, h):
        d.polygon(P([(x, y - h / 2), (x + w, y), (x, y + h / 2)]), fill=255)

    def tri_left(x, y, w, h):
        d.polygon(P([(x + w, y - h / 2), (x, y), (x + w, y + h / 2)]), fill=255)

    def bar(x0, y0, x1, y1, r=1.5):
        d.rounded_rectangle(P([(x0, y0), (x1, y1)]), radius=r * s_k, fill=255)

    def stroke(p0, p1, width):
        d.line(P([p0, p1]), fill=255, width=int(width * s_k))
        for p in (p0, p1):
            d.ellipse(P([(p[0] - width / 2, p[1] - width / 2), (p[0] + width / 2, p[1] + width / 2)]), fill=255)

    def speaker(cx, cy):
        """Loudspeaker; returns the x where whatever follows it may start."""
        bar(cx - 17, cy - 7, cx - 8, cy + 7)
        d.polygon(P([(cx - 9, cy - 7), (cx + 2, cy - 16), (cx + 2, cy + 16), (cx - 9, cy + 7)]), fill=255)
        return cx + 2

    if kind == "pp":
        tri_right(c - 17, c, 17, 28)
        bar(c + 4, c - 13, c + 9.5, c + 13)
        bar(c + 13, c - 13, c + 18.5, c + 13)
    elif kind == "bw":
        bar(c - 18, c - 13, c - 13, c + 13)
        tri_left(c - 13, c, 15, 26)
        tri_left(c + 2, c, 15, 26)
    elif kind == "fw":
        tri_right(c - 17, c, 15, 26)
        tri_right(c - 2, c, 15, 26)
        bar(c + 13, c - 13, c + 18, c + 13)
    elif kind == "st":
        bar(c - 13, c - 13, c + 13, c + 13, r=3)
    else:
        sx = speaker(c - 1, c)
        if kind == "vd":
            stroke((sx + 7, c), (sx + 17, c), 5)
        elif kind == "vu":
            stroke((sx + 7, c), (sx + 19, c), 5)
            stroke((sx + 13, c - 6), (sx + 13, c + 6), 5)
        elif kind == "vm":
            stroke((sx + 7, c - 6), (sx + 18, c + 6), 4.5)
            stroke((sx + 7, c + 6), (sx + 18, c - 6), 4.5)
    return m


def render_button(kind, hover, size=96, S=4):
    W = size * S
    c = W / 2
    img = Image.new("RGBA", (W, W), (0, 0, 0, 0))

    def disc(r):
        m = Image.new("L", (W, W), 0)
        ImageDraw.Draw(m).ellipse((c - r * S, c - r * S, c + r * S, c + r * S), fill=255)
        return m

    outer, ring_in, face_r = disc(47), disc(41.5), 39.5
    face = disc(face_r)
    if hover:
        ring_stops = [(0.0, (226, 255, 170)), (0.45, (126, 218, 48)), (1.0, (40, 118, 8))]
        face_stops = [(0.0, (66, 92, 60)), (0.55, (26, 44, 24)), (1.0, (14, 30, 12))]
        glow_col, glow_op = (120, 230, 60), 0.55
    else:
        ring_stops = [(0.0, (190, 232, 140)), (0.45, (86, 160, 40)), (1.0, (28, 78, 10))]
        face_stops = [(0.0, (62, 68, 66)), (0.55, (26, 30, 29)), (1.0, (10, 12, 12))]
        glow_col, glow_op = (80, 170, 40), 0.22

    img = paint_image(img, linear((W, W), (0, 0.05 * W), (0, 0.95 * W), ring_stops, step=S), outer)
    # Dark groove between the ring and the face.
    img = paint(img, (0, 0, 0), blur(ring_in, 1.5 * S), 0.85)
    img = paint_image(img, linear((W, W), (0, c - face_r * S), (0, c + face_r * S), face_stops, step=S), face)
    # Light coming up from the bottom of the face, stronger on hover.
    pool = radial((W, W), (c, c + 30 * S), (46 * S, 30 * S), [(0.0, 255), (1.0, 0)], step=S, mode="L")
    img = paint(img, glow_col, multiply(pool, face), glow_op)

    sym = symbol_mask(kind, size, S)
    if hover:
        img = paint(img, (150, 255, 90), multiply(blur(sym, 5 * S), face), 0.9)
        sym_stops = [(0.0, (255, 255, 255)), (1.0, (222, 255, 196))]
    else:
        img = paint(img, (0, 0, 0), multiply(blur(shifted(sym, 0, int(1.5 * S)), 1.5 * S), face), 0.7)
        sym_stops = [(0.0, (250, 252, 250)), (1.0, (188, 204, 190))]
    img = paint_image(img, linear((W, W), (0, c - 16 * S), (0, c + 16 * S), sym_stops, step=S), sym)

    # Glassy highlight over the top of the face.
    gloss = Image.new("L", (W, W), 0)
    ImageDraw.Draw(gloss).ellipse((c - 33 * S, c - 37 * S, c + 33 * S, c + 4 * S), fill=255)
    gloss_fade = linear((W, W), (0, c - 37 * S), (0, c + 4 * S),
                        [(0.0, (255,) * 3), (1.0, (0,) * 3)], step=S).convert("L")
    img = paint(img, (255, 255, 255), multiply(gloss, gloss_fade), 0.30 if hover else 0.24)
    # Bright hairline on the top of the outer ring.
    lip = ImageChops.subtract(outer, shifted(outer, 0, int(1.2 * S)))
    img = paint(img, (255, 255, 255), lip, 0.55)
    img = img.resize((size, size), LANCZOS)
    # Lanczos rings a little past the rim; the exact coverage of the disc bounds the alpha.
    edge = circle_mask((size, size), (size / 2, size / 2), 47, scale=S)
    img.putalpha(ImageChops.darker(img.getchannel("A"), edge))
    return img


# ----------------------------------------------------------------------------------------------
# Application icon
# ----------------------------------------------------------------------------------------------

ICON_SIZES = (16, 32, 48, 256)


def render_app_icon(n):
    # Small sizes get a bolder, shadowless shield so the band stays readable.
    return render_shield((n, n), "green", shadow=n >= 48, scale=max(4, 1024 // n))


def ico_bytes(images):
    """An ICO file: 32-bit BGRA bitmaps for the small sizes, PNG for 256x256 (as Windows'
    own icons are stored)."""
    blobs = []
    for im in images:
        w, h = im.size
        if w >= 256:
            blobs.append(png_bytes(im))
            continue
        pixels = im.transpose(Image.Transpose.FLIP_TOP_BOTTOM).tobytes("raw", "BGRA")
        stride = ((w + 31) // 32) * 4
        alpha = im.transpose(Image.Transpose.FLIP_TOP_BOTTOM).getchannel("A").tobytes()
        mask = bytearray()
        for y in range(h):
            row = bytearray(stride)
            for x in range(w):
                if alpha[y * w + x] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        blobs.append(header + pixels + bytes(mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for im, blob in zip(images, blobs):
        w, h = im.size
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


# ----------------------------------------------------------------------------------------------

def render_error_image():
    w, h = 150, 186
    shield_h = 124
    shield = render_shield((w, shield_h), "red", shadow=False)
    img = Image.new("RGBA", (w, h), (255, 255, 255, 255))
    # A soft contact shadow under the point of the shield.
    shade = radial((w, h), (w / 2, shield_h - 2), (30, 5), [(0.0, 255), (1.0, 0)], mode="L")
    img = paint(img, (120, 120, 120), shade, 0.35)
    img.alpha_composite(shield, (0, 0))
    mirror = shield.transpose(Image.Transpose.FLIP_TOP_BOTTOM)
    gap = 1
    alpha = mirror.getchannel("A")
    fade_mask = linear(mirror.size, (0, 0), (0, 62), [(0.0, (255,) * 3), (1.0, (0,) * 3)]).convert("L")
    mirror.putalpha(fade(multiply(alpha, fade_mask), 0.38))
    mirror = mirror.filter(ImageFilter.GaussianBlur(0.6))
    img.alpha_composite(mirror, (0, shield_h - 4 + gap))
    return img.convert("RGB")


def build_all():
    """Every output file: relative path -> bytes."""
    files = {}
    pics, gfx = "src/assets/pictures/", "src/assets/gfx/"

    backdrop = draw_main_backdrop()
    files[pics + "main_backdrop.png"] = png_bytes(backdrop)
    sx, sy, sw, sh = SCREEN_BOX
    files[pics + "status_backdrop.png"] = png_bytes(backdrop.crop((sx, sy, sx + sw, sy + sh)).convert("RGB"))
    files[pics + "logo_sheet.png"] = png_bytes(draw_logo_sheet())
    for kind in ("add", "remove", "info"):
        files[pics + f"{kind}_icon.png"] = png_bytes(render_icon(kind))
    for name, palette in (("serving", "green"), ("no_access", "red"), ("stopped", "grey")):
        files[pics + f"{name}.png"] = png_bytes(render_shield((100, 101), palette))
    files[pics + "error_image.png"] = png_bytes(render_error_image())

    for kind in ("bw", "pp", "fw", "st", "vd", "vm", "vu"):
        for hover in (0, 1):
            files[gfx + f"{kind}_{hover}.png"] = png_bytes(render_button(kind, bool(hover)))

    files["src/assets/icon/tastovolant.ico"] = ico_bytes([render_app_icon(n) for n in ICON_SIZES])
    return files


def main(argv=None):
    ap = argparse.ArgumentParser(description="Draws Tastovolant's pictures.")
    ap.add_argument("--out", type=Path, default=REPO_ROOT,
                    help="root folder to write src/assets/... under (default: the repository root)")
    args = ap.parse_args(argv)
    load_font(10)      # fail early and clearly if the font is missing
    for rel, data in build_all().items():
        path = args.out / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        print(f"{len(data):8d}  {rel}")


if __name__ == "__main__":
    main()
