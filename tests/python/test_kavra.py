"""The kavra package driving the real library on the virtual bench: what the package adds to the
library (argument conversion, listing, exceptions, sessions, finding the libraries)."""

from __future__ import annotations

import ctypes
import json
import math
import os
import sys
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

import kavra
from conftest import ALDER, BIRCH, CEDAR, DEFAULT_BENCH, GENERIC19, ROWAN, SERIAL, Bench, run, write_bench



def test_listing_lists_once_keeps_a_lost_unit_and_looks_up_lower_case_serials(bench: Bench) -> None:
    with kavra.Session() as session:
        def listing() -> list[kavra.UnitInfo]:
            lists = bench.call_count("FT_CreateDeviceInfoList")
            units = session.units()
            assert bench.call_count("FT_CreateDeviceInfoList") == lists + 1
            return units

        units = listing()
        assert session.count() == len(units) == len(DEFAULT_BENCH)
        for info, (index, serial, family, model, _, channels) in zip(units, DEFAULT_BENCH):
            assert (info.index, info.serial, str(info.model), info.family, info.channel_count) == (
                index, serial, model, family, channels)
            assert session.unit(serial.lower()).info == info
        # The operation bits in the header's order.
        assert units[ROWAN - 1].operations == {"getADCValue", "clearError"}
        assert units[BIRCH - 1].operations == {"setAccurateVoltage", "turnVoltageOff", "clearError"}
        bench.plug(SERIAL[GENERIC19], False)
        try:
            assert listing() == units
            assert (session.count(), session.highest_index()) == (len(SERIAL) - 1, len(SERIAL))
            assert [session.unit(i).serial for i in SERIAL] == [session.serial_number(i) for i in SERIAL]
            with pytest.raises(kavra.NoSuchUnitError):  # away, never opened: getDeviceIndex answers 6
                session.index_of(SERIAL[GENERIC19])
        finally:
            bench.plug(SERIAL[GENERIC19], True)


# Each method's arguments as the unit's firmware received them.
@pytest.mark.parametrize("index, act, read, expected", [
    (GENERIC19, lambda u: (u.set_voltage(1, 1000.0, 100.0), u.turn_on(1)),
     lambda s: (s["output"]["on"], s["output"]["setVoltage"], s["output"]["currentLimit"]),
     (True, 1000, 100)),
    (GENERIC19, lambda u: (u.turn_on(1), u.turn_off(1)), lambda s: s["output"]["on"], False),
    (ALDER, lambda u: (u.set_pwm_frequency(1000), u.set_pwm(1, 40), u.set_polarity(1, 1)),
     lambda s: (s["pwm"]["frequency"], s["pwm"]["duty"], s["polarity"]), (1000, 40, 1)),
    (BIRCH, lambda u: u.set_accurate_voltage(1, 1000.0, 1.5),
     lambda s: (s["outputOn"], s["voltage"], s["secondMilli"]), (True, 1000, 1500)),
    (CEDAR, lambda u: (u.enable_bus(1), u.set_voltage_waveform(2, 1, 80.0, 20.0, 2.0), u.turn_on(2)),
     lambda s: (s["bus"]["level"], s["outputs"][1]["on"], s["outputs"][1]["waveform"],
                round(s["outputs"][1]["setVoltage"]), round(s["outputs"][1]["secondVoltage"]),
                s["outputs"][1]["periodMs"]), (1, True, 2, 80, 20, 2000)),
    (CEDAR, lambda u: (u.enable_bus(1), u.disable_bus()), lambda s: s["bus"]["on"], False),
])
def test_a_setting_reaches_the_unit(session: kavra.Session, bench: Bench, index: int,
                                    act: Callable[[kavra.Unit], Any],
                                    read: Callable[[dict[str, Any]], Any], expected: Any) -> None:
    act(session.unit(index))
    assert read(bench.state(SERIAL[index])) == expected


