"""qmspool printing natively on Linux through the private CUPS server (no Wine): `qmspool print`
sends a job as one CUPS job of a page per spool page and cancels it when a page fails or a signal
interrupts it, naming files and printers escaped, `qmspool pdf`
keeps a page of huge bands within a memory limit or fails in one line, and `qmspool watch` over an
install folder with two users prints a job that lands in one user's backup folder once, through the
monitor's own tick and settling wait, and nothing for an unrelated change; a backup folder deleted
and made again is watched again, its job printed; a folder whose name holds backslashes, which
would lead outside the install folder, is never used; it stops cleanly on SIGTERM. A second watch
of the same folder is refused, and so is a printer the server does not have; a print server that
cannot be reached, or that takes the connection and never answers, is named, within a bound, and
does not hold a watch that is told to stop. `qmspool pdf` over an old file on a file system that
fills up, and interrupted or killed while it writes: the old file stays whole and no temporary file
stays behind."""

import os
import shutil
import signal
import socket
import struct
import subprocess
import threading
import time

import pytest

from harness import cups, pages, proc, spooljob
from harness.proc import wait_until

TICK_S = 5.0
SETTLE_S = 5.0


def repeated_band(kind, flags, width, height, dpi_x, dpi_y, row: bytes) -> bytes:
    """A run-coded band whose rows all repeat row: the first row as literals, then copies from
    the row above, so a band of hundreds of megabytes takes a few hundred kilobytes."""
    codes = bytearray()
    for i in range(0, len(row), 64):
        piece = row[i:i + 64]
        codes += bytes((((len(piece) - 1) << 2) | 1,)) + piece
    left = len(row) * (height - 1)
    while left > 0:
        n = min(64, left)
        codes += bytes((((n - 1) << 2) | 3,))
        left -= n
    head = struct.pack(">BBHHHHHHI", kind, flags | spooljob.COMPRESSED, width, height, 0, 0,
                       dpi_x, dpi_y, 0)
    return head + bytes(codes)


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



def default_signals():
    """The signals' default actions, as a command typed at a terminal has them: a test run
    started in the background inherits SIGINT ignored, and qmspool rightly keeps an ignored
    signal ignored."""
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, signal.SIG_DFL)


