"""A private CUPS server with one PDF printer (the cups-pdf back end) as its default, so that every
document a Windows program prints under Wine becomes a PDF file in a folder we choose.

The server is a cupsd of its own: its configuration, spool, logs and socket live in one folder,
it listens on that socket only, and Wine (through libcups) finds it by CUPS_SERVER. Nothing of the
system's own CUPS is used or changed, except one file: cups-pdf reads its per-queue settings from
/etc/cups/cups-pdf-QUEUE.conf, a path built into it, so that file is written at start and removed
at stop. The queue's name is derived from the folder, so two servers never share it.

cups-pdf writes its PDFs below /var/spool/cups-pdf, the one place its sandbox profile (where the
host enforces one) lets it write; out_dir() points it at a new folder there, and the caller copies
what it finds.

Also a command line, for scripts (scripts/demo):
    python3 tests/e2e/harness/cups.py up DIR      start; prints "export CUPS_SERVER=..." lines
    python3 tests/e2e/harness/cups.py down DIR    stop what "up" started; safe to repeat
"""

import glob
import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys

try:
    from . import proc
except ImportError:  # run as a script
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import proc  # type: ignore

CUPS_PDF_BACKEND = "/usr/lib/cups/backend/cups-pdf"
CUPS_PDF_SPOOL = "/var/spool/cups-pdf"
PPD_CANDIDATES = ("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd",
                  "/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd")
# The longest path a Unix socket can have (sun_path), less the terminator.
SOCKET_PATH_MAX = 107


def available() -> str:
    """Why a private PDF printer cannot be run here, or "" when it can."""
    if not shutil.which("cupsd") and not os.path.exists("/usr/sbin/cupsd"):
        return "cupsd is not installed (scripts/setup installs cups)"
    if not os.path.exists(CUPS_PDF_BACKEND):
        return "the cups-pdf back end is not installed (printer-driver-cups-pdf)"
    if not any(map(os.path.exists, PPD_CANDIDATES)):
        return "the cups-pdf printer description is missing"
    if os.geteuid() != 0:
        return "a CUPS server with the cups-pdf back end needs root"
    return ""