def test_a_slewed_setting_reaches_the_unit_in_increasing_steps(session: kavra.Session,
                                                               bench: Bench) -> None:
    unit, serial = session.unit(GENERIC19), SERIAL[GENERIC19].encode()
    unit.set_voltage(1, 0.0, 100.0)
    buffer = ctypes.create_string_buffer(1 << 20)
    assert bench._lib.kavrasim_take_wire_log(serial, buffer, len(buffer)) > 0
    with pytest.raises(kavra.OutOfRangeError):  # refused before any step
        unit.set_voltage(1, 5001.0, 100.0, slew=2000)
    unit.set_voltage(1, 1000.0, 100.0, slew=2000)
    assert bench._lib.kavrasim_take_wire_log(serial, buffer, len(buffer)) > 0
    steps = [int.from_bytes(packet[8:10], "little") for entry in json.loads(buffer.value)
             if entry["dir"] == "out" and (packet := bytes.fromhex(entry["data"]))[5] == 0x20]
    assert len(steps) == 5 and steps == sorted(set(steps))  # 200 V at a time
    assert bench.state(SERIAL[GENERIC19])["output"]["setVoltage"] == 1000
    with pytest.raises(ValueError):
        unit.set_voltage(1, 0.0, slew=0)


def test_an_error_carries_its_code_meaning_operation_and_detail(session: kavra.Session,
                                                               bench: Bench) -> None:
    unit = session.unit(GENERIC19)
    with pytest.raises(ValueError) as caught:
        unit.set_voltage(1, 5001.0, 100.0)
    error = caught.value
    detail = f"setVoltage on {SERIAL[GENERIC19]}: voltage out of range (status 19)"
    assert (error.code, error.meaning, error.operation, error.detail) == (
        19, "voltage out of range", "setVoltage", detail)
    assert str(error) == f"setVoltage: status 19: voltage out of range ({detail})"
    assert unit.connected
    # Away, every call says so; back, the next call reopens the unit.
    bench.plug(SERIAL[GENERIC19], False)
    try:
        for _ in range(2):
            with pytest.raises(kavra.ExchangeError) as caught:
                unit.supply_status()
            assert caught.value.detail.startswith(
                f"getSupplyStatus on {SERIAL[GENERIC19]}: unit disconnected (")
            assert not unit.connected
    finally:
        bench.plug(SERIAL[GENERIC19], True)
    unit.supply_status()
    assert unit.connected


@pytest.mark.parametrize("call, error, code", [
    (lambda s: s.unit(len(DEFAULT_BENCH) + 1), kavra.NoSuchUnitError, 1),
    (lambda s: s.unit("QZAH099010099"), kavra.NoSuchUnitError, 6),
    (lambda s: s.unit(GENERIC19).set_voltage(1, math.nan, 100.0), kavra.OutOfRangeError, 19),
    (lambda s: s.unit(GENERIC19).set_voltage(1, 10**400, 100.0), kavra.OutOfRangeError, 19),
    (lambda s: s.unit(GENERIC19).set_voltage(2, 1000.0, 100.0), kavra.OutOfRangeError, 18),
    (lambda s: s.unit(ALDER).set_pwm(1, 101), kavra.OutOfRangeError, 14),
    (lambda s: s.unit(CEDAR).set_voltage_waveform(1, 1, 50.0, 20.0, 0.05), kavra.OutOfRangeError, 36),
    (lambda s: s.unit(ROWAN).turn_on(1), kavra.NotSupportedError, 10),
])
def test_a_status_code_raises_its_class(session: kavra.Session,
                                        call: Callable[[kavra.Session], Any],
                                        error: type[kavra.KavraError], code: int) -> None:
    with pytest.raises(error) as caught:
        call(session)
    assert caught.value.code == code


@pytest.mark.parametrize("call, error", [
    (lambda s, u: u.set_voltage(True, 100.0, 10.0), TypeError),
    (lambda s, u: u.set_voltage(1, "100", 10.0), TypeError),
    (lambda s, u: u.set_voltage(2**32 + 1, 100.0, 10.0), OverflowError),  # would wrap to 1
    (lambda s, u: s.unit(3.0), TypeError),
    (lambda s, u: s.unit(SERIAL[GENERIC19] + "\0junk"), ValueError),
])
def test_arguments_of_the_wrong_type_never_reach_the_library(
        session: kavra.Session, bench: Bench, call: Callable[[kavra.Session, kavra.Unit], Any],
        error: type[Exception]) -> None:
    unit = session.unit(GENERIC19)
    before = bench.state(SERIAL[GENERIC19])["requests"]
    with pytest.raises(error):
        call(session, unit)
    assert bench.state(SERIAL[GENERIC19])["requests"] == before


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
    with pytest.raises(RuntimeError):  # the D2XX library is chosen once per process
        kavra.use_virtual_bench()


