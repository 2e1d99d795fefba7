"""Status codes of the library and the exceptions that carry them."""

from __future__ import annotations

from typing import Final

from ._library import status_text

class DriverLibraryError(OSError):
    """The library could not load its D2XX library, so it can find no unit.

    Attributes:
        info: the library's own account: the file name tried and the system loader's message.
    """

    info: str

    def __init__(self, info: str) -> None:
        self.info = info
        super().__init__(
            f"no unit can be found: the D2XX library is {info}. Install FTDI's D2XX library or set "
            "KAVRA_D2XX_LIBRARY to its path; for the virtual bench, call kavra.use_virtual_bench() "
            "before anything else")

    def __reduce__(self) -> tuple[type[DriverLibraryError], tuple[str]]:
        return (type(self), (self.info,))


def meaning_of(code: int) -> str:
    """The library's meaning of a status code ("unknown status code N" for a number that is none)."""
    return status_text(code)


class KavraError(Exception):
    """A library function returned a status code other than 0.

    Attributes:
        code: the status code.
        meaning: its documented meaning.
        operation: the name of the library function that returned it, when known.
        detail: for a call on a unit, the unit's last error text (getLastErrorText): the
            operation, the unit's serial number and the cause in plain words, such as
            "getSupplyStatus on QZAH019010003: unit disconnected (FT_IO_ERROR: Communication
            error)"; None when the library has none.
    """

    code: int
    meaning: str
    operation: str | None
    detail: str | None

    def __init__(self, code: int, operation: str | None = None, detail: str | None = None) -> None:
        self.code = code
        self.meaning = meaning_of(code)
        self.operation = operation
        self.detail = detail or None
        prefix = f"{operation}: " if operation else ""
        suffix = f" ({self.detail})" if self.detail else ""
        super().__init__(f"{prefix}status {code}: {self.meaning}{suffix}")

    def __reduce__(self) -> tuple[type[KavraError], tuple[int, str | None, str | None]]:
        return (type(self), (self.code, self.operation, self.detail))


class NoSuchUnitError(KavraError, LookupError):
    """No attached unit has that index or serial number (codes 1 and 6)."""


class OpenError(KavraError):
    """The unit could not be opened: connection, identification, calibration or polarity
    (codes 3, 4, 7, 8, 9, 11, 12)."""


class NotSupportedError(KavraError):
    """The unit's family lacks the operation, or the unit has no family (code 10)."""


class OutOfRangeError(KavraError, ValueError):
    """An argument is outside its documented range (codes 13, 14, 16, 18 to 20, 22, 26,
    34 to 37)."""


class ExchangeError(KavraError):
    """An instruction exchange with the unit failed (codes 15, 17, 21, 23, 24, 27, 28,
    31 to 33)."""


class SwitchOnRefusedError(KavraError):
    """The unit refused to switch an output on because its status shows it not ready
    (codes 29 and 30)."""


class TextBufferError(KavraError, BufferError):
    """A text buffer handed to the library was null or too small (code 38)."""


class InternalError(KavraError):
    """An unexpected internal failure of the library (code -1)."""


_CLASS_FOR_CODE: Final[dict[int, type[KavraError]]] = {
    **{code: NoSuchUnitError for code in (1, 6)},
    **{code: OpenError for code in (3, 4, 7, 8, 9, 11, 12)},
    10: NotSupportedError,
    **{code: OutOfRangeError for code in (13, 14, 16, 18, 19, 20, 22, 26, 34, 35, 36, 37)},
    **{code: ExchangeError for code in (15, 17, 21, 23, 24, 27, 28, 31, 32, 33)},
    **{code: SwitchOnRefusedError for code in (29, 30)},
    38: TextBufferError,
    -1: InternalError,
}


def error_for(code: int, operation: str | None = None, detail: str | None = None) -> KavraError:
    """The exception for a non-zero status code: the most specific subclass of KavraError."""
    if code == 0:
        raise ValueError("status 0 is success, not an error")
    return _CLASS_FOR_CODE.get(code, KavraError)(code, operation, detail)


def check(code: int, operation: str | None = None, detail: str | None = None) -> None:
    """Raises the exception for the status code unless it is 0."""
    if code != 0:
        raise error_for(code, operation, detail)
