"""The kavra package driving the real library on the virtual bench."""

from __future__ import annotations

import ctypes
import json
import math
import os
import subprocess
import sys
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

import kavra
from conftest import Bench
from kavra import Family, Model

ALDER, CEDAR, GENERIC19, GENERIC25, BIRCH, ROWAN = (
    "QZAH015010001", "QZAH017010002", "QZAH019010003", "QZAH025010004", "QZAH040010005",
    "QZAH041010006",
)

DEFAULT_BENCH = [
    (1, ALDER, Model(15, 1), Family.ALDER, 1),
    (2, CEDAR, Model(17, 1), Family.CEDAR, 3),
    (3, GENERIC19, Model(19, 1), Family.GENERIC, 1),
    (4, GENERIC25, Model(25, 1), Family.GENERIC, 1),
    (5, BIRCH, Model(40, 1), Family.BIRCH, 1),
    (6, ROWAN, Model(41, 1), Family.ROWAN, 0),
]


# Listing and lookup


def test_listing_and_lookup_by_lower_case_serial(session: kavra.Session) -> None:
    assert session.count() == len(DEFAULT_BENCH)
    units = session.units()
    assert [tuple(info)[:5] for info in units] == DEFAULT_BENCH
    # The operation bits in the header's order, with the model's own exceptions.
    assert units[5].operations == {"getADCValue", "clearError"}
    assert units[4].operations == {"setAccurateVoltage", "turnVoltageOff", "clearError"}
    assert "setPolarity" in units[3].operations and "setPolarity" not in units[2].operations
    for index, serial, model, family, _ in DEFAULT_BENCH:
        unit = session.unit(serial.lower())
        assert (unit.index, unit.serial, unit.model, unit.family) == (index, serial, model, family)


@pytest.mark.parametrize("name, code", [(0, 1), (7, 1), (-1, 1), ("QZAH099010099", 6)])
def test_a_name_without_a_unit_is_no_such_unit(session: kavra.Session, name: int | str,
                                               code: int) -> None:
    with pytest.raises(kavra.NoSuchUnitError) as caught:
        session.unit(name)
    assert caught.value.code == code and isinstance(caught.value, LookupError)


# A setting and its read-back per family


def test_generic_output_set_and_switched_on(session: kavra.Session, bench: Bench) -> None:
    unit = session.unit(GENERIC19)
    unit.set_voltage(1, 1000.0, 100.0)
    unit.turn_on(1)
    output = bench.state(GENERIC19)["output"]
    assert (output["on"], output["setVoltage"], output["currentLimit"]) == (True, 1000, 100)
    assert unit.channel_status(1) == kavra.ChannelStatus(first=True, second=False)
    assert unit.channel_current(1) == 0.0  # nothing is connected
    assert unit.supply_status() == kavra.SupplyStatus(flag=False, text="No error")
    unit.turn_off(1)
    assert unit.channel_status(1).first is False


def test_alder_pwm_and_polarity(session: kavra.Session, bench: Bench) -> None:
    unit = session.unit(ALDER)
    unit.set_pwm_frequency(1000)
    unit.set_pwm(1, 40)
    unit.set_polarity(1, 1)
    state = bench.state(ALDER)
    assert (state["pwm"]["frequency"], state["pwm"]["duty"], state["polarity"]) == (1000, 40, 1)
    unit.set_polarity(1, 0)


def test_rowan_adc_value_is_the_converter_input(session: kavra.Session, bench: Bench) -> None:
    assert session.unit(ROWAN).adc_value() == bench.state(ROWAN)["adcInput"] == 12.5


def test_birch_accurate_voltage_and_off(session: kavra.Session, bench: Bench) -> None:
    unit = session.unit(BIRCH)
    unit.set_accurate_voltage(1, 1000.0, 1.5)
    state = bench.state(BIRCH)
    assert (state["outputOn"], state["voltage"], state["secondMilli"]) == (True, 1000, 1500)
    unit.turn_off(1)
    assert bench.state(BIRCH)["outputOn"] is False


def test_cedar_bus_waveform_and_channel_status(session: kavra.Session, bench: Bench) -> None:
    unit = session.unit(CEDAR)
    unit.enable_bus(1)
    unit.set_voltage_waveform(1, 1, 80.0, 20.0, 2.0)
    unit.turn_on(1)
    output = bench.state(CEDAR)["outputs"][0]
    assert output["on"] is True and output["periodMs"] == 2000
    assert output["setVoltage"] == pytest.approx(80.0, abs=0.01)
    assert unit.channel_status(1) == kavra.ChannelStatus(first=True, second=True)
    unit.disable_bus()
    assert unit.channel_status(1) == kavra.ChannelStatus(first=True, second=False)
    unit.turn_off(1)


# Status codes as exceptions


