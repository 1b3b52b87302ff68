"""The arm as a Python object over the driver's exports."""

from __future__ import annotations

import ctypes
import enum
import os
import time
from dataclasses import dataclass
from typing import Any, Iterator, NamedTuple, Sequence

from . import codes
from .errors import DisconnectedError, error_for
from .library import Library, load_library

try:
    import numpy
except ImportError:  # nested tuples instead
    numpy = None  # type: ignore[assignment]


class Buttons(enum.IntFlag):
    """The arm's buttons in a reading's status word."""

    BUTTON1 = codes.STATUS_BUTTON1
    BUTTON2 = codes.STATUS_BUTTON2
    BUTTON3 = codes.STATUS_BUTTON3
    AUXILIARY = codes.STATUS_AUXILIARY  # button 1 with auxiliary input 1 or 2 set


_MAX_PORT_NAME = 11
_BUTTON_BITS = int(Buttons.BUTTON1 | Buttons.BUTTON2 | Buttons.BUTTON3 | Buttons.AUXILIARY)


@dataclass(frozen=True, eq=False)
class Reading:
    """One reading of the arm.

    ``pose`` is the 4 x 4 homogeneous transform of the probe (a NumPy array when NumPy is
    installed, else a tuple of four row tuples): the orientation of the last segment in columns
    0 to 2, the probe position in millimetres in column 3, in the user frame when one is active.
    ``position`` and ``probe_axis`` are its column 3 and column 2. ``limit_warning`` is set while
    a joint is outside its limits, or has just come back."""

    pose: Any
    position: Any
    probe_axis: Any
    buttons: Buttons
    limit_warning: bool
    probe_diameter: float

    @classmethod
    def _from(cls, pose: Sequence[float], status: int, diameter: float) -> Reading:
        if numpy is not None:
            # Views of the reading's own buffer: nothing else writes to it.
            matrix = numpy.frombuffer(pose).reshape(4, 4)
            position, axis = matrix[:3, 3], matrix[:3, 2]
        else:
            matrix = tuple(tuple(pose[4 * r : 4 * r + 4]) for r in range(4))
            position, axis = (pose[3], pose[7], pose[11]), (pose[2], pose[6], pose[10])
        return cls(
            pose=matrix,
            position=position,
            probe_axis=axis,
            buttons=Buttons(status & _BUTTON_BITS),
            limit_warning=bool(status & codes.STATUS_LIMITS),
            probe_diameter=diameter,
        )


class Point(NamedTuple):
    """A point taken with button 1: the probe position in millimetres and the probe diameter.
    ``dropped`` marks a point that button 2 has taken back."""

    x: float
    y: float
    z: float
    diameter: float
    dropped: bool = False

    @property
    def position(self) -> tuple[float, float, float]:
        return (self.x, self.y, self.z)


class Marks(NamedTuple):
    """Which joints have passed their reference mark: bit j of ``mask`` for joint j."""

    mask: int
    complete: bool  # every joint that needs a mark has found it

    @property
    def joints(self) -> tuple[int, ...]:
        return tuple(j for j in range(codes.MAX_JOINTS) if self.mask >> j & 1)


class PointCapture:
    """Points taken on the arm's buttons, as the wizard takes them: each press of button 1
    takes a point, each press of button 2 drops the last one kept. Iterating yields every
    change: the point taken, or the point dropped with ``dropped`` set. ``taken`` holds the
    points kept so far."""

    def __init__(self, arm: Arm, interval: float) -> None:
        self._arm = arm
        self._interval = interval
        self._held: Buttons | None = None
        self.taken: list[Point] = []

    def __iter__(self) -> PointCapture:
        return self

    def __next__(self) -> Point:
        while True:
            reading = self._arm.read()
            # A button already down when the capture starts is no press.
            held = self._held if self._held is not None else reading.buttons
            pressed = reading.buttons & ~held
            self._held = reading.buttons
            if pressed & Buttons.BUTTON1:
                x, y, z = (float(v) for v in reading.position)
                self.taken.append(Point(x, y, z, reading.probe_diameter))
                return self.taken[-1]
            if pressed & Buttons.BUTTON2 and self.taken:
                return self.taken.pop()._replace(dropped=True)
            time.sleep(self._interval)


class Frame:
    """The user reference frame in which readings are expressed."""

    def __init__(self, arm: Arm) -> None:
        self._arm = arm

    def align(self) -> None:
        """The operator measures three points on the workpiece (origin, a point on X, a point on
        the XY side); their frame becomes active and is stored. A cancel changes nothing."""
        self._arm._check("RuotaTerna", self._arm.library.RuotaTerna(1))

    def clear(self) -> None:
        """Back to the arm's own frame; the stored frame stays stored."""
        self._arm._check("RuotaTerna", self._arm.library.RuotaTerna(0))

    def reload(self) -> None:
        """The stored frame active again (the arm's own frame when none is stored)."""
        self._arm._check("LeggeTerna", self._arm.library.LeggeTerna())


