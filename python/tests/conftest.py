"""pilvo-sim for the package's tests: a demo arm served on a pseudo-terminal or through the
simulated USB library, moved and unplugged through its control socket. ctest names the
programs: PILVO_SIM, PILVO_POSE_CLIENT (a C client printing one pose), PILVO_TEST_DATA (the
demo TAB files) and PILVO_LIBRARY."""

from __future__ import annotations

import os
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Iterator

import pytest

DEMO_ARMS = {"serial": "serial6_dh_marks.tab", "usb": "usb6_quaternion.tab"}

# One settings folder for the whole run, before the library is loaded: a silent serial board
# costs 0.1 s instead of 1 s, and dialogs go to the console.
_settings = tempfile.mkdtemp(prefix="pilvo-python-test.")
Path(_settings, "pilvo.ini").write_text(
    "[TIMEOUT]\nReadTotalConstant=100\nReadTotalMultiplier=2\n", encoding="utf-8"
)
os.environ.update(PILVO_CONFIG_DIR=_settings, PILVO_OPERATOR="console")


def pytest_sessionfinish() -> None:
    shutil.rmtree(_settings, ignore_errors=True)


def _until(condition, what: str, seconds: float = 20.0):
    deadline = time.monotonic() + seconds
    while not (result := condition()):
        if time.monotonic() > deadline:
            raise TimeoutError(what)
        time.sleep(0.005)
    return result


def _free_port_name() -> str:
    # The driver keeps 11 characters of a port name.
    while os.path.lexists(name := f"/tmp/py{random.randrange(16**4):04x}"):
        pass
    return name


class VirtualArm:
    """pilvo-sim serving one demo arm; ``port`` and ``tab`` are what a client gives the driver."""

    def __init__(self, link: str, folder: Path) -> None:
        self.tab = str(Path(os.environ["PILVO_TEST_DATA"]) / DEMO_ARMS[link])
        control = folder / "control.sock"
        command = [os.environ["PILVO_SIM"], "--tab", self.tab, "--control", str(control)]
        if link == "serial":
            self.port = _free_port_name()
            command += ["--serial", "--serial-link", self.port]
        else:
            self.port = "COM1"
            os.environ["PILVO_SIM_USB_SOCKET"] = str(folder / "usb.sock")
            command += ["--usb-socket", os.environ["PILVO_SIM_USB_SOCKET"]]
        self._log = open(folder / "sim.log", "w")
        self._process = subprocess.Popen(command, stdout=self._log, stderr=subprocess.STDOUT)
        _until(control.exists, "pilvo-sim's control socket")
        self._control = socket.socket(socket.AF_UNIX)
        self._control.connect(str(control))
        self._answers = self._control.makefile("r")

    def command(self, line: str) -> str:
        self._control.sendall(line.encode() + b"\n")
        answer = self._answers.readline().strip()
        assert answer.startswith("ok"), f"{line}: {answer}"
        return answer

    def requests(self) -> int:
        return int(re.search(r"requests (\d+)", self.command("status")).group(1))

    def await_reads(self, count: int = 3) -> None:
        """Returns once the arm has answered `count` more requests."""
        target = self.requests() + count
        _until(lambda: self.requests() >= target, "readings of the arm")

    def stop(self) -> None:
        self._answers.close()
        self._control.close()
        self._process.terminate()
        assert self._process.wait(timeout=10) == 0
        self._log.close()


@pytest.fixture(params=sorted(DEMO_ARMS))
def virtual_arm(request) -> Iterator[VirtualArm]:
    folder = Path(tempfile.mkdtemp(prefix="pilvo-py."))  # socket paths must stay short
    arm = VirtualArm(request.param, folder)
    yield arm
    arm.stop()
    shutil.rmtree(folder)


def python(*arguments: str, **options) -> subprocess.CompletedProcess:
    """This Python with the package, as a user runs it."""
    return subprocess.run([sys.executable, *arguments], capture_output=True, text=True, **options)
