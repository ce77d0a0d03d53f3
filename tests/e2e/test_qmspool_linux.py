"""qmspool printing natively on Linux through the private CUPS server (no Wine): `qmspool print`
sends a job as one CUPS job of a page per spool page, and `qmspool watch` over an install folder
with two users prints a job that lands in one user's backup folder once, through the monitor's
own tick and settling wait, and nothing for an unrelated change; it stops cleanly on SIGTERM.
A second watch of the same folder is refused, and so is a printer the server does not have; a
print server that cannot be reached, or that takes the connection and never answers, is named,
within a bound, and does not hold a watch that is told to stop."""

import os
import shutil
import signal
import socket
import subprocess
import threading
import time

from harness import cups, pages, proc
from harness.proc import wait_until

TICK_S = 5.0
SETTLE_S = 5.0


def client_env(server, tmp_path):
    env = {k: v for k, v in os.environ.items() if k not in cups.PrintServer.FOREIGN}
    env.update(server.env)
    # No settings file of the user running the tests gets in the way.
    env["XDG_CONFIG_HOME"] = str(tmp_path / "config")
    return env


def stop(watch, seconds=10):
    """SIGTERM, then the exit status once the watch has ended (killed after seconds)."""
    watch.send_signal(signal.SIGTERM)
    try:
        return watch.wait(seconds)
    except subprocess.TimeoutExpired:
        watch.kill()
        raise


