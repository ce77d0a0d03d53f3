"""Printing from the command line (QMSpooler.exe -t JOB) under Wine, through a private CUPS server
whose default printer writes every document as a PDF: one document per spool page, each page
showing the bands where and in the colours that the renderer puts them, the print dialog
confirmed and cancelled, printing to the screen only (and Display status over its page), and a job
file that is not there. And qmspool.exe, the Windows build of the command-line tool, which sets a
page's text in the face it carries as the Linux build does."""

import collections
import os
import shutil
import struct
import tempfile
import time
import zlib

import pytest

from harness import pages, screenshot
from harness import settings as s
from harness import spooljob
from harness.driver import Box
from harness.proc import run, wait_until

MAIN_TITLE = "Quillmark PC Print Spooler"
NO_FILE_TEXT = "The spooling queue file is empty or no longer exists.\n"
CUT_SHORT_TEXT = "The spooling queue file is incomplete or damaged, so it was not printed.\n"
JOB_PAGES = 3
# The command-line print starts at the first timer tick, and each page waits before it prints.
FIRST_TICK_S = 5.0
PAGE_WAIT_S = 0.5
# A quarter of an inch at 300 dpi; every band edge of the job lies on this grid.
CELL_INCH = 0.25
# The last page's stripes (palette entries 180, 5 and 107: 33 FF 66, FF 00 FF, 00 00 99), and the
# status screen's heading colour.
LAST_PAGE_COLOURS = ((0x33, 0xFF, 0x66), (0xFF, 0x00, 0xFF), (0x00, 0x00, 0x99))
STATUS_HEADING = (0x00, 0x80, 0x80)


@pytest.fixture
def job(wine):
    """The flat-colour job in C:\\Jobs, as (Linux path, Windows path)."""
    folder = os.path.join(wine.drive_c, "Jobs")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    path = os.path.join(folder, "flat colours.pdb")
    with open(path, "wb") as f:
        f.write(spooljob.flat_colour_job())
    yield path, wine.windows_path(path)
    shutil.rmtree(folder, ignore_errors=True)


def ready_to_print(palm, registry, **options):
    """A Palm Desktop with one user (so that start-up asks nothing) and the stored options."""
    palm.register()
    palm.add_user("Alice")
    s.store(registry, options)


def stored(registry) -> dict:
    values = registry.query(s.KEY)
    assert values is not None, "no settings stored"
    out = {}
    for name, v in values.items():
        if name == s.PATH_NAME:
            out[name] = s.decode_path(v.data)
        else:
            out[name] = int.from_bytes(v.data, "little", signed=True)
    return out


