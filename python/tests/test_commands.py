"""The command-line verbs as a user runs them, and the package as pip installs it."""

import contextlib
import csv
import io
import json
import math
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
from pathlib import Path
from typing import Iterator

import pytest
from conftest import python

import pilvo

POSTURES = ["angles 10 -20 45 30 5 -15", "angles 40 10 60 0 -5 0", "angles -30 0 30 10 20 0"]


def read_back(path: Path) -> list:
    """The points of a capture file, read as another tool would."""
    text = path.read_text()
    if path.suffix == ".csv":
        rows = csv.DictReader(io.StringIO(text))
        return [(float(r["x"]), float(r["y"]), float(r["z"])) for r in rows]
    if path.suffix == ".ply":
        header, body = text.split("end_header\n")
        points = [tuple(map(float, line.split())) for line in body.splitlines()]
        assert len(points) == int(re.search(r"element vertex (\d+)", header).group(1))
        return points
    return [(p["x"], p["y"], p["z"]) for p in json.loads(text)["points"]]


@contextlib.contextmanager
def running(command: list) -> Iterator[subprocess.Popen]:
    """The command's process, killed at the end of the block or after a minute: a capture that
    missed a press would keep the test waiting for a line."""
    pipes = {"stdout": subprocess.PIPE, "stderr": subprocess.PIPE, "text": True}
    with subprocess.Popen(command, **pipes) as process:
        watchdog = threading.Timer(60, process.kill)
        watchdog.start()
        try:
            yield process
        finally:
            watchdog.cancel()
            process.kill()


@pytest.mark.parametrize(
    "virtual_arm, extension, end",
    [("serial", ".csv", "points"), ("usb", ".ply", "points"), ("serial", ".json", "ctrl-c")],
    indirect=["virtual_arm"],
)
def test_pressed_points_land_in_a_file_that_reads_back(virtual_arm, extension, end, tmp_path):
    output = tmp_path / f"points{extension}"
    limit = ["--points", "2"] if end == "points" else []
    command = [sys.executable, "-m", "pilvo", "capture", "--port", virtual_arm.port]
    command += ["--tab", virtual_arm.tab, "-o", str(output), *limit]
    with running(command) as capture:
        take_points(virtual_arm, capture, end)

    points = read_back(output)
    assert len(points) == 2
    with pilvo.Arm(port=virtual_arm.port, tab=virtual_arm.tab) as arm:
        for posture, point in zip(POSTURES[1:], points):
            virtual_arm.command(posture)
            reading = arm.read()
            # A point is pushed by the probe radius along the motion on arms that ask for it.
            assert math.dist(point, reading.position) <= reading.probe_diameter / 2 + 1e-9


def take_points(virtual_arm, capture: subprocess.Popen, end: str) -> None:
    """One point taken and dropped, then two kept; the capture ends by itself or on Ctrl-C."""
    assert any("button 1 takes a point" in line for line in capture.stderr)  # the arm is ready

    def press(button: int) -> str:
        virtual_arm.await_reads()  # the posture and the last release seen
        virtual_arm.command(f"button {button} down")
        line = capture.stdout.readline()
        virtual_arm.command(f"button {button} up")
        return line

    virtual_arm.command(POSTURES[0])
    assert press(1).startswith("point 1 taken")
    assert press(2).startswith("point 1 dropped")
    for number, posture in enumerate(POSTURES[1:], 1):
        virtual_arm.command(posture)
        assert press(1).startswith(f"point {number} taken")
    if end == "ctrl-c":
        virtual_arm.await_reads()
        capture.send_signal(signal.SIGINT)
    assert capture.wait(timeout=30) == 0, capture.stderr.read()


def test_missing_library_names_the_places_looked_at(tmp_path):
    # Installed as a user installs it, away from any build tree.
    source = tmp_path / "source"
    leave_out = shutil.ignore_patterns("tests", "__pycache__")
    shutil.copytree(Path(__file__).parents[1], source, ignore=leave_out)
    site = tmp_path / "site"
    pip = ["-m", "pip", "install", "-q", "--no-build-isolation", "--no-index", "--no-deps"]
    python(*pip, "--target", str(site), str(source), check=True)
    assert (site / "pilvo" / "py.typed").exists()
    environment = {k: v for k, v in os.environ.items() if k != "PILVO_LIBRARY"}
    environment["PYTHONPATH"] = str(site)
    info = python("-m", "pilvo", "info", "--tab", "arm.tab", cwd=tmp_path, env=environment)
    assert info.returncode == 1
    for place in [
        "the library search path: libpilvo.so.4",
        "installed: /usr/local/lib/libpilvo.so.4",
        f"the build tree: {tmp_path}/build/driver/libpilvo.so.4",
        "PILVO_LIBRARY",
    ]:
        assert place in info.stderr
