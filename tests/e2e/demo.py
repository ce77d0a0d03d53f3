"""The spooler's main job, shown end to end (scripts/demo runs this after building): QMSpooler.exe
under Wine prints the demonstration job from its command line on a private CUPS printer that
writes PDFs, with the same harness the end-to-end tests use.

    python3 tests/e2e/demo.py OUT_DIR MINGW_BUILD QMSPOOL

It leaves in OUT_DIR the job (job.pdb), the printed pages (pdf/), a screenshot of the window taken
while the job prints (window.png), and the program's log; the Wine prefix is kept in OUT_DIR/wine
for the next run. Xvfb, the wineserver and cupsd go down on every way out."""

import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import cups, proc, screenshot, settings  # noqa: E402
from harness.driver import Driver  # noqa: E402
from harness.registry import Registry  # noqa: E402
from harness.wine import WineEnv  # noqa: E402
from harness.palm import PalmDesktop  # noqa: E402

JOB = r"C:\Quillmark\job.pdb"
PAGES = 3  # of the demonstration job


def find(build, name):
    for folder, dirs, files in os.walk(build):
        dirs[:] = [d for d in dirs if d != "CMakeFiles"]
        if name in files:
            return os.path.join(folder, name)
    raise SystemExit(f"demo: {name} is not built in {build}")


def main(out_dir, mingw_build, qmspool):
    out_dir = os.path.abspath(out_dir)
    spooler_exe = find(mingw_build, "QMSpooler.exe")
    driver_exe = find(os.path.join(mingw_build, "tests"), "driver.exe")
    why = cups.available()
    if why:
        raise SystemExit(f"demo: {why}")
    # A terminating signal unwinds through the finally blocks below, like an error does.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(129))

    wine = WineEnv(os.path.join(out_dir, "wine"))
    server = cups.PrintServer(os.path.join(out_dir, "cups"))
    print("demo: starting Wine (a new prefix takes about 15 s) and a private CUPS printer")
    try:
        wine.up(fresh=False)
        server.up()
        for name in cups.PrintServer.FOREIGN:
            wine.env.pop(name, None)
        wine.env.update(server.env)
        pdf_out = server.out_dir("demo")
        return run(wine, server, pdf_out, out_dir, spooler_exe, driver_exe, qmspool)
    finally:
        server.down()
        wine.down()


def run(wine, server, pdf_out, out_dir, spooler_exe, driver_exe, qmspool):
    registry = Registry(wine)
    driver = Driver(wine, driver_exe)
    printer = driver.printer()
    print(f"demo: Wine's default printer is {printer['name']} "
          f"({printer['logpixelsx']} dpi, {printer['horzres']} x {printer['vertres']} dots)")

    # A Palm Desktop folder with one user, so that start-up asks nothing; the default printer
    # chosen without the print dialog; and a prompt before each page. The prompt is where the
    # window can be seen mid-job: while a page prints the program's thread is busy and Wine
    # puts nothing it draws on the screen until the thread takes messages again, as a modal
    # box does.
    palm = PalmDesktop(wine, registry)
    palm.remove()
    palm.register()
    palm.add_user("Demo User")
    registry.delete_key(settings.KEY)
    settings.store(registry, {"show_dialog": 0, "pause_pages": 1})
    job = wine.unix_path(JOB)
    os.makedirs(os.path.dirname(job), exist_ok=True)
    res = proc.run([qmspool, "testpage", job])
    if res.returncode != 0:
        raise SystemExit(f"demo: qmspool testpage failed: {res.stderr}")
    shutil.copy(job, os.path.join(out_dir, "job.pdb"))

    log = os.path.join(out_dir, "QMSpooler.log")
    if os.path.exists(log):
        os.remove(log)
    print(f'demo: wine QMSpooler.exe -t "{JOB}"')
    t0 = time.monotonic()
    spooler = wine.start(spooler_exe, "-t", JOB, log_path=log)
    shot = None
    try:
        for page in range(1, PAGES + 1):
            box = driver.wait_box(60)
            if box is None:
                break
            print(f"demo: {box.caption}: {box.text} ({page})")
            if page == 2:
                # The window while the job prints: the first page has come out of the printer.
                server.wait_pdfs(1, 30)
                shot = screenshot.take(wine.display, os.path.join(out_dir, "window.png"))
            driver.press_ok()
        try:
            code = spooler.wait(timeout=90)
        except subprocess.TimeoutExpired:
            raise SystemExit("demo: QMSpooler.exe did not end within 90 s") from None
    finally:
        if spooler.poll() is None:
            spooler.kill()
            spooler.wait(10)
    seconds = time.monotonic() - t0

    pdfs = server.wait_pdfs(PAGES, 60)
    pdf_dir = os.path.join(out_dir, "pdf")
    shutil.rmtree(pdf_dir, ignore_errors=True)
    os.makedirs(pdf_dir)
    print(f"demo: QMSpooler.exe ended with {code} after {seconds:.1f} s "
          f"and printed {len(pdfs)} documents:")
    for k, pdf in enumerate(pdfs, 1):
        kept = os.path.join(pdf_dir, f"page-{k}.pdf")
        shutil.copyfile(pdf, kept)  # readable by all, unlike what cups-pdf leaves
        print(f"  {os.path.relpath(kept)}")
    if shot and os.path.exists(shot):
        print(f"demo: the window while printing: {os.path.relpath(shot)}")
    print(f"demo: the job: {os.path.relpath(os.path.join(out_dir, 'job.pdb'))}")
    return 0 if code == 0 and len(pdfs) == PAGES else 1


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
