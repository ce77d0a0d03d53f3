"""qmspool printing natively on Linux through the private CUPS server (no Wine): `qmspool print`
sends a job as one CUPS job of a page per spool page, and `qmspool watch` over an install folder
with two users prints a job that lands in one user's backup folder once, through the monitor's
own tick and settling wait, and nothing for an unrelated change; a backup folder deleted and made
again is watched again, its job printed; a folder whose name holds backslashes, which would lead outside the
install folder, is never used; it stops cleanly on SIGTERM."""

import os
import shutil
import signal
import subprocess
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
    # A user folder named "x\..\..\outside": joined with backslashes and read back as a path,
    # it is tmp_path/outside, whose spool file is nobody's job here.
    outside = tmp_path / "outside" / "backup"
    for folder in (alice, bob, outside, install / "x", install / "x\\..\\..\\outside"):
        folder.mkdir(parents=True)
    (bob / "Saved_Preferences.PRC").write_bytes(b"prefs")
    job = tmp_path / "job.pdb"
    assert proc.run([qmspool_printing, "testpage", str(job)]).returncode == 0
    shutil.copyfile(job, outside / "Quillmark Spool File.pdb")

    log = tmp_path / "watch.log"
    watch = proc.start([qmspool_printing, "watch", "--install-folder", str(install)],
                       env=client_env(native_printer, tmp_path), log_path=str(log))
    try:
        assert wait_until(lambda: "printing on" in log.read_text(), 10), log.read_text()
        assert f"watching {bob}" in log.read_text()
        assert f"skipped '{install}/x\\\\..\\\\..\\\\outside'" in log.read_text()
        assert "/../" not in log.read_text(), log.read_text()
        assert (outside / "Quillmark Spool File.pdb").exists()

        # Alice's backup folder is deleted; its watch fires for that, and the re-checks a fired
        # watch earns go to Bob's folder once a job lands there.
        shutil.rmtree(alice)
        assert wait_until(lambda: f"'{alice}' went" in log.read_text(), TICK_S + 5), \
            log.read_text()
        shutil.copyfile(job, bob / "Quillmark_Spool_File.pdb")
        # One CUPS job per page, as the job driver prints: three one-page PDFs.
        pdfs = native_printer.wait_pdfs(3, TICK_S + SETTLE_S + 30)
        assert [pages.pdf_pages(p) for p in pdfs] == [1, 1, 1], log.read_text()

        # Alice's folder made again with a job in it at once, before its watch can be back: the
        # job prints.
        alice.mkdir()
        shutil.copyfile(job, alice / "Quillmark Spool File.pdb")
        assert len(native_printer.wait_pdfs(6, TICK_S + SETTLE_S + 30)) == 6, log.read_text()
        assert f"watching '{alice}' again" in log.read_text()

        # Something else changes beside Bob's job: nothing more prints.
        (bob / "notes.txt").write_bytes(b"not a job")
        time.sleep(2 * TICK_S + 1)
        assert len(native_printer.settle(10)) == 6, log.read_text()
        assert watch.poll() is None
        assert (outside / "Quillmark Spool File.pdb").exists()
    finally:
        watch.send_signal(signal.SIGTERM)
        try:
            code = watch.wait(10)
        except subprocess.TimeoutExpired:
            watch.kill()
            raise
    assert code == 0
    assert log.read_text().rstrip().endswith("qmspool watch: stopped")
