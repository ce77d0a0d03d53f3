"""The Win32 driver (tests/e2e/driver) run under Wine: it finds the spooler's main window, posts
menu commands, and reads and answers message boxes."""

import math
import time
from dataclasses import dataclass

MAIN_CLASS = "QMSpoolClass"


@dataclass(frozen=True)
class Box:
    caption: str
    text: str  # line breaks as real "\n"


class Driver:
    def __init__(self, wine, exe: str):
        self.wine = wine
        self.exe = exe

    def _run(self, *args, timeout=30):
        # The driver takes whole seconds; a fraction would be refused as bad usage, and that
        # would read as "nothing found". Round up, so that a short look still looks.
        args = [math.ceil(a) if isinstance(a, float) else a for a in args]
        return self.wine.run(self.exe, *args, timeout=timeout)

    def wait_window(self, seconds=20) -> dict:
        """Waits for the main window; its window, pid and title. Raises when it does not come."""
        res = self._run("wait-window", MAIN_CLASS, seconds, timeout=seconds + 30)
        if res.returncode != 0:
            raise AssertionError(f"no main window within {seconds} s:\n{self.windows()}")
        return _fields(res.stdout)

    def wait_gone(self, seconds=20) -> bool:
        return self._run("wait-gone", MAIN_CLASS, seconds, timeout=seconds + 30).returncode == 0

    def title(self) -> str:
        res = self._run("title")
        if res.returncode != 0:
            raise AssertionError("no main window")
        return res.stdout.rstrip("\n")

    def rect(self):
        """(x, y, width, height) of the main window in screen coordinates."""
        res = self._run("rect")
        if res.returncode != 0:
            raise AssertionError("no main window")
        return tuple(int(v) for v in res.stdout.split())

    def state(self) -> dict:
        """visible, minimized, enabled and foreground of the main window, each 0 or 1. Polled in
        loops while the spooler restores or repaints its window: one driver run that finds no
        window (seen once in a few hundred under load, the window there all along) is asked
        again before the window counts as gone."""
        for _ in range(3):
            res = self._run("state")
            if res.returncode == 0:
                return {k: int(v) for k, v in _fields(res.stdout).items()}
            time.sleep(0.5)
        raise AssertionError("no main window")

    def resources(self) -> dict:
        """The main window's process: pid, handles, private_bytes, working_set, gdi_objects and
        user_objects (the last two 0 under Wine, which does not count them)."""
        res = self._run("resources")
        if res.returncode != 0:
            raise AssertionError("no main window")
        return {k: int(v) for k, v in _fields(res.stdout).items()}

    def command(self, command_id: int):
        res = self._run("command", command_id)
        if res.returncode != 0:
            raise AssertionError(f"could not post command {command_id}: {res.stdout}")

    def close(self):
        res = self._run("close")
        if res.returncode != 0:
            raise AssertionError(f"could not close the main window: {res.stdout}")

    def move(self, x, y, w, h):
        res = self._run("move", x, y, w, h)
        if res.returncode != 0:
            raise AssertionError(f"could not move the main window: {res.stdout}")

    def wait_box(self, seconds=20):
        """The message box on screen (within seconds), or None."""
        res = self._run("wait-box", seconds, timeout=seconds + 30)
        if res.returncode != 0:
            return None
        f = _fields(res.stdout)
        return Box(_unescape(f.get("caption", "")), _unescape(f.get("text", "")))

    def press_ok(self, seconds=10):
        res = self._run("press-ok", seconds, timeout=2 * seconds + 30)
        if res.returncode != 0:
            raise AssertionError(f"could not press OK: {res.stdout}")

    def press_cancel(self, seconds=10):
        res = self._run("press-cancel", seconds, timeout=2 * seconds + 30)
        if res.returncode != 0:
            raise AssertionError(f"could not press Cancel: {res.stdout}")

    def file_name(self, title: str, seconds=20) -> str:
        """The name in the field of the file dialog titled `title`, once it is on screen."""
        res = self._run("file-name", title, seconds, timeout=seconds + 30)
        if res.returncode != 0:
            raise AssertionError(f"no file dialog {title!r}: {res.stdout}\n{self.windows()}")
        return _unescape(_fields(res.stdout).get("name", ""))

    def save_as(self, title: str, name: str, seconds=20):
        """Types `name` (a Windows path) into the file dialog titled `title` and confirms."""
        res = self._run("save-as", title, name, seconds, timeout=2 * seconds + 30)
        if res.returncode != 0:
            raise AssertionError(f"could not save as {name!r}: {res.stdout}\n{self.windows()}")

    def printer(self) -> dict:
        """The default printer's name and device capabilities (horzres, logpixelsx, ...) as a
        program under this prefix sees them."""
        res = self._run("printer")
        if res.returncode != 0:
            raise AssertionError(f"no default printer: {res.stdout}")
        return {k: (v if k == "name" else int(v)) for k, v in _fields(res.stdout).items()}

    def page(self, text: str, seconds=30) -> list:
        """The texts of the visible controls of the dialog page that shows `text`, once it does."""
        res = self._run("page", text, seconds, timeout=seconds + 30)
        if res.returncode != 0:
            raise AssertionError(f"no page showing {text!r}: {res.stdout}\n{self.windows()}")
        return [_unescape(line[len("item: "):]) for line in res.stdout.splitlines()
                if line.startswith("item: ")]

    def next(self, seconds=20):
        """Presses the wizard's Next (or Install, or Finish) on the dialog showing."""
        res = self._run("next", seconds, timeout=seconds + 30)
        if res.returncode != 0:
            raise AssertionError(f"no dialog to go on from: {res.stdout}\n{self.windows()}")

    def windows(self) -> str:
        """Every top-level window, one a line: for failure messages."""
        return self._run("list").stdout


def _unescape(text: str) -> str:
    """Undoes the driver's escapes: "\\n" a line break, "\\\\" a backslash."""
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append("\n" if text[i + 1] == "n" else text[i + 1])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def _fields(text: str) -> dict:
    out = {}
    for line in text.splitlines():
        name, sep, value = line.partition(": ")
        if sep:
            out[name] = value
    return out
