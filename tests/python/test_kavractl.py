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
import time

import pytest

KAVRACTL = os.environ.get("KAVRACTL")
pytestmark = pytest.mark.skipif(not KAVRACTL, reason="KAVRACTL does not name the built kavractl")

DEFAULT_BENCH = [
    (1, "QZAH015010001", "15/1", "Alder"),
    (2, "QZAH017010002", "17/1", "Cedar"),
    (3, "QZAH019010003", "19/1", "Generic"),
    (4, "QZAH025010004", "25/1", "Generic"),
    (5, "QZAH040010005", "40/1", "Birch"),
    (6, "QZAH041010006", "41/1", "Rowan"),
]

BENCHES = {
    "alder": [{"chip": "FT232R", "serial": "QZAH015010001", "loadOhms": 10000000}],
    "cedar": [{"chip": "FT2232H", "serial": "QZAH017010002"}],
    "generic19": [{"chip": "FT232H", "serial": "QZAH019010003", "loadOhms": 10000000}],
    "birch": [{"chip": "FT-X", "serial": "QZAH040010005"}],
    "rowan": [{"chip": "FT232R", "serial": "QZAH041010006", "adcInput": 3.3}],
    "nofamily": [{"chip": "FT232R", "serial": "QZAH039010007"}],
    "empty": [],
    "unprogrammed": [{"chip": "FT232H", "serial": "QZAH019010003", "eepromProgrammed": False},
                     {"chip": "FT232R", "serial": "QZAH039010007"},
                     {"chip": "FT-X", "serial": "QZAH041010006"}],
}


@pytest.fixture(scope="module")
def bench_file(tmp_path_factory):
    """Path of a bench file with the named units."""
    directory = tmp_path_factory.mktemp("benches")
    paths = {}
    for name, units in BENCHES.items():
        path = directory / f"{name}.json"
        path.write_text(json.dumps({"units": units}))
        paths[name] = str(path)
    return paths.__getitem__


def run(*args, bench=None, stdin=None, timeout=60, sim=True, d2xx=None):
    """kavractl on the virtual bench; with sim=False on the D2XX library d2xx names."""
    env = dict(os.environ)
    env.pop("KAVRA_SIM_BENCH", None)
    if bench:
        env["KAVRA_SIM_BENCH"] = bench
    if d2xx:
        env["KAVRA_D2XX_LIBRARY"] = d2xx
    return subprocess.run([KAVRACTL, *(["--sim"] if sim else []), *args], input=stdin,
                          capture_output=True, text=True, env=env, timeout=timeout)


def json_lines(stdout):
    return [json.loads(line) for line in stdout.splitlines() if line.strip()]


def test_list_text_and_json(bench_file):
    text = run("list")
    assert text.returncode == 0, text.stderr
    rows = [line.split() for line in text.stdout.splitlines()]
    assert rows[0] == ["INDEX", "SERIAL", "MODEL", "FAMILY"]
    assert [tuple(row) for row in rows[1:]] == [tuple(map(str, unit)) for unit in DEFAULT_BENCH]

    parsed = json.loads(run("list", "--json").stdout)
    assert [(u["index"], u["serial"], u["model"], u["family"]) for u in parsed["units"]] == DEFAULT_BENCH
    assert (parsed["units"][3]["product"], parsed["units"][3]["revision"]) == (25, 1)
    units = json.loads(run("list", "--json", bench=bench_file("nofamily")).stdout)["units"]
    assert [(u["model"], u["family"]) for u in units] == [("39/1", "none")]


# A setting and its read-back, one batch per family; each check gets the JSON documents in order.
def check_generic19(docs):
    assert docs[0]["command"] == "set-voltage" and docs[0]["voltage"] == 1000
    channel = docs[2]["units"][0]["channels"][0]
    assert channel["first"] is True and channel["current"] == 100  # 1000 V through 10 MOhm
    assert docs[2]["units"][0]["supply"] == {"error": False, "text": "No error"}
    assert docs[4]["current"] == 0  # switched off


