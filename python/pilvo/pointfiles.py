"""Points written to the files that other tools read: CSV, PLY (ASCII) or JSON, chosen by the
file's extension. A file is replaced atomically: a reader sees the old file or the new one,
never a part. Numbers are written with Python's shortest exact form, whatever the locale."""

from __future__ import annotations

import csv
import io
import json
import os
import tempfile
from pathlib import Path
from typing import Callable, Sequence

from .arm import Point


def _csv(points: Sequence[Point]) -> str:
    text = io.StringIO()
    writer = csv.writer(text, lineterminator="\n")
    writer.writerow(["x", "y", "z", "diameter"])
    writer.writerows((p.x, p.y, p.z, p.diameter) for p in points)
    return text.getvalue()


def _ply(points: Sequence[Point]) -> str:
    header = [
        "ply",
        "format ascii 1.0",
        "comment probe positions in millimetres",
        f"element vertex {len(points)}",
        "property double x",
        "property double y",
        "property double z",
        "end_header",
    ]
    return "\n".join(header + [f"{p.x!r} {p.y!r} {p.z!r}" for p in points]) + "\n"


def _json(points: Sequence[Point]) -> str:
    entries = [{"x": p.x, "y": p.y, "z": p.z, "diameter": p.diameter} for p in points]
    return json.dumps({"units": "mm", "points": entries}, indent=1) + "\n"


FORMATS: dict[str, Callable[[Sequence[Point]], str]] = {
    ".csv": _csv,
    ".ply": _ply,
    ".json": _json,
}


def check_path(path: str | os.PathLike[str]) -> None:
    """Raises ValueError unless the path's extension names a format."""
    if Path(path).suffix.lower() not in FORMATS:
        raise ValueError(f"{path}: the file must end in one of {', '.join(FORMATS)}")


def write_points(path: str | os.PathLike[str], points: Sequence[Point]) -> None:
    """Writes ``points`` to ``path`` in the format its extension names, replacing the file
    atomically."""
    check_path(path)
    target = Path(path)
    text = FORMATS[target.suffix.lower()](points)
    descriptor, temporary = tempfile.mkstemp(prefix=f".{target.name}.", dir=target.parent)
    try:
        with os.fdopen(descriptor, "w", encoding="utf-8") as out:
            out.write(text)
            out.flush()
            os.fsync(out.fileno())
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temporary, 0o666 & ~umask)
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise
