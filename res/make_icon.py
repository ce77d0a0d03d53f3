#!/usr/bin/env python3
"""Draws the program's icon, a page with a quill, and writes it as quillmark.ico: one 32 x 32
image in 16 colours and one in 256 colours. Run it again after changing the drawing:

    python3 res/make_icon.py res/quillmark.ico
"""
import struct
import sys

SIZE = 32

# The 16-colour palette of the classic display (the colours every 4-bit icon may rely on).
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette256():
    colours = list(VGA16)
    for r in range(6):
        for g in range(6):
            for b in range(6):
                colours.append((r * 51, g * 51, b * 51))
    while len(colours) < 256:
        level = (len(colours) - 232) * 10 + 8
        colours.append((level, level, level))
    return colours[:256]


def inside_triangle(x, y, a, b, c):
    def side(p, q, r):
        return (p[0] - r[0]) * (q[1] - r[1]) - (q[0] - r[0]) * (p[1] - r[1])
    d1, d2, d3 = side((x, y), a, b), side((x, y), b, c), side((x, y), c, a)
    negative = d1 < 0 or d2 < 0 or d3 < 0
    positive = d1 > 0 or d2 > 0 or d3 > 0
    return not (negative and positive)


def distance_to_segment(px, py, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / float(vx * vx + vy * vy)))
    dx, dy = px - (ax + t * vx), py - (ay + t * vy)
    return (dx * dx + dy * dy) ** 0.5, t


def draw(rich):
    """The picture as rows of (r, g, b) or None for transparent. `rich` adds shading."""
    img = [[None] * SIZE for _ in range(SIZE)]
    left, top, right, bottom, fold = 4, 2, 23, 29, 6
    # The page with its top-right corner folded over.
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x - (right - fold) > y - top:
                continue
            edge = x in (left, right) or y in (top, bottom) or x - (right - fold) == y - top
            if edge:
                img[y][x] = (64, 64, 64) if rich else (0, 0, 0)
            else:
                shade = 255 - (x - left) * 2 if rich else 255
                img[y][x] = (shade, shade, shade)
    for i in range(fold + 1):
        for x in range(right - fold, right - fold + i + 1):
            img[top + i][x] = (160, 160, 160) if rich else (128, 128, 128)
        img[top + i][right - fold + i] = (64, 64, 64) if rich else (0, 0, 0)
        img[top + fold][right - fold + i] = (64, 64, 64) if rich else (0, 0, 0)
    # Lines of writing.
    for y, end in ((11, 15), (14, 19), (17, 17), (20, 19), (23, 13)):
        for x in range(left + 3, end + 1):
            img[y][x] = (0, 0, 128)
    # The quill: a vane along a shaft from the top right down to a nib on the last line.
    tip, end = (14, 24), (30, 3)
    for y in range(SIZE):
        for x in range(SIZE):
            d, t = distance_to_segment(x, y, tip[0], tip[1], end[0], end[1])
            if t < 0.15:
                if d < 0.8:
                    img[y][x] = (0, 0, 0)
                continue
            width = 3.2 * (1.0 - abs(t - 0.6) / 0.6) + 0.6
            if d < 0.7:
                img[y][x] = (64, 32, 0) if rich else (128, 0, 0)
            elif d < width:
                if rich:
                    k = int(90 + 120 * t)
                    img[y][x] = (0, k // 2 + 40, k)
                else:
                    img[y][x] = (0, 128, 128) if (x + y) % 3 else (0, 255, 255)
    return img


def nearest(colour, palette):
    r, g, b = colour
    return min(range(len(palette)),
               key=lambda i: (palette[i][0] - r) ** 2 + (palette[i][1] - g) ** 2
               + (palette[i][2] - b) ** 2)


def icon_image(bits, palette, img):
    """One icon image: header (double height for the mask), palette, colour rows, mask rows."""
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, 2 * SIZE, 1, bits, 0, 0, 0, 0,
                         len(palette), 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    colour_rows = b''
    mask_rows = b''
    for y in reversed(range(SIZE)):  # DIB rows run bottom-up
        indexes = [nearest(c, palette) if c else 0 for c in img[y]]
        if bits == 4:
            row = bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, SIZE, 2))
        else:
            row = bytes(indexes)
        colour_rows += row + b'\0' * (-len(row) % 4)
        mask = 0
        for x in range(SIZE):
            if img[y][x] is None:
                mask |= 1 << (SIZE - 1 - x)
        mask_rows += struct.pack('>I', mask)
    return header + table + colour_rows + mask_rows


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else 'quillmark.ico'
    images = [(4, 16, icon_image(4, VGA16, draw(False))),
              (8, 0, icon_image(8, palette256(), draw(True)))]
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b''
    for bits, colour_count, data in images:
        entries += struct.pack('<BBBBHHII', SIZE, SIZE, colour_count, 0, 1, bits, len(data),
                               offset)
        offset += len(data)
    with open(out, 'wb') as f:
        f.write(directory + entries + b''.join(data for _, _, data in images))


if __name__ == '__main__':
    main()