def check_alder(docs):
    assert docs[4]["current"] == 50  # 500 V through 10 MOhm


def check_cedar(docs):
    channels = [(c["channel"], c["first"], c["second"]) for c in docs[5]["units"][0]["channels"]]
    assert channels == [(1, True, True), (2, True, True), (3, False, False)]
    after_bus_off = docs[7]["units"][0]["channels"][0]
    assert (after_bus_off["first"], after_bus_off["second"]) == (True, False)


def check_birch(docs):
    assert (docs[0]["voltage"], docs[0]["second"]) == (12000, -1.5)
    # Birch has no readings: everything the status would show is left out.
    assert set(docs[1]["units"][0]) == {"index", "serial", "model", "family", "product", "revision"}


def check_rowan(docs):
    assert docs[0]["adc"] == pytest.approx(3.3)
    assert "supply" not in docs[1]["units"][0] and "channels" not in docs[1]["units"][0]


@pytest.mark.parametrize("name, script, check", [
    ("generic19", "set-voltage 1 1 1000 150\non 1 1\nstatus 1\noff 1 1\ncurrent 1 1",
     check_generic19),
    ("alder", "pwm-frequency 1 1000\npwm 1 1 25\nset-voltage 1 1 500 100\non 1 1\ncurrent 1 1",
     check_alder),
    ("cedar", "bus 1 on 1\nset-voltage 1 1 80 0\nwaveform 1 2 1 20 60 0.5\n"
              "on 1 1\non 1 2\nstatus 1\nbus 1 off\nstatus 1", check_cedar),
    ("birch", "set-accurate-voltage 1 1 -- 12000 -1.5\nstatus 1\noff 1 1", check_birch),
    ("rowan", "adc 1\nstatus 1", check_rowan),
])
def test_setting_and_read_back_per_family(bench_file, name, script, check):
    result = run("batch", "--json", bench=bench_file(name), stdin=script + "\n")
    assert result.returncode == 0, result.stderr
    docs = json_lines(result.stdout)
    assert len(docs) == len(script.splitlines())
    assert all(doc.get("status", 0) == 0 for doc in docs)
    check(docs)


def test_unit_named_by_lower_case_serial(bench_file):
    result = run("current", "qzah019010003", "1", "--json", bench=bench_file("generic19"))
    assert result.returncode == 0, result.stderr
    unit = json.loads(result.stdout)["unit"]
    assert (unit["index"], unit["serial"], unit["family"]) == (1, "QZAH019010003", "Generic")


@pytest.mark.parametrize("name, args, code, meaning", [
    ("generic19", ["set-voltage", "1", "1", "5001", "10"], 19, "voltage out of range"),
    ("generic19", ["adc", "1"], 10, "not supported by the unit's family"),
    ("generic19", ["status", "2"], 1, "beyond the attached supported units"),
    ("generic19", ["status", "QZAH099010099"], 6, "no attached unit has the given serial number"),
    ("cedar", ["waveform", "1", "1", "1", "10", "20", "51"], 36, "waveform period out of range"),
    ("nofamily", ["on", "1", "1"], 10, "not supported by the unit's family"),
])
def test_status_codes_reach_stderr_or_json_and_exit_1(bench_file, name, args, code, meaning):
    result = run(*args, bench=bench_file(name))
    assert result.returncode == 1
    assert f"error {code}: " in result.stderr and meaning in result.stderr
    assert result.stdout == ""
    error = json.loads(run(*args, "--json", bench=bench_file(name)).stdout)["error"]
    assert error["status"] == code and meaning in error["meaning"]


