#!/usr/bin/python3
"""Draws the title picture of Fennagle 7 (bitmap 110 of Pemrik) and writes it
as an 8-bit run-length encoded BMP file.

    make_title.py [--output FILE] [--preview FILE.png]

The picture: the display name and the major version in large gold letters
over a teal background of swirls and a grid, with the maker's logo in the
upper left corner. 400 x 300 pixels, 256 palette colours, every one of them
used, stored bottom-up with the BMP format's RLE8 compression.

Everything is drawn from fixed inputs: no randomness, no clock, fonts from
Debian's fonts-dejavu-core and Pillow from python3-pil. So the same packages
reproduce the committed title.bmp byte for byte; the build's tests check it.
The encoder is ours (Pillow writes no RLE8). The script decodes its own
output and compares it with the drawn indices, then reads the written file
back with Pillow's BMP reader, before it replaces the output file.
"""

import argparse
import math
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

WIDTH, HEIGHT = 400, 300
# Vector work (swirls, grid, logo, letters) is drawn this many times larger
# and reduced, which gives smooth edges that Pillow's line drawing lacks.
SCALE = 4
PIXELS_PER_METRE = 2834  # 72 dots per inch
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
SERIF_BOLD = os.path.join(FONT_DIR, "DejaVuSerif-Bold.ttf")
SANS_BOLD = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")

DEEP_TEAL = (4, 46, 54)
TEAL = (18, 122, 124)
LIGHT_TEAL = (120, 214, 204)
GOLD_STOPS = [  # top to bottom of a letter
    (0.00, (255, 248, 196)),
    (0.30, (250, 214, 92)),
    (0.55, (226, 164, 36)),
    (0.56, (196, 128, 20)),
    (1.00, (250, 200, 70)),
]


def lerp(a, b, t):
  return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def ramp(stops, t):
  """Colour at t in [0, 1] along a list of (position, colour) stops."""
  for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
    if t <= p1:
      return lerp(c0, c1, 0 if p1 == p0 else (t - p0) / (p1 - p0))
  return stops[-1][1]


def big_mask():
  return Image.new("L", (WIDTH * SCALE, HEIGHT * SCALE), 0)


def reduce(mask):
  return mask.resize((WIDTH, HEIGHT), Image.Resampling.BOX)


def paint(image, colour, mask, opacity=1.0):
  """Lays colour over image where mask is set, scaled by opacity."""
  if opacity != 1.0:
    mask = mask.point(lambda v: round(v * opacity))
  image.paste(Image.new("RGB", image.size, colour), (0, 0), mask)


def background():
  """Teal, darkest at the edges, with a soft glow behind the title."""
  pixels = bytearray()
  for y in range(HEIGHT):
    for x in range(WIDTH):
      dx = (x - 210) / 260
      dy = (y - 150) / 190
      glow = max(0.0, 1.0 - math.sqrt(dx * dx + dy * dy))
      shade = 0.15 + 0.85 * glow**1.3
      pixels += bytes(lerp(DEEP_TEAL, TEAL, shade))
  return Image.frombytes("RGB", (WIDTH, HEIGHT), bytes(pixels))


def grid_mask():
  """A square grid above and a floor grid running to the horizon below."""
  mask = big_mask()
  draw = ImageDraw.Draw(mask)
  s = SCALE
  for x in range(0, WIDTH + 1, 20):
    draw.line([(x * s, 0), (x * s, 200 * s)], fill=110, width=s)
  for y in range(0, 201, 20):
    draw.line([(0, y * s), (WIDTH * s, y * s)], fill=110, width=s)
  # The floor: lines from a vanishing point behind the title, and cross
  # lines that crowd together towards the horizon.
  horizon, vanish_x = 200, 200
  for k in range(-14, 15):
    bottom_x = vanish_x + k * 44
    draw.line([(vanish_x * s, horizon * s), (bottom_x * s, HEIGHT * s)],
              fill=200, width=s)
  for i in range(1, 12):
    y = horizon + (HEIGHT - horizon) * (i / 11) ** 2
    draw.line([(0, round(y * s)), (WIDTH * s, round(y * s))], fill=200,
              width=s)
  return reduce(mask)


