"""Menu commands of QMSpooler.exe that answer with a message box."""

from harness import palm as p
from harness import settings as s


def test_menu_commands_with_nothing_to_do_say_so_and_the_program_runs_on(spooler, palm, driver):
    palm.register(p.USR_KEY)
    palm.add_user("Alice")
    proc = spooler.start()
    driver.wait_window(30)

    driver.command(s.CMD_REPRINT)
    box = driver.wait_box(20)
    assert (box.caption, box.text) == ("Nothing to Print", "Could not find any previous print jobs.")
    driver.press_ok()

    driver.command(s.CMD_SCAN_MISSED)
    box = driver.wait_box(20)
    assert (box.caption, box.text) == (
        "Nothing to Print", "No queued print jobs are currently waiting to print.")
    driver.press_ok()

    driver.command(s.CMD_ABOUT)
    box = driver.wait_box(20)
    assert box.caption == "About Quillmark Desktop Spooler"
    lines = box.text.split("\n")
    assert lines[:4] == ["", "", "Desktop print companion program for Quillmark, The ultimate ",
                         "printing system for all PalmOS handhelds including Palm, Handspring, "
                         "and Sony CLIE."]
    assert lines[-1] == "Visit us online for other PalmOS software solutions."
    driver.press_ok()

    assert proc.stays_running(1)
    driver.command(s.CMD_EXIT)
    assert proc.wait(20) == 0
