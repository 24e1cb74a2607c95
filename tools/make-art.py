#!/usr/bin/env python3
"""Draw Pellicar's artwork and write it into resources/.

Makes pellicar.ico (32x32 and 16x16 in 16 colours, 48x48 and 32x32 in 256
colours), picture.bmp (42x42, 256 colours, the credits picture), pellicar.png
(48x48 RGBA, the window's icon), the desktop icons icons/NxN/pellicar.png at the
usual hicolor sizes, plus pellicar.desktop.in, pellicar.rc.in and resources.qrc. The
emblem is a rounded brick-texture tile carrying a bold
golden "P". Standard library only and deterministic: every run writes the same
bytes. Run by hand (python3 tools/make-art.py) and commit the results.
"""

import math
import os
import struct
import zlib

# The version comes from the CMake project; CMake fills it in when it configures these.
VERSION = "@PELLICAR_VERSION@"
VERSION_COMMAS = "@PELLICAR_VERSION_COMMAS@"
DESCRIPTION = "converts Ravens SOF m32 format to 24 bit TGA file format"
PRODUCT = "Pellicar convertor"
# The sizes desktops look for in the hicolor icon theme.
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "resources")

# The 16-colour VGA palette as Windows uses it in 4-bit icons.
VGA16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0x80, 0x80, 0x80),
    (0xC0, 0xC0, 0xC0), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


# ---------------------------------------------------------------------------
# Geometry: signed distances, negative inside.

def sd_box(px, py, x0, y0, x1, y1):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2, (y1 - y0) / 2
    dx, dy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(dx, 0.0), max(dy, 0.0))
    return outside + min(max(dx, dy), 0.0)


def sd_round_box(px, py, x0, y0, x1, y1, r):
    return sd_box(px, py, x0 + r, y0 + r, x1 - r, y1 - r) - r


def sd_circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


# The bold P, in tile units (0..1): a stem and a round bowl with a counter.
P_TOP, P_BOTTOM = 0.15, 0.85
P_STEM_L, P_STEM_R = 0.22, 0.42
P_BOWL_BOTTOM, P_RIGHT = 0.57, 0.79
P_BOWL_R = (P_BOWL_BOTTOM - P_TOP) / 2
P_CX, P_CY = P_RIGHT - P_BOWL_R, (P_TOP + P_BOWL_BOTTOM) / 2
P_COUNTER_R = P_BOWL_R - 0.13


def sd_p_hole(u, v):
    """The counter (the hole) of the P, in tile units."""
    return min(sd_box(u, v, P_STEM_L, P_CY - P_COUNTER_R, P_CX, P_CY + P_COUNTER_R),
               sd_circle(u, v, P_CX, P_CY, P_COUNTER_R))


def sd_letter_p(px, py, s):
    """The P on a tile of s pixels, in pixels."""
    u, v = px / s, py / s
    stem = sd_box(u, v, P_STEM_L, P_TOP, P_STEM_R, P_BOTTOM)
    bowl = min(sd_box(u, v, P_STEM_L, P_TOP, P_CX, P_BOWL_BOTTOM),
               max(sd_circle(u, v, P_CX, P_CY, P_BOWL_R), P_CX - u))
    bowl = max(bowl, -sd_p_hole(u, v))
    return min(stem, bowl) * s


# ---------------------------------------------------------------------------
# Colour helpers

def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def scale(c, k):
    return tuple(min(255.0, max(0.0, x * k)) for x in c)


def brick_hash(col, row):
    h = (col * 73856093) ^ (row * 19349663) ^ 0x5bd1e995
    h = (h * 2654435761) & 0xFFFFFFFF
    return ((h >> 8) & 0xFFFF) / 65535.0


# ---------------------------------------------------------------------------
# The emblem, one sample at a time.