def interrupted(args, sig, ready, **popen) -> int:
    """Runs qmspool with `args`, sends it `sig` once `ready()` holds (or it has ended), and gives
    its exit status."""
    process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, preexec_fn=default_signals, **popen)
    try:
        assert wait_until(lambda: ready() or process.poll() is not None, 30, step=0.005)
        process.send_signal(sig)
        return process.wait(30)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


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

    # A printer's name and a file's with a line end and a terminal's clear-screen in them are
    # shown escaped, in one line.
    res = proc.run([qmspool_printing, "print", job, "--printer", "NoSuch\nPrinter\x1b[2J"],
                   env=env)
    assert res.returncode == 1
    assert res.stderr.count("\n") == 1 and "'NoSuch\\nPrinter\\x1b[2J'" in res.stderr, \
        res.stderr
    assert len(native_printer.settle(5)) == 1

    # The first 1000 bytes of the job: named in one line, and no CUPS job made.
    cut = tmp_path / "cut.pdb"
    cut.write_bytes(open(job, "rb").read()[:1000])
    res = proc.run([qmspool_printing, "print", str(cut)], env=env)
    assert res.returncode == 1
    assert res.stderr == (f"qmspool: '{cut}' is cut short: record 3 of 10 starts past its end "
                          "(1000 bytes)\n"), res.stderr
    assert len(native_printer.settle(5)) == 1

    # A job whose second page holds more image than a page may (three bands in many colours
    # at 1200 dpi): the job is cancelled after its first page went, and nothing prints.
    stripes = (spooljob.rgb565(200, 60, 30) + spooljob.rgb565(30, 60, 200)) * 2500
    band = repeated_band(spooljob.KIND_BAND16, spooljob.CONTINUED, 5000, 2700, 1200, 1200,
                         stripes)
    heavy = str(tmp_path / "heavy\n\x1b[2J.pdb")
    with open(heavy, "wb") as f:
        f.write(spooljob.container([spooljob.text_record(b"page 1"), band, band,
                                    band[:1] + bytes((band[1] & ~spooljob.CONTINUED,)) + band[2:]]))
    res = proc.run([qmspool_printing, "print", heavy], env=env)
    assert res.returncode == 1, res.stdout
    assert res.stderr.count("\n") == 1 and ": page 2: " in res.stderr, res.stderr
    assert "heavy\\n\\x1b[2J.pdb" in res.stderr, res.stderr
    assert len(native_printer.settle(15)) == 1, native_printer.error_log()[-3000:]

    # Interrupted while it sends a long job: the job is cancelled at once, not left open on the
    # server until its own timeout, and the print ends by the signal.
    noise = tmp_path / "noise.pdb"
    noise.write_bytes(spooljob.container([
        spooljob.band(spooljob.KIND_BAND16, 0, 600, 600, 0, 0, 100, os.urandom(600 * 600 * 2))
        for _ in range(60)]))
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        before = native_printer.pending_jobs()
        # Ours is the job that appears once it runs.
        ours = set()

        def sending():
            ours.update(native_printer.pending_jobs() - before)
            return bool(ours)
        code = interrupted([qmspool_printing, "print", str(noise)], sig, sending, env=env)
        assert code == -sig, f"{sig.name}: ended with {code}"
        assert wait_until(lambda: not native_printer.pending_jobs() & ours, 10), sig.name
        assert len(native_printer.pdfs()) == 1, sig.name


