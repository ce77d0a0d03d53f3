"""QMSpooler.exe as a process under Wine."""

import subprocess
import time


class SpoolerProcess:
    def __init__(self, popen: subprocess.Popen, log_path: str):
        self.popen = popen
        self.log_path = log_path

    @property
    def running(self) -> bool:
        return self.popen.poll() is None

    def wait(self, seconds=20) -> int:
        """The exit code; fails the test when the program is still running after seconds."""
        try:
            return self.popen.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"QMSpooler.exe still running after {seconds} s") from None

    def stays_running(self, seconds: float) -> bool:
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if not self.running:
                return False
            time.sleep(0.1)
        return True

    def kill(self):
        if self.running:
            self.popen.kill()
            self.popen.wait(timeout=10)


class Spooler:
    """Starts QMSpooler.exe and ends whatever is left of it when the test is done."""

    def __init__(self, wine, exe: str, log_dir: str):
        self.wine = wine
        self.exe = exe
        self.log_dir = log_dir
        self.started = []

    def start(self, *args, cwd=None) -> SpoolerProcess:
        """QMSpooler.exe with args; cwd (a Linux folder) becomes its current directory."""
        log = f"{self.log_dir}/spooler-{len(self.started) + 1}.log"
        p = SpoolerProcess(self.wine.start(self.exe, *args, log_path=log, cwd=cwd), log)
        self.started.append(p)
        return p

    def kill_all(self):
        for p in self.started:
            p.kill()