def test_a_status_code_carries_its_code_meaning_and_operation(session: kavra.Session) -> None:
    with pytest.raises(kavra.OutOfRangeError) as caught:
        session.unit(GENERIC19).set_voltage(1, 5001.0, 100.0)
    error = caught.value
    assert (error.code, error.meaning, error.operation) == (19, "voltage out of range",
                                                            "setVoltage")
    assert isinstance(error, kavra.KavraError) and isinstance(error, ValueError)
    assert "19" in str(error) and "voltage out of range" in str(error)
    assert kavra.meaning_of(25) == "unknown status code 25"


@pytest.mark.parametrize("serial, call, error, code", [
    (GENERIC19, lambda u: u.set_voltage(1, math.nan, 100.0), kavra.OutOfRangeError, 19),
    (GENERIC19, lambda u: u.set_voltage(1, 10**400, 100.0), kavra.OutOfRangeError, 19),
    (GENERIC19, lambda u: u.set_voltage(2, 1000.0, 100.0), kavra.OutOfRangeError, 18),
    (ALDER, lambda u: u.set_pwm(1, 101), kavra.OutOfRangeError, 14),
    (CEDAR, lambda u: u.set_voltage_waveform(1, 1, 50.0, 20.0, 0.05), kavra.OutOfRangeError, 36),
    (ROWAN, lambda u: u.turn_on(1), kavra.NotSupportedError, 10),
    (GENERIC19, lambda u: u.set_polarity(1, 1), kavra.NotSupportedError, 10),
    (CEDAR, lambda u: u.channel_current(1), kavra.NotSupportedError, 10),
])
def test_refused_calls_raise_their_class(session: kavra.Session, serial: str,
                                         call: Callable[[kavra.Unit], Any],
                                         error: type[kavra.KavraError], code: int) -> None:
    with pytest.raises(error) as caught:
        call(session.unit(serial))
    assert caught.value.code == code


@pytest.mark.parametrize("call, error", [
    (lambda s, u: u.set_voltage(True, 100.0, 10.0), TypeError),
    (lambda s, u: u.set_voltage(1, "100", 10.0), TypeError),
    (lambda s, u: u.set_voltage(2**32 + 1, 100.0, 10.0), OverflowError),  # would wrap to 1
    (lambda s, u: s.unit(3.0), TypeError),
    (lambda s, u: s.unit(GENERIC19 + "\0junk"), ValueError),
])
def test_arguments_of_the_wrong_type_never_reach_the_library(
        session: kavra.Session, bench: Bench, call: Callable[[kavra.Session, kavra.Unit], Any],
        error: type[Exception]) -> None:
    unit = session.unit(GENERIC19)
    before = bench.state(GENERIC19)["requests"]
    with pytest.raises(error):
        call(session, unit)
    assert bench.state(GENERIC19)["requests"] == before


# Sessions


def test_leaving_a_session_closes_its_units_and_it_can_be_entered_again(bench: Bench) -> None:
    session = kavra.Session()
    with session:
        unit = session.unit(ROWAN)
        assert unit.adc_value() == 12.5
        assert bench.open_handles() == 1
    assert not session.is_open and bench.open_handles() == 0
    with pytest.raises(kavra.SessionClosedError):
        unit.adc_value()
    with session:
        assert session.unit(ROWAN).adc_value() == 12.5
        # A new session replaces the open one.
        with kavra.Session() as second:
            assert not session.is_open
            assert second.unit(ROWAN).adc_value() == 12.5
            session.close()  # leaves the newer session alone
            assert bench.open_handles() == 1
    assert bench.open_handles() == 0


# A bench of its own, for loads, errors and refusals


class TestLoadedBench:
    """Units the default bench lacks: a loaded Generic output, faulty and unready Cedar units,
    and a model without a family."""

    BENCH = {"timing": "instant", "units": [
        {"chip": "FT232H", "serial": "QZAH019010003", "loadOhms": 10_000_000},
        {"chip": "FT2232H", "serial": "QZAH017010002", "errorWord": 0xFFFF, "ready": False},
        {"chip": "FT232H", "serial": "QZAH039010008"},
    ]}

    def test_listing_gives_no_family_to_an_unknown_model(
            self, loaded_bench: kavra.Session) -> None:
        assert loaded_bench.units()[2] == kavra.UnitInfo(3, "QZAH039010008", Model(39, 1), None)
        with pytest.raises(kavra.NotSupportedError):
            loaded_bench.unit(3).clear_error()

    @pytest.mark.parametrize("limit, current, limited", [(150.0, 100.0, False),
                                                         (50.0, 50.0, True)])
    def test_generic_current_through_a_load(self, loaded_bench: kavra.Session, limit: float,
                                            current: float, limited: bool) -> None:
        unit = loaded_bench.unit(1)
        unit.set_voltage(1, 1000.0, limit)  # 1000 V across 10 MOhm: 100 µA
        unit.turn_on(1)
        assert unit.channel_current(1) == current
        assert unit.channel_status(1) == kavra.ChannelStatus(first=True, second=limited)

    def test_cedar_error_text_refusal_and_clearing(self, loaded_bench: kavra.Session) -> None:
        unit = loaded_bench.unit(2)
        status = unit.supply_status()
        assert status.flag is True
        assert status.text.split("\n")[0] == "Output 1 over-temperature"
        assert len(status.text) == 221  # the longest text: needs the full 222-byte buffer
        with pytest.raises(kavra.SwitchOnRefusedError) as caught:
            unit.turn_on(1)
        assert caught.value.code == 29
        unit.clear_error()
        assert unit.supply_status() == kavra.SupplyStatus(flag=False, text="")


