"""The Pilvo3D arm from Python, through the driver library ``libpilvo.so``.

    import pilvo

    with pilvo.Arm(port="/dev/ttyUSB0", tab="arm.tab") as arm:
        print(arm.read().position)

See :class:`Arm` and :func:`load_library` (where the library is looked for)."""

from .arm import Arm, Buttons, Frame, Marks, Point, PointCapture, Reading
from .errors import (
    AlignmentError,
    DisconnectedError,
    NotConnectedError,
    PilvoError,
    ResetCancelledError,
    ShortReplyError,
    TabFileError,
    UsbTransferError,
    WrongUsbReplyError,
)
from .library import Library, LibraryNotFoundError, load_library
from .pointfiles import write_points

__all__ = [
    "AlignmentError",
    "Arm",
    "Buttons",
    "DisconnectedError",
    "Frame",
    "Library",
    "LibraryNotFoundError",
    "Marks",
    "NotConnectedError",
    "PilvoError",
    "Point",
    "PointCapture",
    "Reading",
    "ResetCancelledError",
    "ShortReplyError",
    "TabFileError",
    "UsbTransferError",
    "WrongUsbReplyError",
    "load_library",
    "write_points",
]
