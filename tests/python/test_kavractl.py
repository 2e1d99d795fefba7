"""kavractl on the virtual bench. KAVRACTL names the built tool (ctest sets it).

Every kavractl process starts a fresh bench, so a setting and its read-back run in one process
through `kavractl batch` or `shell`; most tests use a small bench of their own, as opening a unit is slow.
"""

import json
import os
import pty
import select
import signal
import subprocess
from functools import reduce

import pytest
from conftest import ALDER, BIRCH, CEDAR, DEFAULT_BENCH, GENERIC19, ROWAN, SERIAL, bench_units, write_bench
from conftest import run as run_process

KAVRACTL = os.environ.get("KAVRACTL")
pytestmark = pytest.mark.skipif(not KAVRACTL, reason="KAVRACTL does not name the built kavractl")

# Benches other than one unit of the default bench.
BENCHES = {
    "nofamily": [{"chip": "FT232R", "serial": "QZAH039010007"}],
    "empty": [],
    "unprogrammed": [{"chip": "FT232H", "serial": "QZAH019010003", "eepromProgrammed": False},
                     {"chip": "FT232R", "serial": "QZAH039010007"},
                     {"chip": "FT-X", "serial": "QZAH041010006"},
                     {"chip": "FT-X", "serial": "QZAH040010005"}],
    # Not bench files: the text of each is written as it stands.
    "bad chip": '{"units": [{"chip": "FT232R"}, {"chip": "FT9", "serial": "QZAH019010003"}]}',
    "bad type": '{"units": [{"chip": "FT232R", "plugged": "no"}]}',
    "bad json": '{"units": [\n  {"chip": "FT232R",]}',
}


@pytest.fixture(scope="module")
def bench_file(tmp_path_factory):
    """bench_file(k): a bench of unit k of the default bench, with its load; bench_file(name):
    one of BENCHES."""
    directory = tmp_path_factory.mktemp("benches")
    return lambda name: write_bench(directory / f"{name}.json",
                                    BENCHES[name] if name in BENCHES else bench_units([name]))


def run(*args, bench=None, stdin=None, timeout=60, d2xx=None):
    """kavractl on the virtual bench (the default one unless told), or on the D2XX library d2xx."""
    env = dict(os.environ, **({"KAVRA_SIM_BENCH": bench} if bench else {}),
               **({"KAVRA_D2XX_LIBRARY": d2xx} if d2xx else {}))
    return run_process([KAVRACTL, *([] if d2xx else ["--sim"]), *args], env, stdin, timeout)


def json_lines(stdout):
    return [json.loads(line) for line in stdout.splitlines() if line.strip()]


def test_list_text_and_json_lists_once_and_keeps_a_lost_unit_under_its_index(tmp_path, monkeypatch):
    counts = tmp_path / "counts.json"
    monkeypatch.setenv("KAVRA_SIM_CALL_COUNTS", str(counts))
    text = run("list")
    assert text.returncode == 0, text.stderr
    assert json.loads(counts.read_text())["FT_CreateDeviceInfoList"] == 1
    rows = [tuple(line.split()) for line in text.stdout.splitlines()]
    default = [(index, serial, model, family) for index, serial, family, model, *_ in DEFAULT_BENCH]
    assert rows == [("INDEX", "SERIAL", "MODEL", "FAMILY"), *[(str(i), *rest) for i, *rest in default]]
    # The 19/1 leaves after the first listing; never opened, its reading fails with 3; doctor counts it away.
    lost = write_bench(tmp_path / "lost.json", bench_units(extra={GENERIC19: {"unplugAfterLists": 1}}))
    result = run("shell", bench=lost, stdin="list --json\nlist --json\nstatus --json\ndoctor\n", timeout=120)
    docs = [json.loads(line) for line in result.stdout.splitlines() if line.startswith("{")]
    assert len(docs) == 3 and f"{len(default) - 1} unit(s) attached, 1 away:" in result.stdout, result.stderr
    assert all([(u["index"], u["serial"], u["model"], u["family"]) for u in doc["units"]] == default
               for doc in docs[:2])
    assert [(u["index"], u.get("error", {}).get("status")) for u in docs[2]["units"]] == [
        (index, 3 if index == GENERIC19 else None) for index, *_ in default]


