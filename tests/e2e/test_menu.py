"""Menu commands of QMSpooler.exe: option toggles, followed through the values stored at exit
(Wine shows no other process a menu's check marks), the commands that answer with a message box,
Reprint, and Save as BMP through the real save dialog and its refusals."""

import os
import shutil
import subprocess
import time

import pytest

from harness import palm as p
from harness import settings as s
from harness import spooljob
from harness.proc import wait_until
from test_settings import start_with_one_user, stored

SAVE_TITLE = "Save BMP image as..."

def test_option_toggles_are_stored_at_exit_and_come_back(spooler, palm, driver, registry):
    s.store(registry, {"pause_pages": 5})  # any non-zero value is on: the first toggle clears it
    proc = start_with_one_user(spooler, palm, driver)
    for command in (s.CMD_PAUSE_PAGES, s.CMD_USE_DEFAULT_PRINTER, s.CMD_PRINT_TO_SCREEN,
                    s.CMD_OPEN_MINIMIZED, s.CMD_OPEN_MINIMIZED):
        driver.command(command)
    driver.command(s.CMD_EXIT)
    assert proc.wait(20) == 0
    first = stored(registry)
    assert first == dict(s.DEFAULTS, show_dialog=0, pause_pages=0, print_to_screen=1)

    proc = spooler.start()
    driver.wait_window(30)
    driver.command(s.CMD_PAUSE_PAGES)
    driver.command(s.CMD_EXIT)
    assert proc.wait(20) == 0
    assert stored(registry) == dict(first, pause_pages=1)


def test_menu_commands_with_nothing_to_do_say_so_and_the_program_runs_on(
        spooler, palm, driver, wine):
    palm.register(p.USR_KEY)
    palm.add_user("Alice")
    proc = spooler.start()
    driver.wait_window(30)

    driver.command(s.CMD_REPRINT)
    box = driver.wait_box(10)
    assert box is not None, "no message box"
    assert (box.caption, box.text) == ("Nothing to Print", "Could not find any previous print jobs.")
    driver.press_ok()

    driver.command(s.CMD_SCAN_MISSED)
    box = driver.wait_box(10)
    assert box is not None, "no message box"
    assert (box.caption, box.text) == (
        "Nothing to Print", "No queued print jobs are currently waiting to print.")
    driver.press_ok()

    driver.command(s.CMD_ABOUT)
    box = driver.wait_box(10)
    assert box is not None, "no message box"
    assert box.caption == "About Quillmark Desktop Spooler"
    lines = box.text.split("\n")
    assert lines[:4] == ["", "", "Desktop print companion program for Quillmark, The ultimate ",
                         "printing system for all PalmOS handhelds including Palm, Handspring, "
                         "and Sony CLIE."]
    assert lines[-1] == "Visit us online for other PalmOS software solutions."
    driver.press_ok()

    # Save as BMP: a cancelled dialog does nothing more; a name chosen while there is no previous
    # job is answered with a message and the file is not made.
    driver.command(s.CMD_SAVE_BMP)
    driver.file_name(SAVE_TITLE)
    driver.press_cancel()
    assert driver.wait_box(1) is None, "a cancelled save shows a message"
    unmade = os.path.join(wine.drive_c, "unmade.bmp")
    driver.command(s.CMD_SAVE_BMP)
    driver.save_as(SAVE_TITLE, wine.windows_path(unmade))
    box = driver.wait_box(10)
    assert box is not None, "no message box"
    assert (box.caption, box.text) == ("Nothing to spool", "No previous print job found")
    driver.press_ok()
    assert not os.path.exists(unmade)

    assert proc.stays_running(1)
    driver.command(s.CMD_EXIT)
    assert proc.wait(20) == 0