def test_pdf_under_a_memory_limit_writes_the_job_or_fails_in_one_line(qmspool, tmp_path):
    # Six 1-bit bands of 32767 x 2730 stripes on one page, a megabyte of spool file: each band's
    # surface is 268 MB, and cairo holds the six until the page is written: 2.1 GB in its 4-byte
    # pixels, 67 MB as masks of a bit a pixel.
    bands = [repeated_band(spooljob.KIND_BAND1, spooljob.CONTINUED if i < 5 else 0, 32767, 2730,
                           4096, 4096, b"\xaa" * 4096) for i in range(6)]
    job = tmp_path / "six bands.pdb"
    job.write_bytes(spooljob.container(bands))
    out = tmp_path / "out.pdf"
    # Whole in 600 MB of address space, its six bands on its page; in 200 MB, refused.
    for limit_kb, status in ((200_000, 1), (600_000, 0)):
        res = proc.run(["bash", "-c", f'ulimit -v {limit_kb}; exec "$0" pdf "$1" "$2"', qmspool,
                        str(job), str(out)])
        assert res.returncode == status, (limit_kb, res.returncode, res.stderr)
        written = [] if status else ["out.pdf"]  # and no temporary file either way
        assert sorted(os.listdir(tmp_path)) == sorted(["six bands.pdb"] + written)
        if status:
            assert res.stderr == f"qmspool: cannot write '{out}': page 1: out of memory\n"
        else:
            assert pages.pdf_pages(str(out)) == 1
            images = proc.run(["pdfimages", "-list", str(out)]).stdout
            assert images.count(" stencil ") == 6, images


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
    env = client_env(native_printer, tmp_path)
    watch = proc.start([qmspool_printing, "watch", "--install-folder", str(install)],
                       env=env, log_path=str(log))
    try:
        assert wait_until(lambda: "printing on" in log.read_text(), 10), log.read_text()
        assert f"watching {bob}" in log.read_text()
        assert (f"skipped user folder '{install}/x': it holds no 'backup' folder and no folder "
                "with Saved_Preferences.PRC in it") in log.read_text(), log.read_text()
        assert f"skipped '{install}/x\\\\..\\\\..\\\\outside'" in log.read_text()
        assert "/../" not in log.read_text(), log.read_text()
        assert (outside / "Quillmark Spool File.pdb").exists()

        # A second watch of the same folder, named through a link, would print every job again.
        (tmp_path / "link").symlink_to(install)
        res = proc.run([qmspool_printing, "watch", "--install-folder", str(tmp_path / "link")],
                       env=env, timeout=20)
        assert res.returncode == 1 and f"(PID {watch.pid})" in res.stderr, res.stderr
        assert res.stderr.count("\n") == 1

        # Alice's backup folder is deleted; its watch fires for that, and the re-checks a fired
        # watch earns go to Bob's folder once a job lands there.
        shutil.rmtree(alice)
        assert wait_until(lambda: f"'{alice}' went" in log.read_text(), TICK_S + 5), \
            log.read_text()
        shutil.copyfile(job, bob / "Quillmark_Spool_File.pdb")
        # One CUPS job per page, as the job driver prints: three one-page PDFs.
        pdfs = native_printer.wait_pdfs(3, TICK_S + SETTLE_S + 30)
        assert [pages.pdf_pages(p) for p in pdfs] == [1, 1, 1], log.read_text()
        # The journal names the user and the file found, then each page with its CUPS job.
        queue = native_printer.queue
        assert wait_until(lambda: "page 3 of the job of user 'Bob'" in log.read_text(), 10)
        journal = [line.removeprefix("qmspool watch: ") for line in log.read_text().splitlines()]
        found = journal.index(f"found the job of user 'Bob': '{bob}/Quillmark_Spool_File.pdb'")
        printed = [line for line in journal[found + 1:] if line.startswith("page ")][:3]
        ids = [line.rpartition(f" as CUPS job {queue}-")[2] for line in printed]
        assert printed == [f"page {n} of the job of user 'Bob' printed on '{queue}' as CUPS job "
                           f"{queue}-{i}" for n, i in zip((1, 2, 3), ids)], journal
        assert all(i.isdigit() for i in ids) and len(set(ids)) == 3, ids

        # Alice's folder made again with a job in it at once, before its watch can be back: the
        # job prints.
        alice.mkdir()
        shutil.copyfile(job, alice / "Quillmark Spool File.pdb")
        assert len(native_printer.wait_pdfs(6, TICK_S + SETTLE_S + 30)) == 6, log.read_text()
        assert f"watching '{alice}' again" in log.read_text()

        # Bob's job rewritten as its first 1000 bytes, as a sync cut off leaves it: the journal
        # names what is missing, and nothing of it prints.
        (bob / "Quillmark_Spool_File.pdb").write_bytes(job.read_bytes()[:1000])
        assert wait_until(lambda: "cut short" in log.read_text(), 2 * TICK_S + SETTLE_S + 10)
        assert (f"job file '{bob}/Quillmark_Spool_File.pdb' not printed: it is cut short: "
                "record 3 of 10 starts past its end (1000 bytes)") in log.read_text()

        # Something else changes beside Bob's job: nothing more prints.
        (bob / "notes.txt").write_bytes(b"not a job")
        time.sleep(2 * TICK_S + 1)
        assert len(native_printer.settle(10)) == 6, log.read_text()
        assert watch.poll() is None
        assert (outside / "Quillmark Spool File.pdb").exists()
    finally:
        code = stop(watch)
    assert code == 0
    assert log.read_text().rstrip().endswith("qmspool watch: stopped")


@pytest.fixture
def qmspool_pdf(qmspool):
    if "qmspool pdf" not in proc.run([qmspool, "--help"]).stdout:
        pytest.skip("qmspool was built without its pdf command (libcairo2-dev)")
    return qmspool


