"""The registry of the Wine prefix, read and written through Wine's own reg tool."""

import re
from dataclasses import dataclass

_VALUE_LINE = re.compile(r"^ {4}(\S.*?) {4}(REG_[A-Z_]+)(?: {4}(.*))?$")


@dataclass(frozen=True)
class Value:
    type: str
    data: object  # bytes for REG_BINARY, int for REG_DWORD, str otherwise


class Registry:
    """Wine's reg is its 32-bit program once Wine's 32-bit half is installed: in a 64-bit prefix
    it sees HKLM\\Software through the 32-bit view. A key of the machine's own view passes
    view=64 (view=32 for the 32-bit one); HKCU\\Software is one for both."""

    def __init__(self, wine):
        self.wine = wine

    def query(self, key: str, view=None):
        """Every value directly under key, by name; None when the key does not exist."""
        res = self._reg("query", key, *_view(view))
        if res.returncode != 0:
            return None
        return parse_query(res.stdout, key)

    def key_exists(self, key: str, view=None) -> bool:
        return self._reg("query", key, *_view(view)).returncode == 0

    def set_binary(self, key: str, name: str, data: bytes):
        self._add(key, name, "REG_BINARY", data.hex())

    def set_string(self, key: str, name: str, text: str):
        self._add(key, name, "REG_SZ", text)

    def set_dword(self, key: str, name: str, number: int):
        self._add(key, name, "REG_DWORD", str(number))

    def delete_key(self, key: str, view=None):
        """Deletes key and everything below it; a missing key is no error."""
        self._reg("delete", key, "/f", *_view(view))

    def delete_value(self, key: str, name: str):
        """Deletes one value; a missing one is no error."""
        self._reg("delete", key, "/v", name, "/f")

    def _reg(self, *args):
        """Wine's reg tool in its own view: HKCU is the same in both; a test that means the
        machine's HKLM\\Software names its view (`view=64` or `32`)."""
        return self.wine.run("reg", *args)

    def _add(self, key, name, type_, data):
        args = ["add", key, "/v", name, "/t", type_, "/f"]
        if data != "":
            args[4:4] = ["/d", data]
        res = self._reg(*args)
        if res.returncode != 0:
            raise RuntimeError(f"reg add {key} {name} failed: {res.stdout}{res.stderr}")


def _view(view):
    if view is None:
        return []
    if view not in (32, 64):
        raise ValueError(f"no registry view {view}")
    return [f"/reg:{view}"]


def parse_query(text: str, key: str) -> dict:
    """The values of key in the output of "reg query key" (without /s, so no subkeys' values)."""
    values = {}
    in_key = False
    for line in text.splitlines():
        if line.upper().startswith("HKEY_"):
            in_key = line.strip().lower() == _long_name(key).lower()
            continue
        m = _VALUE_LINE.match(line)
        if not (m and in_key):
            continue
        name, type_, data = m.group(1), m.group(2), m.group(3) or ""
        if type_ == "REG_BINARY":
            values[name] = Value(type_, bytes.fromhex(data))
        elif type_ in ("REG_DWORD", "REG_QWORD"):
            values[name] = Value(type_, int(data, 16))
        else:
            values[name] = Value(type_, data)
    return values


def _long_name(key: str) -> str:
    root, _, rest = key.partition("\\")
    roots = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}
    root = roots.get(root.upper(), root)
    return root + ("\\" + rest if rest else "")
