#!/usr/bin/env python3
"""Writes setup/setup.ico, the installer's icon (resources MAINICON and
setup_ico): a blue rounded square with a white arrow pointing down into a
tray, at 32 x 32 and 16 x 16 pixels, 32-bit colour with alpha.
Run: python3 tools/gen/setup_icon.py setup/setup.ico"""
import struct
import sys


def pixel(x, y, n):
    """The BGRA colour of pixel (x, y), y counted from the top, of an n x n icon."""
    s = n / 32.0
    u, v = x / s, y / s
    r = 6  # corner radius
    cx = min(max(u, r), 31 - r)
    cy = min(max(v, r), 31 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    white = (255, 255, 255, 255)
    shaft = 13 <= u <= 18 and 5 <= v <= 15
    head = 15 <= v <= 21 and abs(u - 15.5) <= (21 - v) * 1.2
    tray = (22 <= v <= 25 and 7 <= u <= 24) or (17 <= v <= 25 and (7 <= u <= 9 or 22 <= u <= 24))
    if shaft or head or tray:
        return white
    shade = int(150 + 60 * (1 - v / 32))
    return (shade, 90, 20, 255)  # B, G, R, A: a deep blue


def image(n):
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b""
    for y in range(n - 1, -1, -1):  # bottom-up
        rows += b"".join(bytes(pixel(x, y, n)) for x in range(n))
    mask_row = ((n + 31) // 32) * 4
    mask = b"\0" * (mask_row * n)  # the alpha channel decides
    return header + rows + mask


def main(out):
    images = [image(32), image(16)]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, img in zip((32, 16), images):
        data += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "setup/setup.ico")
