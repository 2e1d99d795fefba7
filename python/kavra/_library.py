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
    "getHighestDeviceIndex": (_c_int_p,),
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
    "getLastErrorText": (ctypes.c_int, ctypes.c_char_p, ctypes.c_int),
    "getLibraryVersion": (ctypes.c_char_p, ctypes.c_int),
    "getDriverLibraryInfo": (_c_bool_p, ctypes.c_char_p, ctypes.c_int),
    "getStatusText": (ctypes.c_int, ctypes.c_char_p, ctypes.c_int),
    "getFamilyName": (ctypes.c_int, ctypes.c_char_p, ctypes.c_int),
    "getChannelCount": (ctypes.c_int, _c_int_p),
    "getHighestVoltage": (ctypes.c_int, _c_double_p),
    "getSupportedOperations": (ctypes.c_int, ctypes.POINTER(ctypes.c_uint)),
}

#: The unit functions in the order of their bits in ``getSupportedOperations`` (the
#: ``KAVRA_OPERATION_`` constants of the header), bit 0 first.
OPERATION_BITS: Final = (
    "setPWMFunction", "setPWM", "setPWMFrequency", "setVoltage", "setAccurateVoltage",
    "setVoltageWaveform", "setPolarity", "turnVoltageOn", "turnVoltageOff",
    "enableInternalVoltageBus", "disableInternalVoltageBus", "getSupplyStatus",
    "getChannelStatus", "getChannelCurrent", "clearError", "getADCValue",
)

#: Buffer size for a status code's meaning: the library documents it as always enough.
STATUS_TEXT_BUFFER_SIZE: Final = 128

_lock = threading.Lock()
_library: ctypes.CDLL | None = None
# Set once a call may have made the library load its D2XX library, which it does only once.
_used = False


def _search_directories() -> list[Path]:
    """The package's own directory, then the ``lib`` directory beside it and beside each of its
    next ancestors (so that ``<prefix>/lib/python3/site-packages/kavra`` finds ``<prefix>/lib``);
    on Windows the ``bin`` directory too, where DLLs live (``<zip>/python/kavra`` finds
    ``<zip>/bin``).
    """
    here = Path(__file__).resolve().parent
    folders = ("lib", "bin") if sys.platform == "win32" else ("lib",)
    return [here, *(ancestor / folder for ancestor in list(here.parents)[:4] for folder in folders)]


def candidate_paths() -> list[str]:
    """Where the library is looked for, in order.

    The file named by ``KAVRA_LIBRARY``; else a library file beside this package or in a ``lib``
    directory beside it or one of its next ancestors; else the name the system loader resolves on
    its own search path.
    """
    configured = os.environ.get(LIBRARY_ENV)
    if configured:
        return [configured]
    found = [
        str(directory / name)
        for directory in _search_directories()
        for name in _FILE_NAMES
        if (directory / name).is_file()
    ]
    if found:
        return found
    # find_library may give the soname (libKavraLib.so.0), which a bare copy of the file lacks.
    system = ctypes.util.find_library("KavraLib")
    return [system, *(name for name in _FILE_NAMES if name != system)] if system else list(_FILE_NAMES)


def declare_prototypes(library: ctypes.CDLL) -> None:
    """Sets the argument and result types of every exported function on the loaded library."""
    for name, argtypes in PROTOTYPES.items():
        function = getattr(library, name)
        function.argtypes = list(argtypes)
        function.restype = ctypes.c_int


def load_library() -> ctypes.CDLL:
    """The loaded library with its prototypes declared; loaded on the first call.

    From then on the D2XX library is fixed: :func:`use_virtual_bench` refuses to change it.

    Raises:
        OSError: no candidate path could be loaded (the message lists what was tried).
    """
    global _used
    library = _load()
    _used = True
    return library


def _load() -> ctypes.CDLL:
    """The library, loaded on the first call; loading it leaves the D2XX library unchosen."""
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