# Choosing the virtual bench, and a missing D2XX library, in a fresh process


def run_script(script: str, env_changes: dict[str, str]) -> subprocess.CompletedProcess[str]:
    """The script in a fresh interpreter, without the variables that choose the library, the
    D2XX library and the bench unless env_changes sets them."""
    env = {name: value for name, value in os.environ.items()
           if name not in ("KAVRA_LIBRARY", "KAVRA_D2XX_LIBRARY", "KAVRA_SIM_BENCH")}
    env["PYTHONPATH"] = str(Path(kavra.__file__).parents[1])
    env.update(env_changes)
    return subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True,
                          timeout=60)


@pytest.mark.parametrize("found_through", ["KAVRA_LIBRARY", "LD_LIBRARY_PATH"])
def test_use_virtual_bench_finds_the_bench_beside_the_library_and_takes_a_bench_file(
        tmp_path: Path, found_through: str) -> None:
    bench_file = tmp_path / "bench.json"
    bench_file.write_text(json.dumps({"units": [{"chip": "FT-X", "serial": "QZAH041010042"}]}))
    script = ("import kavra\n"
              f"print(kavra.use_virtual_bench(bench_file={str(bench_file)!r}))\n"
              "with kavra.Session() as s:\n"
              "    (info,) = s.units()\n"
              "    print(info.serial, info.family, s.unit(1).adc_value())\n")
    library = Path(os.environ["KAVRA_LIBRARY"])
    done = run_script(script, {"KAVRA_LIBRARY": str(library)} if found_through == "KAVRA_LIBRARY"
                      else {"LD_LIBRARY_PATH": str(library.parent)})
    assert done.returncode == 0, done.stderr
    path, unit = done.stdout.splitlines()
    assert Path(path).samefile(os.environ["KAVRA_D2XX_LIBRARY"])
    assert unit.split() == ["QZAH041010042", "Rowan", "12.5"]


def test_use_virtual_bench_says_where_it_looked(tmp_path: Path) -> None:
    # A library with no bench beside it (nor in ../sim).
    lonely = tmp_path / "lib"
    lonely.mkdir()
    (lonely / "libKavraLib.so").write_bytes(Path(os.environ["KAVRA_LIBRARY"]).read_bytes())
    done = run_script("import kavra\nkavra.use_virtual_bench()\n",
                      {"LD_LIBRARY_PATH": str(lonely)})
    assert "FileNotFoundError: no virtual bench library (libkavra_sim.so) found" in done.stderr
    assert f"looked in {lonely}, {tmp_path / 'sim'}, " in done.stderr


def test_without_a_d2xx_library_the_session_names_the_cause() -> None:
    script = ("import kavra\n"
              "print(kavra.driver_library())\n"
              "try:\n"
              "    kavra.Session().open()\n"
              "except kavra.DriverLibraryError as error:\n"
              "    print(error.info)\n")
    done = run_script(script, {"KAVRA_LIBRARY": os.environ["KAVRA_LIBRARY"],
                               "KAVRA_D2XX_LIBRARY": "/nonexistent.so"})
    assert done.returncode == 0, done.stderr
    driver, info = done.stdout.splitlines()
    assert driver.startswith("DriverLibrary(loaded=False, info='not loaded: tried /nonexistent.so: ")
    assert info.startswith("not loaded: tried /nonexistent.so: ") and "cannot open" in info


def test_driver_library_names_the_bench_in_use_and_the_buffer_rule_holds() -> None:
    driver = kavra.driver_library()
    assert driver.loaded
    path = driver.info.removeprefix("loaded ").rsplit(", version ", 1)[0]
    assert Path(path).samefile(os.environ["KAVRA_D2XX_LIBRARY"])
    library = kavra.load_library()
    loaded = ctypes.c_bool(False)
    small = ctypes.create_string_buffer(b"untouched", 10)
    for buffer, size in [(None, 1024), (small, len(small)), (small, -1)]:
        assert library.getDriverLibraryInfo(ctypes.byref(loaded), buffer, size) == 38
    assert small.value == b"untouched" and loaded.value is False


def test_use_virtual_bench_after_the_library_is_loaded_is_refused(
        session: kavra.Session) -> None:
    with pytest.raises(RuntimeError):
        kavra.use_virtual_bench()
