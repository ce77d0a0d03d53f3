"""Fixtures of the end-to-end tests: QMSpooler.exe under Wine on an Xvfb display, driven from
outside by the Win32 driver, with its registry read back through Wine's reg tool.

Environment (all optional):
  QM_MINGW_BUILD    the MinGW build folder holding QMSpooler.exe and driver.exe (build/mingw)
  QM_SPOOLER_EXE    QMSpooler.exe itself, when it is somewhere else
  QM_E2E_DRIVER     driver.exe itself, when it is somewhere else
  QM_E2E_WINE       the folder for the Wine prefix, Xvfb and their logs (build/e2e-wine)
  QM_E2E_WINE_ARCH  win64 (a 64-bit Windows, the default) or win32 (a 32-bit Windows XP, for
                    the 32-bit build: QM_MINGW_BUILD=build/mingw32)
  QM_SETUP_EXE      the installer (QMSpooler-setup.exe of the 64-bit build, build/mingw, which
                    carries both builds)
  QM_E2E_ARTIFACTS  screenshots and logs, one folder per test (build/e2e-artifacts)
  QM_E2E_CUPS       the private CUPS server's configuration, spool and logs (build/e2e-cups)
  QM_QMSPOOL        the native qmspool for reference renders (build/native/src/qmspool)

Tests that need the spooler are skipped while it is not built. Under CI (CI=true) a skip fails
the test instead: it says a tool, a package or a build part is missing, and a missing package
must not pass as green. A skip that the design allows wherever the suite runs says so with
"[by design]" at the start of its reason and stays a skip. Fixtures that later suites need (a
print server, say) belong here, beside the ones they build on."""

import os
import re
import shutil

import pytest

from harness import palm as palm_mod
from harness import cups, proc, screenshot, settings
from harness.driver import Driver
from harness.registry import Registry
from harness.spooler import Spooler
from harness.wine import WineEnv

ROOT = proc.repo_root()


def _setting(name, default):
    return os.path.abspath(os.environ.get(name) or os.path.join(ROOT, default))


def _find(build, name, under=""):
    top = os.path.join(build, under)
    for folder, dirs, files in os.walk(top):
        dirs[:] = [d for d in dirs if d != "CMakeFiles"]
        if name in files:
            return os.path.join(folder, name)
    return None


BY_DESIGN = "[by design]"


def _under_ci():
    return os.environ.get("CI") == "true"


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    # Keeps each phase's report on the test, so that fixtures can add evidence to a failure.
    outcome = yield
    rep = outcome.get_result()
    if rep.skipped and _under_ci() and not hasattr(rep, "wasxfail"):
        reason = rep.longrepr[2] if isinstance(rep.longrepr, tuple) else str(rep.longrepr)
        reason = reason.removeprefix("Skipped: ")
        if not reason.startswith(BY_DESIGN):
            rep.outcome = "failed"
            rep.longrepr = f"skipped under CI=true, which counts no skips: {reason}"
    setattr(item, "rep_" + rep.when, rep)


@pytest.fixture(scope="session")
def mingw_build():
    return _setting("QM_MINGW_BUILD", "build/mingw")


@pytest.fixture(scope="session")
def spooler_exe(mingw_build):
    exe = os.environ.get("QM_SPOOLER_EXE") or _find(mingw_build, "QMSpooler.exe")
    if not exe or not os.path.isfile(exe):
        pytest.skip(f"QMSpooler.exe is not built yet (looked in {mingw_build})")
    return exe


@pytest.fixture(scope="session")
def qmspool_exe(mingw_build):
    """The Windows build of qmspool, which the installer ships beside the spooler."""
    exe = _find(mingw_build, "qmspool.exe", "src")
    if not exe:
        pytest.skip(f"qmspool.exe is not built yet (looked in {mingw_build}/src)")
    return exe


@pytest.fixture(scope="session")
def driver_exe(mingw_build):
    exe = os.environ.get("QM_E2E_DRIVER") or _find(mingw_build, "driver.exe", "tests")
    if not exe or not os.path.isfile(exe):
        pytest.skip(f"the e2e driver is not built (looked in {mingw_build}/tests)")
    return exe


@pytest.fixture(scope="session")
def wine():
    """A fresh prefix, its own Xvfb display and a persistent wineserver for the session."""
    if not (shutil.which("wine") and shutil.which("Xvfb") and shutil.which("xwd")):
        pytest.skip("wine, Xvfb or xwd is not installed (scripts/setup installs them)")
    env = WineEnv(_setting("QM_E2E_WINE", "build/e2e-wine"),
                  os.environ.get("QM_E2E_WINE_ARCH") or "win64").up()
    yield env
    env.down()


@pytest.fixture(scope="session")
def registry(wine):
    return Registry(wine)


@pytest.fixture(scope="session")
def driver(wine, driver_exe):
    return Driver(wine, driver_exe)


