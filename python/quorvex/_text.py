"""BallArray text: numpy's layout with every element written midpoint±radius.

Nesting, alignment, line width and the summary of large arrays (the first and
last ``edgeitems`` along each long axis around ``...``, once the array has
more than ``threshold`` elements) follow numpy's current print options. Only
the elements that are shown are read and formatted, so the text of a huge
array costs little.
"""

from __future__ import annotations

from collections.abc import Callable

import numpy as np

from quorvex._numpy_bridge import Float64Array

PREFIX = "BallArray("


def _numbers(fmt: str) -> Callable[[float], str]:
    if fmt:
        return lambda value: format(value, fmt)
    digits = f".{np.get_printoptions()['precision']}g"
    return lambda value: format(value, digits)


def render(mid: Float64Array, rad: Float64Array, fmt: str, *, repr_form: bool) -> str:
    """repr (``BallArray([...])``, comma separated) or str (blank separated) of the balls."""
    number = _numbers(fmt)
    prefix = PREFIX if repr_form else ""
    if mid.ndim == 0:
        text = f"{number(float(mid))}±{number(float(rad))}"
        return f"{prefix}{text})" if repr_form else text
    if mid.size == 0:
        if not repr_form:
            return "[]"
        return f"{prefix}[])" if mid.ndim == 1 else f"{prefix}[], shape={mid.shape})"
    options = np.get_printoptions()
    edge = options["edgeitems"]
    summarise = mid.size > options["threshold"]
    # Per axis, the positions shown in the gathered block, None standing for "...".
    shown: list[list[int | None]] = []
    picks: list[list[int]] = []
    # As numpy does, a summarised axis always keeps its last element after the
    # "...", edgeitems = 0 included.
    tail = max(edge, 1)
    for n in mid.shape:
        if summarise and n > 2 * edge:
            picks.append(list(range(edge)) + list(range(n - tail, n)))
            shown.append(list(range(edge)) + [None] + list(range(edge, edge + tail)))
        else:
            picks.append(list(range(n)))
            shown.append(list(range(n)))
    block = np.ix_(*picks)
    mids = [number(v) for v in mid[block].ravel().tolist()]
    rads = [number(v) for v in rad[block].ravel().tolist()]
    mid_width = max(len(m) for m in mids)
    cells = [m.rjust(mid_width) + "±" + r for m, r in zip(mids, rads)]
    cell_width = max(len(c) for c in cells)
    cells = [c.rjust(cell_width) for c in cells]

    separator = ", " if repr_form else " "
    width = options["linewidth"]
    strides = [1] * mid.ndim
    for axis in range(mid.ndim - 2, -1, -1):
        strides[axis] = strides[axis + 1] * len(picks[axis + 1])

    def nest(axis: int, offset: int, indent: str) -> str:
        lead = indent + " "
        if axis == mid.ndim - 1:
            row = ["..." if p is None else cells[offset + p] for p in shown[axis]]
            return "[" + _wrapped(row, separator, lead, width) + "]"
        parts = ["..." if p is None else nest(axis + 1, offset + p * strides[axis], lead)
                 for p in shown[axis]]
        joiner = separator.rstrip() + "\n" * (mid.ndim - axis - 1) + lead
        return "[" + joiner.join(parts) + "]"

    text = nest(0, 0, " " * len(prefix))
    return f"{prefix}{text})" if repr_form else text


def _wrapped(cells: list[str], separator: str, lead: str, width: int) -> str:
    """Cells joined by `separator`, broken into lines of at most `width` columns."""
    lines: list[str] = []
    line = ""
    for cell in cells:
        if line and len(lead) + len(line) + len(separator) + len(cell) + 1 > width:
            lines.append(line + separator.rstrip())
            line = cell
        else:
            line = line + separator + cell if line else cell
    lines.append(line)
    return ("\n" + lead).join(lines)
