#!/usr/bin/python3
"""Checks the committed pictures against what the program expects of them, and that
make_artwork.py still reproduces them byte for byte.

    /usr/bin/python3 tools/artwork/check_artwork.py [--root DIR]

Exits with status 1 and a list of problems if anything is off.
"""

import argparse
import math
import struct
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

from PIL import Image

HERE = Path(__file__).resolve().parent
REPO_ROOT = HERE.parents[1]

PICS, GFX = "src/assets/pictures/", "src/assets/gfx/"
ICON = "src/assets/icon/tastovolant.ico"

# Every PNG the program loads: path -> (size, mode).
PNGS = {
    PICS + "main_backdrop.png": ((640, 480), "RGBA"),
    PICS + "status_backdrop.png": ((141, 212), "RGB"),
    PICS + "logo_sheet.png": ((242, 331), "RGBA"),
    PICS + "add_icon.png": ((20, 20), "RGBA"),
    PICS + "remove_icon.png": ((20, 20), "RGBA"),
    PICS + "info_icon.png": ((20, 20), "RGBA"),
    PICS + "serving.png": ((100, 101), "RGBA"),
    PICS + "no_access.png": ((100, 101), "RGBA"),
    PICS + "stopped.png": ((100, 101), "RGBA"),
    PICS + "error_image.png": ((150, 186), "RGB"),
}
for _kind in ("bw", "pp", "fw", "st", "vd", "vm", "vu"):
    for _state in (0, 1):
        PNGS[GFX + f"{_kind}_{_state}.png"] = ((96, 96), "RGBA")

PNG_COLOUR_TYPE = {"RGB": 2, "RGBA": 6}
SCREEN = (80, 80, 141, 212)
GRID = (77, 142, 0, 255)
GRID_ROWS, GRID_COLS = (0, 110, 220, 330), (0, 241)
FRAME_TOPS = (1, 111, 221)          # interiors are 240x109 from (1, top)
CUT_TOPS = (1, 110, 219)            # where the program actually cuts its 240x109 areas
ICON_SIZES = (16, 32, 48, 256)


class Problems(list):
    def check(self, ok, what):
        if not ok:
            self.append(what)
        return ok