class PrintServer:
    """One private cupsd with one default PDF queue, all kept under folder."""

    def __init__(self, folder: str):
        self.folder = os.path.abspath(folder)
        tag = hashlib.sha1(self.folder.encode()).hexdigest()[:8]
        self.queue = f"QM_PDF_{tag}"
        self.socket = os.path.join(self.folder, "cups.sock")
        if len(self.socket) > SOCKET_PATH_MAX:
            self.socket = f"/tmp/qm-cups-{tag}.sock"
        self.queue_conf = f"/etc/cups/cups-pdf-{self.queue}.conf"
        self.spool_root = os.path.join(CUPS_PDF_SPOOL, self.queue)
        self._out = None

    @property
    def env(self) -> dict:
        """What a client (Wine, lp, lpstat) needs to find this server. The client's own settings
        folder is this server's, so that no default printer or server named in the system's or the
        user's client settings (client.conf, lpoptions) gets in the way."""
        return {"CUPS_SERVER": self.socket, "CUPS_SERVERROOT": self._path("etc")}

    # Variables that name another printer or server to a client; the environment of programs
    # printing here goes without them.
    FOREIGN = ("LPDEST", "PRINTER", "CUPS_USER", "IPP_PORT")

    def up(self):
        """Starts the server afresh (stopping one left from an earlier run) with the PDF queue as
        its default; output goes to a folder named "default" until out_dir() says otherwise."""
        why = available()
        if why:
            raise RuntimeError(why)
        self.down()
        for sub in ("etc/ppd", "etc/ssl", "spool/tmp", "cache", "run", "log"):
            os.makedirs(os.path.join(self.folder, sub), exist_ok=True)
        # The filters run as lp and read the spooled documents: the folders must let them in.
        for sub in ("", "spool", "spool/tmp", "cache", "run"):
            os.chmod(os.path.join(self.folder, sub), 0o755 if sub != "spool/tmp" else 0o1777)
        self._write_config()
        self.out_dir("default")
        log = open(os.path.join(self.folder, "log", "cupsd.out"), "ab")
        try:
            daemon = subprocess.Popen(
                [self._cupsd(), "-f", "-c", self._path("etc/cupsd.conf"),
                 "-s", self._path("etc/cups-files.conf")],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                start_new_session=True, env=_clean_env())
        finally:
            log.close()
        with open(self._path("cupsd.pid"), "w") as f:
            f.write(str(daemon.pid))
        if not proc.wait_until(lambda: self._ready(daemon), 30, 0.1):
            self.down()
            raise RuntimeError("cupsd did not come up within 30 s; see "
                               + self._path("log/error_log"))
        ppd = next(p for p in PPD_CANDIDATES if os.path.exists(p))
        # Letter paper, as the jobs are laid out; 300 dpi, the description's own default.
        self._client("lpadmin", "-p", self.queue, "-E", "-v", f"cups-pdf:/{self.queue}",
                     "-P", ppd, "-o", "PageSize=Letter", "-o", "printer-error-policy=abort-job")
        self._client("lpadmin", "-d", self.queue)
        return self

    def down(self):
        pid = _read_int(self._path("cupsd.pid"))
        if pid and _is_cupsd(pid):
            os.kill(pid, signal.SIGTERM)
            if not proc.wait_until(lambda: not _is_cupsd(pid), 10, 0.1):
                os.kill(pid, signal.SIGKILL)
                proc.wait_until(lambda: not _is_cupsd(pid), 5, 0.1)
        for path in (self._path("cupsd.pid"), self.queue_conf, self.socket):
            if os.path.exists(path):
                os.remove(path)
        shutil.rmtree(self.spool_root, ignore_errors=True)

    def out_dir(self, name: str) -> str:
        """Sends the PDFs of the jobs from now on to a new, empty folder of that name; returns it.
        cups-pdf reads its settings afresh for every job."""
        self._out = os.path.join(self.spool_root, re.sub(r"[^A-Za-z0-9_.-]+", "_", name))
        shutil.rmtree(self._out, ignore_errors=True)
        os.makedirs(self._out)
        # cups-pdf writes as the job's owner, or as nobody for an owner it does not know.
        os.chmod(self.spool_root, 0o755)
        os.chmod(self._out, 0o1777)
        # Label 2 puts the job's number in every name, so names sort in the order printed and a
        # second job of the same title does not overwrite the first.
        with open(self.queue_conf, "w") as f:
            f.write(f"Out {self._out}\nAnonDirName {self._out}\nLabel 2\n"
                    f"Log {self._path('log')}\nLogType 3\n")
        return self._out

    def refuse_jobs(self, refuse: bool = True):
        """Makes the queue reject new jobs (as a printer taken out of service does), or accept
        them again."""
        self._client("cupsreject" if refuse else "cupsaccept", self.queue)

    def hold_jobs(self, hold: bool = True):
        """Stops the queue (jobs wait in it, as behind a printer that is switched off), or
        starts it again."""
        self._client("cupsdisable" if hold else "cupsenable", self.queue)

    def pdfs(self):
        """The finished PDFs in the output folder, in the order their jobs were printed."""
        names = glob.glob(os.path.join(self._out, "*.pdf"))
        return sorted(names, key=_job_number)

    def pending_jobs(self) -> set:
        """The ids (QUEUE-N) of the jobs the server has not finished: a test tells its own from
        any an earlier run left in the spool."""
        res = self._client("lpstat", "-o", check=False)
        return {line.split()[0] for line in res.stdout.splitlines() if line.strip()}

    def jobs_pending(self) -> int:
        """Jobs the server has not finished (still queued or being converted)."""
        res = self._client("lpstat", "-o", check=False)
        return len([line for line in res.stdout.splitlines() if line.strip()])

    def wait_pdfs(self, count: int, seconds: float):
        """The PDFs once there are at least count and no job is left in the queue, or whatever
        there is after seconds. A PDF counts once its job has left the queue: cups-pdf writes the
        file while the job is still listed."""
        proc.wait_until(lambda: len(self.pdfs()) >= count and self.jobs_pending() == 0,
                        seconds, 0.25)
        return self.pdfs()

    def settle(self, seconds: float = 10):
        """Waits until the queue is empty: every job given so far is a file, or has failed."""
        proc.wait_until(lambda: self.jobs_pending() == 0, seconds, 0.25)
        return self.pdfs()

    def error_log(self) -> str:
        try:
            with open(self._path("log/error_log"), encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    # --- inside

    def _path(self, rel):
        return os.path.join(self.folder, rel)

    def _cupsd(self):
        # Where the host enforces AppArmor, /usr/sbin/cupsd is held to the system's folders and
        # could not read this configuration; the same program from another path is not.
        cupsd = shutil.which("cupsd") or "/usr/sbin/cupsd"
        if _apparmor_enabled():
            copy = self._path("run/cupsd")
            shutil.copy2(cupsd, copy)
            return copy
        return cupsd

    def _write_config(self):
        d = self.folder
        with open(self._path("etc/cups-files.conf"), "w") as f:
            f.write(f"""# A private CUPS server for the end-to-end tests; see tests/e2e/harness/cups.py.
ServerRoot {d}/etc
RequestRoot {d}/spool
TempDir {d}/spool/tmp
CacheDir {d}/cache
StateDir {d}/run
ServerBin /usr/lib/cups
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
ErrorLog {d}/log/error_log
AccessLog {d}/log/access_log
PageLog {d}/log/page_log
Printcap {d}/run/printcap
LogFilePerm 0644
FileDevice No
Sandboxing Relaxed
SystemGroup root
User lp
Group lp
""")
        with open(self._path("etc/cupsd.conf"), "w") as f:
            f.write(f"""LogLevel info
Listen {self.socket}
Browsing No
WebInterface No
DefaultShared No
IdleExitTimeout 0
PreserveJobHistory No
MaxJobs 0
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
""")

    def _ready(self, daemon) -> bool:
        if daemon.poll() is not None:
            raise RuntimeError("cupsd ended at start; see " + self._path("log/error_log"))
        return os.path.exists(self.socket) and self._client("lpstat", "-r", check=False) \
            .stdout.startswith("scheduler is running")

    def _client(self, *args, check=True):
        env = _clean_env()
        env.update(self.env)
        res = proc.run(list(args), env=env, timeout=30)
        if check and res.returncode != 0:
            raise RuntimeError(f"{' '.join(args)} failed: {res.stdout}{res.stderr}")
        return res


def _job_number(path):
    m = re.search(r"job_(\d+)", os.path.basename(path))
    return (int(m.group(1)) if m else 1 << 30, path)


def _clean_env():
    env = dict(os.environ)
    for name in ("CUPS_SERVER", "CUPS_SERVERROOT") + PrintServer.FOREIGN:
        env.pop(name, None)
    return env


def _read_int(path):
    try:
        with open(path) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def _is_cupsd(pid) -> bool:
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return b"cupsd" in f.read()
    except OSError:
        return False


def _apparmor_enabled() -> bool:
    try:
        with open("/sys/module/apparmor/parameters/enabled") as f:
            return f.read().strip() == "Y"
    except OSError:
        return False


def main(argv):
    if len(argv) != 3 or argv[1] not in ("up", "down"):
        print("usage: cups.py up DIR | cups.py down DIR", file=sys.stderr)
        return 2
    server = PrintServer(argv[2])
    if argv[1] == "down":
        server.down()
        return 0
    try:
        server.up()
    except RuntimeError as e:
        print(f"cups: {e}", file=sys.stderr)
        return 1
    for name, value in server.env.items():
        print(f"export {name}='{value}'")
    for name in PrintServer.FOREIGN:
        print(f"unset {name}")
    print(f"export QM_PDF_QUEUE='{server.queue}'")
    print(f"export QM_PDF_OUT='{server._out}'")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
