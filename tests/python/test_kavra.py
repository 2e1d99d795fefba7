"""The kavra package driving the real library on the virtual bench."""

from __future__ import annotations

import json
import math
import os
import re
import subprocess
import sys
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

import kavra
from conftest import Bench
from kavra import Family, Model

ROOT = Path(__file__).resolve().parents[2]

ALDER, CEDAR, GENERIC19, GENERIC25, BIRCH, ROWAN = (
    "QZAH015010001", "QZAH017010002", "QZAH019010003", "QZAH025010004", "QZAH040010005",
    "QZAH041010006",
)

DEFAULT_BENCH = [
    (1, ALDER, Model(15, 1), Family.ALDER),
    (2, CEDAR, Model(17, 1), Family.CEDAR),
    (3, GENERIC19, Model(19, 1), Family.GENERIC),
    (4, GENERIC25, Model(25, 1), Family.GENERIC),
    (5, BIRCH, Model(40, 1), Family.BIRCH),
    (6, ROWAN, Model(41, 1), Family.ROWAN),
]


def header_status_table() -> dict[int, str]:
    """The status codes and the first line of their meanings, read from KavraLib.h."""
    header = (ROOT / "include" / "KavraLib.h").read_text()
    block = header.split("Status codes:", 1)[1].split("Range checks", 1)[0]
    return {int(code): text.strip()
            for code, text in re.findall(r"^ \*\s+(-?\d+)\s+(.+)$", block, re.MULTILINE)}


# Listing and lookup


def test_listing_shows_every_unit_of_the_default_bench(session: kavra.Session) -> None:
    assert session.count() == len(DEFAULT_BENCH)
    assert [tuple(info) for info in session.units()] == DEFAULT_BENCH


@pytest.mark.parametrize("index", [0, 7, 100, -1])
def test_an_index_without_a_unit_is_no_such_unit(session: kavra.Session, index: int) -> None:
    with pytest.raises(kavra.NoSuchUnitError) as caught:
        session.unit(index)
    assert caught.value.code == 1


@pytest.mark.parametrize("index, serial, model, family", DEFAULT_BENCH)
def test_a_unit_is_found_by_its_serial_number_in_lower_case(
        session: kavra.Session, index: int, serial: str, model: Model, family: Family) -> None:
    unit = session.unit(serial.lower())
    assert (unit.index, unit.serial, unit.model, unit.family) == (index, serial, model, family)


def test_an_unknown_serial_number_is_no_such_unit(session: kavra.Session) -> None:
    with pytest.raises(kavra.NoSuchUnitError) as caught:
        session.unit("QZAH099010099")
    assert caught.value.code == 6
    assert caught.value.meaning == "no attached unit has the given serial number"
    assert isinstance(caught.value, LookupError)


def test_library_version_is_the_projects_version() -> None:
    project = re.search(r"project\(KavraLib VERSION (\d+\.\d+\.\d+)",
                        (ROOT / "CMakeLists.txt").read_text())
    assert project is not None
    assert kavra.library_version() == project.group(1)


# A setting and its read-back per family


@pytest.mark.parametrize("serial, voltage, limit", [(GENERIC19, 1000.0, 100.0),
                                                    (GENERIC25, 1500.0, 400.0)])
def test_generic_output_set_and_switched_on(session: kavra.Session, bench: Bench, serial: str,
                                            voltage: float, limit: float) -> None:
    unit = session.unit(serial)
    unit.set_voltage(1, voltage, limit)
    unit.turn_on(1)
    output = bench.state(serial)["output"]
    assert (output["on"], output["setVoltage"], output["currentLimit"]) == (True, voltage, limit)
    assert unit.channel_status(1) == kavra.ChannelStatus(first=True, second=False)
    current = unit.channel_current(1)
    assert isinstance(current, float) and current == 0.0  # nothing is connected
    assert unit.supply_status() == kavra.SupplyStatus(flag=False, text="No error")
    unit.turn_off(1)
    assert unit.channel_status(1).first is False


