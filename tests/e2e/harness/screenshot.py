"""Screenshots of the Xvfb display as PNG files: xwd takes the picture, this module converts its
XWD dump (true colour, as Xvfb gives it) without further tools."""

import os
import struct
import time
import zlib

from . import proc


def take(display: str, png_path: str, crop=None) -> str:
    """Writes the whole screen (or crop = (x, y, w, h) of it) to png_path."""
    os.makedirs(os.path.dirname(os.path.abspath(png_path)), exist_ok=True)
    xwd_path = png_path + ".xwd"
    # xwd walks the window tree; a window that Wine destroys meanwhile makes it fail (BadWindow),
    # so a failed picture is taken again.
    for attempt in range(5):
        res = proc.run(["xwd", "-root", "-silent", "-display", display, "-out", xwd_path],
                       timeout=30)
        if res.returncode == 0:
            break
        time.sleep(0.5)
    else:
        raise RuntimeError(f"xwd failed: {res.stderr}")
    try:
        with open(xwd_path, "rb") as f:
            width, height, rgb = xwd_to_rgb(f.read())
    finally:
        os.remove(xwd_path)
    if crop:
        width, height, rgb = _crop(width, height, rgb, crop)
    with open(png_path, "wb") as f:
        f.write(rgb_to_png(width, height, rgb))
    return png_path


def xwd_to_rgb(data: bytes):
    """(width, height, rows of RGB bytes) of a ZPixmap XWD dump of 24 or 32 bits a pixel."""
    fields = struct.unpack(">25I", data[:100])
    header_size, _, pixmap_format, _, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    masks = fields[14:17]
    ncolors = fields[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise ValueError("only true-colour ZPixmap dumps are handled")
    offset = header_size + 12 * ncolors
    step = bits_per_pixel // 8
    endian = "little" if byte_order == 0 else "big"
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    rgb = bytearray()
    for y in range(height):
        row = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        if step == 4 and endian == "little" and masks == (0xFF0000, 0xFF00, 0xFF):
            # The usual case, done a row at a time: B G R X in memory.
            px = bytearray(width * 3)
            px[0::3] = row[2::4]
            px[1::3] = row[1::4]
            px[2::3] = row[0::4]
            rgb += px
            continue
        for x in range(width):
            v = int.from_bytes(row[x * step:(x + 1) * step], endian)
            rgb += bytes(((v & m) >> s) & 0xFF for m, s in zip(masks, shifts))
    return width, height, bytes(rgb)


def _crop(width, height, rgb, box):
    x, y, w, h = box
    x0, y0 = max(0, x), max(0, y)
    x1, y1 = min(width, x + w), min(height, y + h)
    if x1 <= x0 or y1 <= y0:
        return width, height, rgb
    rows = [rgb[(r * width + x0) * 3:(r * width + x1) * 3] for r in range(y0, y1)]
    return x1 - x0, y1 - y0, b"".join(rows)


def rgb_to_png(width: int, height: int, rgb: bytes) -> bytes:
    raw = b"".join(b"\0" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 6)) +
            chunk(b"IEND", b""))


def png_size(path: str):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    return struct.unpack(">II", head[16:24])
