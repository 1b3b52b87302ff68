"""The command-line verbs: ``python3 -m pilvo VERB --port P --tab F``."""

from __future__ import annotations

import argparse
import math
import sys
from pathlib import Path
from typing import Callable, Sequence

from .arm import Arm, Buttons, Point, Reading
from .errors import PilvoError
from .pointfiles import check_path, write_points


def _numbers(values: Sequence[float]) -> str:
    return " ".join(f"{float(v) + 0.0:.4f}" for v in values)  # no "-0.0000"


def _point_text(point: Point) -> str:
    return f"{_numbers(point.position)} (probe diameter {point.diameter:.4f})"


def _info(arm: Arm, args: argparse.Namespace) -> int:
    reading = arm.read()
    angles = arm.joint_angles()
    marks = arm.marks()
    if marks is None:
        marks_text = "the arm has no reference marks"
    else:
        found = " ".join(str(j) for j in marks.joints) or "none"
        marks_text = ("all found" if marks.complete else "not all found") + f" (joints {found})"
    print(f"library: {arm.library.path} ({arm.library.origin})")
    print(f"interface version: {arm.interface_version}")
    print(f"arm: {Path(args.tab).stem} (TAB file {args.tab})")
    print(f"joints: {len(angles)} of at most {arm.max_joints}; degrees {_numbers(angles)}")
    print(f"probe in use: diameter {reading.probe_diameter:.4f} mm")
    print(f"marks: {marks_text}")
    return 0


def _point(arm: Arm, args: argparse.Namespace) -> int:
    for point in arm.points():
        if not point.dropped:
            print(_point_text(point))
            return 0
    return 1


def _stream(arm: Arm, args: argparse.Namespace) -> int:
    def line(reading: Reading) -> str:
        pressed = [str(button.name).lower() for button in Buttons if button in reading.buttons]
        flags = pressed + (["limits"] if reading.limit_warning else [])
        return " ".join([_numbers(reading.position)] + flags)

    try:
        for reading in arm.stream(rate=args.rate):
            print(line(reading), flush=True)
    except KeyboardInterrupt:
        pass
    return 0


def _capture(arm: Arm, args: argparse.Namespace) -> int:
    capture = arm.points()
    print("button 1 takes a point, button 2 drops the last; Ctrl-C ends", file=sys.stderr)
    try:
        for point in capture:
            write_points(args.output, capture.taken)
            number = len(capture.taken) + (1 if point.dropped else 0)
            what = "dropped" if point.dropped else f"taken: {_point_text(point)}"
            print(f"point {number} {what} [{len(capture.taken)} in {args.output}]", flush=True)
            if args.points and len(capture.taken) >= args.points:
                break
    except KeyboardInterrupt:
        pass
    print(f"{len(capture.taken)} point(s) in {args.output}", file=sys.stderr)
    return 0


def _dist(arm: Arm, args: argparse.Namespace) -> int:
    capture = arm.points()
    for point in capture:
        print(("dropped " if point.dropped else "point ") + _point_text(point), flush=True)
        if len(capture.taken) == 2:
            first, second = capture.taken
            print(f"distance: {math.dist(first.position, second.position):.4f} mm")
            return 0
    return 1


def _at_least(minimum: float, kind: Callable[[str], float]) -> Callable[[str], float]:
    def parse(text: str) -> float:
        value = kind(text)
        if not value >= minimum:
            raise argparse.ArgumentTypeError(f"{text} is less than {minimum}")
        return value

    parse.__name__ = kind.__name__  # argparse names it in its messages
    return parse


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="python3 -m pilvo",
        description="The Pilvo3D arm from the command line, through libpilvo.so "
        "(found through $PILVO_LIBRARY, the installed driver, or the build tree).",
    )
    common = argparse.ArgumentParser(add_help=False)
    common.add_argument(
        "--port",
        default="COM1",
        help="serial port of the arm: a device path or COMn, at most 11 characters "
        "(USB arms ignore it; default %(default)s)",
    )
    common.add_argument("--tab", required=True, help="TAB file of the arm")
    verbs = parser.add_subparsers(dest="verb", required=True, metavar="VERB")

    def verb(name: str, summary: str) -> argparse.ArgumentParser:
        return verbs.add_parser(name, parents=[common], help=summary, description=summary)

    verb("info", "interface version, arm, joints, probe in use and reference marks")
    verb("point", "one point, taken on the next press of button 1")
    stream = verb("stream", "the live probe position and the buttons held, until Ctrl-C")
    stream.add_argument(
        "--rate",
        type=_at_least(0.01, float),
        default=10.0,
        help="at most this many lines a second (default 10)",
    )
    capture = verb(
        "capture",
        "points on each press of button 1 (button 2 drops the last) into a CSV, PLY or JSON "
        "file, rewritten atomically after each; ends after --points points or on Ctrl-C",
    )
    capture.add_argument(
        "-o", "--output", required=True, help="the file: its extension .csv, .ply or .json"
    )
    capture.add_argument(
        "--points",
        type=_at_least(0, int),
        default=0,
        help="stop after this many points (default: Ctrl-C)",
    )
    verb("dist", "the distance between the next two points taken with button 1")
    return parser


_VERBS: dict[str, Callable[[Arm, argparse.Namespace], int]] = {
    "info": _info,
    "point": _point,
    "stream": _stream,
    "capture": _capture,
    "dist": _dist,
}


def main(argv: Sequence[str] | None = None) -> int:
    """Runs a verb; returns the exit status: 0, 1 on a failure, 130 when interrupted."""
    parser = _parser()
    args = parser.parse_args(argv)
    if args.verb == "capture":
        try:
            check_path(args.output)
        except ValueError as error:
            parser.error(str(error))
    try:
        with Arm(port=args.port, tab=args.tab) as arm:
            return _VERBS[args.verb](arm, args)
    # OSError: a missing library, an unwritable file; ValueError: a port name too long.
    except (PilvoError, OSError, ValueError) as error:
        print(f"pilvo: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
