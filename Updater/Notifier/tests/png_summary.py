"""Checks a screenshot of the notice: size, title bar colour, text on the page.

png_summary.py <file.png> <width> <height>; exit 1 with a message on failure.
Reads 8-bit RGB/RGBA PNGs (what Chromium writes) with the standard library.
"""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour not in (2, 6):
                raise ValueError("unsupported PNG kind %d/%d" % (depth, colour))
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[i:i + 3]) for i in range(0, stride, channels)])
        prev = line
    return width, height, rows


def main():
    path, want_w, want_h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    width, height, rows = read_png(path)
    problems = []
    if (width, height) != (want_w, want_h):
        problems.append("size %dx%d, expected %dx%d" % (width, height, want_w, want_h))
    pixels = [p for row in rows for p in row]
    blue = sum(1 for r, g, b in pixels if b > 150 and r < 80 and 80 < g < 140)
    dark = sum(1 for r, g, b in pixels if r < 90 and g < 90 and b < 110)
    white = sum(1 for r, g, b in pixels if r > 240 and g > 240 and b > 240)
    total = len(pixels) or 1
    print("%dx%d: title-bar blue %.1f%%, dark text %.1f%%, white %.1f%%"
          % (width, height, 100.0 * blue / total, 100.0 * dark / total, 100.0 * white / total))
    if blue < total * 0.05:
        problems.append("hardly any title-bar blue")
    if dark < total * 0.01:
        problems.append("hardly any dark text")
    if white < total * 0.30:
        problems.append("page is not mostly white")
    for p in problems:
        print("FAIL: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
