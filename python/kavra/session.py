"""The library session: opening and closing it, listing units and naming them."""

from __future__ import annotations

import ctypes
import threading
from types import TracebackType
from typing import SupportsIndex

from ._convert import to_int
from ._library import OPERATION_BITS, load_library
from .errors import DriverLibraryError, check
from .records import DriverLibrary, UnitInfo, family_named, model_of
from .unit import Unit

#: Buffer size for a serial number: 13 characters and the closing zero byte, with room to spare.
SERIAL_BUFFER_SIZE = 32
#: Buffer size for the library's version text.
VERSION_BUFFER_SIZE = 64
#: Buffer size for the D2XX library's account, which the library keeps below this size.
DRIVER_INFO_BUFFER_SIZE = 1024
#: Buffer size for a family name, which the library keeps below this size.
FAMILY_BUFFER_SIZE = 16


class SessionClosedError(RuntimeError):
    """The session is not open (never entered, already closed, or replaced by a newer one)."""


_active_lock = threading.Lock()
_active: Session | None = None


def library_version() -> str:
    """The loaded library's version text, "major.minor.patch"."""
    library = load_library()
    buffer = ctypes.create_string_buffer(VERSION_BUFFER_SIZE)
    check(library.getLibraryVersion(buffer, len(buffer)), "getLibraryVersion")
    return buffer.value.decode("ascii")


def driver_library() -> DriverLibrary:
    """The D2XX library the library uses, or why none could be loaded.

    Loads the D2XX library when nothing has yet; looks for no unit.
    """
    library = load_library()
    buffer = ctypes.create_string_buffer(DRIVER_INFO_BUFFER_SIZE)
    loaded = ctypes.c_bool(False)
    check(library.getDriverLibraryInfo(ctypes.byref(loaded), buffer, len(buffer)),
          "getDriverLibraryInfo")
    return DriverLibrary(loaded.value, buffer.value.decode("utf-8", "replace"))