def png_chunks(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, chunks = 8, []
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        chunks.append((kind.decode("latin-1"), body, crc == zlib.crc32(kind + body)))
        pos += 12 + length
    return chunks


def check_png_file(p, rel, path, size, mode):
    data = path.read_bytes()
    try:
        chunks = png_chunks(data)
    except (ValueError, struct.error) as e:
        p.append(f"{rel}: unreadable PNG ({e})")
        return None
    p.check(all(ok for _, _, ok in chunks), f"{rel}: chunk with a bad CRC")
    kinds = [k for k, _, _ in chunks]
    p.check(kinds[0] == "IHDR" and kinds[-1] == "IEND", f"{rel}: chunks out of order: {kinds}")
    w, h, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    p.check((w, h) == size, f"{rel}: size {w}x{h}, expected {size[0]}x{size[1]}")
    p.check(depth == 8, f"{rel}: bit depth {depth}, expected 8")
    p.check(colour == PNG_COLOUR_TYPE[mode], f"{rel}: PNG colour type {colour}, expected {mode}")
    p.check(interlace == 0, f"{rel}: interlaced")
    p.check(not {"tIME", "tEXt", "zTXt", "iTXt"} & set(kinds), f"{rel}: carries time or text chunks {kinds}")
    try:
        im = Image.open(path)
        im.load()
    except (OSError, SyntaxError, ValueError) as e:
        p.append(f"{rel}: Pillow cannot decode it ({e})")
        return None
    p.check(im.mode == mode and im.size == size, f"{rel}: Pillow reads {im.mode} {im.size}")
    return im


def transparent_outside(im, radius):
    """True if every pixel further than radius from the centre is fully transparent."""
    w, h = im.size
    cx, cy = w / 2, h / 2
    a = im.getchannel("A").load()
    return all(a[x, y] == 0 for y in range(h) for x in range(w)
               if math.hypot(x + 0.5 - cx, y + 0.5 - cy) > radius)


def check_logo(p, im):
    px = im.load()
    w, h = im.size
    for y in GRID_ROWS:
        p.check(all(px[x, y] == GRID for x in range(w)), f"logo_sheet: row {y} is not entirely the grid colour")
    for x in GRID_COLS:
        p.check(all(px[x, y] == GRID for y in range(h)), f"logo_sheet: column {x} is not entirely the grid colour")
    others = [y for y in range(h) if y not in GRID_ROWS and all(px[x, y] == GRID for x in range(w))]
    p.check(not others, f"logo_sheet: extra grid-coloured rows {others}")
    others = [x for x in range(w) if x not in GRID_COLS and all(px[x, y] == GRID for y in range(h))]
    p.check(not others, f"logo_sheet: extra grid-coloured columns {others}")
    for i, top in enumerate(FRAME_TOPS):
        frame = im.crop((1, top, 241, top + 109))
        box = frame.getchannel("A").getbbox()
        if not p.check(box is not None, f"logo_sheet: frame {i} is empty"):
            continue
        # The program's cuts start up to two rows above a frame, so the mark keeps its distance.
        margin = min(box[0], box[1], 240 - box[2], 109 - box[3])
        p.check(margin >= 3, f"logo_sheet: frame {i} drawing comes within {margin} px of its edge {box}")
        p.check(box[2] - box[0] > 150, f"logo_sheet: frame {i} mark is only {box[2] - box[0]} px wide")
    # What the program cuts must not reach into the next frame's drawing either.
    for i, top in enumerate(CUT_TOPS):
        cut = im.crop((1, top, 241, top + 109))
        rows = [y for y in range(109) if top + y not in GRID_ROWS]
        a = cut.getchannel("A").load()
        edge_rows = [y for y in rows if y < 3 or y > 105]
        p.check(all(a[x, y] == 0 for y in edge_rows for x in range(240)),
                f"logo_sheet: cut {i} at row {top} has drawing on its border rows")


def check_icon_file(p, path):
    data = path.read_bytes()
    try:
        reserved, kind, count = struct.unpack("<HHH", data[:6])
    except struct.error:
        p.append("icon: truncated")
        return
    p.check((reserved, kind) == (0, 1), f"icon: bad header {reserved} {kind}")
    sizes = []
    for i in range(count):
        w, h, colours, _, planes, bpp, length, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        w, h = w or 256, h or 256
        sizes.append(w)
        blob = data[offset:offset + length]
        p.check(len(blob) == length, f"icon: entry {w}x{h} runs past the end of the file")
        p.check(w == h and bpp == 32 and colours == 0, f"icon: entry {w}x{h} has {bpp} bpp")
        if blob[:8] == b"\x89PNG\r\n\x1a\n":
            ihdr = png_chunks(blob)[0][1]
            pw, ph, depth, colour = struct.unpack(">IIBB", ihdr[:10])
            p.check((pw, ph, depth, colour) == (w, h, 8, 6), f"icon: PNG entry {w}x{h} is {pw}x{ph} depth {depth} type {colour}")
        else:
            hsize, bw, bh, _, bits = struct.unpack("<IiiHH", blob[:16])
            p.check((hsize, bw, bh, bits) == (40, w, 2 * h, 32), f"icon: bitmap entry {w}x{h} header {hsize} {bw}x{bh} {bits}bpp")
            stride = ((w + 31) // 32) * 4
            p.check(length == 40 + 4 * w * h + stride * h, f"icon: bitmap entry {w}x{h} has {length} bytes")
    p.check(sorted(sizes) == list(ICON_SIZES), f"icon: sizes {sizes}, expected {ICON_SIZES}")
    ico = Image.open(path)
    p.check(sorted(ico.ico.sizes()) == [(n, n) for n in ICON_SIZES], f"icon: Pillow sees {ico.ico.sizes()}")
    for n in ICON_SIZES:
        im = ico.ico.getimage((n, n))
        p.check(im.mode == "RGBA" and im.size == (n, n), f"icon: {n}x{n} reads back as {im.mode} {im.size}")
        if im.mode == "RGBA":
            lo, hi = im.getchannel("A").getextrema()
            p.check(lo == 0 and hi == 255, f"icon: {n}x{n} alpha spans {lo}..{hi}, expected a shape on a clear ground")


def check_tree(root):
    p = Problems()
    images = {}
    for rel, (size, mode) in PNGS.items():
        path = root / rel
        if not p.check(path.is_file(), f"{rel}: missing"):
            continue
        im = check_png_file(p, rel, path, size, mode)
        if im is not None:
            images[rel] = im

    backdrop = images.get(PICS + "main_backdrop.png")
    if backdrop is not None and backdrop.mode == "RGBA":
        p.check(backdrop.getchannel("A").getextrema() == (255, 255), "main_backdrop: not fully opaque")
        status = images.get(PICS + "status_backdrop.png")
        if status is not None:
            x, y, w, h = SCREEN
            crop = backdrop.crop((x, y, x + w, y + h)).convert("RGB")
            p.check(crop.tobytes() == status.convert("RGB").tobytes(),
                    "status_backdrop: differs from the screen area of main_backdrop")

    logo = images.get(PICS + "logo_sheet.png")
    if logo is not None and logo.mode == "RGBA":
        check_logo(p, logo)

    # Shapes on a clear ground: corners transparent and something substantial drawn.
    for rel, im in images.items():
        if im.mode != "RGBA" or rel.endswith(("main_backdrop.png", "logo_sheet.png")):
            continue
        a = im.getchannel("A")
        w, h = im.size
        corners = [a.getpixel(c) for c in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1))]
        p.check(corners == [0, 0, 0, 0], f"{rel}: corners not transparent {corners}")
        covered = sum(1 for v in a.getdata() if v > 128) / (w * h)
        p.check(covered > 0.15, f"{rel}: only {covered:.0%} of the picture is drawn")
        if rel.startswith(GFX):
            p.check(transparent_outside(im, 47.75), f"{rel}: drawing outside the round button")

    err = images.get(PICS + "error_image.png")
    if err is not None:
        w, h = err.size
        p.check(all(err.getpixel(c) == (255, 255, 255) for c in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1))),
                "error_image: ground is not white at the corners")

    icon = root / ICON
    if p.check(icon.is_file(), f"{ICON}: missing"):
        check_icon_file(p, icon)
    return p