class TestLoadedBench:
    """Units the default bench lacks: a loaded Generic output, a faulty and unready Cedar unit,
    a model without a family, and a Cedar unit whose outputs 2 and 3 are not ready."""

    BENCH = {"timing": "instant", "units": [
        {"chip": "FT232H", "serial": "QZAH019010003", "loadOhms": 10_000_000},
        {"chip": "FT2232H", "serial": "QZAH017010002", "errorWord": 0xFFFF, "ready": False},
        {"chip": "FT232H", "serial": "QZAH039010008"},
        {"chip": "FT2232H", "serial": "QZAH017010009", "outputs23Ready": False},
    ]}

    def test_listing_gives_no_family_to_an_unknown_model(
            self, loaded_bench: kavra.Session) -> None:
        assert loaded_bench.units()[2] == kavra.UnitInfo(3, "QZAH039010008", kavra.Model(39, 1),
                                                         None)

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
        # 29: the unit is not ready; 30: its outputs 2 and 3 are not.
        for index, channel, code in [(2, 1, 29), (4, 2, 30)]:
            with pytest.raises(kavra.SwitchOnRefusedError) as caught:
                loaded_bench.unit(index).turn_on(channel)
            assert caught.value.code == code
        unit.clear_error()
        assert unit.supply_status() == kavra.SupplyStatus(flag=False, text="")


# Choosing the libraries in a fresh process, where nothing has loaded them yet.
SCRIPT = """import kavra
print(kavra.use_virtual_bench(bench_file={bench!r}))
with kavra.Session() as session:
    (info,) = session.units()
    print(info.serial, info.family, session.unit(1).adc_value())
"""


@pytest.mark.parametrize("how, code, said", [
    ("KAVRA_LIBRARY", 0, ["{d2xx}\nQZAH041010042 Rowan 12.5\n"]),
    ("LD_LIBRARY_PATH", 0, ["{d2xx}\nQZAH041010042 Rowan 12.5\n"]),
    ("no bench beside it", 1, ["FileNotFoundError: no virtual bench library (libkavra_sim.so) found; "
                               "looked in {tmp}/lib, {tmp}/sim, "]),
    ("no D2XX library", 1, ["/nonexistent.so\n", "DriverLibraryError: no unit can be found: the D2XX "
                                                  "library is not loaded: tried /nonexistent.so: "]),
])
def test_use_virtual_bench_in_a_fresh_process(tmp_path: Path, how: str, code: int,
                                              said: list[str]) -> None:
    library = Path(os.environ["KAVRA_LIBRARY"])
    (tmp_path / "lib").mkdir()  # a library with no bench beside it (nor in ../sim)
    (tmp_path / "lib" / "libKavraLib.so").write_bytes(library.read_bytes())
    env = {name: value for name, value in os.environ.items()
           if name not in ("KAVRA_LIBRARY", "KAVRA_D2XX_LIBRARY")}
    env.update({"KAVRA_LIBRARY": {"KAVRA_LIBRARY": str(library)},
                "LD_LIBRARY_PATH": {"LD_LIBRARY_PATH": str(library.parent)},
                "no bench beside it": {"LD_LIBRARY_PATH": str(tmp_path / "lib")},
                "no D2XX library": {"KAVRA_LIBRARY": str(library),
                                    "KAVRA_D2XX_LIBRARY": "/nonexistent.so"}}[how],
               PYTHONPATH=str(Path(kavra.__file__).parents[1]))
    bench = write_bench(tmp_path / "bench.json", [{"chip": "FT-X", "serial": "QZAH041010042"}])
    done = run([sys.executable, "-c", SCRIPT.format(bench=bench)], env=env)
    assert done.returncode == code, done.stderr
    for text in said:
        assert text.format(d2xx=os.path.realpath(os.environ["KAVRA_D2XX_LIBRARY"]),
                           tmp=tmp_path) in done.stdout + done.stderr


def test_a_refused_buffer_leaves_the_d2xx_library_info_alone() -> None:
    loaded, small = ctypes.c_bool(False), ctypes.create_string_buffer(b"untouched", 10)
    for buffer, size in [(None, 1024), (small, len(small)), (small, -1)]:
        assert kavra.load_library().getDriverLibraryInfo(ctypes.byref(loaded), buffer, size) == 38
    assert small.value == b"untouched" and loaded.value is False
