"""Finding and loading the shared library, with the prototype of every exported function."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path
from typing import Final

#: Environment variable naming the library file to load.
LIBRARY_ENV: Final = "KAVRA_LIBRARY"

_FILE_NAMES: Final = ("KavraLib.dll",) if sys.platform == "win32" else ("libKavraLib.so",)

_c_int_p = ctypes.POINTER(ctypes.c_int)
_c_double_p = ctypes.POINTER(ctypes.c_double)
_c_bool_p = ctypes.POINTER(ctypes.c_bool)

#: Argument and result types of every exported function; every function returns a status code.
PROTOTYPES: Final[dict[str, tuple[type, ...]]] = {
    "initialiseSession": (),
    "closeSession": (),
    "getDeviceCount": (_c_int_p,),
    "getDeviceIndex": (ctypes.c_char_p, _c_int_p),
    "setPWMFunction": (ctypes.c_int, ctypes.c_int, ctypes.c_int),
    "setPWM": (ctypes.c_int, ctypes.c_int, ctypes.c_int),
    "setPWMFrequency": (ctypes.c_int, ctypes.c_int),
    "setVoltage": (ctypes.c_int, ctypes.c_int, ctypes.c_double, ctypes.c_double),
    "setAccurateVoltage": (ctypes.c_int, ctypes.c_int, ctypes.c_double, ctypes.c_double),
    "setVoltageWaveform": (
        ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_double, ctypes.c_double, ctypes.c_double,
    ),
    "setPolarity": (ctypes.c_int, ctypes.c_int, ctypes.c_int),
    "turnVoltageOn": (ctypes.c_int, ctypes.c_int),
    "turnVoltageOff": (ctypes.c_int, ctypes.c_int),
    "enableInternalVoltageBus": (ctypes.c_int, ctypes.c_int),
    "disableInternalVoltageBus": (ctypes.c_int,),
    "getSupplyStatus": (ctypes.c_int, _c_bool_p, ctypes.c_char_p),
    "getChannelStatus": (ctypes.c_int, ctypes.c_int, _c_bool_p, _c_bool_p),
    "getChannelCurrent": (ctypes.c_int, ctypes.c_int, _c_double_p),
    "clearError": (ctypes.c_int,),
    "getADCValue": (ctypes.c_int, _c_double_p),
    "getDeviceSerialNumber": (ctypes.c_int, ctypes.c_char_p, ctypes.c_int),
    "getLibraryVersion": (ctypes.c_char_p, ctypes.c_int),
}

_lock = threading.Lock()
_library: ctypes.CDLL | None = None


def candidate_paths() -> list[str]:
    """Where the library is looked for, in order.

    The file named by ``KAVRA_LIBRARY``; else a library file beside this package or in ``../lib``
    relative to it; else the name the system loader resolves on its own search path.
    """
    configured = os.environ.get(LIBRARY_ENV)
    if configured:
        return [configured]
    here = Path(__file__).resolve().parent
    found = [
        str(directory / name)
        for directory in (here, here.parent / "lib")
        for name in _FILE_NAMES
        if (directory / name).is_file()
    ]
    if found:
        return found
    system = ctypes.util.find_library("KavraLib")
    return [system] if system else list(_FILE_NAMES)


def declare_prototypes(library: ctypes.CDLL) -> None:
    """Sets the argument and result types of every exported function on the loaded library."""
    for name, argtypes in PROTOTYPES.items():
        function = getattr(library, name)
        function.argtypes = list(argtypes)
        function.restype = ctypes.c_int


def load_library() -> ctypes.CDLL:
    """The loaded library with its prototypes declared; loaded on the first call.

    Raises:
        OSError: no candidate path could be loaded (the message lists what was tried).
    """
    global _library
    with _lock:
        if _library is None:
            errors: list[str] = []
            for path in candidate_paths():
                try:
                    library = ctypes.CDLL(path)
                except OSError as error:
                    errors.append(f"{path}: {error}")
                    continue
                declare_prototypes(library)
                _library = library
                break
            else:
                raise OSError(
                    "cannot load the KavraLib library (set KAVRA_LIBRARY to its path); tried "
                    + "; ".join(errors)
                )
        return _library