def test_render_and_pdf_set_text_in_the_font_qmspool_carries_on_a_machine_without_fonts(
        qmspool_pdf, tmp_path):
    # Every font of the machine out of sight: a mount namespace whose font folders are empty,
    # and fontconfig told of none.
    if os.geteuid() != 0 or not shutil.which("unshare"):
        pytest.skip("needs root and unshare to hide the machine's fonts")
    job = tmp_path / "text.pdb"
    words = b"Quillmark sets this line"
    job.write_bytes(spooljob.container([spooljob.text_record(words * 3)]))
    conf = tmp_path / "fonts.conf"
    conf.write_text('<?xml version="1.0"?>\n<fontconfig></fontconfig>\n')
    hide = " && ".join(f"mount -t tmpfs none {d}" for d in
                       ("/usr/share/fonts", "/usr/local/share/fonts") if os.path.isdir(d))
    ppm, pdf = tmp_path / "page.ppm", tmp_path / "job.pdf"
    env = dict(os.environ, FONTCONFIG_FILE=str(conf), HOME=str(tmp_path))
    res = proc.run(["unshare", "-m", "sh", "-c",
                    hide + ' && fc-list | wc -l >&2 && "$0" render "$1" --page 1 --dpi 150 '
                    '--out "$2" && exec "$0" pdf "$1" "$3"', qmspool_pdf, str(job), str(ppm),
                    str(pdf)], env=env)
    if res.returncode != 0 and "unshare" in res.stderr:
        pytest.skip(f"no mount namespace here: {res.stderr.strip()}")
    assert res.returncode == 0 and res.stderr == "0\n", res.stderr  # fontconfig saw no font

    # The text is on the rendered page; the PDF embeds the one face render set it in and
    # nothing else, and shows it where render drew it.
    page = pages.read_ppm(str(ppm))
    assert pages.coloured_cells(page, 10, (0, 0, page.width, 40)) >= 60
    fonts = proc.run(["pdffonts", str(pdf)]).stdout.splitlines()[2:]
    assert len(fonts) == 1 and fonts[0].split()[0].endswith("+LiberationMono"), fonts
    assert fonts[0].split()[1:2] == ["TrueType"] and " yes yes " in fonts[0], fonts
    assert words.decode() in proc.run(["pdftotext", str(pdf), "-"]).stdout
    printed = pages.rasterise_pdf(str(pdf), 1, 150, str(tmp_path / "pdf"))
    assert pages.differing_cells(printed, page, 10, (0, 0, page.width, 40)) == []


def temporaries(folder):
    return sorted(f for f in os.listdir(folder) if f.startswith(".qmspool-"))