@pytest.mark.parametrize("args, message", [
    ([], "no command given"),
    (["frobnicate"], "unknown command 'frobnicate'"),
    (["on", "1"], "on takes UNIT CHANNEL"),
    (["set-voltage", "1", "one", "100", "10"], "CHANNEL must be a whole number, not 'one'"),
    (["bus", "1", "on"], "takes a LEVEL"),
    (["set-accurate-voltage", "1", "1", "100", "-2"], "put negative numbers after --"),
    (["monitor", "--count", "many"], "--count takes a whole number"),
    (["monitor", "--count", "0"], "1 or more (leave it out to refresh until interrupted)"),
    (["list", "--bench", "/nonexistent/bench.json"], "bench file '/nonexistent/bench.json': cannot be read"),
])
def test_usage_errors_exit_2(args, message):
    result = run(*args)
    assert result.returncode == 2
    assert message in result.stderr
    assert result.stdout == ""


def test_help_for_a_command_and_for_the_tool():
    for args in (["bus", "--help"], ["--help", "bus"]):
        result = run(*args)
        assert result.returncode == 0
        assert "Usage: kavractl [options] bus UNIT STATE [LEVEL]" in result.stdout
    result = run("--help")
    assert result.returncode == 0
    for command in ["list", "status", "doctor", "set-voltage", "set-accurate-voltage", "waveform",
                    "pwm", "pwm-frequency", "pwm-function", "polarity", "on", "off", "bus", "current",
                    "adc", "clear-error", "shell", "monitor", "demo", "batch"]:
        assert f"\n  {command} " in result.stdout
    assert "--help-all" not in result.stdout
    # Every quantity with a unit names it; FLAGS are explained where they are shown.
    for command, wanted in [("set-voltage", "CURRENT         current limit, microamps (µA)"),
                            ("waveform", "PERIOD          period, seconds (s)"),
                            ("pwm-frequency", "hertz (Hz)"),
                            ("status", "FLAGS are the channel's two status flags"),
                            ("monitor", "FLAGS are the channel's two status flags")]:
        assert wanted in run(command, "--help").stdout, command


def test_monitor_count_refreshes_in_place_or_as_json_lines(bench_file):
    result = run("monitor", "--count", "2", "--interval", "0", bench=bench_file("generic19"))
    assert result.returncode == 0, result.stderr
    screens = result.stdout.split("\x1b[H\x1b[2J")
    assert screens[0] == "" and len(screens) == 3
    assert "QZAH019010003  Generic 19/1  1   0 0" in screens[2]
    result = run("monitor", "1", "--json", "--count", "2", "--interval", "0", bench=bench_file("rowan"))
    docs = json_lines(result.stdout)
    assert [doc["refresh"] for doc in docs] == [1, 2]
    assert docs[1]["units"][0]["adc"] == pytest.approx(3.3)


