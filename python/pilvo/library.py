"""Finding and loading ``libpilvo.so``, with the C declarations of its fourteen exports.

The library is looked for, in this order: the path in ``$PILVO_LIBRARY`` (and nowhere else when
it is set); the installed driver, through the dynamic loader's search (``LD_LIBRARY_PATH``, the
loader's cache) and in ``/usr/local/lib``; the build tree, ``build/driver`` of the checkout that
holds this package and of the current folder. The library is loaded once per process, and every
:class:`~pilvo.Arm` shares it: one arm at a time.
"""

from __future__ import annotations

import ctypes
import logging
import os
from pathlib import Path
from typing import Any, NamedTuple

ENVIRONMENT = "PILVO_LIBRARY"
_SONAME = "libpilvo.so.4"

_log = logging.getLogger("pilvo")

_I32P = ctypes.POINTER(ctypes.c_int32)
_DOUBLES = ctypes.POINTER(ctypes.c_double)
_EXPORTS: dict[str, tuple[Any, ...]] = {
    "LeggeVersione": (),
    "AprePorta": (ctypes.c_char_p,),
    "ChiudePorta": (),
    "LeggeParametri": (ctypes.c_char_p,),
    "ResetEncoder": (),
    "LeggeQuota": (_DOUBLES, _I32P),
    "LeggeQuota2": (_DOUBLES, _I32P, _DOUBLES),
    "LeggeTacche": (ctypes.POINTER(ctypes.c_uint32),),
    "VedePulsante": (),
    "RuotaTerna": (ctypes.c_int32,),
    "LeggeTerna": (),
    "VedeCinematica": (ctypes.c_int32, _DOUBLES),
    "VedeMaxAssi": (),
    "VedeCinematica2": (ctypes.c_int32, _I32P, _DOUBLES, _DOUBLES, _I32P),
}


class LibraryNotFoundError(OSError):
    """``libpilvo.so`` is in none of the places looked at; the message names each of them and
    why it failed."""


class _Place(NamedTuple):
    origin: str
    path: str


def _places() -> list[_Place]:
    named = os.environ.get(ENVIRONMENT)
    if named:
        return [_Place("$" + ENVIRONMENT, named)]
    places = [
        _Place("the library search path", _SONAME),
        _Place("installed", "/usr/local/lib/" + _SONAME),
    ]
    checkout = Path(__file__).resolve().parent.parent.parent
    tops = [checkout] if (checkout / "driver" / "include" / "pilvo.h").exists() else []
    for top in tops + [Path.cwd()]:
        place = _Place("the build tree", str(top / "build" / "driver" / _SONAME))
        if place not in places:
            places.append(place)
    return places


def _mapped_file(name: str) -> str:
    """The file the process has mapped for library ``name``: where the loader found it."""
    try:
        with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
            for line in maps:
                fields = line.split(maxsplit=5)
                if len(fields) == 6 and os.path.basename(fields[5].strip()).startswith(name):
                    return fields[5].strip()
    except OSError:
        pass
    return name


class Library:
    """``libpilvo.so`` loaded, its exports declared: ``library.LeggeQuota2(pose, status,
    diameter)`` calls the C function. ``path`` is the file loaded and ``origin`` the place it
    was found in."""

    def __init__(self, path: str, origin: str) -> None:
        self._cdll = ctypes.CDLL(path)
        for name, arguments in _EXPORTS.items():
            function = getattr(self._cdll, name)
            function.argtypes = arguments
            function.restype = ctypes.c_int32
        self.path = os.path.realpath(path) if os.sep in path else _mapped_file(path)
        self.origin = origin

    def __getattr__(self, name: str) -> Any:
        if name not in _EXPORTS:
            raise AttributeError(name)
        return getattr(self._cdll, name)

    def __repr__(self) -> str:
        return f"<pilvo library {self.path} from {self.origin}>"


_loaded: Library | None = None


def load_library() -> Library:
    """The driver library, loaded on the first call from the first place that has it.

    Raises :class:`LibraryNotFoundError` naming every place looked at."""
    global _loaded
    if _loaded is None:
        failures = []
        for place in _places():
            try:
                _loaded = Library(place.path, place.origin)
                break
            except (OSError, AttributeError) as error:
                failures.append(f"  {place.origin}: {error}")
        else:
            raise LibraryNotFoundError(
                "libpilvo.so not found; looked at:\n"
                + "\n".join(failures)
                + f"\nSet {ENVIRONMENT} to the library's path, or install the driver."
            )
        _log.info("loaded %s (%s)", _loaded.path, _loaded.origin)
    return _loaded