def test_alder_pwm_and_polarity(session: kavra.Session, bench: Bench) -> None:
    unit = session.unit(ALDER)
    unit.set_pwm_frequency(1000)
    unit.set_pwm(1, 40)
    unit.set_voltage(1, 500.0, 200.0)
    unit.set_polarity(1, 1)
    state = bench.state(ALDER)
    assert (state["pwm"]["frequency"], state["pwm"]["duty"]) == (1000, 40)
    assert state["polarity"] == 1
    assert abs(state["output"]["setVoltage"]) == 500
    unit.set_polarity(1, 0)
    assert bench.state(ALDER)["polarity"] == 0


def test_rowan_adc_value_is_the_converter_input(session: kavra.Session, bench: Bench) -> None:
    value = session.unit(ROWAN).adc_value()
    assert isinstance(value, float)
    assert value == bench.state(ROWAN)["adcInput"] == 12.5


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
    state = bench.state(CEDAR)
    assert state["bus"] == {"level": 1, "limit": 100, "on": True}
    output = state["outputs"][0]
    assert output["on"] is True and output["periodMs"] == 2000
    assert output["setVoltage"] == pytest.approx(80.0, abs=0.01)
    assert output["secondVoltage"] == pytest.approx(20.0, abs=0.01)
    assert unit.channel_status(1) == kavra.ChannelStatus(first=True, second=True)
    assert unit.channel_status(2) == kavra.ChannelStatus(first=False, second=False)
    # Level 1 allows up to 100 V.
    with pytest.raises(kavra.OutOfRangeError) as caught:
        unit.set_voltage_waveform(1, 1, 100.5, 20.0, 2.0)
    assert caught.value.code == 19
    unit.disable_bus()
    assert unit.channel_status(1) == kavra.ChannelStatus(first=True, second=False)
    assert unit.supply_status() == kavra.SupplyStatus(flag=False, text="")
    unit.turn_off(1)


# Status codes as exceptions


def test_voltage_out_of_range_carries_code_and_meaning(session: kavra.Session) -> None:
    with pytest.raises(kavra.OutOfRangeError) as caught:
        session.unit(GENERIC19).set_voltage(1, 5001.0, 100.0)
    error = caught.value
    assert (error.code, error.meaning, error.operation) == (19, "voltage out of range",
                                                            "setVoltage")
    assert isinstance(error, kavra.KavraError) and isinstance(error, ValueError)
    assert "19" in str(error) and "voltage out of range" in str(error)


@pytest.mark.parametrize("serial, call, code", [
    (GENERIC19, lambda u: u.set_voltage(1, math.nan, 100.0), 19),
    (GENERIC19, lambda u: u.set_voltage(1, 10**400, 100.0), 19),
    (GENERIC19, lambda u: u.set_voltage(1, 1000.0, 201.0), 20),
    (GENERIC19, lambda u: u.set_voltage(2, 1000.0, 100.0), 18),
    (GENERIC25, lambda u: u.set_polarity(1, 2), 22),
    (ALDER, lambda u: u.set_pwm(2, 50), 13),
    (ALDER, lambda u: u.set_pwm(1, 101), 14),
    (ALDER, lambda u: u.set_pwm_frequency(0), 16),
    (CEDAR, lambda u: u.enable_bus(2), 26),
    (CEDAR, lambda u: u.set_pwm_function(1, 3), 34),
    (CEDAR, lambda u: u.set_voltage_waveform(1, 1, 50.0, -1.0, 1.0), 35),
    (CEDAR, lambda u: u.set_voltage_waveform(1, 1, 50.0, 20.0, 0.05), 36),
    (CEDAR, lambda u: u.set_voltage_waveform(1, 3, 50.0, 20.0, 1.0), 37),
    (CEDAR, lambda u: u.channel_status(4), 18),
    (BIRCH, lambda u: u.set_accurate_voltage(1, 52001.0, 0.0), 19),
])
def test_arguments_out_of_range(session: kavra.Session, serial: str,
                                call: Callable[[kavra.Unit], Any], code: int) -> None:
    with pytest.raises(kavra.OutOfRangeError) as caught:
        call(session.unit(serial))
    assert caught.value.code == code


