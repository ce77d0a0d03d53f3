"""A Wine prefix with its own X display and persistent wineserver, made by scripts/wine-env."""

import os
import shutil

from . import proc


class WineEnv:
    """One prefix, one Xvfb display, one persistent wineserver for the whole test session."""

    def __init__(self, folder: str, arch="win64"):
        """arch: win64, a 64-bit Windows (it runs 32-bit programs too), or win32, a 32-bit
        Windows XP."""
        if arch not in ("win64", "win32"):
            raise ValueError(f"no Wine prefix of kind {arch}")
        self.folder = os.path.abspath(folder)
        self.arch = arch
        self.env = None

    def up(self, fresh=True, env=None):
        """Brings the environment up, in a new prefix (fresh) or in the one left from before; the
        session's programs get env (this process's environment by default) and the session's own
        variables."""
        script = os.path.join(proc.repo_root(), "scripts", "wine-env")
        res = proc.run(["bash", script, "up", self.folder] + (["--fresh"] if fresh else [])
                       + (["--win32"] if self.arch == "win32" else []),
                       env=env, timeout=180)
        if res.returncode != 0:
            raise RuntimeError(f"wine-env up failed:\n{res.stdout}{res.stderr}")
        self.env = dict(env if env is not None else os.environ)
        self.env.update(read_env_file(os.path.join(self.folder, "env")))
        return self

    def restart(self):
        """Ends the Windows session and starts another on the same prefix, as a log-off and log-on
        do: Wine's boot then starts what the Run keys name. The new session, and what its boot
        starts, keep the environment the tests gave the old one (a print server's variables)."""
        self.down()
        return self.up(fresh=False, env=self.env)

    def down(self):
        script = os.path.join(proc.repo_root(), "scripts", "wine-env")
        proc.run(["bash", script, "down", self.folder], timeout=60)

    @property
    def machine_view(self) -> int:
        """The registry view of the machine's own programs: 64 on 64-bit Windows."""
        return 64 if self.arch == "win64" else 32

    @property
    def prefix(self) -> str:
        return self.env["WINEPREFIX"]

    @property
    def display(self) -> str:
        return self.env["DISPLAY"]

    @property
    def drive_c(self) -> str:
        return os.path.join(self.prefix, "drive_c")

    def run(self, *args, timeout=60) -> proc.Result:
        """Runs a Windows program (or a Wine tool such as reg) to its end."""
        return proc.run(["wine", *map(str, args)], env=self.env, timeout=timeout)

    def start(self, *args, log_path=None, cwd=None):
        """Starts a Windows program and returns its process; the Windows process is the Linux one,
        so killing it ends the program. Its current directory is cwd's Windows name."""
        return proc.start(["wine", *map(str, args)], env=self.env, log_path=log_path, cwd=cwd)

    def windows_path(self, unix_path: str) -> str:
        """C:\\... for a path inside the prefix's drive C."""
        rel = os.path.relpath(os.path.abspath(unix_path), self.drive_c)
        if rel.startswith(".."):
            raise ValueError(f"{unix_path} is not on drive C of the prefix")
        return "C:\\" + ("" if rel == "." else rel.replace("/", "\\"))

    def unix_path(self, windows_path: str) -> str:
        """The Linux path of C:\\... inside the prefix (letter case as given)."""
        if not windows_path[:3].upper() == "C:\\":
            raise ValueError(f"{windows_path} is not on drive C")
        return os.path.join(self.drive_c, *[p for p in windows_path[3:].split("\\") if p])

    def remove_tree(self, windows_path: str):
        shutil.rmtree(self.unix_path(windows_path), ignore_errors=True)


def read_env_file(path: str) -> dict:
    """Reads the "export NAME='value'" lines that scripts/wine-env writes."""
    env = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line.startswith("export ") or "=" not in line:
                continue
            name, value = line[len("export "):].split("=", 1)
            env[name] = value.strip("'")
    return env
