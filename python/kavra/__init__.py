"""Python interface to KavraLib, the driver library of Kavra high-voltage supply units.

The library is found through the environment variable ``KAVRA_LIBRARY`` (a file path), else
beside this package (or in ``../lib`` relative to it), else by the system loader. To run on the
virtual bench, call :func:`use_virtual_bench` (or set ``KAVRA_D2XX_LIBRARY`` to the path of
``libkavra_sim.so``) before the first call. :func:`driver_library` says which D2XX library is in
use, or why none could be loaded.

Example::

    import kavra

    kavra.use_virtual_bench()  # leave out with real units
    with kavra.Session() as session:
        for info in session.units():
            print(info.index, info.serial, info.model, info.family)
        generic = session.unit("qzah019010003")
        generic.set_voltage(1, 1000.0, 100.0)
        generic.turn_on(1)
        print(generic.channel_status(1), generic.channel_current(1))
"""

from ._library import LIBRARY_ENV, load_library, use_virtual_bench
from .errors import (
    DriverLibraryError,
    ExchangeError,
    InternalError,
    KavraError,
    NoSuchUnitError,
    NotSupportedError,
    OpenError,
    OutOfRangeError,
    SwitchOnRefusedError,
    TextBufferError,
    error_for,
    meaning_of,
)
from .records import (
    ChannelStatus,
    DriverLibrary,
    Family,
    Model,
    SupplyStatus,
    UnitInfo,
    model_of,
)
from .session import Session, SessionClosedError, driver_library, library_version
from .unit import Unit

__all__ = [
    "LIBRARY_ENV",
    "ChannelStatus",
    "DriverLibrary",
    "DriverLibraryError",
    "ExchangeError",
    "Family",
    "InternalError",
    "KavraError",
    "Model",
    "NoSuchUnitError",
    "NotSupportedError",
    "OpenError",
    "OutOfRangeError",
    "Session",
    "SessionClosedError",
    "SupplyStatus",
    "SwitchOnRefusedError",
    "TextBufferError",
    "Unit",
    "UnitInfo",
    "driver_library",
    "error_for",
    "library_version",
    "load_library",
    "meaning_of",
    "model_of",
    "use_virtual_bench",
]
