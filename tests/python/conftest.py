"""Test set-up for the kavra package: the real library on the virtual bench.

KAVRA_LIBRARY and KAVRA_D2XX_LIBRARY name the library and the bench (ctest sets both); without
them the package's tests are skipped. The tests expect the built-in default bench.
"""

from __future__ import annotations

import ctypes
import json
import os
import sys
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import pytest

PACKAGE_DIR = Path(__file__).resolve().parents[2] / "python"
if str(PACKAGE_DIR) not in sys.path:
    sys.path.insert(0, str(PACKAGE_DIR))

# The bench reads this once, when it loads.
os.environ.pop("KAVRA_SIM_BENCH", None)

import kavra  # noqa: E402  (after the path and the environment are in place)


def _missing_environment() -> str | None:
    for name, what in (("KAVRA_LIBRARY", "libKavraLib.so"), ("KAVRA_D2XX_LIBRARY", "libkavra_sim.so")):
        path = os.environ.get(name)
        if not path:
            return f"{name} is not set: point it at the built {what} (ctest sets it)"
        if not Path(path).is_file():
            return f"{name} names {path}, which does not exist: build {what} first"
    return None


def pytest_collection_modifyitems(config: pytest.Config, items: list[pytest.Item]) -> None:
    """Skips the package's tests, with the reason, when the library or the bench is missing."""
    reason = _missing_environment()
    if reason:
        for item in items:
            if item.path.name == "test_kavra.py":
                item.add_marker(pytest.mark.skip(reason=reason))


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
