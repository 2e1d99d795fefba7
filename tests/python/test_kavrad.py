"""kavrad on the virtual bench, driven through PyVISA (pyvisa-py) and the PyMeasure classes.

KAVRAD names the built server (ctest sets it). Every server listens on ephemeral ports of
127.0.0.1 and starts a bench of its own.
"""

import doctest
import json
import os
import re
import signal
import socket
import subprocess
import threading
import time
from pathlib import Path

import pytest

KAVRAD = os.environ.get("KAVRAD")
pytestmark = pytest.mark.skipif(not KAVRAD, reason="KAVRAD does not name the built kavrad")

# The default bench's units, with loads so that currents read back, and Cedar outputs 2 and 3
# not ready so that the unit refuses to switch them on (a device-specific error).
UNITS = [
    (1, "QZAH015010001", "Alder 15/1", {"chip": "FT232R", "loadOhms": 10000000}),
    (2, "QZAH017010002", "Cedar 17/1", {"chip": "FT2232H", "outputs23Ready": False}),
    (3, "QZAH019010003", "Generic 19/1", {"chip": "FT232H", "loadOhms": 10000000}),
    (4, "QZAH025010004", "Generic 25/1", {"chip": "FT-X"}),
    (5, "QZAH040010005", "Birch 40/1", {"chip": "FT-X"}),
    (6, "QZAH041010006", "Rowan 41/1", {"chip": "FT232R", "adcInput": 3.3}),
]
ALDER, CEDAR, GENERIC19, GENERIC25, BIRCH, ROWAN = range(1, 7)

# SCPI's not-a-number: a setting not made through the server yet.
UNKNOWN = "9.91E+37"


def bench_units(indices=None):
    return [dict(entry, serial=serial) for index, serial, _, entry in UNITS
            if indices is None or index in indices]


class Server:
    """A running kavrad on a bench of the units given (the default bench without them);
    ports[k] is the port of unit k."""

    def __init__(self, tmp_path, *options, units=None):
        bench = ["--sim"]
        if units:
            path = tmp_path / f"bench-{id(self)}.json"
            path.write_text(json.dumps({"units": units}))
            bench = ["--bench", str(path)]
        env = {name: value for name, value in os.environ.items() if name != "KAVRA_SIM_BENCH"}
        self.process = subprocess.Popen([KAVRAD, *bench, *options], env=env, text=True,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.ports = {}
        self.lines = []
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))
            served = re.match(r"kavrad: unit (\d+) \(.*\) on 127\.0\.0\.1:(\d+)$", line)
            if served:
                self.ports[int(served[1])] = int(served[2])
            if line.startswith("kavrad: serving"):
                break
        else:
            raise AssertionError(f"kavrad did not start: {self.process.wait()} {self.process.stderr.read()}")

    def stop(self, signum=signal.SIGTERM):
        self.process.send_signal(signum)
        code = self.process.wait(timeout=60)
        stderr = self.process.stderr.read()
        self.process.stdout.close()
        self.process.stderr.close()
        return code, stderr


def start(tmp_path, *options, units=None):
    return Server(tmp_path, "--port", "0", *options, units=units)


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    running = start(tmp_path_factory.mktemp("kavrad"), units=bench_units())
    yield running
    code, stderr = running.stop()
    assert code == 0, stderr


@pytest.fixture(scope="module")
def visa():
    pyvisa = pytest.importorskip("pyvisa", reason="PyVISA is not installed (Debian: python3-pyvisa)")
    pytest.importorskip("pyvisa_py", reason="pyvisa-py is not installed (Debian: python3-pyvisa-py)")
    manager = pyvisa.ResourceManager("@py")
    yield manager
    manager.close()


def resource(port):
    return f"TCPIP0::127.0.0.1::{port}::SOCKET"


@pytest.fixture
def client(server, visa):
    """open(k): a new PyVISA session on unit k, closed after the test."""
    sessions = []

    def open_unit(index):
        session = visa.open_resource(resource(server.ports[index]), read_termination="\n",
                                     write_termination="\n", timeout=20000)
        sessions.append(session)
        return session

    yield open_unit
    for session in sessions:
        session.close()