def spiral(draw, cx, cy, start, turns, growth, phase, width, fill):
  """A logarithmic spiral around (cx, cy), drawn as a smooth polyline."""
  s = SCALE
  points = []
  steps = int(turns * 180)
  for i in range(steps + 1):
    a = phase + 2 * math.pi * turns * i / steps
    r = start * math.exp(growth * (a - phase))
    points.append((round((cx + r * math.cos(a)) * s),
                   round((cy + r * math.sin(a)) * s)))
  draw.line(points, fill=fill, width=width * s, joint="curve")


def swirl_mask():
  mask = big_mask()
  draw = ImageDraw.Draw(mask)
  swirls = [  # centre, start radius, turns, growth, phase, width
      (318, 58, 3, 2.6, 0.20, 0.0, 3),
      (318, 58, 5, 2.3, 0.20, 2.1, 1),
      (70, 236, 4, 2.4, 0.22, 1.0, 3),
      (70, 236, 2, 2.8, 0.20, 3.5, 1),
      (378, 262, 6, 1.8, 0.24, 4.0, 2),
      (176, 40, 2, 1.6, 0.26, 5.0, 1),
  ]
  for cx, cy, start, turns, growth, phase, width in swirls:
    spiral(draw, cx, cy, start, turns, growth, phase, width, 255)
  return reduce(mask.filter(ImageFilter.GaussianBlur(SCALE)))


def logo(image):
  """The maker's mark: a ring with a gold crescent, and the word mark."""
  s = SCALE
  ring, crescent, words = big_mask(), big_mask(), big_mask()
  cx, cy, r = 26, 25, 15
  ImageDraw.Draw(ring).ellipse(
      [(cx - r) * s, (cy - r) * s, (cx + r) * s, (cy + r) * s],
      outline=255, width=3 * s)
  draw = ImageDraw.Draw(crescent)
  draw.ellipse([(cx - 9) * s, (cy - 9) * s, (cx + 9) * s, (cy + 9) * s],
               fill=255)
  draw.ellipse([(cx - 5) * s, (cy - 12) * s, (cx + 12) * s, (cy + 5) * s],
               fill=0)
  font = ImageFont.truetype(SANS_BOLD, 15 * s)
  ImageDraw.Draw(words).text((47 * s, 13 * s), "ORVALLE", font=font,
                             fill=255)
  small = ImageFont.truetype(SANS_BOLD, 7 * s)
  ImageDraw.Draw(words).text((48 * s, 30 * s), "I N C .", font=small,
                             fill=255)
  shadow = reduce(ring).filter(ImageFilter.GaussianBlur(2))
  paint(image, DEEP_TEAL, shadow, 0.8)
  paint(image, (236, 248, 246), reduce(ring))
  paint(image, (244, 196, 64), reduce(crescent))
  paint(image, (236, 248, 246), reduce(words))


def gold_text(image, position, text, size, stroke):
  """Large gold letters with a dark edge and a shadow beneath them."""
  s = SCALE
  font = ImageFont.truetype(SERIF_BOLD, size * s)
  x, y = position
  face, edge = big_mask(), big_mask()
  ImageDraw.Draw(face).text((x * s, y * s), text, font=font, fill=255)
  ImageDraw.Draw(edge).text((x * s, y * s), text, font=font, fill=255,
                            stroke_width=stroke * s, stroke_fill=255)
  face, edge = reduce(face), reduce(edge)

  shadow = Image.new("L", image.size, 0)
  shadow.paste(edge, (3, 4))
  paint(image, (2, 20, 24), shadow.filter(ImageFilter.GaussianBlur(3)), 0.85)
  paint(image, (74, 42, 6), edge)

  top, bottom = face.getbbox()[1], face.getbbox()[3]
  fill = Image.new("RGB", image.size)
  for row in range(top, bottom):
    colour = ramp(GOLD_STOPS, (row - top) / max(1, bottom - top - 1))
    fill.paste(colour, (0, row, WIDTH, row + 1))
  image.paste(fill, (0, 0), face)


def draw_title():
  image = background()
  paint(image, LIGHT_TEAL, grid_mask(), 0.22)
  paint(image, LIGHT_TEAL, swirl_mask(), 0.45)
  logo(image)
  gold_text(image, (10, 98), "Fennagle", 58, 2)
  gold_text(image, (300, 54), "7", 140, 3)
  return image


def quantise(image):
  """256 palette colours by median cut, without dithering (which would
  break the runs that RLE8 stores cheaply). The drawing has thousands of
  colours, so every entry ends up used; main() checks that it does."""
  return image.quantize(256, Image.Quantize.MEDIANCUT,
                        dither=Image.Dither.NONE)