# A setting and its read-back, one batch per family: values of the JSON documents, each named by
# the document's line and the keys (list positions as numbers) that lead to it.
@pytest.mark.parametrize("index, script, expected", [
    (GENERIC19, f"set-voltage 1 1 1000 150\non 1 1\nstatus {SERIAL[GENERIC19].lower()}\noff 1 1\ncurrent 1 1",
     {"0.voltage": 1000, "2.units.0.serial": SERIAL[GENERIC19], "2.units.0.channels.0.first": True,
      "2.units.0.channels.0.current": 100,  # 1000 V through 10 MOhm
      "2.units.0.supply": {"error": False, "text": "No error"}, "4.current": 0}),
    (GENERIC19, "set-voltage 1 1 1000 150\non 1 1\noff-all\nstatus 1",
     {"2.units.0.status": 0, "2.units.0.unit.serial": SERIAL[GENERIC19],
      "3.units.0.channels.0.first": False}),
    (ALDER, "pwm-frequency 1 1000\npwm 1 1 25\nset-voltage 1 1 500 100\non 1 1\ncurrent 1 1",
     {"0.frequency": 1000, "1.duty": 25, "4.current": 50}),
    (CEDAR, "bus 1 on 1\nset-voltage 1 1 80 0\nwaveform 1 2 1 20 60 0.5\non 1 1\non 1 2\nstatus 1\n"
            "bus 1 off\nstatus 1",
     {"2.level2": 60, "5.units.0.channels": [{"channel": 1, "first": True, "second": True},
                                             {"channel": 2, "first": True, "second": True},
                                             {"channel": 3, "first": False, "second": False}],
      "7.units.0.channels.0": {"channel": 1, "first": True, "second": False}}),
    # Birch and Rowan have no supply or channel readings: their status leaves them out, unasked.
    (BIRCH, "set-accurate-voltage 1 1 -- 12000 -1.5\nstatus 1\noff 1 1",
     {"0.voltage": 12000, "0.second": -1.5, "1.units.0": {"index": 1, "serial": SERIAL[BIRCH],
      "model": "40/1", "family": "Birch", "product": 40, "revision": 1}}),
    (ROWAN, "adc 1\nstatus 1", {"0.adc": 3.3, "1.units.0": {"index": 1, "serial": SERIAL[ROWAN],
     "model": "41/1", "family": "Rowan", "product": 41, "revision": 1, "adc": 3.3}}),
])
def test_setting_and_read_back_per_family(bench_file, index, script, expected):
    result = run("--verbose", "batch", "--json", bench=bench_file(index), stdin=script + "\n")
    assert result.returncode == 0 and "status 10" not in result.stderr, result.stderr
    docs = json_lines(result.stdout)
    assert len(docs) == len(script.splitlines())
    assert all(doc.get("status", 0) == 0 for doc in docs)
    for path, value in expected.items():
        found = reduce(lambda doc, key: doc[int(key) if isinstance(doc, list) else key], path.split("."), docs)
        assert found == value, path


def test_help_lists_every_command():
    result = run("--help")
    assert result.returncode == 0 and "--help-all" not in result.stdout
    for command in ("list status doctor set-voltage set-accurate-voltage waveform pwm pwm-frequency "
                    "pwm-function polarity on off off-all bus current adc clear-error shell monitor demo "
                    "batch").split():
        assert f"\n  {command} " in result.stdout


