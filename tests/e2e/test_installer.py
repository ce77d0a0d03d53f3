"""QMSpooler-setup.exe under Wine, silent, as an administrator deploys it: what it installs and
where, the start at log-on, an upgrade over a running spooler, and the uninstaller."""

import filecmp
import glob
import os
import re
import shutil
import struct

import pytest

from harness import palm as p
from harness import settings as s
from harness.proc import wait_until
from harness.spooler import Spooler

PRODUCT = "Quillmark PC Print Spooler"
UNINSTALL = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmark"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
MACHINE_DIR = r"C:\Program Files\Quillmark"
START_MENU = "Microsoft/Windows/Start Menu/Programs"
MACHINE_SHORTCUT = rf"C:\ProgramData\{START_MENU}\{PRODUCT}.lnk".replace("/", "\\")
FILES = ("QMSpooler.exe", "qmspool.exe", "LiberationMono-LICENSE.txt", "uninstall.exe")


@pytest.fixture(scope="module")
def setup_exe(mingw_build):
    exe = os.path.join(mingw_build, "QMSpooler-setup.exe")
    if not os.path.isfile(exe):
        pytest.skip(f"QMSpooler-setup.exe is not built (makensis missing?) in {mingw_build}")
    return exe


@pytest.fixture
def installs(wine, registry, driver, spooler, palm, setup_exe):
    """A user with a Palm Desktop folder, so that the spooler runs without asking anything; after
    the test, whatever an install left is gone."""
    palm.register(p.USR_KEY)
    palm.add_user("Alice")
    yield
    if not driver.wait_gone(0):  # a spooler the log-on started
        driver.close()
        driver.wait_gone(10)
    for root in ("HKLM", "HKCU"):
        registry.delete_key(rf"{root}\{UNINSTALL}")
    registry.delete_value(RUN_KEY, PRODUCT)
    for path in [wine.unix_path(MACHINE_DIR), wine.unix_path(MACHINE_SHORTCUT)] + \
            _per_user(wine, "Local/Programs/Quillmark", f"Roaming/{START_MENU}/{PRODUCT}.lnk"):
        shutil.rmtree(path, ignore_errors=True) if os.path.isdir(path) else \
            os.path.exists(path) and os.remove(path)


def _per_user(wine, *paths):
    return [f for path in paths
            for f in glob.glob(os.path.join(wine.drive_c, "users", "*", "AppData", path))]


def install(wine, setup_exe, *args):
    res = wine.run(setup_exe, "/S", *args, timeout=120)
    assert res.returncode == 0, f"setup failed ({res.returncode}): {res.stdout}{res.stderr}"


def uninstall_silently(wine, registry, root, *more):
    """Runs the entry's quiet uninstall command (with `more` options), as an administrator's tools
    do, and waits for it: the uninstaller hands over to a copy of itself and returns at once."""
    entry = registry.query(rf"{root}\{UNINSTALL}")
    m = re.fullmatch(r'"([^"]+)"((?: /\w+)*)', entry["QuietUninstallString"].data)
    assert m, entry["QuietUninstallString"]
    res = wine.run(m.group(1), *m.group(2).split(), *more, timeout=120)
    assert res.returncode == 0, res.stdout + res.stderr
    assert wait_until(lambda: not registry.key_exists(rf"{root}\{UNINSTALL}"), 30)
    return entry


