#!/usr/bin/env python3
"""Draws icon 128 of the sample host: a gold arrow pointing down into a tray
on a teal disc, the colours of the edition's title picture. The about box of
Pemrik shows the icon of the module that creates it, so the sample host
carries one.

Writes an .ico file with 16 x 16, 32 x 32 and 48 x 48 images, each a 32-bit
device-independent bitmap with its transparency mask, the form that every
version of the system's icon loader reads.
"""
import argparse
import struct

from PIL import Image, ImageDraw

TEAL = (18, 112, 120, 255)
TEAL_EDGE = (10, 70, 78, 255)
GOLD = (236, 178, 58, 255)
GOLD_EDGE = (150, 96, 20, 255)


def draw(size):
    # Drawn four times larger and scaled down, for smooth edges.
    big = size * 4
    image = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    d = ImageDraw.Draw(image)
    u = big / 48.0
    d.ellipse([1 * u, 1 * u, 47 * u, 47 * u], fill=TEAL, outline=TEAL_EDGE,
              width=max(1, round(2 * u)))
    arrow = [(19 * u, 8 * u), (29 * u, 8 * u), (29 * u, 22 * u),
             (36 * u, 22 * u), (24 * u, 34 * u), (12 * u, 22 * u),
             (19 * u, 22 * u)]
    d.polygon(arrow, fill=GOLD, outline=GOLD_EDGE)
    d.rectangle([11 * u, 36 * u, 37 * u, 40 * u], fill=GOLD, outline=GOLD_EDGE)
    return image.resize((size, size), Image.LANCZOS)


def icon_image(image):
    """BITMAPINFOHEADER, BGRA rows bottom-up, then the AND mask (1 bit per
    pixel, rows padded to 32 bits, set where the pixel is transparent)."""
    w, h = image.size
    pixels = image.load()
    colour = bytearray()
    mask = bytearray()
    row_bytes = (w + 31) // 32 * 4
    for y in range(h - 1, -1, -1):
        bits = bytearray(row_bytes)
        for x in range(w):
            r, g, b, a = pixels[x, y]
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--output", required=True)
    args = parser.parse_args()
    sizes = (16, 32, 48)
    images = [icon_image(draw(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data),
                           offset)
        offset += len(data)
    out += b"".join(images)
    with open(args.output, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
