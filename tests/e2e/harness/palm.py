"""A Palm Desktop install folder inside the prefix: the registry value that names it and the user
folders under it, as the desktop synchronisation software leaves them."""

import os

# The two keys the spooler looks for the install folder under, the first one first.
USR_KEY = r"HKCU\Software\U.S. Robotics\Pilot Desktop\Core"
COM_KEY = r"HKCU\Software\3Com\Palm Desktop\Core"
KEYS = (USR_KEY, COM_KEY)

SPOOL_NAMES = ("Quillmark Spool File.pdb", "Quillmark_Spool_File.pdb")
PREFS_FILE = "Saved_Preferences.PRC"


class PalmDesktop:
    def __init__(self, wine, registry, install=r"C:\Palm"):
        self.wine = wine
        self.registry = registry
        self.install = install

    @property
    def install_dir(self) -> str:
        return self.wine.unix_path(self.install)

    def register(self, key=USR_KEY):
        """Writes the install folder's path where the spooler reads it."""
        os.makedirs(self.install_dir, exist_ok=True)
        self.registry.set_string(key, "Path", self.install)

    def add_user(self, name: str, backup="backup") -> str:
        """A user folder whose backup folder is "backup", or, for any other name, a subfolder of
        that name holding the preferences file. Returns the backup folder's Linux path."""
        folder = os.path.join(self.install_dir, name, backup)
        os.makedirs(folder, exist_ok=True)
        if backup != "backup":
            _touch(os.path.join(folder, PREFS_FILE))
        return folder

    def add_folder(self, *parts) -> str:
        """Any folder under the install folder, e.g. one that is no user's backup folder."""
        folder = os.path.join(self.install_dir, *parts)
        os.makedirs(folder, exist_ok=True)
        return folder

    def remove(self):
        for key in KEYS:
            self.registry.delete_key(key.rsplit("\\", 2)[0])  # the vendor's whole key
        self.wine.remove_tree(self.install)


def write_file(path: str, data: bytes = b"") -> str:
    with open(path, "wb") as f:
        f.write(data)
    return path


def _touch(path):
    if not os.path.exists(path):
        write_file(path)