def test_pdf_on_a_file_system_that_fills_up_fails_and_leaves_the_old_file_as_it_was(
        qmspool_pdf, tmp_path):
    if os.geteuid() != 0:
        # The suite's own limit, not a missing package: a user without root cannot mount one.
        pytest.skip("[by design] mounting a small file system takes root")
    job = tmp_path / "job.pdb"
    assert proc.run([qmspool_pdf, "testpage", str(job)]).returncode == 0
    assert proc.run([qmspool_pdf, "pdf", str(job), str(tmp_path / "whole.pdf")]).returncode == 0
    size = (tmp_path / "whole.pdf").stat().st_size
    page = 4096
    room = (size // page + 8) * page
    small = tmp_path / "small"
    small.mkdir()
    res = proc.run(["mount", "-t", "tmpfs", "-o", f"size={room}", "tmpfs", str(small)])
    if res.returncode != 0:
        # A container may forbid mounts to root as well; nothing a package would give.
        pytest.skip(f"[by design] cannot mount a tmpfs: {res.stderr.strip()}")
    try:
        out = small / "out.pdf"
        outcomes = set()
        # The old file leaves 0, 1, 2 ... pages free: the disk fills up at every point of the new
        # file, among the pages and while cairo finishes the document.
        for free in range(size // page + 3):
            old = bytes([free % 251]) * (room - free * page - 100)
            out.write_bytes(old)
            res = proc.run([qmspool_pdf, "pdf", str(job), str(out)])
            assert temporaries(small) == [], free
            if res.returncode == 0:
                data = out.read_bytes()
                assert len(data) == size and data.endswith(b"%%EOF\n"), free
                outcomes.add("whole")
            else:
                assert res.returncode == 1
                assert res.stderr.count("\n") == 1 and "No space left" in res.stderr, res.stderr
                assert out.read_bytes() == old, f"{free} pages free: the old file was replaced"
                outcomes.add("refused")
        assert outcomes == {"whole", "refused"}
    finally:
        subprocess.run(["umount", "-l", str(small)], check=False)


def test_pdf_interrupted_removes_its_temporary_file_and_a_killed_ones_goes_with_the_next_run(
        qmspool_pdf, tmp_path):
    # Pages of noise, a few seconds of work: long enough to be caught writing.
    job = tmp_path / "noise.pdb"
    job.write_bytes(spooljob.container([
        spooljob.band(spooljob.KIND_BAND16, 0, 600, 600, 0, 0, 100, os.urandom(600 * 600 * 2))
        for _ in range(60)]))
    out = tmp_path / "out.pdf"
    out.write_bytes(b"old")
    killed = []
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGKILL):
        writing = []

        def started():
            writing[:] = temporaries(tmp_path)
            return bool(writing)
        code = interrupted([qmspool_pdf, "pdf", str(job), str(out)], sig, started)
        assert code == -sig, f"{sig.name}: ended with {code} before it could be stopped"
        assert out.read_bytes() == b"old"
        if sig == signal.SIGKILL:
            killed = writing
            assert temporaries(tmp_path) == writing
        else:
            assert temporaries(tmp_path) == [], sig.name

    # The next run for the same file removes what the killed one left, and nothing else.
    unrelated = tmp_path / ".qmspool-1-0-out.pdf"
    unrelated.write_bytes(b"pid 1 runs")
    assert len(killed) == 1
    res = proc.run([qmspool_pdf, "pdf", str(job), str(out), "--pages", "1"])
    assert res.returncode == 0, res.stderr
    assert temporaries(tmp_path) == [unrelated.name]
    assert out.read_bytes().startswith(b"%PDF-")


def test_watch_refuses_a_printer_the_server_lacks_and_a_killed_watch_leaves_no_lock(
        qmspool_printing, native_printer, tmp_path):
    # A path longer than the status line the Windows program shows, which the journal names
    # whole.
    install = tmp_path / ("Palm Desktop " + "x" * 200)
    backup = install / "Alice" / "backup"
    backup.mkdir(parents=True)
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
            assert f"watching {backup}\n" in log.read_text()
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


def test_config_with_a_settings_file_it_cannot_read_says_so_and_fails(qmspool_printing, tmp_path):
    env = {k: v for k, v in os.environ.items() if k not in cups.PrintServer.FOREIGN}
    env["XDG_CONFIG_HOME"] = str(tmp_path / "config")
    settings = tmp_path / "config" / "quillmark" / "settings"
    settings.parent.mkdir(parents=True)
    # A folder in its place; a file its reader may not read (root reads any: read as nobody).
    cases = [("folder", [], "not a regular file")]
    if os.geteuid() == 0 and shutil.which("setpriv"):
        cases.append(("refused", ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"],
                      "Permission denied"))
    for kind, run_as, why in cases:
        if kind == "folder":
            settings.mkdir()
        else:
            settings.rmdir()
            settings.write_text("[Software\\U.S. Robotics\\Pilot Desktop\\Core]\nPath=/x\n")
            settings.chmod(0)
        res = proc.run(run_as + [qmspool_printing, "config"], env=env)
        assert (res.returncode, res.stdout) == (1, ""), (kind, res.stdout)
        assert res.stderr == f"qmspool config: cannot read the settings file '{settings}': {why}\n"
