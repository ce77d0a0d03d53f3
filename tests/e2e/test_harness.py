"""The harness itself against a real Wine prefix: what the scenarios rely on, checked where it
could break (Wine's reg tool output, the driver's exit codes, the screenshot converter). These run
before QMSpooler.exe exists."""

import os
import shutil
import stat

import pytest

from harness import pages, proc, screenshot, settings
from harness.registry import Registry

SCRATCH_KEY = r"HKCU\Software\Quillmark E2E Scratch\Sub key"


def test_registry_binary_values_read_back_byte_for_byte(registry: Registry):
    registry.delete_key(SCRATCH_KEY)
    images = {
        "small": settings.int_bytes(-2),
        "last_job": settings.path_bytes(r"C:\Palm\A user\backup\Quillmark Spool File.pdb"),
        "empty": b"",
    }
    try:
        for name, data in images.items():
            registry.set_binary(SCRATCH_KEY, name, data)
        registry.set_string(SCRATCH_KEY, "Path", r"C:\Palm Desktop")
        values = registry.query(SCRATCH_KEY)
        assert {n: v.data for n, v in values.items() if v.type == "REG_BINARY"} == images
        assert values["Path"].type == "REG_SZ" and values["Path"].data == r"C:\Palm Desktop"
    finally:
        registry.delete_key(r"HKCU\Software\Quillmark E2E Scratch")
    assert registry.query(SCRATCH_KEY) is None


def test_driver_reports_no_window_and_no_box_by_exit_code(driver):
    assert driver._run("wait-window", "QMSpoolClass", 0).returncode == 1
    assert driver._run("title").returncode == 1
    assert driver._run("command", 40001).returncode == 1
    assert driver.wait_box(0) is None
    assert driver._run("press-ok", 0).returncode == 1
    assert driver._run("press-cancel", 0).returncode == 1
    assert driver._run("command", "not-a-number").returncode == 2
    assert driver._run("no-such-command").returncode == 2


def test_screenshot_is_a_png_of_the_whole_screen_or_a_crop(wine, artifacts):
    whole = screenshot.take(wine.display, os.path.join(artifacts, "screen.png"))
    assert screenshot.png_size(whole) == (1600, 1200)
    part = screenshot.take(wine.display, os.path.join(artifacts, "part.png"), (25, 25, 618, 825))
    assert screenshot.png_size(part) == (618, 825)


def _raster_with_block(x, y, w, h, colour, size=(240, 240)):
    width, height = size
    rgb = bytearray(b"\xff" * (width * height * 3))
    for row in range(y, y + h):
        rgb[(row * width + x) * 3:(row * width + x + w) * 3] = bytes(colour) * w
    return pages.Raster(width, height, bytes(rgb))


def test_page_comparison_forgives_an_edge_a_pixel_off_but_not_a_band_out_of_place():
    reference = _raster_with_block(40, 40, 80, 80, (255, 0, 0))
    assert pages.coloured_cells(reference, 40) == 4
    nudged = _raster_with_block(41, 39, 80, 80, (250, 5, 0))  # rasteriser rounding
    assert pages.differing_cells(nudged, reference, 40) == []
    moved = _raster_with_block(80, 40, 80, 80, (255, 0, 0))  # a band a cell to the right
    assert [cell for cell, _, _ in pages.differing_cells(moved, reference, 40)] == [
        (1, 1), (1, 2), (3, 1), (3, 2)]
    recoloured = _raster_with_block(40, 40, 80, 80, (0, 0, 255))
    assert len(pages.differing_cells(recoloured, reference, 40)) == 4
    # Cells outside the printable area are not compared.
    assert pages.differing_cells(moved, reference, 40, box=(0, 0, 240, 40)) == []


def test_wine_env_waits_for_an_xvfb_that_is_slow_to_start_and_down_ends_it(tmp_path):
    """An Xvfb that takes a while to become Xvfb (its process still runs something else, as it
    does between the shell's fork and exec) is waited for; down ends exactly that process. Wine
    is stood in for, so that only the display's start is tested."""
    xvfb = shutil.which("Xvfb")
    if not xvfb:
        pytest.skip("Xvfb is not installed (scripts/setup installs it)")
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()

    def script(name, body):
        (bin_dir / name).write_text("#!/bin/sh\n" + body + "\n")
        (bin_dir / name).chmod(stat.S_IRWXU)

    for name in ("wine", "wineserver", "winecfg"):
        script(name, "exit 0")
    script("wineboot", 'mkdir -p "$WINEPREFIX"')
    # Named so that its command line does not say Xvfb until the real one has started.
    script("later", f'sleep 1; exec {xvfb} "$@"')
    script("Xvfb", f'exec {bin_dir}/later "$@"')
    env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}")
    wine_env = os.path.join(proc.repo_root(), "scripts", "wine-env")
    folder = tmp_path / "wine"
    try:
        res = proc.run(["bash", wine_env, "up", str(folder)], env=env, timeout=60)
        assert res.returncode == 0, res.stderr
        pid = int((folder / "xvfb.pid").read_text().split()[0])
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            assert f.read().split(b"\0")[0] == xvfb.encode()
    finally:
        proc.run(["bash", wine_env, "down", str(folder)], env=env, timeout=60)
    assert _ended(pid)


def _ended(pid) -> bool:
    """Gone, or a zombie: where nothing reaps orphans, an ended one stays listed."""
    try:
        with open(f"/proc/{pid}/stat", encoding="ascii") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True