class Tile:
    """Size-dependent layout of the emblem tile, in pixels."""

    def __init__(self, size, x0=0.0, y0=0.0):
        self.s = float(size)
        self.x0, self.y0 = x0, y0
        self.radius = max(2.0, size * 0.17)
        self.border = 1.0 if size < 40 else 1.5
        self.period = size / 4.0          # brick row height including mortar
        self.mortar = 1.0 if size < 40 else 1.5
        self.p_line = max(1.0, size / 22.0)   # dark outline around the P
        self.shadow = max(1.0, size / 24.0)   # drop shadow offset of the P


RICH = {
    "border": (58, 22, 16),
    "mortar_top": (214, 204, 184),
    "mortar_bottom": (150, 138, 120),
    "brick_light": (206, 92, 58),
    "brick_dark": (150, 48, 32),
    "p_top": (255, 246, 176),
    "p_bottom": (236, 150, 24),
    "p_line": (40, 16, 8),
}


def sample_rich(t, x, y):
    """RGBA (floats, 0..255 and 0..1) of the emblem at pixel position x, y."""
    s = t.s
    lx, ly = x - t.x0, y - t.y0
    d_tile = sd_round_box(lx, ly, 0, 0, s, s, t.radius)
    if d_tile > 0:
        return None
    u, v = lx / s, ly / s
    light = 1.12 - 0.28 * (u + v)     # lit from the upper left

    d_p = sd_letter_p(lx, ly, s)
    if d_p < 0:
        # Golden fill with a lighter rim on the upper-left side of the strokes.
        c = mix(RICH["p_top"], RICH["p_bottom"], (v - 0.15) / 0.7)
        if sd_letter_p(lx - 1.0, ly - 1.0, s) > 0:
            c = mix(c, (255, 255, 235), 0.6)
        elif sd_letter_p(lx + 1.0, ly + 1.0, s) > 0:
            c = scale(c, 0.82)
        return c
    if d_p < t.p_line:
        return RICH["p_line"]

    if d_tile > -t.border:
        return RICH["border"]

    # Bricks: rows of period t.period, every other row shifted half a brick.
    by = ly - t.border
    row = math.floor(by / t.period)
    fy = by - row * t.period
    bw = t.period * 2
    bx = lx - t.border + (bw / 2 if row % 2 else bw * 0.25)
    col = math.floor(bx / bw)
    fx = bx - col * bw
    if fy >= t.period - t.mortar or fx >= bw - t.mortar:
        c = mix(RICH["mortar_top"], RICH["mortar_bottom"], v)
    else:
        k = brick_hash(col, row)
        c = mix(RICH["brick_light"], RICH["brick_dark"], 0.25 + 0.5 * k + 0.3 * v)
        edge = 1.0 if s >= 30 else 0.8
        if fy < edge or fx < edge:
            c = scale(c, 1.22)
        elif fy >= t.period - t.mortar - edge or fx >= bw - t.mortar - edge:
            c = scale(c, 0.72)
        # A few pits so it reads as fired clay rather than plastic.
        n = brick_hash(int(lx * 2.0), int(ly * 2.0) + 977)
        c = scale(c, 0.94 + 0.1 * n)
    # Shadow of the P falling down and right onto the bricks.
    if sd_letter_p(lx - t.shadow, ly - t.shadow, s) < t.p_line:
        c = scale(c, 0.55)
    return scale(c, light)


def render(width, height, sampler, ss):
    """Supersample sampler over a width x height grid; returns RGBA floats."""
    img = []
    n = ss * ss
    for py in range(height):
        row = []
        for px in range(width):
            r = g = b = a = 0.0
            for j in range(ss):
                for i in range(ss):
                    c = sampler(px + (i + 0.5) / ss, py + (j + 0.5) / ss)
                    if c is None:
                        continue
                    ca = c[3] if len(c) > 3 else 1.0
                    r += c[0] * ca
                    g += c[1] * ca
                    b += c[2] * ca
                    a += ca
            if a > 0:
                row.append((r / a, g / a, b / a, a / n))
            else:
                row.append((0.0, 0.0, 0.0, 0.0))
        img.append(row)
    return img