def encode_rle8(rows):
  """RLE8 data of rows given bottom row first, as the BMP format stores
  them: runs of three or more pixels as (count, index), everything between
  them in absolute mode (0, count, pixels, padded to 16 bits), and one or
  two pixels left over as runs of one. Each row but the last ends with
  end-of-line (0, 0); the last ends with end-of-bitmap (0, 1)."""
  out = bytearray()

  def literal(pixels):
    while pixels:
      chunk, pixels = pixels[:255], pixels[255:]
      if len(chunk) >= 3:
        out.extend((0, len(chunk)))
        out.extend(chunk)
        if len(chunk) % 2:
          out.append(0)
      else:
        for p in chunk:
          out.extend((1, p))

  for number, row in enumerate(rows):
    pending = []
    i = 0
    while i < len(row):
      run = 1
      while i + run < len(row) and run < 255 and row[i + run] == row[i]:
        run += 1
      if run >= 3:
        literal(pending)
        pending = []
        out.extend((run, row[i]))
      else:
        pending.extend(row[i:i + run])
      i += run
    literal(pending)
    out.extend((0, 1) if number == len(rows) - 1 else (0, 0))
  return bytes(out)


def decode_rle8(data, width, height):
  """Rows (bottom first) that RLE8 data describes; pixels that the data
  skips are 0. Raises ValueError on data that leaves the bitmap or ends
  without end-of-bitmap."""
  rows = [[0] * width for _ in range(height)]
  x = y = i = 0

  def put(value):
    nonlocal x
    if y >= height or x >= width:
      raise ValueError("pixel outside the bitmap")
    rows[y][x] = value
    x += 1

  while i + 1 < len(data):
    first, second = data[i], data[i + 1]
    i += 2
    if first:
      for _ in range(first):
        put(second)
    elif second == 0:
      x, y = 0, y + 1
    elif second == 1:
      if i != len(data):
        raise ValueError("data after end-of-bitmap")
      return rows
    elif second == 2:
      if i + 1 >= len(data):
        raise ValueError("truncated delta")
      x, y = x + data[i], y + data[i + 1]
      i += 2
    else:
      if i + second > len(data):
        raise ValueError("truncated absolute run")
      for value in data[i:i + second]:
        put(value)
      i += second + (second % 2)
  raise ValueError("no end-of-bitmap")


def bmp_file(palette, rle):
  info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 1, len(rle),
                     PIXELS_PER_METRE, PIXELS_PER_METRE, 256, 256)
  quads = b"".join(
      bytes((palette[i * 3 + 2], palette[i * 3 + 1], palette[i * 3], 0))
      for i in range(256))
  offset = 14 + len(info) + len(quads)
  header = struct.pack("<2sIHHI", b"BM", offset + len(rle), 0, 0, offset)
  return header + info + quads + rle


def main():
  here = os.path.dirname(os.path.abspath(__file__))
  parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
  parser.add_argument("--output", default=os.path.join(here, "title.bmp"))
  parser.add_argument("--preview", help="also write the picture as PNG")
  args = parser.parse_args()

  indexed = quantise(draw_title())
  pixels = list(indexed.getdata())
  top_down = [pixels[y * WIDTH:(y + 1) * WIDTH] for y in range(HEIGHT)]
  bottom_up = top_down[::-1]
  rle = encode_rle8(bottom_up)
  if decode_rle8(rle, WIDTH, HEIGHT) != bottom_up:
    sys.exit("make_title: the RLE8 data does not decode to the picture")
  if len(set(pixels)) != 256:
    sys.exit("make_title: the picture leaves palette colours unused")

  # Written beside the output and checked before it replaces the output, so
  # a failed run leaves the committed picture alone.
  scratch = args.output + ".new"
  with open(scratch, "wb") as f:
    f.write(bmp_file(indexed.getpalette()[:768], rle))
  # A second opinion on the file as a whole: Pillow's own BMP reader.
  with Image.open(scratch) as written:
    same = written.tobytes() == indexed.tobytes()
  if not same:
    os.remove(scratch)
    sys.exit("make_title: Pillow reads the BMP file differently")
  os.replace(scratch, args.output)
  if args.preview:
    indexed.convert("RGB").save(args.preview)


if __name__ == "__main__":
  main()
