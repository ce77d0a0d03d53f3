"""Automatic printing, as a user sees it: QMSpooler.exe runs with two users, the desktop
synchronisation drops spool files into their backup folders, and the pages come out of the
private CUPS printer (one PDF per page) with nobody touching the program. Also the scan for
missed jobs from the menu.

These scenarios wait on the program's real timer (a tick every 5 s) and on the 5 s it leaves a
new file to settle, so they share one run of the program where they can."""

import os
import time

from harness import palm as p
from harness import settings as s
from harness import spooljob
from harness.proc import wait_until

TICK_S = 5.0
SETTLE_S = 5.0
SPACED, UNDERSCORED = p.SPOOL_NAMES


def one_page_job(left_inch: int) -> bytes:
    """One page: a 1 in black square `left_inch` in from the left, 1 in from the top (1-bit at
    4 dpi), so that jobs tell each other apart."""
    return spooljob.container([
        spooljob.band(spooljob.KIND_BAND1, 0, 8, 4, 4 * left_inch, 4, 4, bytes([0xF0]) * 4)])


def start_watching_folders(spooler, driver, folders):
    """Starts the spooler and returns once it watches every folder. Its window comes before it
    looks at the folders, and a spool file it finds then is deleted as left from before, so a
    job dropped in earlier would be lost. A stale file in each folder marks the moment: it goes
    once that folder's watch is open."""
    marks = [p.write_file(os.path.join(folder, SPACED), b"left from before") for folder in folders]
    proc = spooler.start()
    driver.wait_window(30)
    assert wait_until(lambda: not any(map(os.path.exists, marks)), 30), "stale spool files left"
    return proc


def quiet_for(printer, count: int, seconds: float):
    """Waits `seconds` and checks that the printer still holds exactly `count` PDFs."""
    time.sleep(seconds)
    pdfs = printer.settle(10)
    assert len(pdfs) == count, f"expected {count} PDFs, found {len(pdfs)}"


def no_box(driver):
    box = driver.wait_box(0.5)
    assert box is None, f"unexpected message box: {box}"


def test_jobs_dropped_into_watched_folders_print_once_each_without_any_action(
        spooler, palm, registry, driver, printer, capsys, artifacts):
    palm.register()
    alice = palm.add_user("Alice")
    bob = palm.add_user("Bob", backup="Bob_HotSync")  # the preferences' folder, not "backup"
    s.store(registry, {"show_dialog": 0, "open_minimized": 1})
    proc = start_watching_folders(spooler, driver, (alice, bob))
    # The window comes first and is minimised after: the restore for the job below means
    # something only once it has been.
    assert wait_until(lambda: driver.state()["minimized"] == 1, 30)

    # A three-page job lands in Alice's folder: one PDF per page. The window is restored for the
    # job; when it is, the tick has come, and the settling wait begins.
    landed = time.monotonic()
    p.write_file(os.path.join(alice, SPACED), spooljob.flat_colour_job())
    assert wait_until(lambda: driver.state()["minimized"] == 0, TICK_S + 10, 0.1), \
        "the window was not restored for the job"
    restored = time.monotonic()
    assert wait_until(lambda: len(printer.pdfs()) >= 1, SETTLE_S + 30, 0.1), \
        f"nothing printed:\n{printer.error_log()[-3000:]}"
    first_pdf = time.monotonic()
    pdfs = printer.wait_pdfs(3, 60)
    assert len(pdfs) == 3
    no_box(driver)
    # The window goes back to the task bar once the job is done, as it was before.
    assert wait_until(lambda: driver.state()["minimized"] == 1, 20)

    # Something else changes in the folder: the spool file is the same, so nothing prints.
    p.write_file(os.path.join(alice, "notes.txt"), b"not a job")
    quiet_for(printer, 3, 2 * TICK_S + 1)

    # The other name, in the other user's folder, written in two pieces a second apart as a slow
    # copy would: printed once, whole.
    job = one_page_job(2)
    path = os.path.join(bob, UNDERSCORED)
    with open(path, "wb") as f:
        f.write(job[: len(job) // 2])
        f.flush()
        os.fsync(f.fileno())
        time.sleep(1)
        f.write(job[len(job) // 2:])
    assert len(printer.wait_pdfs(4, TICK_S + SETTLE_S + 30)) == 4
    quiet_for(printer, 4, TICK_S + SETTLE_S + 2)
    no_box(driver)
    assert proc.running

    tick_s, own_s = restored - landed, first_pdf - restored - SETTLE_S
    with capsys.disabled():
        print(f"\n[timing] spool file landing to first PDF: {first_pdf - landed:.2f} s = "
              f"{tick_s:.2f} s to the tick + {SETTLE_S:.0f} s settling + {own_s:.2f} s our work "
              f"(first page on screen, printer, CUPS)")
    with open(os.path.join(artifacts, "timing.txt"), "w", encoding="utf-8") as f:
        f.write(f"to_tick_s {tick_s:.3f}\nsettle_s {SETTLE_S}\nown_work_s {own_s:.3f}\n")

    driver.command(s.CMD_EXIT)
    assert proc.wait(30) == 0


def test_scan_prints_a_job_before_its_tick_and_the_tick_prints_nothing_more(
        spooler, palm, registry, driver, printer):
    palm.register()
    alice = palm.add_user("Alice")
    s.store(registry, {"show_dialog": 0})
    proc = start_watching_folders(spooler, driver, (alice,))

    p.write_file(os.path.join(alice, SPACED), one_page_job(3))
    driver.command(s.CMD_SCAN_MISSED)
    assert len(printer.wait_pdfs(1, SETTLE_S + 30)) == 1
    # Had the tick come first, the scan found the job already printed and says so.
    box = driver.wait_box(1)
    if box is not None:
        assert box.text == "No queued print jobs are currently waiting to print."
        driver.press_ok()
    quiet_for(printer, 1, 2 * TICK_S + 1)

    # Nothing new now: the scan says so.
    driver.command(s.CMD_SCAN_MISSED)
    box = driver.wait_box(10)
    assert box is not None and box.caption == "Nothing to Print"
    driver.press_ok()
    driver.command(s.CMD_EXIT)
    assert proc.wait(30) == 0