# ---------------------------------------------------------------------------
# 16-colour versions, drawn on the pixel grid.

# Small hand-drawn P for 16x16: Y fill, W highlight, K outline; '.' leaves
# the bricks showing.
P16 = [
    "................",
    "................",
    "..KKKKKKKKK.....",
    "..KWWWWWWWYK....",
    "..KWYYYYYYYYK...",
    "..KWYYKKKKYYK...",
    "..KWYYKKKKYYK...",
    "..KWYYYYYYYYK...",
    "..KWYYYYYYYK....",
    "..KWYYKKKKK.....",
    "..KWYYK.........",
    "..KWYYK.........",
    "..KWYYK.........",
    "..KKKKK.........",
    "................",
    "................",
]
P16_COLOURS = {"K": 0, "Y": 11, "W": 15}


def vga_icon(size):
    """Palette indices (or None for transparent) of the 16-colour emblem."""
    t = Tile(size)
    s = size
    px = [[None] * s for _ in range(s)]
    period = s // 4
    bw = period * 2
    for y in range(s):
        for x in range(s):
            cx, cy = x + 0.5, y + 0.5
            d_tile = sd_round_box(cx, cy, 0, 0, s, s, t.radius)
            if d_tile > 0:
                continue
            if d_tile > -1:
                px[y][x] = 0
                continue
            row = y // period
            fy = y % period
            fx = (x + (bw // 2 if row % 2 else bw // 4)) % bw
            if fy == 0 or fx == 0:
                px[y][x] = 8 if y < s * 0.6 and size > 16 else 7  # mortar
            elif (fy == 1 or fx == 1) and size > 16:
                px[y][x] = 9                              # lit brick edge
            else:
                px[y][x] = 1                              # brick body
    if size == 16:
        for y, line in enumerate(P16):
            for x, ch in enumerate(line):
                if ch in P16_COLOURS:
                    px[y][x] = P16_COLOURS[ch]
        return px
    # Larger sizes: the shared P outline, point-sampled.
    line = max(1.0, size / 22.0)
    for y in range(s):
        for x in range(s):
            if px[y][x] is None:
                continue
            d = sd_letter_p(x + 0.5, y + 0.5, s)
            if d < 0:
                lit = sd_letter_p(x - 0.5, y + 0.5, s) > 0 or \
                    sd_letter_p(x + 0.5, y - 0.5, s) > 0
                px[y][x] = 15 if lit else 11
            elif d < line or sd_p_hole((x + 0.5) / s, (y + 0.5) / s) < 0:
                px[y][x] = 0
    return px


# ---------------------------------------------------------------------------
# Palette reduction for the 256-colour images.

def median_cut(colours, limit):
    """colours: dict rgb -> count. Returns at most limit colours."""
    boxes = [sorted(colours.items())]
    while len(boxes) < limit:
        best, best_score, best_ch = None, -1, 0
        for bi, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for ch in range(3):
                vals = [c[0][ch] for c in box]
                rng = max(vals) - min(vals)
                weight = sum(c[1] for c in box)
                score = rng * rng * math.sqrt(weight)
                if score > best_score:
                    best, best_score, best_ch = bi, score, ch
        if best is None or best_score <= 0:
            break
        box = sorted(boxes[best], key=lambda c: (c[0][best_ch], c[0]))
        total = sum(c[1] for c in box)
        acc, cut = 0, 1
        for i, c in enumerate(box):
            acc += c[1]
            if acc * 2 >= total:
                cut = min(max(i + 1, 1), len(box) - 1)
                break
        boxes[best:best + 1] = [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        w = sum(c[1] for c in box)
        palette.append(tuple(int(round(sum(c[0][ch] * c[1] for c in box) / w))
                             for ch in range(3)))
    return palette


def palettize(img, opaque_threshold=0.5):
    """RGBA floats -> (palette of 256 rgb, rows of indices, rows of masks).

    Index 0 is black and is what transparent pixels carry."""
    counts = {}
    for row in img:
        for r, g, b, a in row:
            if a >= opaque_threshold:
                key = (int(round(r)), int(round(g)), int(round(b)))
                counts[key] = counts.get(key, 0) + 1
    pal = median_cut(counts, 255)
    pal = [(0, 0, 0)] + sorted(set(pal) - {(0, 0, 0)})
    cache = {}

    def nearest(c):
        if c not in cache:
            cache[c] = min(range(len(pal)), key=lambda i: (
                (pal[i][0] - c[0]) ** 2 * 3 + (pal[i][1] - c[1]) ** 2 * 4 +
                (pal[i][2] - c[2]) ** 2 * 2, i))
        return cache[c]

    idx, mask = [], []
    for row in img:
        irow, mrow = [], []
        for r, g, b, a in row:
            if a >= opaque_threshold:
                irow.append(nearest((int(round(r)), int(round(g)), int(round(b)))))
                mrow.append(0)
            else:
                irow.append(0)
                mrow.append(1)
        idx.append(irow)
        mask.append(mrow)
    pal += [(0, 0, 0)] * (256 - len(pal))
    return pal, idx, mask


# ---------------------------------------------------------------------------
# File writers

def pack_rows(rows, bpp):
    """Bottom-up rows of indices packed at bpp, each padded to 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray()
        if bpp == 8:
            bits.extend(row)
        else:
            per = 8 // bpp
            for i in range(0, len(row), per):
                byte = 0
                for j in range(per):
                    v = row[i + j] if i + j < len(row) else 0
                    byte |= v << (8 - bpp * (j + 1))
                bits.append(byte)
        while len(bits) % 4:
            bits.append(0)
        out.extend(bits)
    return bytes(out)


def rgbquads(pal):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in pal)


def ico_image(width, height, bpp, pal, idx, mask):
    xor = pack_rows(idx, bpp)
    and_ = pack_rows(mask, 1)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bpp, 0,
                         len(xor) + len(and_), 0, 0, 0, 0)
    return header + rgbquads(pal) + xor + and_


def write_ico(path, images):
    """images: list of (width, height, bpp, palette, indices, mask)."""
    blobs = [ico_image(*im) for im in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (w, h, bpp, pal, _, _), blob in zip(images, blobs):
        colours = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", w % 256, h % 256, colours, 0, 1, bpp,
                           len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    write(path, bytes(out))


def write_bmp(path, width, height, pal, idx):
    bits = pack_rows(idx, 8)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(bits),
                       2835, 2835, 256, 256)
    offset = 14 + len(info) + 256 * 4
    head = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    write(path, head + info + rgbquads(pal) + bits)


def write_png(path, img):
    height, width = len(img), len(img[0])
    raw = bytearray()
    for row in img:
        raw.append(0)
        for r, g, b, a in row:
            if a <= 0:
                raw.extend((0, 0, 0, 0))
            else:
                raw.extend((int(round(r)), int(round(g)), int(round(b)),
                            int(round(a * 255))))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    write(path, b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
          chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def write(path, data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------------------
# The pictures

def emblem_rgba(size, ss=4):
    t = Tile(size)
    return render(size, size, lambda x, y: sample_rich(t, x, y), ss)


def vga_image(size):
    px = vga_icon(size)
    idx = [[0 if p is None else p for p in row] for row in px]
    mask = [[1 if p is None else 0 for p in row] for row in px]
    return (size, size, 4, VGA16, idx, mask)


def rich_image(size):
    pal, idx, mask = palettize(emblem_rgba(size))
    return (size, size, 8, pal, idx, mask)


def credits_picture():
    """42x42: the tile on a steel-blue backdrop with a soft shadow."""
    size, inset = 42, 3
    tsize = size - 2 * inset
    t = Tile(tsize, inset - 0.5, inset - 0.5)

    def sampler(x, y):
        c = sample_rich(t, x, y)
        if c is not None:
            return c
        u, v = x / size, y / size
        bg = mix((226, 232, 242), (150, 166, 196), 0.35 * u + 0.65 * v)
        d = sd_round_box(x - t.x0 - 1.6, y - t.y0 - 1.6, 0, 0, tsize, tsize,
                         t.radius)
        shade = 1.0 - 0.45 * max(0.0, 1.0 - max(d, 0.0) / 2.2)
        return scale(bg, shade)

    img = render(size, size, sampler, 4)
    pal, idx, _ = palettize(img)
    return size, size, pal, idx


DESKTOP = """\
[Desktop Entry]
Version=1.4
Type=Application
Name={product}
GenericName=Texture Converter
Comment={desc}
Exec={exec_line}
Icon=pellicar
Terminal=false
Categories=Graphics;2DGraphics;RasterGraphics;
Keywords=m32;TGA;texture;SOF;convert;
MimeType=image/x-m32;
X-Pellicar-Version={version}
"""

# Opened on a file, the window starts in that file's folder, where its lists begin; the
# window itself takes no arguments. The doubled backslashes are the desktop entry's own
# escaping, under the quoting of its Exec key.
EXEC_LINE = (r'sh -c "cd \\"\\$(dirname \\"\\$1\\")\\"; exec pellicar-gui" '
             r'pellicar-gui %f')

RC = """\
// Windows resources for pellicar-gui. CMake fills in the icon path and the version.
#include <winver.h>

IDI_ICON1 ICON "@PELLICAR_ICO@"

VS_VERSION_INFO VERSIONINFO
 FILEVERSION {commas}
 PRODUCTVERSION {commas}
 FILEFLAGSMASK 0x3fL
 FILEFLAGS 0x0L
 FILEOS VOS_NT_WINDOWS32
 FILETYPE VFT_APP
 FILESUBTYPE VFT2_UNKNOWN
BEGIN
    BLOCK "StringFileInfo"
    BEGIN
        BLOCK "040904B0"
        BEGIN
            VALUE "FileDescription", "{desc}"
            VALUE "FileVersion", "{version}"
            VALUE "InternalName", "pellicar-gui"
            VALUE "OriginalFilename", "pellicar-gui.exe"
            VALUE "ProductName", "{product}"
            VALUE "ProductVersion", "{version}"
        END
    END
    BLOCK "VarFileInfo"
    BEGIN
        VALUE "Translation", 0x409, 1200
    END
END
"""

QRC = """\
<!DOCTYPE RCC>
<RCC version="1.0">
    <qresource prefix="/">
        <file>pellicar.ico</file>
        <file>picture.bmp</file>
        <file>pellicar.png</file>
    </qresource>
</RCC>
"""


def main():
    os.makedirs(OUT, exist_ok=True)
    write_ico(os.path.join(OUT, "pellicar.ico"), [
        vga_image(32),
        vga_image(16),
        rich_image(48),
        rich_image(32),
    ])
    w, h, pal, idx = credits_picture()
    write_bmp(os.path.join(OUT, "picture.bmp"), w, h, pal, idx)
    write_png(os.path.join(OUT, "pellicar.png"), emblem_rgba(48))
    for size in ICON_SIZES:
        folder = os.path.join(OUT, "icons", "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        write_png(os.path.join(folder, "pellicar.png"), emblem_rgba(size))
    fields = dict(product=PRODUCT, desc=DESCRIPTION, version=VERSION,
                  commas=VERSION_COMMAS, exec_line=EXEC_LINE)
    write(os.path.join(OUT, "pellicar.desktop.in"), DESKTOP.format(**fields))
    write(os.path.join(OUT, "pellicar.rc.in"), RC.format(**fields))
    write(os.path.join(OUT, "resources.qrc"), QRC)


if __name__ == "__main__":
    main()
