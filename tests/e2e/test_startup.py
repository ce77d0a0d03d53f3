"""Start-up of QMSpooler.exe under Wine: finding Palm Desktop and its users' backup folders."""

import os

from harness import palm as p
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