def errors(session):
    """The client's error queue, read empty: codes with texts."""
    found = []
    while True:
        code, _, text = session.query("SYST:ERR?").partition(",")
        if int(code) == 0:
            assert text == '"No error"'
            return found
        found.append((int(code), text[1:-1].replace('""', '"')))


@pytest.mark.parametrize("index, serial, model", [unit[:3] for unit in UNITS])
def test_identity_of_every_unit(client, index, serial, model):
    maker, name, number, version = client(index).query("*IDN?").split(",")
    assert (maker, name, number) == ("Kavra", model, serial)
    assert re.fullmatch(r"\d+\.\d+\.\d+", version)


# A setting per family and its read-back through the same session. The headers mix short,
# long and lower-case forms, several commands on one line and unit suffixes.
READ_BACK = [
    (ALDER, "CURR 500E-6;VOLT 1000;:PWM:DUTY 30;FREQ 2 KHZ;:OUTP ON",
     "VOLT?;CURR?;PWM:DUTY?;PWM:FREQuency?;OUTP?;MEAS:CURR?", "1000;0.0005;30;2000;1;0.0001"),
    (CEDAR, "bus:lev 1;:SOUR1:VOLT 90;:outp1:stat on;:PWM2:FUNC 2",
     "BUS:LEV?;BUS?;SOURce1:VOLTage:LEVel:IMMediate:AMPLitude?;OUTP1?;PWM2:FUNC?;PWM2:DUTY?",
     "1;1;90;1;2;50"),
    (GENERIC19, "CURR 150UA;VOLT 1 KV;OUTP 1", "VOLT?;CURR?;OUTP?;MEAS:CURR:DC?;STAT:CHAN?",
     "1000;0.00015;1;0.0001;1,0"),
    (GENERIC25, "OUTPut:POLarity NEGative;:VOLT 500", "OUTP:POL?;VOLT?;STAT:SUPP?", 'NEG;500;0,"No error"'),
    (BIRCH, "VOLT:ACC 12000,-1.5", "VOLT:ACC?", "12000,-1.5"),
    (ROWAN, "", "MEAS:ADC?", "3.3"),
]


@pytest.mark.parametrize("index, setting, query, expected", READ_BACK)
def test_setting_and_read_back(client, index, setting, query, expected):
    session = client(index)
    if setting:
        session.write(setting)
    assert session.query(query) == expected
    assert errors(session) == []


# Bad input: the error the client reads, and its text. Argument ranges are the library's own
# (its end-to-end tests): here one row per way a status reaches the client.
BAD_INPUT = [
    (GENERIC19, "VOLT 5000.5", -222, "Data out of range;voltage out of range"),
    (GENERIC19, "CURR 201E-6", -222, "Data out of range;current out of range"),
    (ALDER, "PWM:FREQ 0", -222, "Data out of range;PWM frequency out of range"),
    (GENERIC25, "OUTP:POL 2", -222, "Data out of range;2"),
    (ROWAN, "OUTP ON", -241, "Hardware missing;the operation is not supported by the unit's family"),
    (CEDAR, "CURR 1E-3", -241, "Hardware missing;no current limit"),
    (ROWAN, "MEAS:CURR?", -241, "Hardware missing;the operation is not supported by the unit's family"),
    (GENERIC19, "SOUR2:VOLT 10", -114, "Header suffix out of range"),
    (GENERIC19, "VOLT:NONSENSE 1", -113, "Undefined header;VOLT:NONSENSE 1"),
    (GENERIC19, "*FOO", -113, "Undefined header;*FOO"),
    (GENERIC19, '\x01\x7f"x";VOLT', -113, 'Undefined header;??"x"'),
    (GENERIC19, "VOLT ten", -104, "Data type error;ten"),
    (GENERIC19, "VOLT", -109, "Missing parameter"),
    (GENERIC19, "VOLT 1,2", -108, "Parameter not allowed"),
    (GENERIC19, "VOLT 10 KA", -131, "Invalid suffix;KA"),
    (GENERIC19, "OUTP MAYBE", -224, "Illegal parameter value;MAYBE"),
    (CEDAR, "SOUR2:VOLT 10;:OUTP2 ON", 30,
     "switching on output 2 or 3 refused: the unit's status shows them not ready"),
]