class Arm:
    """The arm, through ``libpilvo.so``.

    Names the port (a device path or ``COMn``, at most 11 characters; USB arms ignore it), loads
    the TAB file and resets the arm until it is ready, or raises. Use it in a ``with`` block, or
    call :meth:`close`. The driver holds one arm per process."""

    def __init__(
        self,
        port: str = "COM1",
        *,
        tab: str | os.PathLike[str],
        reset_attempts: int = 3,
        library: Library | None = None,
    ) -> None:
        if len(os.fsencode(port)) > _MAX_PORT_NAME:
            raise ValueError(
                f"{port}: a port name holds at most {_MAX_PORT_NAME} characters; "
                "give a shorter symbolic link to the device"
            )
        self.library = library or load_library()
        self.frame = Frame(self)
        self._reset_attempts = reset_attempts
        self._ready = False
        self.library.AprePorta(os.fsencode(port))
        result = self.library.LeggeParametri(os.fsencode(tab))
        if result < 0:
            raise error_for("LeggeParametri", result, os.fsdecode(tab))
        try:
            self.reset()
        except BaseException:
            self.close()
            raise

    def __enter__(self) -> Arm:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def close(self) -> None:
        """Closes the link to the arm; the next reading opens it again."""
        self.library.ChiudePorta()
        self._ready = False

    def _check(self, function: str, result: int) -> int:
        if result < 0:
            raise error_for(function, result)
        return result

    def reset(self) -> None:
        """Initialises the arm, taking the operator through the reset when the arm needs it.
        A failed link is tried again, up to ``reset_attempts`` times in all."""
        for attempt in range(1, self._reset_attempts + 1):
            result = self.library.ResetEncoder()
            if result == codes.OK:
                self._ready = True
                return
            error = error_for("ResetEncoder", result)
            if not isinstance(error, DisconnectedError) or attempt == self._reset_attempts:
                raise error
            time.sleep(0.5)

    def read(self) -> Reading:
        """Reads the arm once. After a failed reading (which closed the link), the next one
        resets the arm first."""
        if not self._ready:
            self.reset()
        pose = (ctypes.c_double * 16)()
        status = ctypes.c_int32()
        diameter = ctypes.c_double()
        result = self.library.LeggeQuota2(pose, ctypes.byref(status), ctypes.byref(diameter))
        if result < 0:
            self._ready = False
            raise error_for("LeggeQuota2", result)
        return Reading._from(pose, status.value, diameter.value)

    def stream(self, rate: float | None = None) -> Iterator[Reading]:
        """Readings without end, at most ``rate`` a second (None: as fast as the arm answers)."""
        period = 1.0 / rate if rate else 0.0
        tick = time.monotonic()
        while True:
            yield self.read()
            tick = max(tick + period, time.monotonic())
            time.sleep(max(0.0, tick - time.monotonic()))

    def points(self, interval: float = 0.02) -> PointCapture:
        """Points taken on button 1 and dropped on button 2, the arm polled every ``interval``
        seconds; see :class:`PointCapture`."""
        return PointCapture(self, interval)

    def marks(self) -> Marks | None:
        """The joints that have passed their reference mark; None for an arm without marks."""
        mask = ctypes.c_uint32()
        result = self.library.LeggeTacche(ctypes.byref(mask))
        if result == codes.NO_MARKS:
            return None
        if result < 0:
            self._ready = False
        self._check("LeggeTacche", result)
        return Marks(mask.value, result == codes.MARKS_COMPLETE)

    def joint_angles(self, degrees: bool = True) -> tuple[float, ...]:
        """The joint angles of the last reading in the arm's own layout, joint 0 negated as the
        driver gives it; degrees, or radians."""
        count = ctypes.c_int32()
        angles = (ctypes.c_double * codes.MAX_JOINTS)()
        mode = 1 if degrees else 0
        result = self.library.VedeCinematica2(mode, ctypes.byref(count), angles, None, None)
        self._check("VedeCinematica2", result)
        return tuple(angles[: count.value])

    @property
    def max_joints(self) -> int:
        """The largest number of joints of an arm."""
        return int(self.library.VedeMaxAssi())

    @property
    def interface_version(self) -> int:
        """The driver's interface version."""
        return int(self.library.LeggeVersione())