@pytest.mark.parametrize("serial, call", [
    (ROWAN, lambda u: u.turn_on(1)),
    (BIRCH, lambda u: u.set_voltage(1, 100.0, 0.0)),
    (BIRCH, lambda u: u.supply_status()),
    (GENERIC19, lambda u: u.adc_value()),
    (GENERIC19, lambda u: u.set_polarity(1, 1)),  # a single-polarity model
    (ALDER, lambda u: u.enable_bus(0)),
    (CEDAR, lambda u: u.channel_current(1)),
])
def test_operations_outside_the_family_are_not_supported(
        session: kavra.Session, serial: str, call: Callable[[kavra.Unit], Any]) -> None:
    with pytest.raises(kavra.NotSupportedError) as caught:
        call(session.unit(serial))
    assert caught.value.code == 10


@pytest.mark.parametrize("call, error", [
    (lambda u: u.set_voltage(1.0, 100.0, 10.0), TypeError),
    (lambda u: u.set_voltage(True, 100.0, 10.0), TypeError),
    (lambda u: u.set_voltage(1, "100", 10.0), TypeError),
    (lambda u: u.set_voltage(2**32 + 1, 100.0, 10.0), OverflowError),  # would wrap to 1
    (lambda u: u.turn_on(-(2**31) - 1), OverflowError),
])
def test_arguments_of_the_wrong_type_never_reach_the_library(
        session: kavra.Session, bench: Bench, call: Callable[[kavra.Unit], Any],
        error: type[Exception]) -> None:
    unit = session.unit(GENERIC19)
    before = bench.state(GENERIC19)["requests"]
    with pytest.raises(error):
        call(unit)
    assert bench.state(GENERIC19)["requests"] == before


@pytest.mark.parametrize("name", [3.0, None, b"QZAH019010003"])
def test_a_unit_is_named_by_int_or_str_only(session: kavra.Session, name: Any) -> None:
    with pytest.raises(TypeError):
        session.unit(name)


def test_a_serial_number_with_a_zero_character_is_refused(session: kavra.Session) -> None:
    with pytest.raises(ValueError):
        session.unit(GENERIC19 + "\0junk")


def test_every_documented_status_code_has_its_meaning_and_a_specific_class() -> None:
    table = header_status_table()
    assert len(table) >= 37 and 0 in table and -1 in table
    for code, meaning in table.items():
        assert kavra.STATUS_MEANINGS[code] == meaning, code
        if code:
            error = kavra.error_for(code)
            assert type(error) is not kavra.KavraError, code
            assert (error.code, error.meaning) == (code, meaning)
    assert type(kavra.error_for(99)) is kavra.KavraError
    with pytest.raises(ValueError):
        kavra.error_for(0)


# Sessions


def test_leaving_a_session_closes_its_units_and_it_can_be_entered_again(bench: Bench) -> None:
    session = kavra.Session()
    with session:
        unit = session.unit(ROWAN)
        assert unit.adc_value() == 12.5
        assert bench.open_handles() == 1
    assert not session.is_open
    assert bench.open_handles() == 0
    with pytest.raises(kavra.SessionClosedError):
        unit.adc_value()
    with pytest.raises(kavra.SessionClosedError):
        session.count()
    with session:
        assert session.count() == len(DEFAULT_BENCH)
        assert session.unit(ROWAN).adc_value() == 12.5
    assert bench.open_handles() == 0


def test_a_new_session_replaces_the_open_one(bench: Bench) -> None:
    first = kavra.Session()
    first.open()
    old_unit = first.unit(ROWAN)
    old_unit.adc_value()
    with kavra.Session() as second:
        assert not first.is_open
        with pytest.raises(kavra.SessionClosedError):
            old_unit.adc_value()
        unit = second.unit(ROWAN)
        unit.adc_value()
        first.close()  # leaves the newer session alone
        assert unit.adc_value() == 12.5
        assert bench.open_handles() == 1
    assert bench.open_handles() == 0


# A bench of its own, for loads, errors and refusals


