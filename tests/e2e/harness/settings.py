"""The spooler's settings as it stores them: nine REG_BINARY values under one key of the current
user, integers as 4-byte little-endian signed numbers, the last job's path as a 512-byte buffer."""

import struct

KEY = r"HKCU\Software\Brackwater Software\Quillmark\v2.0"

# In the order the spooler writes them at exit.
INTEGER_NAMES = ("window_x", "window_y", "window_w", "window_h",
                 "show_dialog", "pause_pages", "print_to_screen", "open_minimized")
PATH_NAME = "last_print_path"
PATH_BYTES = 512
NAMES = INTEGER_NAMES + (PATH_NAME,)

DEFAULTS = {"window_x": 25, "window_y": 25, "window_w": 618, "window_h": 825,
            "show_dialog": 1, "pause_pages": 0, "print_to_screen": 0, "open_minimized": 0,
            PATH_NAME: ""}

# The menu's command ids.
CMD_EXIT = 40001
CMD_ABOUT = 40002
CMD_USE_DEFAULT_PRINTER = 40003  # toggles show_dialog
CMD_PRINT_TO_SCREEN = 40005
CMD_DISPLAY_STATUS = 40006
CMD_REPRINT = 40007
CMD_OPEN_MINIMIZED = 40009
CMD_PAUSE_PAGES = 40010
CMD_SCAN_MISSED = 40011
CMD_SAVE_BMP = 40012


def int_bytes(n: int) -> bytes:
    return struct.pack("<i", n)


def path_bytes(path: str, fill: bytes = b"\0") -> bytes:
    raw = path.encode("cp1252") + b"\0"
    if len(raw) > PATH_BYTES:
        raise ValueError("path longer than the stored buffer")
    return raw + fill * (PATH_BYTES - len(raw))


def encode(settings: dict) -> dict:
    """Byte images for the values given (names as in DEFAULTS)."""
    out = {}
    for name, value in settings.items():
        out[name] = path_bytes(value) if name == PATH_NAME else int_bytes(value)
    return out


def decode_path(raw: bytes) -> str:
    """The text of a stored path: up to its first zero byte."""
    return raw.split(b"\0", 1)[0].decode("cp1252")


def store(registry, settings: dict):
    for name, data in encode(settings).items():
        registry.set_binary(KEY, name, data)