class Session:
    """The library's session, as a context manager.

    Entering it starts a fresh session (``initialiseSession``: every unit is forgotten); leaving
    it closes every unit opened in it (``closeSession``). The library keeps one session per
    process, so one :class:`Session` is open at a time: opening another one ends the first, whose
    units then refuse to work. A session can be entered again after it has been left.

    Example::

        with kavra.Session() as session:
            for info in session.units():
                print(info.index, info.serial, info.family)
            unit = session.unit("QZAH019010003")
            unit.set_voltage(1, 1000.0, 100.0)
            unit.turn_on(1)
    """

    def __init__(self) -> None:
        self._open = False

    def __enter__(self) -> Session:
        self.open()
        return self

    def __exit__(self, exc_type: type[BaseException] | None, exc: BaseException | None,
                 traceback: TracebackType | None) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"Session({'open' if self.is_open else 'closed'})"

    @property
    def is_open(self) -> bool:
        """True between opening and closing, unless a newer session has replaced this one."""
        return self._open and _active is self

    def open(self) -> None:
        """Starts a fresh session; the entry of the context manager.

        Raises:
            DriverLibraryError: the D2XX library could not be loaded, so no unit can be found.
        """
        global _active
        library = load_library()
        driver = driver_library()
        if not driver.loaded:
            raise DriverLibraryError(driver.info)
        with _active_lock:
            check(library.initialiseSession(), "initialiseSession")
            if _active is not None and _active is not self:
                _active._open = False
            _active = self
            self._open = True

    def close(self) -> None:
        """Closes every unit opened in the session; the exit of the context manager.

        Does nothing when the session is not open (or a newer one has replaced it).
        """
        global _active
        with _active_lock:
            if not self.is_open:
                self._open = False
                return
            self._open = False
            _active = None
            check(load_library().closeSession(), "closeSession")

    def _library_for_use(self) -> ctypes.CDLL:
        """The library, after checking that the session is open."""
        if not self.is_open:
            raise SessionClosedError("the session is not open")
        return load_library()

    def count(self) -> int:
        """The number of supported units attached now."""
        library = self._library_for_use()
        count = ctypes.c_int(0)
        check(library.getDeviceCount(ctypes.byref(count)), "getDeviceCount")
        return count.value

    def highest_index(self) -> int:
        """The highest device index that names a unit in this session (0 when none).

        Lists the attached units once. Indices 1 to it each name one unit, attached or away (a
        unit keeps its index when it is unplugged), so with a unit away it exceeds :meth:`count`.
        """
        library = self._library_for_use()
        highest = ctypes.c_int(0)
        check(library.getHighestDeviceIndex(ctypes.byref(highest)), "getHighestDeviceIndex")
        return highest.value

    def serial_number(self, index: SupportsIndex) -> str:
        """The serial number of the unit a device index names, attached or away, without opening it.

        Raises:
            NoSuchUnitError: the index names no unit (and no attached supported unit takes it).
        """
        library = self._library_for_use()
        buffer = ctypes.create_string_buffer(SERIAL_BUFFER_SIZE)
        number = to_int(index, "index")
        check(library.getDeviceSerialNumber(number, buffer, len(buffer)), "getDeviceSerialNumber")
        return buffer.value.decode("latin-1")

    def unit_info(self, index: SupportsIndex) -> UnitInfo:
        """The listing entry of the unit a device index names, without opening it: its serial
        number and model, and the family, outputs and operations the library gives for it. An
        index already numbered answers without listing the units.

        Raises:
            NoSuchUnitError: the index names no unit (and no attached supported unit takes it).
        """
        library = self._library_for_use()
        number = to_int(index, "index")
        serial = self.serial_number(number)
        family = ctypes.create_string_buffer(FAMILY_BUFFER_SIZE)
        check(library.getFamilyName(number, family, len(family)), "getFamilyName")
        channels = ctypes.c_int(0)
        check(library.getChannelCount(number, ctypes.byref(channels)), "getChannelCount")
        bits = ctypes.c_uint(0)
        check(library.getSupportedOperations(number, ctypes.byref(bits)), "getSupportedOperations")
        operations = frozenset(name for bit, name in enumerate(OPERATION_BITS)
                               if bits.value & (1 << bit))
        return UnitInfo(number, serial, model_of(serial), family_named(family.value.decode("ascii")),
                        channels.value, operations)

    def units(self) -> list[UnitInfo]:
        """Every unit an index names in this session, in index order, without opening them: the
        attached ones and those unplugged since they were numbered. Lists the units once."""
        return [self.unit_info(index) for index in range(1, self.highest_index() + 1)]

    def index_of(self, serial: str) -> int:
        """The device index of the unit with a serial number (13 characters, any case).

        Answers exactly as the library's getDeviceIndex: an open unit with its index, also while
        it is away; a matching attached unit not open yet is opened to make sure that it can be
        used, and closed again. Lists the units once.

        Raises:
            NoSuchUnitError: no open unit and no openable attached unit has that serial number.
        """
        library = self._library_for_use()
        if not isinstance(serial, str):
            raise TypeError(f"serial must be a str, not {type(serial).__name__}")
        if "\0" in serial:
            raise ValueError("serial must not contain a zero character")
        index = ctypes.c_int(-1)
        check(library.getDeviceIndex(serial.encode("latin-1", "replace"), ctypes.byref(index)),
              "getDeviceIndex")
        return index.value

    def unit(self, unit: SupportsIndex | str) -> Unit:
        """The unit with a device index (int) or serial number (str, any case).

        The unit is not opened here (a serial number may open units to find it); its first
        operation opens it.

        Raises:
            NoSuchUnitError: no attached unit has that index or serial number.
        """
        index = self.index_of(unit) if isinstance(unit, str) else to_int(unit, "unit")
        return Unit(self, self.unit_info(index))
