"""Start-up of QMSpooler.exe under Wine: finding Palm Desktop and its users' backup folders, and
one spooler per session."""

import os
import shutil

from harness import palm as p
from harness import spooljob
from harness.driver import Box
from harness.proc import wait_until
from harness import settings

TITLE = "Quillmark PC Print Spooler"


def test_without_palm_desktop_it_reports_a_registry_error_ends_with_1_and_stores_nothing(
        spooler, driver, registry, shoot):
    proc = spooler.start()
    box = driver.wait_box(30)
    assert box == Box("Registry Error", "Cannot locate a path to the Palm Desktop backup files")
    state = driver.state()
    assert state["visible"] == 1 and state["minimized"] == 0
    shoot("registry-error")
    driver.press_ok()
    assert proc.wait(20) == 1
    assert registry.query(settings.KEY) is None


def test_two_user_folders_are_monitored_and_their_stale_spool_files_deleted(
        spooler, palm, driver, shoot):
    palm.register(p.USR_KEY)
    alice = palm.add_user("Alice")              # the usual "backup" folder
    bob = palm.add_user("Bob Smith", "Sync 2")  # a subfolder holding the preferences file
    stale = [p.write_file(os.path.join(alice, p.SPOOL_NAMES[0]), b"old job"),
             p.write_file(os.path.join(alice, p.SPOOL_NAMES[1]), b"old job"),
             p.write_file(os.path.join(bob, p.SPOOL_NAMES[1]), b"old job")]
    # Neither of these is a user's backup folder: their files stay.
    not_users = [p.write_file(os.path.join(palm.add_folder("Carol", "Other"), p.SPOOL_NAMES[0])),
                 p.write_file(os.path.join(palm.install_dir, p.SPOOL_NAMES[0]))]

    proc = spooler.start()
    assert driver.wait_window(30)["title"] == TITLE
    assert wait_until(lambda: not any(map(os.path.exists, stale)), 20), "stale spool files left"
    assert all(map(os.path.exists, not_users))
    assert driver.wait_box(2) is None, "no message expected with two users"
    assert proc.running
    shoot("screen")
    shoot("status-screen", crop=driver.rect())


def test_an_install_folder_without_users_is_reported_and_the_program_runs_on(
        spooler, palm, driver):
    palm.register(p.COM_KEY)
    palm.add_folder("Nobody", "Other")
    proc = spooler.start()
    assert driver.wait_box(30) == Box("Quillmark Spooler", "Can't find any valid user folders")
    driver.press_ok()
    assert proc.stays_running(2)
    assert driver.title() == TITLE


def one_page_job(left_inch: int) -> bytes:
    """One page: a 1 in black square `left_inch` in from the left (1-bit at 4 dpi)."""
    return spooljob.container([
        spooljob.band(spooljob.KIND_BAND1, 0, 8, 4, 4 * left_inch, 4, 4, bytes([0xF0]) * 4)])


def test_a_second_start_brings_the_running_spooler_forward_and_a_job_beside_it_keeps_its_files(
        spooler, palm, registry, driver, printer, wine):
    palm.register()
    alice = palm.add_user("Alice")
    settings.store(registry, {"show_dialog": 0, "open_minimized": 1})
    first = spooler.start()  # as at log-on: minimised
    driver.wait_window(30)
    assert wait_until(lambda: driver.state()["minimized"] == 1, 10)
    # A job in a user folder made after the spooler looked: only a new start could touch it.
    unseen = p.write_file(os.path.join(palm.add_user("Bob"), p.SPOOL_NAMES[0]), one_page_job(1))

    # The Start menu's start: the running spooler comes forward, this one ends, nothing deleted.
    second = spooler.start()
    assert second.wait(30) == 0
    state = driver.state()
    assert state["minimized"] == 0 and state["foreground"] == 1, state
    assert os.path.exists(unseen)

    # A job printed beside it, while a new job waits in a watched folder for the spooler's tick:
    # both print, and the waiting one is not deleted by the job run's start-up.
    folder = os.path.join(wine.drive_c, "BesideJobs")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    job = p.write_file(os.path.join(folder, "job.pdb"), one_page_job(2))
    waiting = p.write_file(os.path.join(alice, p.SPOOL_NAMES[1]), one_page_job(3))
    third = spooler.start("-t", wine.windows_path(job))
    assert third.wait(60) == 0
    assert os.path.exists(waiting) and os.path.exists(unseen)
    pdfs = printer.wait_pdfs(2, 60)
    assert len(pdfs) == 2, f"{len(pdfs)} PDFs:\n{printer.error_log()[-3000:]}"

    # With "Print to screen only" the job is shown and that run ends as well: no second window
    # that watches the folders beside the spooler, or that a later start could bring forward.
    settings.store(registry, {"print_to_screen": 1})
    fourth = spooler.start("-t", wine.windows_path(job))
    assert fourth.wait(60) == 0

    assert first.running
    driver.command(settings.CMD_EXIT)
    assert first.wait(30) == 0
    shutil.rmtree(folder, ignore_errors=True)
