"""Spool files written for the printing scenarios: pages of large flat-colour blocks, whose places
and colours survive printing to PDF and rasterising well enough to be compared cell by cell with
the renderer's own output.

The container is the handheld's database format: a 78-byte header whose big-endian record count
sits at byte 76, then an 8-byte entry per record (its position, then attributes and id), then the
records. A band record is kind, flags, seven big-endian 16-bit fields (width, height, left, top,
horizontal and vertical dots per inch, and an unused pair) and its pixels."""

import struct

KIND_BAND1, KIND_TEXT, KIND_BAND8, KIND_BAND16 = 0, 1, 2, 3
CONTINUED, COMPRESSED = 0x01, 0x80


def rgb565(r, g, b) -> bytes:
    v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)
    return struct.pack("<H", v)


def band(kind, flags, width, height, left, top, dpi, pixels: bytes) -> bytes:
    head = struct.pack(">BBHHHHHHI", kind, flags, width, height, left, top, dpi, dpi, 0)
    return head + pixels


def text_record(text: bytes, flags=0) -> bytes:
    return bytes((KIND_TEXT, flags)) + text


def fill_runs(image: bytes) -> bytes:
    """Run codes for an image, as runs of equal bytes (fill codes of up to 64 bytes)."""
    out, i = bytearray(), 0
    while i < len(image):
        n = 1
        while n < 64 and i + n < len(image) and image[i + n] == image[i]:
            n += 1
        out += bytes(((n - 1) << 2, image[i]))
        i += n
    return bytes(out)


def container(records) -> bytes:
    header = bytearray(78)
    header[0:10] = b"Spool test"
    struct.pack_into(">H", header, 76, len(records))
    pos = 78 + 8 * len(records) + 2
    entries = bytearray()
    for i, r in enumerate(records):
        entries += struct.pack(">II", pos, i)
        pos += len(r)
    return bytes(header) + bytes(entries) + b"\0\0" + b"".join(records)


def blocks(block_rows, rows_per_block, block_width, pixel) -> bytes:
    """An image of rows of colour blocks: block_rows is a list of lists of colours, every block
    block_width pixels wide and rows_per_block pixels high; pixel(colour) gives a pixel's bytes."""
    out = bytearray()
    for block_row in block_rows:
        row = b"".join(pixel(c) * block_width for c in block_row)
        out += row * rows_per_block
    return bytes(out)


def flat_colour_job() -> bytes:
    """Three pages of flat colour at 2 and 4 dots per inch, each band a whole number of printer
    pixels at 300 dpi:
      1. a 16-bit band of six colours, a palette band of two rows of blocks and a 1-bit band of
         black and white blocks, as one page of continued records;
      2. a 16-bit checkerboard of four colours at 2 dpi;
      3. a run-coded palette band of colour stripes."""
    red, green, blue = (248, 0, 0), (0, 252, 0), (0, 0, 248)
    yellow, cyan, magenta = (248, 252, 0), (0, 252, 248), (248, 0, 248)
    px16 = lambda c: rgb565(*c)  # noqa: E731
    px8 = lambda c: bytes((c,))  # noqa: E731

    # Page 1. 1 inch from the left and the top: six blocks of 1.25 in, 1.5 in high.
    p1a = band(KIND_BAND16, CONTINUED, 30, 6, 4, 4, 4,
               blocks([[red, green, blue, yellow, cyan, magenta]], 6, 5, px16))
    # Half an inch below it, 2 in from the left: palette entries in two rows of 1 in.
    p1b = band(KIND_BAND8, CONTINUED, 24, 8, 8, 2, 4,
               blocks([[5, 107, 215, 30], [180, 0, 229, 60]], 4, 6, px8))
    # Half an inch below that, 0.5 in from the left: black and white blocks of 1 in, 1 in high.
    row_bits = bytes([0xF0] * 4)  # 32 pixels: 4 black, 4 white, ...
    p1c = band(KIND_BAND1, 0, 32, 4, 2, 2, 4, row_bits * 4)

    # Page 2. A 4 in square of 1 in checks, 1.5 in from the left and 2 in from the top.
    checks = [[red, blue, red, blue], [yellow, green, yellow, green]] * 2
    p2 = band(KIND_BAND16, 0, 8, 8, 3, 4, 2, blocks(checks, 2, 2, px16))

    # Page 3. Stripes 1 in high, 4 in wide, 2 in from the left and 3 in from the top, run-coded.
    stripes = blocks([[60], [5], [107], [30], [215], [180]], 4, 16, px8)
    p3 = band(KIND_BAND8, COMPRESSED, 16, 24, 8, 12, 4, fill_runs(stripes))
    return container([p1a, p1b, p1c, p2, p3])

