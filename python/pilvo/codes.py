"""The numbers of ``pilvo.h`` under the header's names without their ``PILVO_`` prefix: the
interface version, the joint limit, the status bits of a reading and the result codes."""

INTERFACE_VERSION = 4403
MAX_JOINTS = 8

STATUS_BUTTON1 = 1
STATUS_BUTTON2 = 2
STATUS_BUTTON3 = 4
STATUS_AUXILIARY = 256
STATUS_LIMITS = 512

OK = 0

# Failures of the calls that talk to the arm; each closes the link.
NOT_CONNECTED = -1
SHORT_REPLY = -2
SHORT_MARK_REPLY = -3
NEEDS_USB = -10
USB_TRANSFER_FAILED = -11
WRONG_USB_REPLY = -12

NULL_ARGUMENT = -20

# ResetEncoder
RESET_CANCELLED = -4
RESET_CANCELLED_OPEN_LINK = 3

# LeggeParametri
TAB_UNREADABLE = -1
TAB_INVALID = -2

# LeggeTacche
MARKS_PENDING = 0
MARKS_COMPLETE = 1
NO_MARKS = -2

# RuotaTerna
ALIGNMENT_FAILED = -2
UNKNOWN_MODE = -3

# VedeCinematica2
NO_TAB_LOADED = -2
