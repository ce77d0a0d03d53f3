"""Running programs without pipes.

Wine's long-lived helper processes can inherit the standard output of whatever started them; if
that is a pipe, a reader waiting for its end waits for ever. Every program here therefore writes
into temporary files, and a timeout bounds every wait."""

import os
import subprocess
import tempfile
from dataclasses import dataclass


@dataclass
class Result:
    returncode: int
    stdout: str
    stderr: str


def run(cmd, env=None, timeout=60, cwd=None) -> Result:
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.run(cmd, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=err, timeout=timeout, check=False)
        out.seek(0)
        err.seek(0)
        return Result(proc.returncode, _text(out.read()), _text(err.read()))


def _text(data: bytes) -> str:
    # Windows programs write CRLF through their C runtime's text mode.
    return data.decode("latin-1").replace("\r\n", "\n")


def start(cmd, env=None, log_path=None, cwd=None) -> subprocess.Popen:
    """Starts a long-running program with its output in log_path (or discarded)."""
    log = open(log_path, "ab") if log_path else subprocess.DEVNULL
    try:
        return subprocess.Popen(cmd, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=log,
                                stderr=subprocess.STDOUT, start_new_session=True)
    finally:
        if log_path:
            log.close()


def repo_root() -> str:
    return os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))


def wait_until(condition, seconds: float, step: float = 0.2) -> bool:
    """Polls condition until it holds or seconds have passed; whether it held."""
    import time
    deadline = time.monotonic() + seconds
    while True:
        if condition():
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(step)