def check_reproducible(root):
    p = Problems()
    with tempfile.TemporaryDirectory() as tmp:
        run = subprocess.run([sys.executable, str(HERE / "make_artwork.py"), "--out", tmp],
                             capture_output=True, text=True)
        if not p.check(run.returncode == 0, f"make_artwork.py failed: {run.stderr.strip()}"):
            return p
        made = {f.relative_to(tmp).as_posix() for f in Path(tmp).rglob("*") if f.is_file()}
        expected = set(PNGS) | {ICON}
        p.check(made == expected, f"make_artwork.py writes {sorted(made ^ expected)} unexpectedly or not at all")
        for rel in sorted(made & expected):
            committed = root / rel
            if committed.is_file():
                p.check((Path(tmp) / rel).read_bytes() == committed.read_bytes(),
                        f"{rel}: regenerating gives different bytes")
    return p


def main(argv=None):
    ap = argparse.ArgumentParser(description="Checks Tastovolant's pictures.")
    ap.add_argument("--root", type=Path, default=REPO_ROOT, help="tree holding src/assets (default: the repository)")
    ap.add_argument("--no-regenerate", action="store_true", help="skip re-running make_artwork.py")
    args = ap.parse_args(argv)
    problems = check_tree(args.root)
    if not args.no_regenerate:
        problems += check_reproducible(args.root)
    for line in problems:
        print("FAIL:", line)
    if problems:
        return 1
    print(f"artwork ok: {len(PNGS)} pictures and the icon")
    return 0


if __name__ == "__main__":
    sys.exit(main())