@pytest.mark.parametrize("index, command, code, text", BAD_INPUT)
def test_bad_input_is_reported_in_the_error_queue(client, index, command, code, text):
    session = client(index)
    session.write(command)
    assert errors(session) == [(code, text)]
    assert int(session.query("*ESR?")) != 0


def test_rejected_command_ends_its_line_and_leaves_the_unit_alone(client):
    session = client(GENERIC19)
    session.write("CURR 100E-6;VOLT 100;OUTP OFF")
    session.write("VOLT 9000;OUTP ON")
    session.write("OUTP:POL NEG;OUTP ON")
    assert [code for code, _ in errors(session)] == [-222, -241]
    assert session.query("VOLT?;OUTP?;MEAS:CURR?") == "100;0;0"


# Event status and error queue of a fresh connection: lines sent, then a query and its answer.
STATUS = [
    (["FOO"], "*ESR?;*ESR?", "32;0"),                       # command error, cleared by reading
    (["VOLT 9000"], "*ESR?;*STB?", "16;4"),                # execution error; the queue holds it
    (["SOUR2:VOLT 10;:OUTP2 ON"], "*ESR?", "8"),            # device-specific error (Cedar: 30)
    (["*ESE 32", "FOO"], "*STB?;*ESE?", "36;32"),           # enabled event and queued error
    (["FOO", "*CLS"], "*STB?;*ESR?;SYST:ERR:COUN?", "0;0;0"),
    (["*OPC"], "*ESR?", "1"),
]


@pytest.mark.parametrize("lines, query, expected", STATUS)
def test_status_registers(client, lines, query, expected):
    session = client(CEDAR)
    for line in lines:
        session.write(line)
    assert session.query(query) == expected


def test_error_queue_overflow_keeps_the_first_errors(client):
    session = client(CEDAR)
    for _ in range(25):
        session.write("FOO")
    codes = [code for code, _ in errors(session)]
    assert codes == [-113] * 19 + [-350]


# Settings the server has not seen answer SCPI's not-a-number; a plain level ends a waveform.
@pytest.mark.parametrize("index, lines, query, expected", [
    (ALDER, [], "OUTP:POL?", UNKNOWN),
    (CEDAR, ["SOUR2:VOLT:WAV 1,10,20,0.5"], "SOUR2:VOLT?;SOUR2:VOLT:WAV?", "10;1,10,20,0.5"),
    (CEDAR, ["SOUR2:VOLT:WAV 1,10,20,0.5", "SOUR2:VOLT 30"], "SOUR2:VOLT:WAV?", ",".join([UNKNOWN] * 4)),
    (BIRCH, ["VOLT:ACC 100,1", "*RST"], "VOLT:ACC?", "0,0"),
    (GENERIC19, ["VOLT 10;OUTP ON", "*RST"], "OUTP?;*OPC?", "0;1"),  # a reset switches outputs off
])
def test_settings_read_back_as_last_set(client, index, lines, query, expected):
    session = client(index)
    for line in lines:
        session.write(line)
    assert session.query(query) == expected


@pytest.mark.parametrize("length, error", [(4096, []), (4097, [-223]), (100000, [-223])])
def test_long_lines(client, length, error):
    session = client(ALDER)
    session.write("*CLS" + " " * (length - 4))
    assert session.query("*OPC?") == "1"
    assert [code for code, _ in errors(session)] == error


def test_two_clients_on_one_unit(client):
    first, second = client(GENERIC19), client(GENERIC19)
    first.write("VOLT 222")
    # The second client's line arrives after the first's and sees its effect.
    assert second.query("VOLT?") == "222"
    first.write("NONSENSE")
    assert errors(second) == []
    assert [code for code, _ in errors(first)] == [-113]


