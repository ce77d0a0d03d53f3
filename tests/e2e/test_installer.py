"""QMSpooler-setup.exe under Wine, silent, as an administrator deploys it: what it installs and
where, the start at log-on, an upgrade over a running spooler, and the uninstaller.

The one setup serves both builds: run with the 64-bit build (a 64-bit prefix) it must install the
64-bit programs, with the 32-bit build (QM_MINGW_BUILD=build/mingw32, QM_E2E_WINE_ARCH=win32) the
32-bit ones. The machine-wide uninstall entry is read in the machine's own registry view
(wine.machine_view): Wine's reg is a 32-bit program and would otherwise look in the 32-bit view."""

import filecmp
import glob
import os
import re
import shutil
import struct
import subprocess

import pytest

from harness import palm as p
from harness import proc as proc_mod
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
EARLIER_NSI = os.path.join(os.path.dirname(__file__), "installer", "earlier-x64-setup.nsi")
EARLIER_VERSION = "1.9.0"


@pytest.fixture(scope="module")
def setup_exe(mingw_build):
    exe = os.environ.get("QM_SETUP_EXE") or os.path.join(mingw_build, "QMSpooler-setup.exe")
    if not os.path.isfile(exe):
        pytest.skip(f"QMSpooler-setup.exe is not built (makensis missing?): {exe}")
    return exe


@pytest.fixture(scope="module")
def earlier_setup_exe(wine, spooler_exe, tmp_path_factory):
    """The earlier, 64-bit-only setup (version 1.9.0) of this build's programs."""
    if wine.arch != "win64":
        pytest.skip("[by design] the earlier setup ran on 64-bit Windows only")
    out = tmp_path_factory.mktemp("earlier") / "QMSpooler-setup-earlier.exe"
    build = os.path.dirname(spooler_exe)
    subprocess.run(["makensis", "-V2", f"-DVERSION={EARLIER_VERSION}",
                    "-DPUBLISHER=Brackwater Software", f"-DPRODUCT={PRODUCT}",
                    f"-DSPOOLER_EXE={spooler_exe}",
                    f"-DQMSPOOL_EXE={os.path.join(build, 'qmspool.exe')}",
                    f"-DICON={os.path.join(proc_mod.repo_root(), 'res', 'quillmark.ico')}",
                    f"-DOUTFILE={out}", EARLIER_NSI], check=True, capture_output=True)
    return str(out)


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
    for view in (32, 64):
        registry.delete_key(rf"HKLM\{UNINSTALL}", view=view)
    registry.delete_key(rf"HKCU\{UNINSTALL}")
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
    view = wine.machine_view if root == "HKLM" else None
    entry = registry.query(rf"{root}\{UNINSTALL}", view=view)
    m = re.fullmatch(r'"([^"]+)"((?: /\w+)*)', entry["QuietUninstallString"].data)
    assert m, entry["QuietUninstallString"]
    res = wine.run(m.group(1), *m.group(2).split(), *more, timeout=120)
    assert res.returncode == 0, res.stdout + res.stderr
    assert wait_until(lambda: not registry.key_exists(rf"{root}\{UNINSTALL}", view=view), 30)
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
    # The programs of this prefix's kind: the 64-bit build on 64-bit Windows, else the 32-bit one.
    for name in ("QMSpooler.exe", "qmspool.exe"):
        built = os.path.join(os.path.dirname(spooler_exe), name)
        assert filecmp.cmp(os.path.join(folder, name), built, shallow=False), name
    assert os.path.isfile(wine.unix_path(MACHINE_SHORTCUT))
    entry = registry.query(rf"HKLM\{UNINSTALL}", view=wine.machine_view)
    assert {n: entry[n].data for n in ("DisplayName", "DisplayVersion", "Publisher",
                                       "DisplayIcon", "InstallLocation")} == {
        "DisplayName": PRODUCT,
        "DisplayVersion": file_version(os.path.join(folder, "QMSpooler.exe")),
        "Publisher": "Brackwater Software",
        "DisplayIcon": MACHINE_DIR + r"\QMSpooler.exe,0",
        "InstallLocation": MACHINE_DIR,
    }
    # On 64-bit Windows the entry is in the 64-bit view only, where the 64-bit program's belongs.
    if wine.machine_view == 64:
        assert not registry.key_exists(rf"HKLM\{UNINSTALL}", view=32)
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
    assert not registry.key_exists(rf"HKLM\{UNINSTALL}", view=wine.machine_view)
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
    assert not registry.key_exists(rf"HKLM\{UNINSTALL}", view=wine.machine_view)
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


def test_upgrade_over_the_earlier_64_bit_setup_finds_its_install_and_keeps_its_choices(
        installs, wine, registry, setup_exe, earlier_setup_exe, spooler_exe):
    install(wine, earlier_setup_exe)
    assert registry.query(rf"HKLM\{UNINSTALL}", view=64)["DisplayVersion"].data == EARLIER_VERSION
    s.store(registry, {"open_minimized": 0, "show_dialog": 1, "window_x": 300})
    registry.delete_value(RUN_KEY, PRODUCT)  # the user took the start at log-on away
    values = stored(registry)

    install(wine, setup_exe)  # no mode given: it finds the earlier machine-wide install
    entry = registry.query(rf"HKLM\{UNINSTALL}", view=64)
    assert (entry["DisplayVersion"].data, entry["InstallLocation"].data) == (
        file_version(spooler_exe), MACHINE_DIR)
    assert not registry.key_exists(rf"HKLM\{UNINSTALL}", view=32)
    folder = wine.unix_path(MACHINE_DIR)
    assert filecmp.cmp(os.path.join(folder, "QMSpooler.exe"), spooler_exe, shallow=False)
    assert PRODUCT not in (registry.query(RUN_KEY) or {})
    assert stored(registry) == values

    uninstall_silently(wine, registry, "HKLM")
    assert not os.path.exists(folder)
    assert stored(registry) == values
