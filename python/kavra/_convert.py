"""Conversion of Python arguments to the C types of the exported functions."""

from __future__ import annotations

import math
import operator
from typing import SupportsFloat, SupportsIndex

_INT_MIN = -(2**31)
_INT_MAX = 2**31 - 1


def to_int(value: SupportsIndex, name: str) -> int:
    """The value as a C int.

    Raises:
        TypeError: the value is not an integer (a float or a bool is refused, so that 1.5 is not
            silently truncated and True is not taken for 1).
        OverflowError: the value does not fit a C int (ctypes would wrap it silently).
    """
    if isinstance(value, bool):
        raise TypeError(f"{name} must be an integer, not bool")
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}") from None
    if not _INT_MIN <= number <= _INT_MAX:
        raise OverflowError(f"{name} {number} does not fit a C int")
    return number


def to_float(value: SupportsFloat, name: str) -> float:
    """The value as a C double. NaN and infinities pass through: the library refuses them with
    the range code of the argument.

    Raises:
        TypeError: the value is not a real number (a bool or a text is refused).
    """
    if isinstance(value, (bool, str, bytes)):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}")
    try:
        number = float(value)
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}") from None
    except OverflowError:
        # An integer too large for a double: beyond every range, refused by the library.
        number = math.inf if value > 0 else -math.inf  # type: ignore[operator]
    return number