def test_command_line_print_makes_one_pdf_per_page_matching_the_renderer_and_ends(
        spooler, palm, registry, driver, printer, job, qmspool, artifacts, capsys):
    ready_to_print(palm, registry, show_dialog=0)
    linux_path, windows_path = job
    # A relative path, made absolute against the current directory when the job starts.
    t0 = time.monotonic()
    proc = spooler.start("-t", os.path.basename(linux_path), cwd=os.path.dirname(linux_path))
    assert proc.wait(60) == 0
    wall = time.monotonic() - t0

    pdfs = printer.wait_pdfs(JOB_PAGES, 60)
    assert len(pdfs) == JOB_PAGES, f"{len(pdfs)} PDFs:\n{printer.error_log()[-3000:]}"
    assert [pages.pdf_pages(p) for p in pdfs] == [1] * JOB_PAGES
    assert stored(registry)[s.PATH_NAME] == windows_path

    caps = driver.printer()
    assert caps["numcolors"] == -1  # a colour printer: bands keep their colours
    dpi = caps["logpixelsx"]
    assert caps["logpixelsy"] == dpi
    cell = round(dpi * CELL_INCH)
    printable = (caps["physicaloffsetx"], caps["physicaloffsety"], caps["horzres"],
                 caps["vertres"])
    with tempfile.TemporaryDirectory() as scratch:  # full-size rasters are 25 MB a page
        for k, pdf in enumerate(pdfs, 1):
            printed = pages.rasterise_pdf(pdf, 1, dpi, os.path.join(scratch, f"printed-{k}"))
            reference = pages.render_reference(qmspool, linux_path, k, dpi,
                                               os.path.join(scratch, f"reference-{k}.ppm"))
            assert (printed.width, printed.height) == (reference.width, reference.height)
            assert pages.coloured_cells(reference, cell, printable) > 50, "nothing to compare"
            wrong = pages.differing_cells(printed, reference, cell, printable)
            if wrong:
                pages.save_png(printed, os.path.join(artifacts, f"printed-{k}.png"))
                pages.save_png(reference, os.path.join(artifacts, f"reference-{k}.png"))
            assert not wrong, f"page {k}: {len(wrong)} cells differ, e.g. {wrong[:5]}"

    # What the program adds to each page beyond the waits it is asked to make (the first timer
    # tick and the pause before each page), Wine's start and end included.
    per_page = (wall - FIRST_TICK_S - PAGE_WAIT_S * JOB_PAGES) / JOB_PAGES
    with capsys.disabled():  # shown in every run, not only with -s
        print(f"\n[timing] command-line print of {JOB_PAGES} pages: {wall:.2f} s in all, "
              f"{per_page * 1000:.0f} ms a page beyond the waits (Wine's start and end included)")
    with open(os.path.join(artifacts, "timing.txt"), "w", encoding="utf-8") as f:
        f.write(f"wall_s {wall:.3f}\npages {JOB_PAGES}\nper_page_ms {per_page * 1000:.0f}\n")


def test_print_dialog_confirmed_prints_and_cancelled_prints_nothing(
        spooler, palm, registry, driver, printer, job):
    ready_to_print(palm, registry, show_dialog=1)
    _, windows_path = job

    proc = spooler.start("-t", windows_path)
    box = driver.wait_box(40)
    assert box is not None and box.caption == "Print", f"no print dialog:\n{driver.windows()}"
    driver.press_ok()
    assert proc.wait(60) == 0
    assert len(printer.wait_pdfs(JOB_PAGES, 60)) == JOB_PAGES

    printer.out_dir("cancelled")
    proc = spooler.start("-t", windows_path)
    box = driver.wait_box(40)
    assert box is not None and box.caption == "Print", f"no print dialog:\n{driver.windows()}"
    driver.press_cancel()
    assert driver.wait_box(2) is None, "a cancelled dialog shows no message"
    assert proc.wait(30) == 0
    assert printer.settle(10) == []
    assert stored(registry)[s.PATH_NAME] == windows_path


def test_print_to_screen_keeps_the_last_page_in_the_window_until_display_status(
        spooler, palm, registry, driver, printer, job, shoot):
    ready_to_print(palm, registry, show_dialog=0, print_to_screen=1)
    _, windows_path = job
    proc = spooler.start("-t", windows_path)
    driver.wait_window(30)
    # Every page goes to the window after its pause; the title comes back when the job is done.
    # The title is the same before the job starts, so the job counts as done once the title is
    # back and the last page is in the window, however long Wine takes to begin it.
    def last_page_kept():
        if driver.title() != MAIN_TITLE:
            return False
        picture = shoot("last-page-in-window", crop=driver.rect())
        return all(_pixels_near(picture, colour) > 500 for colour in LAST_PAGE_COLOURS)
    assert wait_until(last_page_kept, FIRST_TICK_S + PAGE_WAIT_S * JOB_PAGES + 30, 0.5), \
        f"the last page is not in the window under the title {driver.title()!r}"
    assert proc.running

    # Display status paints the status screen over the page at once, and later repaints keep
    # showing it: shrunk and grown again, the window repaints where the page's stripes were.
    def shows_status(name):
        picture = shoot(name, crop=driver.rect())
        return (_pixels_near(picture, STATUS_HEADING, 8) > 50
                and all(_pixels_near(picture, c) < 50 for c in LAST_PAGE_COLOURS))
    driver.command(s.CMD_DISPLAY_STATUS)
    assert wait_until(lambda: shows_status("status-screen"), 10), "the page is still shown"
    x, y, w, h = driver.rect()
    driver.move(x, y, 120, 120)
    driver.move(x, y, w, h)
    assert wait_until(lambda: shows_status("status-after-repaint"), 10), "a repaint shows the page"

    driver.command(s.CMD_EXIT)
    assert proc.wait(20) == 0
    assert printer.settle(5) == []
    values = stored(registry)
    assert values["print_to_screen"] == 1 and values[s.PATH_NAME] == windows_path