class FrozenServer:
    """A print server that takes every connection and never answers, as a stopped cupsd does."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.held = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            self.held.append(conn)

    def close(self):
        self.listener.close()
        for conn in self.held:
            conn.close()


def test_print_sends_one_job_of_every_page_and_names_a_missing_printer(
        qmspool_printing, native_printer, tmp_path):
    env = client_env(native_printer, tmp_path)
    job = str(tmp_path / "test page.pdb")
    assert proc.run([qmspool_printing, "testpage", job]).returncode == 0

    res = proc.run([qmspool_printing, "print", job, "--title", "test page"], env=env)
    assert res.returncode == 0, res.stderr
    assert res.stdout.startswith(f"{native_printer.queue}-") and "(3 pages)" in res.stdout
    pdfs = native_printer.wait_pdfs(1, 30)
    assert len(pdfs) == 1, native_printer.error_log()[-3000:]
    assert pages.pdf_pages(pdfs[0]) == 3

    res = proc.run([qmspool_printing, "print", job, "--printer", "NoSuchPrinter"], env=env)
    assert res.returncode == 1
    assert res.stderr.count("\n") == 1 and "'NoSuchPrinter'" in res.stderr, res.stderr
    assert len(native_printer.settle(5)) == 1


def test_watch_prints_a_job_dropped_into_a_users_folder_once_and_nothing_for_other_changes(
        qmspool_printing, native_printer, tmp_path):
    install = tmp_path / "Palm"
    alice = install / "Alice" / "backup"
    bob = install / "Bob" / "Bob_HotSync"  # the preferences' folder, not "backup"
    for folder in (alice, bob):
        folder.mkdir(parents=True)
    (bob / "Saved_Preferences.PRC").write_bytes(b"prefs")
    job = tmp_path / "job.pdb"
    assert proc.run([qmspool_printing, "testpage", str(job)]).returncode == 0

    log = tmp_path / "watch.log"
    env = client_env(native_printer, tmp_path)
    watch = proc.start([qmspool_printing, "watch", "--install-folder", str(install)],
                       env=env, log_path=str(log))
    try:
        assert wait_until(lambda: "printing on" in log.read_text(), 10), log.read_text()
        assert f"watching {bob}" in log.read_text()

        # A second watch of the same folder, named through a link, would print every job again.
        (tmp_path / "link").symlink_to(install)
        res = proc.run([qmspool_printing, "watch", "--install-folder", str(tmp_path / "link")],
                       env=env, timeout=20)
        assert res.returncode == 1 and f"(PID {watch.pid})" in res.stderr, res.stderr
        assert res.stderr.count("\n") == 1

        shutil.copyfile(job, bob / "Quillmark_Spool_File.pdb")
        # One CUPS job per page, as the job driver prints: three one-page PDFs.
        pdfs = native_printer.wait_pdfs(3, TICK_S + SETTLE_S + 30)
        assert [pages.pdf_pages(p) for p in pdfs] == [1, 1, 1], log.read_text()

        # Something else changes, in the other user's folder: nothing more prints.
        (alice / "notes.txt").write_bytes(b"not a job")
        time.sleep(2 * TICK_S + 1)
        assert len(native_printer.settle(10)) == 3, log.read_text()
        assert watch.poll() is None
    finally:
        code = stop(watch)
    assert code == 0
    assert log.read_text().rstrip().endswith("qmspool watch: stopped")


def test_watch_refuses_a_printer_the_server_lacks_and_a_killed_watch_leaves_no_lock(
        qmspool_printing, native_printer, tmp_path):
    install = tmp_path / "Palm"
    (install / "Alice" / "backup").mkdir(parents=True)
    env = client_env(native_printer, tmp_path)
    watch_cmd = [qmspool_printing, "watch", "--install-folder", str(install)]

    res = proc.run(watch_cmd + ["--printer", "NoSuchPrinter"], env=env, timeout=20)
    assert res.returncode == 1 and "'NoSuchPrinter'" in res.stderr, res.stderr
    assert res.stderr.count("\n") == 1 and "watching" not in res.stderr

    # The lock goes with its process, however it ends: the next watch starts.
    for n, end in enumerate((signal.SIGKILL, signal.SIGTERM)):
        log = tmp_path / f"watch{n}.log"
        watch = proc.start(watch_cmd + ["--printer", native_printer.queue], env=env,
                           log_path=str(log))
        try:
            assert wait_until(lambda: f"printing on '{native_printer.queue}'" in log.read_text(),
                              10), log.read_text()
        finally:
            watch.send_signal(end)
            code = watch.wait(10)
        assert code == (0 if end == signal.SIGTERM else -signal.SIGKILL), log.read_text()


def test_print_and_watch_name_a_print_server_that_refuses_or_never_answers(
        qmspool_printing, tmp_path):
    env = {k: v for k, v in os.environ.items() if k not in cups.PrintServer.FOREIGN}
    env["XDG_CONFIG_HOME"] = str(tmp_path / "config")
    env["CUPS_SERVERROOT"] = str(tmp_path / "cups")  # no client.conf or lpoptions of the host
    job = str(tmp_path / "job.pdb")
    assert proc.run([qmspool_printing, "testpage", job]).returncode == 0
    install = tmp_path / "Palm"
    (install / "Alice" / "backup").mkdir(parents=True)

    with socket.socket() as s:  # a port nobody listens on
        s.bind(("127.0.0.1", 0))
        closed = s.getsockname()[1]
    res = proc.run([qmspool_printing, "print", job], env=dict(env, CUPS_SERVER=f"127.0.0.1:{closed}"))
    assert res.returncode == 1 and res.stderr.count("\n") == 1, res.stderr
    assert f"cannot reach the print server at 127.0.0.1:{closed}: Connection refused" in res.stderr

    frozen = FrozenServer()
    env["CUPS_SERVER"] = f"127.0.0.1:{frozen.port}"
    log = tmp_path / "watch.log"
    printing = subprocess.Popen([qmspool_printing, "print", job, "--printer", "P"], env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, text=True)
    try:
        watch = proc.start([qmspool_printing, "watch", "--install-folder", str(install)],
                           env=env, log_path=str(log))
        # Both wait on the server; told to stop, the watch does not wait for it.
        assert wait_until(lambda: len(frozen.held) >= 2, 10)
        assert stop(watch, 15) == 0, log.read_text()
        assert log.read_text().rstrip().endswith("qmspool watch: stopped")

        _, err = printing.communicate(timeout=120)
        assert printing.returncode == 1
        assert f"the print server at 127.0.0.1:{frozen.port} did not answer" in err, err
    finally:
        if printing.poll() is None:
            printing.kill()
        frozen.close()
