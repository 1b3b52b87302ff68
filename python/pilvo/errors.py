"""Exceptions for the failures the driver reports: each carries the function, its result code
and what the code means for that function."""

from __future__ import annotations

from . import codes


class PilvoError(Exception):
    """A driver call failed. ``function`` is the export that failed, ``code`` its result and
    ``meaning`` what that result says."""

    def __init__(self, function: str, code: int, meaning: str) -> None:
        super().__init__(f"{function}: {meaning} (code {code})")
        self.function = function
        self.code = code
        self.meaning = meaning


class DisconnectedError(PilvoError):
    """The arm cannot be reached: its link failed, or cannot be opened. The library has closed
    the link; the arm's next reading reconnects it."""


class NotConnectedError(DisconnectedError):
    """No link is open, and it cannot be opened (no such port, the arm is not there)."""


class ShortReplyError(DisconnectedError):
    """The serial board answered short, or not at all (an unplugged serial arm)."""


class UsbTransferError(DisconnectedError):
    """A USB transfer failed (an unplugged USB arm)."""


class WrongUsbReplyError(DisconnectedError):
    """The USB board's reply was not the one asked for."""


class ResetCancelledError(PilvoError):
    """The reset was cancelled, by the operator or because it timed out."""


class TabFileError(PilvoError):
    """The TAB file cannot be opened, or is not a TAB file the library reads."""


class AlignmentError(PilvoError):
    """The reference frame's points could not be taken, or gave no frame."""


# What each code means when any call gives it, then where a function gives it its own meaning.
_COMMON: dict[int, tuple[type[PilvoError], str]] = {
    codes.NOT_CONNECTED: (NotConnectedError, "the arm is not connected and cannot be reached"),
    codes.SHORT_REPLY: (ShortReplyError, "the serial board answered short, or not at all"),
    codes.SHORT_MARK_REPLY: (
        ShortReplyError,
        "the serial board answered the reference-mark query short",
    ),
    codes.NEEDS_USB: (DisconnectedError, "the board command needs a USB arm"),
    codes.USB_TRANSFER_FAILED: (UsbTransferError, "a USB transfer failed, or the arm is unplugged"),
    codes.WRONG_USB_REPLY: (WrongUsbReplyError, "the USB reply is not the one asked for"),
    codes.NULL_ARGUMENT: (PilvoError, "a required output was not given"),
}
_BY_FUNCTION: dict[str, dict[int, tuple[type[PilvoError], str]]] = {
    "ResetEncoder": {
        codes.NOT_CONNECTED: (
            NotConnectedError,
            "the link cannot be opened, or the USB configuration failed",
        ),
        codes.SHORT_REPLY: (ShortReplyError, "the serial board does not answer"),
        codes.RESET_CANCELLED: (ResetCancelledError, "the reset was cancelled or timed out"),
        codes.RESET_CANCELLED_OPEN_LINK: (
            ResetCancelledError,
            "the reset was cancelled; the link stays open",
        ),
    },
    "LeggeParametri": {
        codes.TAB_UNREADABLE: (
            TabFileError,
            "the TAB file cannot be opened, or its path is longer than 259 characters",
        ),
        codes.TAB_INVALID: (TabFileError, "not a TAB file this library reads"),
    },
    "RuotaTerna": {
        codes.ALIGNMENT_FAILED: (
            AlignmentError,
            "the points could not be taken, or they were repeated or collinear",
        ),
        codes.UNKNOWN_MODE: (PilvoError, "no such alignment mode"),
    },
    "VedeCinematica2": {
        codes.NO_TAB_LOADED: (PilvoError, "no TAB file loaded since the link was last closed"),
    },
}


def error_for(function: str, code: int, subject: str = "") -> PilvoError:
    """The exception for result ``code`` of export ``function``; ``subject``, when given, is
    what the call was about (a file)."""
    kind, meaning = _BY_FUNCTION.get(function, {}).get(code) or _COMMON.get(
        code, (PilvoError, "an unexpected result")
    )
    return kind(function, code, f"{subject}: {meaning}" if subject else meaning)