def test_monitor_count_refreshes_or_as_json_lines(bench_file):
    # Into a pipe: one table after the other, without terminal escape codes.
    result = run("monitor", "--count", "2", "--interval", "0", bench=bench_file(GENERIC19))
    assert result.returncode == 0, result.stderr
    screens = result.stdout.split("kavractl monitor  ")
    assert "\x1b" not in result.stdout and screens[0] == "" and len(screens) == 3
    assert f"{SERIAL[GENERIC19]}  Generic 19/1  1   0 0" in screens[2] and "CURRENT/µA" in screens[2]
    assert "FLAGS (1 set, 0 clear): output on, current limiting" in screens[2]
    result = run("monitor", "1", "--json", "--count", "2", "--interval", "0", bench=bench_file(ROWAN))
    docs = json_lines(result.stdout)
    assert [doc["refresh"] for doc in docs] == [1, 2]
    assert docs[1]["units"][0]["adc"] == pytest.approx(3.3)


def test_monitor_stops_cleanly_on_sigint(bench_file):
    env = dict(os.environ, KAVRA_SIM_BENCH=bench_file(GENERIC19))
    process = subprocess.Popen([KAVRACTL, "--sim", "monitor", "--interval", "30"], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        # The interrupt is caught from the start; the first table shows the unit is open.
        assert "kavractl monitor" in process.stdout.readline()
        process.send_signal(signal.SIGINT)
        stdout, stderr = process.communicate(timeout=10)
    finally:
        process.kill()
    assert process.returncode == 0, stderr
    assert stdout.rstrip().endswith("stopped")


def test_demo_walks_every_unit_of_the_default_bench():
    result = run("demo", "--json", timeout=120)
    assert result.returncode == 0, result.stderr
    demo = json.loads(result.stdout)
    assert demo["failures"] == 0
    assert [(u["index"], u["family"]) for u in demo["units"]] == [(u[0], u[2]) for u in DEFAULT_BENCH]
    assert all(u["steps"] and all(step["status"] == 0 for step in u["steps"]) for u in demo["units"])


def test_batch_stops_at_the_first_failing_line(bench_file):
    script = "# settings\n\nset-voltage 1 1 100 10\nset-voltage 1 1 9000 10\non 1 1\n"
    result = run("batch", bench=bench_file(GENERIC19), stdin=script)
    assert result.returncode == 1
    assert "line 4: " in result.stderr and "error 19: voltage out of range" in result.stderr
    assert result.stdout.count("\n") == 1 and "set to 100 V" in result.stdout


@pytest.mark.parametrize("name, where", [
    ("bad chip", 'entry 2 (QZAH019010003), key "chip": unknown chip "FT9"'),
    ("bad type", 'entry 1, key "plugged": must be true or false'),
    ("bad json", "line 2, column"),
])
@pytest.mark.parametrize("named_by", ["--bench", "KAVRA_SIM_BENCH"])
def test_a_bad_bench_file_stops_the_tool_naming_file_entry_and_key(bench_file, name, where, named_by):
    path = bench_file(name)
    result = run("list", "--bench", path) if named_by == "--bench" else run("list", bench=path)
    assert (result.returncode, result.stdout) == (2, "")
    assert f"bench file '{path}'" in result.stderr and where in result.stderr


# What a command says, where, and its exit code: 1 for a status code, 2 for misuse, 3 without a
# D2XX library. With no unit found, the D2XX library in use is the first thing to check. The bench
# is a unit of the default bench, a name of BENCHES, or None for the whole default bench. Help
# names every quantity's unit, and explains FLAGS where they are shown.
NO_D2XX = "no D2XX library"
NOT_LOADED = "D2XX library not loaded: tried /nonexistent.so: /nonexistent.so: cannot open shared object file"
LOADED = "D2XX library loaded {d2xx}, version "


@pytest.mark.parametrize("bench, args, code, stdout, stderr", [
    (GENERIC19, ["set-voltage", "1", "1", "5001", "10"], 1, "",
     f"kavractl: unit 1 ({SERIAL[GENERIC19]}, Generic 19/1): set-voltage: error 19: voltage out of range"
     f"\n  setVoltage on {SERIAL[GENERIC19]}: voltage out of range (status 19)\n"),
    (GENERIC19, ["adc", "1"], 1, "", "adc: error 10: the operation is not supported by the unit's family"),
    (GENERIC19, ["adc", "1", "--json"], 1, '"status": 10', "adc: error 10: "),
    (GENERIC19, ["adc", "1", "--json"], 1, '"meaning": "the operation is not supported by the unit', ""),
    (GENERIC19, ["status", "2"], 1, "", "kavractl: unit 2: error 1: device index below 1, 100 or above, "
                                        "or beyond the attached supported units"),
    (GENERIC19, ["status", "QZAH099010099"], 1, "",
     "unit QZAH099010099: error 6: no attached unit has the given serial number"),
    (CEDAR, ["waveform", "1", "1", "1", "10", "20", "51"], 1, "",
     "waveform: error 36: waveform period out of range"),
    ("nofamily", ["on", "1", "1"], 1, "", "unit 1 (QZAH039010007, none 39/1): on: error 10: "),
    ("nofamily", ["list", "--json"], 0, '"family": "none"', ""),
    (None, ["bus", "--help"], 0, "Usage: kavractl [options] bus UNIT STATE [LEVEL]", ""),
    (None, ["--help", "bus"], 0, "Usage: kavractl [options] bus UNIT STATE [LEVEL]", ""),
    (None, ["set-voltage", "--help"], 0, "CURRENT         current limit, microamps (µA)", ""),
    (None, ["waveform", "--help"], 0, "PERIOD          period, seconds (s)", ""),
    (None, ["pwm-frequency", "--help"], 0, "hertz (Hz)", ""),
    (None, ["status", "--help"], 0, "FLAGS are the channel's two status flags", ""),
    (None, ["monitor", "--help"], 0, "FLAGS are the channel's two status flags", ""),
    (None, [], 2, "", "no command given"),
    (None, ["frobnicate"], 2, "", "unknown command 'frobnicate'"),
    (None, ["on", "1"], 2, "", "on takes UNIT CHANNEL"),
    (None, ["set-voltage", "1", "one", "100", "10"], 2, "", "CHANNEL must be a whole number, not 'one'"),
    (None, ["bus", "1", "on"], 2, "", "takes a LEVEL"),
    (BIRCH, ["set-accurate-voltage", "1", "1", "100", "-2", "--json"], 0, '"second": -2', ""),
    (None, ["-V"], 0, "kavractl 0.1.0, KavraLib ", ""),
    (None, ["monitor", "--count", "many"], 2, "", "--count takes a whole number"),
    (None, ["monitor", "--count", "0"], 2, "", "1 or more (leave it out to refresh until interrupted)"),
    (None, ["list", "--bench", "/nonexistent/bench.json"], 2, "",
     "bench file '/nonexistent/bench.json': cannot be read"),
    ("empty", ["list"], 0, "no units attached\n" + LOADED, ""),
    ("empty", ["status"], 0, "no units attached\n" + LOADED, ""),
    ("empty", ["status", "1"], 1, "", "no units attached (" + LOADED),
    ("empty", ["list", "--json"], 0, '"info": "loaded {d2xx}, version ', ""),
    ("empty", ["list", "--json"], 0, '"loaded": true', ""),
    (NO_D2XX, ["list"], 3, "", "kavractl: no unit can be found: " + NOT_LOADED),
    (NO_D2XX, ["status", "1"], 3, "", "kavractl: no unit can be found: " + NOT_LOADED),
    (NO_D2XX, ["doctor"], 3, NOT_LOADED, ""),
])
def test_what_a_command_says_and_its_exit_code(bench_file, bench, args, code, stdout, stderr):
    result = (run(*args, d2xx="/nonexistent.so") if bench == NO_D2XX
              else run(*args, bench=bench and bench_file(bench)))
    assert result.returncode == code, result.stderr
    d2xx = os.environ["KAVRA_D2XX_LIBRARY"]
    assert stdout.format(d2xx=d2xx) in result.stdout if stdout else result.stdout == ""
    assert stderr.format(d2xx=d2xx) in result.stderr


def test_doctor_shows_the_d2xx_library_and_each_units_state(bench_file):
    result = run("doctor", bench=bench_file("unprogrammed"))
    assert result.returncode == 1
    lines = result.stdout.splitlines()
    assert lines[0].startswith("D2XX library loaded ") and "libkavra_sim.so, version " in lines[0]
    states = {line.split()[1]: " ".join(line.split()[4:]) for line in lines if " QZAH" in line}
    assert states == {
        "QZAH019010003": "error 3: the unit's USB connection could not be opened",
        "QZAH039010007": "no family: counted, but cannot be driven",
        "QZAH041010006": "open", "QZAH040010005": "not opened: its family has no reading",
    }
    assert "Error 3: " in result.stdout and "EEPROM holds no serial number" in result.stdout
    doc = json.loads(run("doctor", "--json", bench=bench_file("unprogrammed")).stdout)
    assert doc["driver"]["loaded"] is True
    assert [u.get("error", {}).get("status") for u in doc["units"]] == [3, None, None, None]


def test_shell_keeps_one_session_and_goes_on_after_a_failing_line(bench_file):
    script = "set-voltage 1 1 1000 150\nfrobnicate\non 1 1\nstatus 1 --json\nhelp on\n"
    result = run("shell", bench=bench_file(GENERIC19), stdin=script)
    # Fed from a pipe, a failed line makes the run fail, after the lines that follow it.
    assert result.returncode == 2, result.stderr
    assert "unknown command 'frobnicate'" in result.stderr and "Try 'help'." in result.stderr
    # What one line set, a later line reads back: 1000 V through 10 MOhm is 100 µA.
    status = next(json.loads(line) for line in result.stdout.splitlines() if line.startswith("{"))
    channel = status["units"][0]["channels"][0]
    assert channel["first"] is True and channel["current"] == 100
    assert "Usage: kavractl [options] on UNIT CHANNEL" in result.stdout


def test_shell_on_a_terminal_prompts_and_keeps_its_history(tmp_path):
    pid, terminal = pty.fork()
    if pid == 0:
        os.environ["HOME"] = str(tmp_path)
        os.execv(KAVRACTL, [KAVRACTL, "--sim", "shell"])

    def until_prompt():
        seen = b""
        while not seen.endswith(b"kavractl> "):
            assert select.select([terminal], [], [], 30)[0], seen
            seen += os.read(terminal, 4096)
        return seen

    try:
        until_prompt()
        os.write(terminal, b"list\r")
        assert SERIAL[ROWAN].encode() in until_prompt()
        os.write(terminal, b"exit\r")
        _, status = os.waitpid(pid, 0)
    finally:
        os.close(terminal)
    assert os.waitstatus_to_exitcode(status) == 0
    assert "list" in (tmp_path / ".kavractl_history").read_text().split()


def test_trace_shows_every_packet_as_the_bench_saw_it(tmp_path, monkeypatch):
    wire = tmp_path / "wire.json"
    monkeypatch.setenv("KAVRA_SIM_WIRE_LOG", str(wire))
    result = run("--trace", "status", str(GENERIC19))
    assert result.returncode == 0, result.stderr
    marker = f" kavra.wire {SERIAL[GENERIC19]}: "
    logged = [line.split(marker)[1].split(" ", 1) for line in result.stderr.splitlines() if marker in line]
    # The bench's log of the unit's link, packets only (the bootloader's raw bytes left out).
    bench = [[entry["dir"], entry["data"]] for entry in json.loads(wire.read_text())[SERIAL[GENERIC19]]
             if entry["data"].startswith("05")]
    assert len(bench) > 6 and [[way, data.replace(" ", "")] for way, data in logged] == bench