def test_a_missing_or_cut_short_job_file_is_reported_with_its_path_as_caption(
        spooler, palm, registry, driver, printer, wine, job):
    ready_to_print(palm, registry, show_dialog=0)
    missing = r"C:\Gone\no such job.pdb"
    wine.remove_tree(r"C:\Gone")
    proc = spooler.start("-t", missing)
    # Once for the first page on screen, once for the printer run.
    for _ in range(2):
        assert driver.wait_box(30) == Box(missing, NO_FILE_TEXT)
        driver.press_ok()
    assert proc.wait(30) == 0
    assert printer.settle(5) == []

    # The first 600 of a job's 918 bytes, as a copy that has not finished leaves it: said once, and
    # neither a blank page nor a print dialog follows.
    linux_path, windows_path = job
    with open(linux_path, "r+b") as f:
        f.truncate(600)
    proc = spooler.start("-t", windows_path)
    assert driver.wait_box(30) == Box(windows_path, CUT_SHORT_TEXT)
    driver.press_ok()
    assert proc.wait(30) == 0
    assert driver.wait_box(1) is None
    assert printer.settle(5) == []


def _pixels_near(png_path, colour, tolerance=24) -> int:
    """How many pixels of a screenshot (as harness.screenshot writes it: 8-bit RGB, filter 0 on
    every row) lie within tolerance of colour."""
    with open(png_path, "rb") as f:
        data = f.read()
    w, h = screenshot.png_size(png_path)
    idat, pos = b"", 8
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + n]
        pos += 12 + n
    raw = zlib.decompress(idat)
    counts = collections.Counter()
    for y in range(h):
        row = raw[y * (w * 3 + 1) + 1:(y + 1) * (w * 3 + 1)]
        counts.update(zip(row[0::3], row[1::3], row[2::3]))
    return sum(n for px, n in counts.items()
               if all(abs(a - b) <= tolerance for a, b in zip(px, colour)))


def test_windows_qmspool_sets_a_pages_text_as_the_linux_one_does(wine, qmspool_exe, qmspool,
                                                                   tmp_path):
    # Page 3 of the demonstration job is text only. The two builds set it with different font
    # engines from the same built-in face: their pages agree cell by cell.
    job = tmp_path / "job.pdb"
    assert run([qmspool, "testpage", str(job)]).returncode == 0
    ours = pages.render_reference(qmspool, str(job), 3, 150, str(tmp_path / "linux.ppm"))
    res = wine.run(qmspool_exe, "render", f"Z:{job}", "--page", "3", "--dpi", "150", "--out",
                   f"Z:{tmp_path / 'windows.ppm'}", timeout=120)
    assert res.returncode == 0 and res.stderr == "", res.stderr
    theirs = pages.read_ppm(str(tmp_path / "windows.ppm"))
    text = (0, 0, ours.width, 150)
    assert pages.coloured_cells(theirs, 10, text) > 100
    assert pages.differing_cells(theirs, ours, 10, text) == []

    # This build writes PPM only, and says so before it renders anything.
    res = wine.run(qmspool_exe, "render", f"Z:{job}", "--page", "3", "--dpi", "150", "--out",
                   f"Z:{tmp_path / 'page.png'}")
    assert res.returncode == 1 and res.stderr.count("\n") == 1, res.stderr
    assert "PPM images only" in res.stderr and not (tmp_path / "page.png").exists()
    assert "OUT ends in .ppm: this build writes PPM images only" in wine.run(
        qmspool_exe, "--help").stdout