class TestLoadedBench:
    """Units the default bench lacks: a loaded Generic output, faulty and unready Cedar units,
    and a model without a family."""

    BENCH = {"timing": "instant", "units": [
        {"chip": "FT232H", "serial": "QZAH019010003", "loadOhms": 10_000_000},
        {"chip": "FT2232H", "serial": "QZAH017010002", "errorWord": 0xFFFF, "ready": False},
        {"chip": "FT2232H", "serial": "QZAH017010007", "outputs23Ready": False},
        {"chip": "FT232H", "serial": "QZAH039010008"},
    ]}

    def test_listing_gives_no_family_to_an_unknown_model(
            self, loaded_bench: kavra.Session) -> None:
        assert loaded_bench.units()[3] == kavra.UnitInfo(4, "QZAH039010008", Model(39, 1), None)
        with pytest.raises(kavra.NotSupportedError) as caught:
            loaded_bench.unit(4).clear_error()
        assert caught.value.code == 10

    @pytest.mark.parametrize("limit, current, limited", [(150.0, 100.0, False),
                                                         (50.0, 50.0, True)])
    def test_generic_current_through_a_load(self, loaded_bench: kavra.Session, limit: float,
                                            current: float, limited: bool) -> None:
        unit = loaded_bench.unit(1)
        unit.set_voltage(1, 1000.0, limit)  # 1000 V across 10 MOhm: 100 µA
        unit.turn_on(1)
        assert unit.channel_current(1) == current
        assert unit.channel_status(1) == kavra.ChannelStatus(first=True, second=limited)

    def test_cedar_error_text_fills_the_long_status_and_clears(
            self, loaded_bench: kavra.Session) -> None:
        unit = loaded_bench.unit("qzah017010002")
        status = unit.supply_status()
        assert status.flag is True
        lines = status.text.split("\n")
        assert len(lines) == 9 and lines[0] == "Output 1 over-temperature"
        assert len(status.text) == 221  # the longest text: needs the full 222-byte buffer
        unit.clear_error()
        assert unit.supply_status() == kavra.SupplyStatus(flag=False, text="")

    @pytest.mark.parametrize("index, channel, code", [(2, 1, 29), (3, 2, 30), (3, 3, 30)])
    def test_switching_on_an_unready_output_is_refused(
            self, loaded_bench: kavra.Session, index: int, channel: int, code: int) -> None:
        unit = loaded_bench.unit(index)
        with pytest.raises(kavra.SwitchOnRefusedError) as caught:
            unit.turn_on(channel)
        assert caught.value.code == code
        assert unit.channel_status(channel).first is False


# Choosing the virtual bench in a fresh process


def run_fresh(script: str, **environment: str) -> str:
    """Runs the script in a new interpreter without the bench variables; returns its output."""
    env = {name: value for name, value in os.environ.items()
           if name not in ("KAVRA_D2XX_LIBRARY", "KAVRA_SIM_BENCH")}
    env.update(environment, PYTHONPATH=str(ROOT / "python"))
    done = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True,
                          text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_use_virtual_bench_finds_the_bench_beside_the_built_library() -> None:
    output = run_fresh(
        "import kavra\n"
        "path = kavra.use_virtual_bench()\n"
        "with kavra.Session() as s:\n"
        "    print(path)\n"
        "    print(*[u.serial for u in s.units()])\n")
    path, serials = output.splitlines()
    assert Path(path).samefile(os.environ["KAVRA_D2XX_LIBRARY"])
    assert serials.split() == [serial for _, serial, _, _ in DEFAULT_BENCH]


def test_use_virtual_bench_with_a_bench_file(tmp_path: Path) -> None:
    bench_file = tmp_path / "bench.json"
    bench_file.write_text(json.dumps({"units": [{"chip": "FT-X", "serial": "QZAH041010042"}]}))
    output = run_fresh(
        "import kavra\n"
        f"kavra.use_virtual_bench(bench_file={str(bench_file)!r})\n"
        "with kavra.Session() as s:\n"
        "    (info,) = s.units()\n"
        "    print(info.serial, info.family, s.unit(1).adc_value())\n")
    assert output.split() == ["QZAH041010042", "Rowan", "12.5"]


def test_use_virtual_bench_after_the_library_is_loaded_is_refused(
        session: kavra.Session) -> None:
    with pytest.raises(RuntimeError):
        kavra.use_virtual_bench()
