"""Printed pages as pictures: PDFs rasterised with poppler's pdftoppm, the renderer's own pages
from qmspool, and a coarse comparison of the two.

Two rasterisers never agree pixel for pixel (edges fall on different pixels, colours pass through
PostScript and PDF), so pages are compared as a grid of square cells: the mean colour of each cell
must agree within a tolerance. With bands of flat colour whose edges fall on cell edges, a band in
the wrong place or of the wrong colour changes whole cells by far more than the tolerance."""

import os
import re
from dataclasses import dataclass

from . import proc


@dataclass
class Raster:
    width: int
    height: int
    rgb: bytes  # rows of R G B bytes, top row first


def read_ppm(path: str) -> Raster:
    """A binary (P6) PPM file of 8-bit samples."""
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        m = re.compile(rb"\s*(#[^\n]*\n\s*)*(\S+)").match(data, pos)
        if not m:
            raise ValueError(f"{path}: not a PPM file")
        fields.append(m.group(2))
        pos = m.end()
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError(f"{path}: only 8-bit P6 PPM files are read")
    w, h = int(fields[1]), int(fields[2])
    pos += 1  # the one white-space byte before the samples
    return Raster(w, h, data[pos:pos + w * h * 3])


def pdf_pages(pdf: str) -> int:
    res = proc.run(["pdfinfo", pdf], timeout=60)
    m = re.search(r"^Pages:\s+(\d+)", res.stdout, re.M)
    if res.returncode != 0 or not m:
        raise AssertionError(f"pdfinfo {pdf} failed: {res.stderr}")
    return int(m.group(1))


def rasterise_pdf(pdf: str, page: int, dpi: int, out_prefix: str) -> Raster:
    """Page `page` (from 1) of a PDF at dpi, kept as out_prefix.ppm."""
    res = proc.run(["pdftoppm", "-r", str(dpi), "-f", str(page), "-l", str(page),
                    "-singlefile", pdf, out_prefix], timeout=120)
    if res.returncode != 0:
        raise AssertionError(f"pdftoppm {pdf} failed: {res.stderr}")
    return read_ppm(out_prefix + ".ppm")


def render_reference(qmspool: str, job: str, page: int, dpi: int, out_path: str) -> Raster:
    """The renderer's printer pass of page `page` on a Letter page at dpi, no margins."""
    res = proc.run([qmspool, "render", job, "--page", str(page), "--dpi", str(dpi),
                    "--out", out_path], timeout=120)
    if res.returncode != 0:
        raise AssertionError(f"qmspool render failed: {res.stderr}")
    return read_ppm(out_path)


def cell_means(r: Raster, cell: int, box=None):
    """{(column, row): (mean R, mean G, mean B)} of the cell x cell squares that lie wholly inside
    box (x, y, width, height; the whole raster by default)."""
    x0, y0, bw, bh = box or (0, 0, r.width, r.height)
    x1, y1 = min(r.width, x0 + bw), min(r.height, y0 + bh)
    first_col, first_row = -(-x0 // cell), -(-y0 // cell)
    cols = range(first_col, x1 // cell)
    means = {}
    stride = r.width * 3
    for row in range(first_row, y1 // cell):
        sums = {c: [0, 0, 0] for c in cols}
        for y in range(row * cell, (row + 1) * cell):
            line = r.rgb[y * stride:(y + 1) * stride]
            for c in cols:
                a, b = c * cell * 3, (c + 1) * cell * 3
                s = sums[c]
                s[0] += sum(line[a:b:3])
                s[1] += sum(line[a + 1:b:3])
                s[2] += sum(line[a + 2:b:3])
        n = cell * cell
        for c in cols:
            means[(c, row)] = tuple(v / n for v in sums[c])
    return means


def differing_cells(printed: Raster, reference: Raster, cell: int, box=None, tolerance=24):
    """The cells whose mean colours differ by more than tolerance in some channel, as
    (cell, printed mean, reference mean); only cells inside box (the printable area) count."""
    a = cell_means(printed, cell, box)
    b = cell_means(reference, cell, box)
    out = []
    for key in sorted(set(a) & set(b)):
        if max(abs(p - q) for p, q in zip(a[key], b[key])) > tolerance:
            out.append((key, _round(a[key]), _round(b[key])))
    return out


def coloured_cells(r: Raster, cell: int, box=None, limit=230) -> int:
    """How many cells are not (nearly) white: a check that a comparison had something to see."""
    return sum(1 for m in cell_means(r, cell, box).values() if min(m) < limit)


def _round(rgb):
    return tuple(int(round(v)) for v in rgb)


def save_png(r: Raster, path: str):
    from .screenshot import rgb_to_png
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as f:
        f.write(rgb_to_png(r.width, r.height, r.rgb))