def test_clients_of_different_units_at_once(client):
    results = {}

    def work(session, index, command, query):
        results[index] = []
        for n in range(1, 21):
            session.write(command.format(n))
            results[index].append(session.query(query))

    threads = [threading.Thread(target=work, args=(client(GENERIC19), GENERIC19, "VOLT {}", "VOLT?")),
               threading.Thread(target=work, args=(client(ALDER), ALDER, "PWM:DUTY {}", "PWM:DUTY?")),
               threading.Thread(target=work, args=(client(BIRCH), BIRCH, "VOLT:ACC {},0", "VOLT:ACC?"))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results[GENERIC19] == [str(n) for n in range(1, 21)]
    assert results[ALDER] == [str(n) for n in range(1, 21)]
    assert results[BIRCH] == [f"{n},0" for n in range(1, 21)]


def test_client_disconnecting_in_the_middle_of_a_command(server, client):
    port = server.ports[GENERIC25]
    with socket.create_connection(("127.0.0.1", port)) as half_line:
        half_line.sendall(b"VOLT 77")
    with socket.create_connection(("127.0.0.1", port)) as gone_before_reply:
        gone_before_reply.sendall(b"VOLT 66;STAT:SUPP?;*IDN?\n")
    with socket.create_connection(("127.0.0.1", port)) as garbage:
        garbage.sendall(bytes(range(256)) * 64)
    session = client(GENERIC25)
    # The whole line runs although its client is gone; the cut one never does. Lines of different
    # connections may be read in either order, so the query waits for the line to have run.
    deadline = time.monotonic() + 10
    while session.query("VOLT?") != "66" and time.monotonic() < deadline:
        time.sleep(0.05)
    assert session.query("VOLT?") == "66"
    assert client(ALDER).query("*IDN?").startswith("Kavra,Alder")


@pytest.mark.parametrize("signum", [signal.SIGINT, signal.SIGTERM])
def test_signal_ends_the_server_in_order(tmp_path, signum):
    running = start(tmp_path, units=bench_units([GENERIC19]))
    with socket.create_connection(("127.0.0.1", running.ports[1])) as connection:
        connection.sendall(b"VOLT 10;OUTP ON;*OPC?\n")
        assert connection.makefile().readline() == "1\n"
        code, stderr = running.stop(signum)
        assert code == 0, stderr
        assert connection.recv(1) == b""


@pytest.mark.parametrize("allow, admitted", [
    (["10.0.0.0/8"], False),
    (["10.0.0.0/8", "127.0.0.1"], True),
    (["127.0.0.0/8"], True),
])
def test_allowed_subnets(tmp_path, allow, admitted):
    options = [argument for subnet in allow for argument in ("--allow", subnet)]
    running = start(tmp_path, *options, units=bench_units([ROWAN]))
    try:
        with socket.create_connection(("127.0.0.1", running.ports[1])) as connection:
            try:
                connection.sendall(b"*OPC?\n")
                reply = connection.recv(16)
            except ConnectionError:
                reply = b""
            assert (reply == b"1\n") == admitted
    finally:
        assert running.stop()[0] == 0


def free_ports(count):
    """A base port with `count` free ports from it."""
    for _ in range(50):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            base = probe.getsockname()[1]
        if base + count > 65535:
            continue
        probes = []
        try:
            for port in range(base, base + count):
                probe = socket.socket()
                probes.append(probe)
                probe.bind(("127.0.0.1", port))
            return base
        except OSError:
            continue
        finally:
            for probe in probes:
                probe.close()
    pytest.skip("no block of free ports found")


def test_ports_follow_the_device_index_unless_pinned(tmp_path):
    base = free_ports(4)
    units = bench_units([ALDER, CEDAR, BIRCH])
    running = Server(tmp_path, "--port", str(base), "--pin", f"qzah040010005={base + 3}", units=units)
    try:
        assert running.ports == {1: base, 2: base + 1, 3: base + 3}
        for index, port in running.ports.items():
            with socket.create_connection(("127.0.0.1", port)) as connection:
                connection.sendall(b"*IDN?\n")
                assert connection.makefile().readline().split(",")[2] == units[index - 1]["serial"]
    finally:
        assert running.stop()[0] == 0


@pytest.mark.parametrize("options", [
    ["--port", "65536"], ["--allow", "nonsense"], ["--pin", "QZAH040010005"], ["--pin", "X=0"],
    ["--listen", "localhost.invalid"], ["extra"],
])
def test_misuse_exits_with_2(options):
    result = subprocess.run([KAVRAD, "--sim", *options], capture_output=True, text=True, timeout=60)
    assert result.returncode == 2
    assert result.stderr.startswith("kavrad: ")


# The same through the PyMeasure classes.

@pytest.fixture
def instrument(server, visa):
    pymeasure = pytest.importorskip("kavra.pymeasure",
                                    reason="PyMeasure is not installed (Debian: python3-pymeasure)")
    opened = []

    def open_unit(index):
        supply = pymeasure.connect(resource(server.ports[index]), visa_library="@py", timeout=20000)
        opened.append(supply)
        return supply

    yield open_unit
    for supply in opened:
        supply.adapter.connection.close()


def alder(supply):
    supply.current_limit = 140e-6
    supply.voltage = 1200
    supply.pwm_frequency = 5000
    supply.output_enabled = True
    return (supply.voltage, supply.current_limit, supply.pwm_frequency, supply.output_enabled, supply.current)


def cedar(supply):
    supply.bus_level = 1
    supply.set_voltage(95, channel=3)
    supply.set_waveform(1, 20, 30, 0.5, channel=1)
    supply.set_pwm_function(1, channel=2)
    return (supply.bus_enabled, supply.voltage_setting(3), supply.waveform(1), supply.voltage)


def generic25(supply):
    supply.polarity = "NEG"
    supply.voltage = 700
    supply.output_enabled = True
    return (supply.polarity, supply.voltage, supply.output_enabled, supply.supply_status)


def birch(supply):
    supply.accurate_voltage = (30000, 2.5)
    first = supply.accurate_voltage
    supply.output_off()
    return (first, supply.accurate_voltage)


PYMEASURE = [
    (ALDER, "AlderSupply", alder, (1200, 0.00014, 5000, True, 0.00012)),
    (CEDAR, "CedarSupply", cedar, (True, 95, (1, 20, 30, 0.5), 20)),
    (GENERIC25, "GenericSupply", generic25, ("NEG", 700, True, (False, "No error"))),
    (BIRCH, "BirchSupply", birch, ((30000, 2.5), (0, 0))),
    (ROWAN, "RowanSupply", lambda supply: supply.adc, 3.3),
]


@pytest.mark.parametrize("index, kind, exercise, expected", PYMEASURE)
def test_pymeasure_setting_and_read_back(instrument, index, kind, exercise, expected):
    supply = instrument(index)
    assert type(supply).__name__ == kind
    assert supply.id.split(",")[2] == UNITS[index - 1][1]
    assert exercise(supply) == expected


@pytest.mark.parametrize("index, attribute, value, code", [
    (GENERIC19, "voltage", 5001, -222),
    (GENERIC19, "current_limit", 1e-3, -222),
    (GENERIC19, "polarity", "NEG", -241),
    (ALDER, "pwm_duty", 101, -222),
])
def test_pymeasure_rejected_setting_raises(instrument, index, attribute, value, code):
    pymeasure = pytest.importorskip("kavra.pymeasure")
    supply = instrument(index)
    with pytest.raises(pymeasure.KavraScpiError) as raised:
        setattr(supply, attribute, value)
    assert raised.value.code == code
    assert supply.errors() == []


def test_session_of_the_documentation_works_as_shown(tmp_path, visa):
    """The example sessions of docs/scpi.md, on the default bench, with the port kavrad chose."""
    pytest.importorskip("pymeasure", reason="PyMeasure is not installed (Debian: python3-pymeasure)")
    text = (Path(__file__).resolve().parents[2] / "docs" / "scpi.md").read_text()
    sessions = re.findall(r"```python\n(>>> .*?)```", text, re.S)
    assert len(sessions) == 2
    running = start(tmp_path)
    try:
        for number, session in enumerate(sessions):
            session = session.replace("::5027::", f"::{running.ports[GENERIC19]}::")
            example = doctest.DocTestParser().get_doctest(session, {}, f"scpi.md session {number + 1}", None, 0)
            runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
            runner.run(example)
            assert runner.summarize(verbose=False) == (0, len(example.examples))
    finally:
        assert running.stop()[0] == 0