@pytest.fixture
def last_job(wine, palm, registry):
    """The three-page flat-colour job in C:\\Jobs, stored as the last job, with one user and the
    default printer used without asking; (Linux path, Windows path) of the job."""
    folder = os.path.join(wine.drive_c, "Jobs")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    path = os.path.join(folder, "last job.pdb")
    with open(path, "wb") as f:
        f.write(spooljob.flat_colour_job())
    palm.register()
    palm.add_user("Alice")
    s.store(registry, {"show_dialog": 0, s.PATH_NAME: wine.windows_path(path)})
    yield path, wine.windows_path(path)
    shutil.rmtree(folder, ignore_errors=True)


def test_after_a_text_job_save_as_bmp_is_refused_before_any_dialog(
        spooler, palm, driver, registry, wine):
    folder = os.path.join(wine.drive_c, "Jobs")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "text job.pdb")
    with open(path, "wb") as f:
        f.write(spooljob.container([spooljob.text_record(b"Dear reader,\nthis is text.\n")]))
    palm.register()
    palm.add_user("Alice")
    s.store(registry, {"print_to_screen": 1, s.PATH_NAME: wine.windows_path(path)})
    proc = spooler.start()
    driver.wait_window(30)
    driver.command(s.CMD_REPRINT)
    time.sleep(2)  # the page waits half a second before it is drawn
    assert wait_until(lambda: driver.state()["enabled"] == 1, 30)

    driver.command(s.CMD_SAVE_BMP)
    box = driver.wait_box(10)
    assert box is not None, "no message box"
    assert (box.caption, box.text) == ("Nothing to save", "The previous print job was not a graphic")
    driver.press_ok()
    assert driver.wait_box(1) is None, "a save dialog followed the refusal"
    driver.command(s.CMD_EXIT)
    assert proc.wait(30) == 0
    os.remove(path)


def test_reprint_prints_the_stored_last_job_one_pdf_per_page(spooler, driver, printer, last_job):
    proc = spooler.start()
    driver.wait_window(30)
    driver.command(s.CMD_REPRINT)
    assert len(printer.wait_pdfs(3, 60)) == 3
    driver.command(s.CMD_EXIT)
    assert proc.wait(30) == 0
    assert len(printer.settle(10)) == 3


def test_save_as_bmp_writes_what_qmspool_bmp_writes_and_remembers_the_name(
        spooler, driver, wine, last_job, qmspool, tmp_path):
    job_path, _ = last_job
    expected = tmp_path / "expected.bmp"
    subprocess.run([qmspool, "bmp", job_path, str(expected)], check=True)
    proc = spooler.start()
    driver.wait_window(30)

    saved = []
    for name in ("first.bmp", "second.bmp"):
        linux = os.path.join(os.path.dirname(job_path), name)
        driver.command(s.CMD_SAVE_BMP)
        opened_with = driver.file_name(SAVE_TITLE)
        driver.save_as(SAVE_TITLE, wine.windows_path(linux))
        assert wait_until(lambda: os.path.exists(linux) and driver.state()["enabled"] == 1, 30)
        assert wait_until(lambda: driver.title() == "Quillmark PC Print Spooler", 30)
        saved.append((opened_with, linux))

    assert saved[0][0] == "screen.bmp"
    # The dialog opens in the folder of a full path and shows the file's name in its field.
    assert saved[1][0].lower() in ("first.bmp", wine.windows_path(saved[0][1]).lower()), \
        "the second dialog opens with the name chosen in the first"
    for _, linux in saved:
        with open(linux, "rb") as f:
            assert f.read() == expected.read_bytes()

    # A name that cannot be opened for writing (its folder is not there) is answered.
    driver.command(s.CMD_SAVE_BMP)
    driver.save_as(SAVE_TITLE, r"C:\no such folder\third.bmp")
    box = driver.wait_box(10)
    assert box is not None, "no message box"
    assert (box.caption, box.text) == ("test.bmp", "Cannot open specified file for write.")
    driver.press_ok()
    driver.command(s.CMD_EXIT)
    assert proc.wait(30) == 0