def test_monitor_stops_cleanly_on_sigint(bench_file):
    env = dict(os.environ, KAVRA_SIM_BENCH=bench_file("generic19"))
    process = subprocess.Popen([KAVRACTL, "--sim", "monitor", "--interval", "30"], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        # The first table appears once the unit is open; then the monitor waits its interval.
        first = process.stdout.readline()
        assert "kavractl monitor" in first
        time.sleep(0.3)
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
    assert [(u["index"], u["family"]) for u in demo["units"]] == [(i, f) for i, _, _, f in DEFAULT_BENCH]
    assert all(u["steps"] and all(step["status"] == 0 for step in u["steps"]) for u in demo["units"])


def test_batch_stops_at_the_first_failing_line(bench_file):
    script = "# settings\n\nset-voltage 1 1 100 10\nset-voltage 1 1 9000 10\non 1 1\n"
    result = run("batch", bench=bench_file("generic19"), stdin=script)
    assert result.returncode == 1
    assert "line 4: " in result.stderr and "error 19: voltage out of range" in result.stderr
    assert result.stdout.count("\n") == 1 and "set to 100 V" in result.stdout


@pytest.mark.parametrize("name, text, where", [
    ("chip", '{"units": [{"chip": "FT232R"}, {"chip": "FT9", "serial": "QZAH019010003"}]}',
     'entry 2 (QZAH019010003), key "chip": unknown chip "FT9"'),
    ("type", '{"units": [{"chip": "FT232R", "plugged": "no"}]}',
     'entry 1, key "plugged": must be true or false'),
    ("json", '{"units": [\n  {"chip": "FT232R",]}', "line 2, column"),
])
@pytest.mark.parametrize("named_by", ["--bench", "KAVRA_SIM_BENCH"])
def test_a_bad_bench_file_stops_the_tool_naming_file_entry_and_key(tmp_path, name, text, where,
                                                                   named_by):
    path = tmp_path / f"{name}.json"
    path.write_text(text)
    result = (run("list", "--bench", str(path)) if named_by == "--bench"
              else run("list", bench=str(path)))
    assert result.returncode == 2
    assert f"bench file '{path}'" in result.stderr and where in result.stderr
    assert result.stdout == ""


@pytest.mark.parametrize("args", [["list"], ["status"], ["status", "1"], ["doctor"]])
def test_without_a_d2xx_library_the_tool_says_which_file_failed_and_exits_3(args):
    result = run(*args, sim=False, d2xx="/nonexistent.so")
    assert result.returncode == 3, result.stderr
    said = result.stdout + result.stderr
    assert "D2XX library not loaded: tried /nonexistent.so: " in said
    assert "cannot open shared object file" in said


@pytest.mark.parametrize("args, code, stdout, stderr", [
    (["list"], 0, "no units attached\nD2XX library loaded ", ""),
    (["status"], 0, "no units attached\nD2XX library loaded ", ""),
    (["status", "1"], 1, "", "no units attached (D2XX library loaded "),
])
def test_no_unit_found_shows_the_d2xx_library_in_use(bench_file, args, code, stdout, stderr):
    result = run(*args, bench=bench_file("empty"))
    assert result.returncode == code
    assert stdout in result.stdout and stderr in result.stderr
    assert "libkavra_sim.so, version " in result.stdout + result.stderr
    driver = json.loads(run("list", "--json", bench=bench_file("empty")).stdout)["driver"]
    assert driver["loaded"] is True and driver["info"].startswith("loaded ")


def test_doctor_shows_the_d2xx_library_and_each_units_state(bench_file):
    result = run("doctor", bench=bench_file("unprogrammed"))
    assert result.returncode == 1
    lines = result.stdout.splitlines()
    assert lines[0].startswith("D2XX library loaded ") and "libkavra_sim.so, version " in lines[0]
    states = {line.split()[1]: " ".join(line.split()[4:]) for line in lines if " QZAH" in line}
    assert states == {
        "QZAH019010003": "error 3: the unit's USB connection could not be opened",
        "QZAH039010007": "no family: counted, but cannot be driven",
        "QZAH041010006": "open",
    }
    assert "Error 3: " in result.stdout and "EEPROM holds no serial number" in result.stdout
    doc = json.loads(run("doctor", "--json", bench=bench_file("unprogrammed")).stdout)
    assert doc["driver"]["loaded"] is True
    assert [u.get("error", {}).get("status") for u in doc["units"]] == [3, None, None]


def test_shell_keeps_one_session_and_goes_on_after_a_failing_line(bench_file):
    script = ("set-voltage 1 1 1000 150\n"
              "frobnicate\n"
              "on 1 1\n"
              "status 1 --json\n"
              "help on\n")
    result = run("shell", bench=bench_file("generic19"), stdin=script)
    assert result.returncode == 0, result.stderr
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
        os.environ.pop("KAVRA_SIM_BENCH", None)
        os.execv(KAVRACTL, [KAVRACTL, "--sim", "shell"])
    seen = b""

    def until_prompt():
        nonlocal seen
        while not seen.endswith(b"kavractl> "):
            ready, _, _ = select.select([terminal], [], [], 30)
            assert ready, seen
            seen += os.read(terminal, 4096)

    try:
        until_prompt()
        os.write(terminal, b"list\r")
        seen = b""
        until_prompt()
        assert b"QZAH041010006" in seen
        os.write(terminal, b"exit\r")
        _, status = os.waitpid(pid, 0)
    finally:
        os.close(terminal)
    assert os.waitstatus_to_exitcode(status) == 0
    assert "list" in (tmp_path / ".kavractl_history").read_text().split()
