#!/usr/bin/env python3
"""checker_png.py SIDE SQUARE OUTPUT.png [interlaced]

A black and white checkerboard of SQUARE-pixel squares, SIDE pixels square, as a 1-bit
grey PNG, interlaced (Adam7) when asked. Written a row at a time, so that a picture of
any size costs little memory; its data compresses as far as deflate goes (about 1,000
to 1), which is how a file of 95 KB can declare 28,000 x 28,000 pixels.
"""
import struct
import sys
import zlib

# Adam7: first column, first row, column step, row step of each pass.
PASSES = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def packed_row(side, square, y, x0, dx):
    bits = [((x // square) + (y // square)) & 1 for x in range(x0, side, dx)]
    bits += [0] * (-len(bits) % 8)
    return bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))


# Each row filtered by the one above it (filter 2, "up"), so that a row like the one
# before is all zeros.
def scanlines(side, square, interlaced):
    for x0, y0, dx, dy in PASSES if interlaced else [(0, 0, 1, 1)]:
        if x0 >= side or y0 >= side:
            continue
        rows = {}  # a row of the checkerboard is one of two, whichever its band
        above = None
        for y in range(y0, side, dy):
            band = (y // square) & 1
            if band not in rows:
                rows[band] = packed_row(side, square, y, x0, dx)
            row = rows[band]
            above = above or bytes(len(row))
            yield b"\2" + bytes((a - b) & 255 for a, b in zip(row, above)) if row is not above else b"\2" + bytes(len(row))
            above = row


def main():
    side, square, output = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    interlaced = len(sys.argv) > 4 and sys.argv[4] == "interlaced"
    deflate = zlib.compressobj(9)
    with open(output, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 1, 0, 0, 0, int(interlaced))))
        for line in scanlines(side, square, interlaced):
            data = deflate.compress(line)
            if data:
                out.write(chunk(b"IDAT", data))
        out.write(chunk(b"IDAT", deflate.flush()))
        out.write(chunk(b"IEND", b""))


main()