def file_version(path) -> str:
    """major.minor.patch of the fixed file version in a program's version information."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    assert at >= 0, "no version information"
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}"


def stored(registry) -> dict:
    values = registry.query(s.KEY) or {}
    return {name: v.data for name, v in values.items()}


def test_install_starts_minimised_at_log_on_and_uninstall_closes_it_and_keeps_its_settings(
        installs, wine, registry, driver, setup_exe, spooler_exe, shoot):
    install(wine, setup_exe)

    folder = wine.unix_path(MACHINE_DIR)
    assert sorted(os.listdir(folder)) == sorted(FILES)
    assert filecmp.cmp(os.path.join(folder, "QMSpooler.exe"), spooler_exe, shallow=False)
    assert os.path.isfile(wine.unix_path(MACHINE_SHORTCUT))
    entry = registry.query(rf"HKLM\{UNINSTALL}")
    assert {n: entry[n].data for n in ("DisplayName", "DisplayVersion", "Publisher",
                                       "DisplayIcon", "InstallLocation")} == {
        "DisplayName": PRODUCT,
        "DisplayVersion": file_version(os.path.join(folder, "QMSpooler.exe")),
        "Publisher": "Brackwater Software",
        "DisplayIcon": MACHINE_DIR + r"\QMSpooler.exe,0",
        "InstallLocation": MACHINE_DIR,
    }
    assert file_version(setup_exe) == entry["DisplayVersion"].data  # the version it showed
    assert registry.query(RUN_KEY)[PRODUCT].data == f'"{MACHINE_DIR}\\QMSpooler.exe"'
    # A first install asks the program to open minimised and to print on the default printer
    # without asking ("Use default printer" is stored as show_dialog 0); nothing else is set.
    assert stored(registry) == {"open_minimized": s.int_bytes(1), "show_dialog": s.int_bytes(0)}

    wine.restart()  # log off and on: Wine's boot runs the Run key's command line
    assert driver.wait_window(30)["title"] == PRODUCT
    assert driver.state()["minimized"] == 1
    shoot("after-log-on")

    uninstall_silently(wine, registry, "HKLM")
    assert driver.wait_gone(20), "the uninstaller left the spooler running"
    assert not os.path.exists(folder)
    assert not os.path.exists(wine.unix_path(MACHINE_SHORTCUT))
    assert PRODUCT not in (registry.query(RUN_KEY) or {})
    # Closed through its window, the spooler stored its nine values; the uninstaller kept them.
    assert stored(registry) == dict(s.encode(s.DEFAULTS), open_minimized=s.int_bytes(1),
                                    show_dialog=s.int_bytes(0))


def test_upgrade_of_a_per_user_install_closes_the_spooler_and_keeps_settings_and_log_on_choice(
        installs, wine, registry, driver, palm, setup_exe, artifacts):
    install(wine, setup_exe, "/CurrentUser")
    entry = registry.query(rf"HKCU\{UNINSTALL}")
    folder = entry["InstallLocation"].data
    assert r"\AppData\Local\Programs\Quillmark" in folder
    assert not registry.key_exists(rf"HKLM\{UNINSTALL}")
    assert len(_per_user(wine, f"Roaming/{START_MENU}/{PRODUCT}.lnk")) == 1
    exe = wine.unix_path(folder + r"\QMSpooler.exe")

    # The user turned "Open program minimized" and "Use default printer" off and moves the window
    # while it runs.
    s.store(registry, {"open_minimized": 0, "show_dialog": 1, "window_x": 300})
    running = Spooler(wine, exe, artifacts)
    proc = running.start()
    driver.wait_window(30)
    driver.move(140, 60, 700, 650)
    try:
        install(wine, setup_exe)  # no mode given: the upgrade finds the per-user install
        assert proc.wait(20) == 0, "the setup did not close the running spooler"
    finally:
        running.kill_all()
    assert registry.query(rf"HKCU\{UNINSTALL}")["InstallLocation"].data == folder
    assert not registry.key_exists(rf"HKLM\{UNINSTALL}")
    values = stored(registry)
    assert (values["open_minimized"], values["show_dialog"], values["window_x"]) == \
        (s.int_bytes(0), s.int_bytes(1), s.int_bytes(140))
    assert registry.query(RUN_KEY)[PRODUCT].data == f'"{folder}\\QMSpooler.exe"'

    # Without a start at log-on (the user took it away), an upgrade adds none.
    registry.delete_value(RUN_KEY, PRODUCT)
    install(wine, setup_exe)
    assert PRODUCT not in (registry.query(RUN_KEY) or {})
    assert stored(registry) == values

    # A spooler that will not close stops the upgrade before it touches a file.
    before = {name: os.stat(os.path.join(os.path.dirname(exe), name)).st_mtime_ns
              for name in FILES}
    held = Spooler(wine, driver.exe, artifacts)
    held.start("hold-window", "120")
    try:
        driver.wait_window(30)
        res = wine.run(setup_exe, "/S", timeout=120)
        assert res.returncode != 0, "the setup went on over a spooler that is still running"
        assert not driver.wait_gone(0), "the held window was closed"
    finally:
        held.kill_all()
    assert {name: os.stat(os.path.join(os.path.dirname(exe), name)).st_mtime_ns
            for name in FILES} == before

    uninstall_silently(wine, registry, "HKCU")
    assert not _per_user(wine, "Local/Programs/Quillmark", f"Roaming/{START_MENU}/{PRODUCT}.lnk")
    assert stored(registry) == values

    # Asked to, a silent uninstall takes the settings too.
    install(wine, setup_exe, "/CurrentUser")
    uninstall_silently(wine, registry, "HKCU", "/RemoveSettings")
    assert not registry.key_exists(s.KEY)

    # Installed by hand where the sync software is not (yet): the last page says so and offers no
    # start now, which would only stop at an error; the log-on start and the unattended printing
    # are set up all the same, for once the sync software is there.
    palm.remove()
    setup = wine.start(setup_exe, "/CurrentUser", log_path=os.path.join(artifacts, "setup.log"))
    try:
        for page in ("Choose Users", "Destination Folder"):  # as the command line chose
            driver.page(page)
            driver.next()
        driver.page("Check the components")
        driver.next()
        last = driver.page("has been installed")
        assert any("sync software was not found" in item for item in last), last
        assert "Start the spooler now" not in last
        driver.next()
        assert setup.wait(60) == 0
    finally:
        setup.kill() if setup.poll() is None else None
    assert registry.query(RUN_KEY)[PRODUCT].data.endswith(r'\QMSpooler.exe"')
    assert stored(registry) == {"open_minimized": s.int_bytes(1), "show_dialog": s.int_bytes(0)}
