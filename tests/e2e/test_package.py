"""The Linux package as a user gets it: its files unpacked into a scratch root (dpkg -x), the
program run from there. Its version is the project's; its manual page names every command and
option of its help and renders without a warning; before an install folder is stored, the user
unit's own command line says what to do in one line and ends with a status the unit neither
fails nor restarts on; once `qmspool config install-folder` has stored it, the same command line
prints a job dropped into a user's folder once, through the private CUPS server, and stops
cleanly on SIGTERM. The unit passes systemd-analyze verify.

The package is build/packages/qmspool_VERSION_amd64.deb (scripts/package makes it), or QM_DEB."""

import configparser
import gzip
import os
import re
import shlex
import shutil
import signal
import time

import pytest

from harness import cups, pages, proc
from harness.proc import wait_until

ROOT = proc.repo_root()
TICK_S = 5.0
SETTLE_S = 5.0
UNIT = "usr/lib/systemd/user/qmspool-watch.service"
MANPAGE = "usr/share/man/man1/qmspool.1.gz"


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(\w+ VERSION (\S+)", f.read()).group(1)


@pytest.fixture(scope="module")
def staged(tmp_path_factory):
    """The package's files under a scratch root."""
    deb = os.environ.get("QM_DEB") or os.path.join(
        ROOT, "build", "packages", f"qmspool_{project_version()}_amd64.deb")
    if not os.path.isfile(deb):
        pytest.skip(f"no package at {deb} (scripts/package makes it)")
    root = tmp_path_factory.mktemp("root")
    res = proc.run(["dpkg", "-x", deb, str(root)])
    assert res.returncode == 0, res.stderr
    return root


def read_unit(root):
    # systemd's unit files allow a key more than once; the unit's own file does not repeat one.
    unit = configparser.ConfigParser(interpolation=None, strict=True)
    unit.optionxform = str
    unit.read(root / UNIT, encoding="utf-8")
    return unit


def statuses(text):
    return {int(s) for s in text.split()}


def test_the_packaged_unit_says_what_to_do_then_prints_a_job_dropped_into_a_users_folder_once(
        staged, native_printer, tmp_path):
    qmspool = str(staged / "usr/bin/qmspool")
    for name in (MANPAGE, UNIT, "usr/share/doc/qmspool/copyright",
                 "usr/share/doc/qmspool/changelog.gz"):
        assert (staged / name).is_file(), name
    assert proc.run([qmspool, "--version"]).stdout == f"qmspool {project_version()}\n"

    # Every command and option the help names is in the manual page, which man renders
    # without a warning.
    usage = proc.run([qmspool, "--help"]).stdout
    manual = gzip.decompress((staged / MANPAGE).read_bytes()).decode()
    manual = re.sub(r"\\f[BIRP]|\\%", "", manual).replace("\\-", "-")
    commands = set(re.findall(r"^  qmspool (\S+)", usage, re.M))
    assert {"watch", "config", "--version"} <= commands
    for word in commands | set(re.findall(r"--[a-z-]+", usage)):
        assert re.search(rf"(?<![\w-]){re.escape(word)}(?![\w-])", manual), word
    if shutil.which("man"):
        res = proc.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z",
                        str(staged / MANPAGE)])
        assert res.returncode == 0 and res.stderr == "", res.stderr

    service = read_unit(staged)["Service"]
    command = shlex.split(service["ExecStart"])
    assert command[0] == "/usr/bin/qmspool"
    command[0] = qmspool
    assert service["Restart"] == "on-failure"

    env = {k: v for k, v in os.environ.items() if k not in cups.PrintServer.FOREIGN}
    env.update(native_printer.env)
    env["XDG_CONFIG_HOME"] = str(tmp_path / "config")
    env["XDG_RUNTIME_DIR"] = str(tmp_path / "run")
    os.mkdir(tmp_path / "run", 0o700)

    # Started before the install folder is stored: one line that says how to store it, and a
    # status the unit counts as a clean end and does not restart on.
    res = proc.run(command, env=env, timeout=20)
    assert res.returncode in statuses(service["SuccessExitStatus"]), (res.returncode, res.stderr)
    assert res.returncode in statuses(service["RestartPreventExitStatus"])
    assert res.stderr.count("\n") == 1 and "'qmspool config install-folder DIR'" in res.stderr, \
        res.stderr

    install = tmp_path / "Palm Desktop"
    backup = install / "Alice" / "backup"
    backup.mkdir(parents=True)
    res = proc.run([qmspool, "config", "install-folder", str(install / "Alice" / "..")], env=env)
    assert res.returncode == 0, res.stderr
    res = proc.run([qmspool, "config"], env=env)
    assert f"install-folder: {install}\n" in res.stdout, res.stdout
    assert "[Software\\U.S. Robotics\\Pilot Desktop\\Core]\n" in \
        (tmp_path / "config" / "quillmark" / "settings").read_text()

    log = tmp_path / "watch.log"
    watch = proc.start(command, env=env, log_path=str(log))
    try:
        assert wait_until(lambda: "printing on" in log.read_text(), 10), log.read_text()
        assert f"watching {backup}" in log.read_text()
        assert proc.run([qmspool, "testpage", str(backup / "Quillmark Spool File.pdb")]) \
            .returncode == 0
        # One CUPS job per page: the three pages of the test page, and nothing more after the
        # ticks that follow.
        pdfs = native_printer.wait_pdfs(3, TICK_S + SETTLE_S + 30)
        assert [pages.pdf_pages(p) for p in pdfs] == [1, 1, 1], log.read_text()
        time.sleep(2 * TICK_S + 1)
        assert len(native_printer.settle(10)) == 3, log.read_text()
        assert watch.poll() is None, log.read_text()
    finally:
        watch.send_signal(signal.SIGTERM)
        code = watch.wait(15)
    assert code == 0, log.read_text()
    assert log.read_text().rstrip().endswith("qmspool watch: stopped")


def test_the_packaged_unit_passes_systemd_analyze_verify(staged, tmp_path):
    tool = shutil.which("systemd-analyze")
    if not tool:
        pytest.skip("systemd-analyze is not installed (scripts/setup installs systemd)")
    # The unit as shipped but for where its program is: verify checks that it is there. Its
    # manual page, which Documentation= names, is found in the scratch root.
    unit = tmp_path / "qmspool-watch.service"
    text = (staged / UNIT).read_text()
    unit.write_text(text.replace("ExecStart=/usr/bin/qmspool ",
                                 f"ExecStart={staged}/usr/bin/qmspool "))
    assert unit.read_text() != text
    os.mkdir(tmp_path / "run", 0o700)
    env = dict(os.environ, XDG_RUNTIME_DIR=str(tmp_path / "run"),
               MANPATH=str(staged / "usr/share/man"))
    res = proc.run([tool, "--user", "verify", str(unit)], env=env)
    assert (res.returncode, res.stdout + res.stderr) == (0, "")
