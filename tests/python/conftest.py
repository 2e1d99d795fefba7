"""Test set-up shared by the tests of the kavra package, kavractl and kavrad.

KAVRA_LIBRARY and KAVRA_D2XX_LIBRARY name the library and the bench (ctest sets both); without
them the package's tests are skipped. The tools' tests run with --noconftest and import the
helpers below. Importing this module removes KAVRA_SIM_BENCH from the environment, so that every
process the tests start runs the bench they choose (the built-in default bench unless told).
"""

from __future__ import annotations

import ctypes
import json
import os
import subprocess
import sys
from collections.abc import Iterator, Sequence
from pathlib import Path
from typing import Any

import pytest

PACKAGE_DIR = Path(__file__).resolve().parents[2] / "python"
if str(PACKAGE_DIR) not in sys.path:
    sys.path.insert(0, str(PACKAGE_DIR))

# The bench reads this once, when it loads.
os.environ.pop("KAVRA_SIM_BENCH", None)

import kavra  # noqa: E402  (after the path and the environment are in place)

#: The built-in default bench (tests/common/default-bench.json, shared with the C++ tests):
#: index, serial number, family, model, chip and outputs.
_FIXTURE = json.loads((Path(__file__).resolve().parents[1] / "common" / "default-bench.json").read_text())
DEFAULT_BENCH = [(u["index"], u["serial"], u["family"], u["model"], u["chip"], u["outputs"])
                 for u in _FIXTURE["units"]]
SERIAL = {u["index"]: u["serial"] for u in _FIXTURE["units"]}
_INDEX = {u["name"]: u["index"] for u in _FIXTURE["units"]}
ALDER, CEDAR, GENERIC19, GENERIC25, BIRCH, ROWAN = (
    _INDEX[name] for name in ("Alder", "Cedar", "Generic19", "Generic25", "Birch", "Rowan"))
#: What makes readings show: 10 MOhm loads (100 µA at 1000 V) and a converter input of 3.3.
LOADS = {ALDER: {"loadOhms": 10_000_000}, GENERIC19: {"loadOhms": 10_000_000},
         ROWAN: {"adcInput": 3.3}}


def bench_units(indices: Sequence[int] | None = None,
                extra: dict[int, dict[str, Any]] = LOADS) -> list[dict[str, Any]]:
    """Bench file entries of the default bench's units (all of them without indices)."""
    return [{"chip": chip, "serial": serial, **extra.get(index, {})}
            for index, serial, _, _, chip, _ in DEFAULT_BENCH if indices is None or index in indices]


def write_bench(path: Path, units: list[dict[str, Any]] | str) -> str:
    """Writes a bench file of the units (or a text as it stands); its path."""
    path.write_text(units if isinstance(units, str) else json.dumps({"units": units}))
    return str(path)


def run(argv: Sequence[str], env: dict[str, str] | None = None, stdin: str | None = None,
        timeout: float = 60) -> subprocess.CompletedProcess[str]:
    return subprocess.run(list(argv), input=stdin, capture_output=True, text=True, env=env,
                          timeout=timeout)


def pytest_collection_modifyitems(config: pytest.Config, items: list[pytest.Item]) -> None:
    """Skips the package's tests, with the reason, when the library or the bench is missing."""
    missing = [f"{name} does not name the built {what} (ctest sets it)" for name, what in
               (("KAVRA_LIBRARY", "libKavraLib.so"), ("KAVRA_D2XX_LIBRARY", "libkavra_sim.so"))
               if not Path(os.environ.get(name, "")).is_file()]
    for item in items:
        if missing and item.path.name == "test_kavra.py":
            item.add_marker(pytest.mark.skip(reason="; ".join(missing)))


class Bench:
    """The control interface of the bench the library under test has loaded."""

    def __init__(self, path: str) -> None:
        self._lib = ctypes.CDLL(path)
        self._lib.kavrasim_unit_state.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int]
        self._lib.kavrasim_load_bench.argtypes = [ctypes.c_char_p]

    def state(self, serial: str) -> dict[str, Any]:
        """The firmware's own state of the unit (docs/bench-units.md)."""
        buffer = ctypes.create_string_buffer(1 << 16)
        size = self._lib.kavrasim_unit_state(serial.encode(), buffer, len(buffer))
        assert 0 < size <= len(buffer), f"unit state of {serial}: {size}"
        return json.loads(buffer.value)["unit"]

    def open_handles(self) -> int:
        return self._lib.kavrasim_open_handle_count()

    def plug(self, serial: str, plugged: bool) -> None:
        assert getattr(self._lib, "kavrasim_replug" if plugged else "kavrasim_unplug")(
            serial.encode()) == 0

    def call_count(self, function: str) -> int:
        """Calls of a D2XX function that lists or opens chips, since the process started."""
        count = self._lib.kavrasim_call_count(function.encode())
        assert count >= 0, function
        return count

    def load(self, bench: dict[str, Any]) -> None:
        assert self._lib.kavrasim_load_bench(json.dumps(bench).encode()) == 0

    def reset(self) -> None:
        assert self._lib.kavrasim_reset() == 0


@pytest.fixture(scope="session")
def bench() -> Bench:
    return Bench(os.environ["KAVRA_D2XX_LIBRARY"])


@pytest.fixture(scope="session")
def shared_session() -> Iterator[kavra.Session]:
    """One session for the tests that only use it, so that each unit opens once per run."""
    session = kavra.Session()
    yield session
    session.close()


@pytest.fixture
def session(shared_session: kavra.Session) -> kavra.Session:
    """The shared session, entered again when a test of its own sessions has ended it."""
    if not shared_session.is_open:
        shared_session.open()
    return shared_session


@pytest.fixture(scope="class")
def loaded_bench(bench: Bench, shared_session: kavra.Session,
                 request: pytest.FixtureRequest) -> Iterator[kavra.Session]:
    """A session on the bench of the test class's ``BENCH``; the default bench returns after."""
    shared_session.close()
    bench.load(request.cls.BENCH)
    try:
        with kavra.Session() as session:
            yield session
    finally:
        bench.reset()
