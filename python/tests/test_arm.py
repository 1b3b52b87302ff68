"""The Arm object against the virtual arm, on both links, and the header it is built from."""

import ast
import os
import re
import subprocess
from pathlib import Path

import pytest
from conftest import python

import pilvo
from pilvo import codes

POSTURE = "angles 10 -20 45 30 5 -15"

READ_WITHOUT_NUMPY = """
import sys
sys.modules["numpy"] = None
import pilvo
with pilvo.Arm(port=sys.argv[1], tab=sys.argv[2]) as arm:
    print(repr(arm.read().pose))
"""


@pytest.mark.parametrize(
    "virtual_arm, numpy_hidden",
    [("serial", False), ("usb", False), ("serial", True)],
    indirect=["virtual_arm"],
)
def test_pose_is_the_one_a_c_client_reads(virtual_arm, numpy_hidden):
    virtual_arm.command(POSTURE)
    client = [os.environ["PILVO_POSE_CLIENT"], virtual_arm.port, virtual_arm.tab]
    printed = subprocess.run(client, check=True, stdout=subprocess.PIPE).stdout
    c_pose = [float(value) for value in printed.split()]
    if numpy_hidden:
        reader = python("-c", READ_WITHOUT_NUMPY, virtual_arm.port, virtual_arm.tab, check=True)
        pose = ast.literal_eval(reader.stdout)
        assert type(pose) is tuple and all(type(row) is tuple for row in pose)
    else:
        with pilvo.Arm(port=virtual_arm.port, tab=virtual_arm.tab) as arm:
            pose = arm.read().pose
    assert [float(v) for row in pose for v in row] == c_pose


def test_unplugged_arm_raises_disconnection_and_reads_again_once_plugged(virtual_arm):
    with pilvo.Arm(port=virtual_arm.port, tab=virtual_arm.tab) as arm:
        before = arm.read().position
        virtual_arm.command("unplug")
        with pytest.raises(pilvo.DisconnectedError) as failure:
            arm.read()
        assert failure.value.code in (codes.SHORT_REPLY, codes.USB_TRANSFER_FAILED)
        virtual_arm.command("plug")
        virtual_arm.command(POSTURE)
        assert list(arm.read().position) != list(before)


@pytest.mark.parametrize("virtual_arm", ["serial"], indirect=True)
def test_context_manager_closes_the_link_when_its_body_raises(virtual_arm):
    with pytest.raises(KeyError):
        with pilvo.Arm(port=virtual_arm.port, tab=virtual_arm.tab) as arm:
            arm.read()
            raise KeyError
    assert pilvo.load_library().ChiudePorta() == codes.NOT_CONNECTED
    with pytest.raises(pilvo.TabFileError):
        pilvo.Arm(port=virtual_arm.port, tab=virtual_arm.tab + ".missing")


def test_codes_are_the_headers():
    header = Path(__file__).parents[2] / "driver" / "include" / "pilvo.h"
    text = header.read_text().replace("\\\n", " ")
    defined = re.findall(r"^#define PILVO_(\w+)\s+\(?(-?\d+)\)?", text, re.MULTILINE)
    mirrored = {name: value for name, value in vars(codes).items() if name.isupper()}
    assert mirrored == {name: int(value) for name, value in defined}