@pytest.fixture(scope="session")
def artifacts_root():
    """The folder of this session's screenshots and logs, emptied of earlier sessions' ones."""
    root = _setting("QM_E2E_ARTIFACTS", "build/e2e-artifacts")
    for entry in os.listdir(root) if os.path.isdir(root) else ():
        path = os.path.join(root, entry)
        if os.path.isdir(path):
            shutil.rmtree(path, ignore_errors=True)
    os.makedirs(root, exist_ok=True)
    return root


@pytest.fixture
def artifacts(request, artifacts_root):
    """This test's own folder for screenshots and logs."""
    name = re.sub(r"[^A-Za-z0-9_.-]+", "_", request.node.nodeid.split("::", 1)[-1])
    folder = os.path.join(artifacts_root, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


@pytest.fixture
def shoot(wine, artifacts):
    """shoot(name, crop=None) saves a screenshot as <artifacts>/<name>.png and returns its path."""
    def take(name, crop=None):
        return screenshot.take(wine.display, os.path.join(artifacts, name + ".png"), crop)
    return take


@pytest.fixture
def palm(wine, registry):
    """No Palm Desktop at first; the test registers one and adds users as it needs."""
    p = palm_mod.PalmDesktop(wine, registry)
    p.remove()
    yield p
    p.remove()


@pytest.fixture
def no_settings(registry):
    """No stored settings: the spooler starts as on its first run."""
    registry.delete_key(settings.KEY.rsplit("\\", 2)[0])  # the maker's whole key
    yield
    registry.delete_key(settings.KEY.rsplit("\\", 2)[0])


@pytest.fixture
def spooler(request, spooler_exe, wine, driver, palm, no_settings, artifacts):
    """Starts QMSpooler.exe (spooler.start(*args)); after the test, ends what is still running,
    with a screenshot and the list of windows when the test failed."""
    s = Spooler(wine, spooler_exe, artifacts)
    yield s
    rep = getattr(request.node, "rep_call", None)
    if rep is not None and rep.failed:
        try:
            screenshot.take(wine.display, os.path.join(artifacts, "at-failure.png"))
            with open(os.path.join(artifacts, "windows.txt"), "w", encoding="utf-8") as f:
                f.write(driver.windows())
        except Exception as e:  # evidence is a bonus; the failure itself is already reported
            print(f"no failure evidence: {e}")
    s.kill_all()
    driver.wait_gone(10)


# --- printing: a private CUPS server whose default printer turns every document into a PDF


@pytest.fixture(scope="session")
def cups_server():
    """A private cupsd (in QM_E2E_CUPS, default build/e2e-cups) with a cups-pdf printer as its
    default, one for the whole session: Wine prints to it, and so does the native qmspool."""
    why = cups.available()
    if why:
        pytest.skip(why)
    server = cups.PrintServer(_setting("QM_E2E_CUPS", "build/e2e-cups")).up()
    yield server
    server.down()


@pytest.fixture(scope="session")
def print_server(wine, cups_server):
    """The private CUPS server as Wine's: Wine reaches it through CUPS_SERVER, so it is the
    prefix's default printer too."""
    saved = {n: wine.env.pop(n) for n in cups.PrintServer.FOREIGN if n in wine.env}
    wine.env.update(cups_server.env)
    yield cups_server
    for name in cups_server.env:
        wine.env.pop(name, None)
    wine.env.update(saved)


def _printing_into(server, artifacts):
    """The PDF printer with a fresh, empty output folder for this test; afterwards the PDFs it
    printed are copied into the test's artifacts (pdf/), with the server's log."""
    server.out_dir(os.path.basename(artifacts))
    yield server
    server.settle(10)
    pdfs = server.pdfs()
    if pdfs:
        os.makedirs(os.path.join(artifacts, "pdf"), exist_ok=True)
        for pdf in pdfs:
            shutil.copyfile(pdf, os.path.join(artifacts, "pdf", os.path.basename(pdf)))
    with open(os.path.join(artifacts, "cups-error_log.txt"), "w", encoding="utf-8") as f:
        f.write(server.error_log())


@pytest.fixture
def printer(print_server, artifacts):
    """The PDF printer as Wine's default, with a fresh output folder for this test."""
    yield from _printing_into(print_server, artifacts)


@pytest.fixture
def native_printer(cups_server, artifacts):
    """The PDF printer for programs that run natively (no Wine), with a fresh output folder."""
    yield from _printing_into(cups_server, artifacts)


@pytest.fixture(scope="session")
def qmspool():
    """The native build's qmspool: reference renders of the pages the spooler prints."""
    exe = os.environ.get("QM_QMSPOOL") or os.path.join(ROOT, "build", "native", "src", "qmspool")
    if not os.path.isfile(exe):
        pytest.skip(f"qmspool is not built (looked for {exe})")
    return exe


@pytest.fixture(scope="session")
def qmspool_printing(qmspool):
    """The native qmspool, when it was built with its print and watch commands (cairo and CUPS
    found)."""
    if "qmspool watch" not in proc.run([qmspool, "--help"]).stdout:
        pytest.skip("qmspool was built without print and watch (libcairo2-dev, libcups2-dev)")
    return qmspool
