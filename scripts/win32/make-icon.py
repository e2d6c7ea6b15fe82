#!/usr/bin/env python3
"""Builds app/win32/velno-updater.ico from the updater's 48 x 48 icon image.

The icon holds the 48 x 48 image in 16 colours (4 bits per pixel), 32 x 32
and 16 x 16 reductions of it in 16 colours, and the 48 x 48 image in full
colour. Smaller sizes are scaled with ImageMagick's convert.

usage: make-icon.py SOURCE.png OUTPUT.ico
"""
import struct
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path


def read_png_rgba(path):
    """Decodes an 8-bit, non-interlaced PNG into rows of (r, g, b, a)."""
    data = Path(path).read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos, idat, palette, alpha = 8, b"", None, None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or interlace != 0 or colour not in (2, 3, 6):
                raise ValueError(f"{path}: unsupported PNG layout")
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"tRNS":
            alpha = list(body)
        elif kind == b"IDAT":
            idat += body
    channels = {2: 3, 3: 1, 6: 4}[colour]
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            upper_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - upper_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upper_left)
                predictor = left if pa <= pb and pa <= pc else (up if pb <= pc else upper_left)
                line[i] = (line[i] + predictor) & 0xFF
        previous = line
        row = []
        for x in range(width):
            pixel = line[x * channels:(x + 1) * channels]
            if colour == 6:
                row.append(tuple(pixel))
            elif colour == 2:
                row.append((*pixel, 255))
            else:
                index = pixel[0]
                a = alpha[index] if alpha and index < len(alpha) else 255
                row.append((*palette[index], a))
        rows.append(row)
    return rows


def mask_bits(rows):
    """The 1-bit AND mask, bottom row first: 1 where the pixel is transparent."""
    width = len(rows[0])
    padded = ((width + 31) // 32) * 4
    out = b""
    for row in reversed(rows):
        bits = bytearray(padded)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def header(width, height, bits, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, image_bytes, 0, 0, 0, 0)


def image_4bit(rows):
    colours = sorted({(r, g, b) for row in rows for (r, g, b, a) in row if a >= 128})
    if len(colours) > 16:
        raise ValueError(f"{len(colours)} colours; a 16-colour image needs at most 16")
    colours += [(0, 0, 0)] * (16 - len(colours))
    index = {c: i for i, c in enumerate(colours)}
    width = len(rows[0])
    padded = ((width + 7) // 8) * 4
    pixels = b""
    for row in reversed(rows):
        line = bytearray(padded)
        for x, (r, g, b, a) in enumerate(row):
            value = index[(r, g, b)] if a >= 128 else 0
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
        pixels += bytes(line)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    body = pixels + mask_bits(rows)
    return header(width, len(rows), 4, len(body)) + palette + body, 16, 4


def image_32bit(rows):
    pixels = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(rows)
                      for (r, g, b, a) in row)
    body = pixels + mask_bits(rows)
    return header(len(rows[0]), len(rows), 32, len(body)) + body, 0, 32


def scaled(source, size, folder):
    out = Path(folder) / f"icon-{size}.png"
    subprocess.run(["convert", str(source), "-resize", f"{size}x{size}", "-colors", "16",
                    f"PNG32:{out}"], check=True)
    return read_png_rgba(out)


def main():
    source, output = sys.argv[1], sys.argv[2]
    full = read_png_rgba(source)
    with tempfile.TemporaryDirectory() as folder:
        entries = [(48, image_4bit(full)), (32, image_4bit(scaled(source, 32, folder))),
                   (16, image_4bit(scaled(source, 16, folder))), (48, image_32bit(full))]
    directory = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    images = b""
    for size, (data, colour_count, bits) in entries:
        directory += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bits, len(data),
                                 offset + len(images))
        images += data
    Path(output).write_bytes(directory + images)


if __name__ == "__main__":
    main()