def status_text(code: int) -> str:
    """The library's meaning of a status code (``getStatusText``).

    Loads the library, but not its D2XX library, so :func:`use_virtual_bench` may still follow.
    Reads "status N" when the library cannot be loaded.
    """
    try:
        library = _load()
    except OSError:
        return f"status {code}"
    buffer = ctypes.create_string_buffer(STATUS_TEXT_BUFFER_SIZE)
    if library.getStatusText(code, buffer, len(buffer)) != 0:
        return f"status {code}"
    return buffer.value.decode("ascii", "replace")


class _DlInfo(ctypes.Structure):
    _fields_ = [("dli_fname", ctypes.c_char_p), ("dli_fbase", ctypes.c_void_p),
                ("dli_sname", ctypes.c_char_p), ("dli_saddr", ctypes.c_void_p)]


def library_path(library: ctypes.CDLL) -> Path | None:
    """The file the system loader opened for a loaded library, or None when it cannot tell.

    A library found through ``LD_LIBRARY_PATH`` or the loader's cache is known only by its name
    until the loader is asked.
    """
    if sys.platform == "win32":
        buffer = ctypes.create_unicode_buffer(32768)
        length = ctypes.windll.kernel32.GetModuleFileNameW(  # type: ignore[attr-defined]
            ctypes.c_void_p(library._handle), buffer, len(buffer))
        return Path(buffer.value) if length else None
    for loader in (None, "libdl.so.2"):
        try:
            dladdr = ctypes.CDLL(loader).dladdr
        except (OSError, AttributeError):
            continue
        dladdr.argtypes = [ctypes.c_void_p, ctypes.POINTER(_DlInfo)]
        info = _DlInfo()
        address = ctypes.cast(library.getLibraryVersion, ctypes.c_void_p)
        if dladdr(address, ctypes.byref(info)) and info.dli_fname:
            return Path(os.fsdecode(info.dli_fname)).resolve()
    return None


#: Environment variable through which the library loads a D2XX library other than the vendor's.
D2XX_ENV: Final = "KAVRA_D2XX_LIBRARY"
#: Environment variable naming the bench file of the virtual bench.
BENCH_ENV: Final = "KAVRA_SIM_BENCH"

_BENCH_NAMES: Final = ("kavra_sim.dll",) if sys.platform == "win32" else ("libkavra_sim.so",)


def use_virtual_bench(bench_library: str | os.PathLike[str] | None = None,
                      bench_file: str | os.PathLike[str] | None = None) -> str:
    """Makes the library talk to the virtual bench instead of the vendor's D2XX library.

    Call it before anything else of this package. ``bench_library`` is the bench library's path;
    by default the one ``KAVRA_D2XX_LIBRARY`` already names, else ``libkavra_sim.so`` beside the
    KavraLib library this package loads (an installed tree, or a build tree's ``../sim``), else
    beside the package. ``bench_file`` names a bench file (docs/bench.md); by default the
    built-in bench.

    Returns:
        The path of the bench library that will be used.

    Raises:
        RuntimeError: a call of this package may have loaded the D2XX library already (the
            library chooses it once per process).
        FileNotFoundError: no bench library was found (the message says where it looked).
        OSError: the KavraLib library itself cannot be loaded.
    """
    if _used:
        raise RuntimeError("use_virtual_bench must be called before the library is first used")
    path = str(bench_library) if bench_library else os.environ.get(D2XX_ENV, "")
    if not path:
        directories: list[Path] = []
        loaded = library_path(_load())
        if loaded:
            directories += [loaded.parent, loaded.parent.parent / "sim"]
        directories += [d for d in _search_directories() if d not in directories]
        found = [directory / name for directory in directories for name in _BENCH_NAMES
                 if (directory / name).is_file()]
        if not found:
            raise FileNotFoundError(
                f"no virtual bench library ({' or '.join(_BENCH_NAMES)}) found; looked in "
                + ", ".join(str(directory) for directory in directories)
                + ": pass its path, use_virtual_bench('/path/to/" + _BENCH_NAMES[0] + "')")
        path = str(found[0])
    os.environ[D2XX_ENV] = path
    if bench_file is not None:
        os.environ[BENCH_ENV] = str(bench_file)
    return path
