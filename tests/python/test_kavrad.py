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
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest
from conftest import (ALDER, BIRCH, CEDAR, DEFAULT_BENCH, GENERIC19, GENERIC25, LOADS, ROWAN,
                      SERIAL, bench_units, run, write_bench)

KAVRAD = os.environ.get("KAVRAD")
pytestmark = pytest.mark.skipif(not KAVRAD, reason="KAVRAD does not name the built kavrad")

# The default bench's units with loads, so that currents read back, and Cedar outputs 2 and 3
# not ready, so that the unit refuses to switch them on (a device-specific error).
UNITS = bench_units(extra={**LOADS, CEDAR: {"outputs23Ready": False}})

# SCPI's not-a-number: a setting not made through the server yet.
UNKNOWN = "9.91E+37"


class Server:
    """A running kavrad on a bench of the units given (the built-in default bench without them);
    ports[k] is the port of unit k. As a context manager it is stopped, and must exit with 0."""

    def __init__(self, tmp_path, *options, units=None, port=0, env=None):
        bench = ["--bench", write_bench(tmp_path / f"bench-{id(self)}.json", units)] if units else ["--sim"]
        self.process = subprocess.Popen([KAVRAD, *bench, "--port", str(port), *options], text=True,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        env={**os.environ, **(env or {})})
        self.ports = {}
        for line in self.process.stdout:
            served = re.match(r"kavrad: unit (\d+) \(.*\) on 127\.0\.0\.1:(\d+)$", line)
            if served:
                self.ports[int(served[1])] = int(served[2])
            if line.startswith("kavrad: serving"):
                break
        else:
            raise AssertionError(f"kavrad did not start: {self.process.wait()} {self.process.stderr.read()}")

    def stop(self, signum=signal.SIGTERM):
        self.process.send_signal(signum)
        _, stderr = self.process.communicate(timeout=60)
        return self.process.returncode, stderr

    def __enter__(self):
        return self

    def __exit__(self, failure, *_):
        code, stderr = self.stop()
        assert failure or code == 0, stderr


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    with Server(tmp_path_factory.mktemp("kavrad"), units=UNITS) as running:
        yield running


@pytest.fixture(scope="module")
def visa():
    pyvisa = pytest.importorskip("pyvisa", reason="PyVISA is not installed (Debian: python3-pyvisa)")
    pytest.importorskip("pyvisa_py", reason="pyvisa-py is not installed (Debian: python3-pyvisa-py)")
    manager = pyvisa.ResourceManager("@py")
    yield manager
    manager.close()


@pytest.fixture
def client(server, visa):
    """client(k): a new PyVISA session on unit k, closed after the test."""
    sessions = []

    def open_unit(index):
        sessions.append(visa.open_resource(f"TCPIP0::127.0.0.1::{server.ports[index]}::SOCKET",
                                           read_termination="\n", write_termination="\n", timeout=20000))
        return sessions[-1]

    yield open_unit
    for session in sessions:
        session.close()


def errors(session):
    """The client's error queue, read empty: codes with texts."""
    found = []
    while not (reply := session.query("SYST:ERR?")).startswith("0,"):
        code, _, text = reply.partition(",")
        found.append((int(code), text[1:-1].replace('""', '"')))
    assert reply == '0,"No error"'
    return found


@pytest.mark.parametrize("index, serial, family, model", [unit[:4] for unit in DEFAULT_BENCH])
def test_identity_of_every_unit(client, index, serial, family, model):
    maker, name, number, version = client(index).query("*IDN?").split(",")
    assert (maker, name, number) == ("Kavra", f"{family} {model}", serial)
    assert re.fullmatch(r"\d+\.\d+\.\d+", version)


# Lines sent on a fresh connection, then a query and its answer. A setting per family reads back
# through the same session; the headers mix short, long and lower-case forms, several commands on
# one line and unit suffixes. Settings the server has not seen answer SCPI's not-a-number.
READ_BACK = [
    (ALDER, ["CURR 500E-6;VOLT 1000;:PWM:DUTY 30;FREQ 2 KHZ;:OUTP ON"],
     "VOLT?;CURR?;PWM:DUTY?;PWM:FREQuency?;OUTP?;MEAS:CURR?", "1000;0.0005;30;2000;1;0.0001"),
    (CEDAR, ["bus:lev 1;:SOUR1:VOLT 90;:outp1:stat on;:PWM2:FUNC 2"],
     "BUS:LEV?;BUS?;SOURce1:VOLTage:LEVel:IMMediate:AMPLitude?;OUTP1?;PWM2:FUNC?;PWM2:DUTY?",
     "1;1;90;1;2;50"),
    (GENERIC19, ["CURR 150UA;VOLT 1 KV;OUTP 1"], "VOLT?;CURR?;OUTP?;MEAS:CURR:DC?;STAT:CHAN?",
     "1000;0.00015;1;0.0001;1,0"),
    (GENERIC25, ["OUTPut:POLarity NEGative;:VOLT 500"], "OUTP:POL?;VOLT?;STAT:SUPP?", 'NEG;500;0,"No error"'),
    (BIRCH, ["VOLT:ACC 12000,-1.5"], "VOLT:ACC?", "12000,-1.5"),
    (ROWAN, [], "MEAS:ADC?", "3.3"),
    (ALDER, [], "OUTP:POL?", UNKNOWN),
    (CEDAR, ["SOUR2:VOLT:WAV 1,10,20,0.5"], "SOUR2:VOLT?;SOUR2:VOLT:WAV?", "10;1,10,20,0.5"),
    # A plain level ends a waveform; a reset switches outputs off.
    (CEDAR, ["SOUR2:VOLT:WAV 1,10,20,0.5", "SOUR2:VOLT 30"], "SOUR2:VOLT:WAV?", ",".join([UNKNOWN] * 4)),
    (BIRCH, ["VOLT:ACC 100,1", "*RST"], "VOLT:ACC?", "0,0"),
    (GENERIC19, ["VOLT 10;OUTP ON", "*RST"], "OUTP?;*OPC?", "0;1"),
    # Event status and error queue, each connection's own: the errors left by the rows before
    # (FOO, for one) do not show on the next row's connection.
    (CEDAR, ["FOO"], "*ESR?;*ESR?", "32;0"),                            # command error, cleared by reading
    (CEDAR, ["VOLT 9000"], "*ESR?;*STB?;SYST:ERR:COUN?", "16;4;1"),     # execution error, queued
    (CEDAR, ["SOUR2:VOLT 10;:OUTP2 ON"], "*ESR?", "8"),                 # device-specific error (Cedar: 30)
    (CEDAR, ["*ESE 32", "FOO"], "*STB?;*ESE?", "36;32"),                # enabled event and queued error
    (CEDAR, ["FOO", "*CLS"], "*STB?;*ESR?;SYST:ERR:COUN?", "0;0;0"),
    (CEDAR, ["*OPC"], "*ESR?", "1"),
    (CEDAR, ["FOO"] * 25, ";".join(["SYST:ERR?"] * 20),  # a full queue keeps the first errors
     ";".join(['-113,"Undefined header;FOO"'] * 19 + ['-350,"Queue overflow"'])),
    # Lines up to 4096 bytes run; a longer one is dropped whole.
    (ALDER, ["*CLS" + " " * 4092], "*OPC?;SYST:ERR:COUN?", "1;0"),
    (ALDER, ["*CLS" + " " * 4093], "*OPC?;SYST:ERR?", '1;-223,"Too much data"'),
    (ALDER, ["*CLS" + " " * 99996], "*OPC?;SYST:ERR?", '1;-223,"Too much data"'),
    # Bounds from the library's family table, the common queries clients try first.
    (GENERIC19, [], "VOLT? MAX;VOLT? MIN;CURR? MAX;CURR? DEF;SYST:VERS?;*TST?;SYST:WDOG?",
     "5000;0;0.0002;0.0002;1999.0;0;0,0"),
    (ALDER, ["VOLT MAX;CURR MIN"], "VOLT?;CURR?;VOLT:SLEW?;VOLT:RAMP?", "2000;0;0;0"),
    (BIRCH, [], "*TST?;SYST:ERR:ALL?", '1;-241,"Hardware missing;the unit reports no status"'),
    (CEDAR, ["FOO", "BAR", "*ESE 32;STAT:PRES"], "SYST:ERR:ALL?;SYST:ERR:ALL?;*ESE?",
     '-113,"Undefined header;FOO",-113,"Undefined header;BAR";0,"No error";32'),
    # A software limit refuses a setting above it and leaves the last one in place.
    (GENERIC19, ["VOLT 100", "VOLT:LIM 500;VOLT 600"], "VOLT:LIM?;VOLT? MAX;VOLT?;SYST:ERR:ALL?;VOLT:LIM MAX",
     '500;500;100;-222,"Data out of range;above the limit of 500 V"'),
    # A rejected command ends its line and leaves the unit alone.
    (GENERIC19, ["CURR 100E-6;VOLT 100;OUTP OFF", "VOLT 9000;OUTP ON", "OUTP:POL NEG;OUTP ON"],
     "SYST:ERR:COUN?;VOLT?;OUTP?;MEAS:CURR?", "2;100;0;0"),
]


@pytest.mark.parametrize("index, lines, query, expected", READ_BACK)
def test_lines_then_a_query(client, index, lines, query, expected):
    session = client(index)
    for line in lines:
        session.write(line)
    assert session.query(query) == expected


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
    (GENERIC19, "VOLT? MAYBE", -224, "Illegal parameter value;MAYBE"),
    (GENERIC19, "OUTP:ALL ON", -224, "Illegal parameter value;ON"),
    (GENERIC19, "VOLT:SLEW -1", -222, "Data out of range;negative rate"),
    (GENERIC19, "VOLT:LIM 5001", -222, "Data out of range;limit above 5000 V"),
    (ALDER, "MEAS:VOLT?", -241, "Hardware missing;the unit does not report its output voltage"),
    (CEDAR, "SOUR2:VOLT 10;:OUTP2 ON", 30,
     "switching on output 2 or 3 refused: the unit's status shows them not ready"),
]


@pytest.mark.parametrize("index, command, code, text", BAD_INPUT)
def test_bad_input_is_reported_in_the_error_queue(client, index, command, code, text):
    session = client(index)
    session.write(command)
    assert errors(session) == [(code, text)]


def test_clients_of_different_units_at_once(client):
    work = {GENERIC19: ("VOLT {}", "VOLT?", "{}"), ALDER: ("PWM:DUTY {}", "PWM:DUTY?", "{}"),
            BIRCH: ("VOLT:ACC {},0", "VOLT:ACC?", "{},0")}
    sessions = {index: client(index) for index in work}

    def exercise(index):
        command, query, _ = work[index]
        replies = []
        for n in range(1, 21):
            sessions[index].write(command.format(n))
            replies.append(sessions[index].query(query))
        return replies

    with ThreadPoolExecutor(len(work)) as pool:
        replies = dict(zip(work, pool.map(exercise, work)))
    assert replies == {index: [reply.format(n) for n in range(1, 21)]
                       for index, (_, _, reply) in work.items()}


def test_client_disconnecting_in_the_middle_of_a_command(server, client):
    for sent in (b"VOLT 77", b"VOLT 66;STAT:SUPP?;*IDN?\n", bytes(range(256)) * 64):
        with socket.create_connection(("127.0.0.1", server.ports[GENERIC25])) as gone:
            gone.sendall(sent)
    session = client(GENERIC25)
    # The whole line runs although its client is gone; the cut one never does. Lines of different
    # connections may be read in either order, so the query waits for the line to have run.
    deadline = time.monotonic() + 10
    while session.query("VOLT?") != "66" and time.monotonic() < deadline:
        time.sleep(0.05)
    assert session.query("VOLT?") == "66"
    assert client(ALDER).query("*IDN?").startswith("Kavra,Alder")


# Input that once stalled a connection for good: each must answer its last query, and every
# query of a pipelined batch in order.
STALLS = [
    (b"*CLS\n" * 3500 + b"*IDN?\n", 1),
    (b"*IDN?\n" * 5000, 5000),
    (b"garbage\n" * 10000 + b"*CLS\n*IDN?\n", 1),
    (bytes(range(256)) * 1200 + b"\n*CLS\n*IDN?\n", 1),
    (b"X" * 10000 + b"\n" + b"*IDN?\n", 1),
]


@pytest.mark.parametrize("sent, replies", STALLS)
def test_no_input_stalls_a_connection(client, sent, replies):
    session = client(GENERIC19)
    session.write_raw(sent)
    assert [session.read() for _ in range(replies)] == [session.query("*IDN?")] * replies


def test_a_slow_reader_is_held_back_while_others_are_served(client):
    slow, other = client(GENERIC25), client(GENERIC25)
    slow.write_raw(b"*IDN?\n" * 20000)  # not read for now: TCP holds the rest back
    time.sleep(0.5)
    assert other.query("*OPC?") == "1"
    assert len({slow.read() for _ in range(20000)}) == 1


def resident_megabytes(pid):
    return int(re.search(r"VmRSS:\s+(\d+)", Path(f"/proc/{pid}/status").read_text())[1]) / 1024


def test_many_clients_are_all_answered_and_memory_returns(tmp_path, visa):
    def exercise(number):
        session = visa.open_resource(f"TCPIP0::127.0.0.1::{running.ports[number % len(running.ports) + 1]}::SOCKET",
                                     read_termination="\n", write_termination="\n", timeout=60000)
        try:
            return sum(session.query("*IDN?").startswith("Kavra,") for _ in range(100))
        finally:
            session.close()

    with Server(tmp_path) as running:
        start = resident_megabytes(running.process.pid)
        for _ in range(2):
            with ThreadPoolExecutor(200) as pool:
                assert sum(pool.map(exercise, range(200))) == 200 * 100
        if os.environ.get("KAVRA_SANITIZED") == "1":
            return  # the sanitizer's allocator keeps freed memory in quarantine
        deadline = time.monotonic() + 10
        while (size := resident_megabytes(running.process.pid)) > 1.1 * start and time.monotonic() < deadline:
            time.sleep(0.2)
        assert size <= 1.1 * start, (start, size)


def test_realistic_bench_takes_thousands_of_settings(tmp_path, visa):
    bench = json.dumps({"timing": "realistic", "units": bench_units([GENERIC19])})
    with Server(tmp_path, units=bench) as running:
        session = visa.open_resource(f"TCPIP0::127.0.0.1::{running.ports[1]}::SOCKET",
                                     read_termination="\n", write_termination="\n", timeout=60000)
        for _ in range(3000):
            session.write("VOLT 100")
        assert session.query("*OPC?;VOLT?;SYST:ERR:COUN?") == "1;100;0"
        session.close()


def test_ramp_reaches_the_unit_in_increasing_steps(tmp_path):
    wire = tmp_path / "wire.json"
    alder = bench_units([ALDER])
    with Server(tmp_path, "--slew", f"{alder[0]['serial']}=500", units=alder,
                env={"KAVRA_SIM_WIRE_LOG": str(wire)}) as running, \
            socket.create_connection(("127.0.0.1", running.ports[1])) as connection:
        replies = connection.makefile()

        def query(line):
            connection.sendall(line.encode() + b"\n")
            return replies.readline().strip()

        assert query("VOLT:SLEW?;VOLT 1000;VOLT?;VOLT:RAMP?") == "500;1000;1"
        deadline = time.monotonic() + 20
        while query("VOLT:RAMP?") == "1" and time.monotonic() < deadline:
            time.sleep(0.05)
        # A new setting re-targets a ramp; switching the output off stops it.
        assert query("VOLT 0;VOLT:RAMP?;OUTP OFF;VOLT:RAMP?;VOLT?") == "1;0;0"
    log = json.loads(wire.read_text())[alder[0]["serial"]]
    steps = [(int.from_bytes(packet[8:10], "little"), entry["t"]) for entry in log
             if entry["dir"] == "out" and (packet := bytes.fromhex(entry["data"]))[:1] == b"\x05"
             and packet[5] == 0x20]
    up = [code for code, _ in steps][:20]
    assert len(up) >= 10 and up == sorted(set(up)), steps
    # 1000 V at 500 V/s: never faster than the rate allows.
    assert steps[19][1] - steps[0][1] >= 1.5e6


def test_watchdog_switches_off_a_silent_unit_only(tmp_path):
    with Server(tmp_path, "--watchdog", "1", units=bench_units([ALDER, GENERIC19])) as running:
        silent, talking = (socket.create_connection(("127.0.0.1", running.ports[k])) for k in (1, 2))
        for connection in (silent, talking):
            connection.sendall(b"VOLT 100;OUTP ON;OUTP?\n")
            assert connection.makefile().readline() == "1\n"
        talker = talking.makefile()
        for _ in range(12):  # 2.4 s of commands: well past the time plus 1 s
            talking.sendall(b"*OPC?\n")
            assert talker.readline() == "1\n"
            time.sleep(0.2)
        for connection, reply in ((silent, "0;1,1"), (talking, "1;1,0")):
            connection.sendall(b"OUTP?;SYST:WDOG?\n")
            assert connection.makefile().readline() == reply + "\n"
        # Stopped with both clients still connected and the talking unit's output on.
        code, stderr = running.stop()
    assert code == 0 and f"{SERIAL[ALDER]}, Alder 15/1): watchdog: no command for 1 s" in stderr


@pytest.mark.parametrize("signum", [signal.SIGINT, signal.SIGTERM])
def test_all_off_across_units_and_off_on_exit(tmp_path, signum):
    wire = tmp_path / "wire.json"
    units = bench_units([ALDER, GENERIC19, ROWAN])
    running = Server(tmp_path, "--off-on-exit", "--limit", f"{units[1]['serial'].lower()}=500",
                     units=units, env={"KAVRA_SIM_WIRE_LOG": str(wire)})
    connections = [socket.create_connection(("127.0.0.1", running.ports[k])) for k in (1, 2, 3)]

    def query(k, line):
        connections[k - 1].sendall(line.encode() + b"\n")
        return connections[k - 1].makefile().readline().strip()

    assert [query(k, "OUTP ON;OUTP?") for k in (1, 2)] == ["1", "1"]
    connections[1].sendall(b"VOLT:LIM 600\n")
    assert query(2, "SYST:ERR?;VOLT:LIM?") == '-222,"Data out of range;limit above 500 V";500'
    assert query(3, "OUTP:ALL OFF;*OPC?") == "1"
    assert [query(k, "OUTP?") for k in (1, 2)] == ["0", "0"]
    assert [query(k, "OUTP ON;OUTP?") for k in (1, 2)] == ["1", "1"]
    # Either signal ends the server in order, its clients still connected.
    code, stderr = running.stop(signum)
    assert code == 0, stderr
    # The last packet to each unit switched its output off (Alder 0x27, Generic 19/1 0x23).
    log = json.loads(wire.read_text())
    last = {unit["serial"]: [bytes.fromhex(entry["data"]) for entry in log[unit["serial"]]
                             if entry["dir"] == "out" and entry["data"].startswith("05")][-1][5]
            for unit in units[:2]}
    assert last == {units[0]["serial"]: 0x27, units[1]["serial"]: 0x23}
    assert stderr.count("ending: outputs off") == 3


@pytest.mark.parametrize("allow, admitted", [
    (["10.0.0.0/8"], False),
    (["10.0.0.0/8", "127.0.0.1"], True),
    (["127.0.0.0/8"], True),
])
def test_allowed_subnets(tmp_path, allow, admitted):
    options = [argument for subnet in allow for argument in ("--allow", subnet)]
    with Server(tmp_path, *options, units=bench_units([ROWAN])) as running, \
            socket.create_connection(("127.0.0.1", running.ports[1])) as connection:
        try:
            connection.sendall(b"*OPC?\n")
            reply = connection.recv(16)
        except ConnectionError:
            reply = b""
        assert (reply == b"1\n") == admitted


def free_ports(count):
    """A base port with `count` free ports from it."""
    for _ in range(50):
        probes = [socket.socket() for _ in range(count)]
        try:
            probes[0].bind(("127.0.0.1", 0))
            base = probes[0].getsockname()[1]
            for offset, probe in enumerate(probes[1:], 1):
                probe.bind(("127.0.0.1", base + offset))
            return base
        except (OSError, OverflowError):
            continue
        finally:
            for probe in probes:
                probe.close()
    pytest.skip("no block of free ports found")


def test_ports_follow_the_device_index_unless_pinned(tmp_path):
    base = free_ports(4)
    units = bench_units([ALDER, CEDAR, BIRCH])
    with Server(tmp_path, "--pin", f"{SERIAL[BIRCH].lower()}={base + 3}", units=units, port=base) as running:
        assert running.ports == {1: base, 2: base + 1, 3: base + 3}
        for index, port in running.ports.items():
            with socket.create_connection(("127.0.0.1", port)) as connection:
                connection.sendall(b"*IDN?\n")
                assert connection.makefile().readline().split(",")[2] == units[index - 1]["serial"]


@pytest.mark.parametrize("options", [
    ["--port", "65536"], ["--allow", "nonsense"], ["--pin", "QZAH040010005"], ["--pin", "X=0"],
    ["--listen", "localhost.invalid"], ["extra"], ["--slew", "QZAH019010003"], ["--limit", "X=-1"],
    ["--watchdog", "0"],
])
def test_misuse_exits_with_2(options):
    result = run([KAVRAD, "--sim", *options])
    assert result.returncode == 2 and result.stderr.startswith("kavrad: ")


def test_failures_say_what_happened(tmp_path):
    # The 19/1 leaves the bench once it has been in two device lists: the start's and the opening
    # of the Rowan, after the 19/1 itself was opened.
    units = bench_units([GENERIC19, ROWAN], extra={GENERIC19: {"unplugAfterLists": 2}})
    with Server(tmp_path, units=units) as running:
        lost, other = (socket.create_connection(("127.0.0.1", port)) for port in running.ports.values())
        lost_reply, other_reply = lost.makefile(), other.makefile()
        lost.sendall(b"OUTP OFF\nSYST:ERR?\n")
        assert lost_reply.readline() == '0,"No error"\n'
        other.sendall(b"*TST?\n")
        assert other_reply.readline() == "0\n"
        lost.sendall(b"OUTP OFF\nSYST:ERR?\n")
        assert lost_reply.readline() == ('24,"an output on or off exchange failed;turnVoltageOff on '
                                         f'{SERIAL[GENERIC19]}: unit disconnected (FT_IO_ERROR: Communication error)"\n')
        lost.close()
        other.close()
    # Without a D2XX library nothing can be found: the server names what it tried and exits 3.
    result = run([KAVRAD, "--port", "0"], env={**os.environ, "KAVRA_D2XX_LIBRARY": str(tmp_path / "none.so")})
    assert result.returncode == 3
    assert f"D2XX library not loaded: tried {tmp_path / 'none.so'}" in result.stderr


# The same through the PyMeasure classes.

@pytest.fixture
def instrument(server, visa):
    pymeasure = pytest.importorskip("kavra.pymeasure",
                                    reason="PyMeasure is not installed (Debian: python3-pymeasure)")
    opened = []

    def open_unit(index):
        opened.append(pymeasure.connect(f"TCPIP0::127.0.0.1::{server.ports[index]}::SOCKET",
                                        visa_library="@py", timeout=20000))
        return opened[-1]

    yield open_unit
    for supply in opened:
        supply.adapter.connection.close()


# Steps in order: a property set to a value, or a method called with arguments; then what
# properties and methods (with their arguments) read back.
PYMEASURE = [
    (ALDER, "AlderSupply", [("current_limit", 140e-6), ("voltage", 1200), ("pwm_frequency", 5000),
                            ("output_enabled", True)],
     {"voltage": 1200, "current_limit": 0.00014, "pwm_frequency": 5000, "output_enabled": True,
      "current": 0.00012}),
    (CEDAR, "CedarSupply", [("bus_level", 1), ("set_voltage", (95, 3)),
                            ("set_waveform", (1, 20, 30, 0.5, 1)), ("set_pwm_function", (1, 2))],
     {"bus_enabled": True, ("voltage_setting", 3): 95, ("waveform", 1): (1, 20, 30, 0.5),
      "voltage": 20}),
    (GENERIC25, "GenericSupply", [("polarity", "NEG"), ("voltage", 700), ("output_enabled", True)],
     {"polarity": "NEG", "voltage": 700, "output_enabled": True,
      "supply_status": (False, "No error")}),
    (BIRCH, "BirchSupply", [("accurate_voltage", (30000, 2.5))], {"accurate_voltage": (30000, 2.5)}),
    (BIRCH, "BirchSupply", [("accurate_voltage", (30000, 2.5)), ("output_off", ())],
     {"accurate_voltage": (0, 0)}),
    (ROWAN, "RowanSupply", [], {"adc": 3.3}),
]


@pytest.mark.parametrize("index, kind, steps, expected", PYMEASURE)
def test_pymeasure_setting_and_read_back(instrument, index, kind, steps, expected):
    supply = instrument(index)
    assert type(supply).__name__ == kind
    for name, value in steps:
        if callable(getattr(type(supply), name)):
            getattr(supply, name)(*value)
        else:
            setattr(supply, name, value)
    read = {name: getattr(supply, name[0])(name[1]) if isinstance(name, tuple) else getattr(supply, name)
            for name in expected}
    assert read == expected


@pytest.mark.parametrize("index, attribute, value, code", [
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
    assert len(sessions) == 3
    parser, runner = doctest.DocTestParser(), doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    with Server(tmp_path) as running:
        for number, session in enumerate(sessions):
            session = session.replace("::5027::", f"::{running.ports[GENERIC19]}::")
            example = parser.get_doctest(session, {}, f"scpi.md session {number + 1}", None, 0)
            assert runner.run(example) == (0, len(example.examples))
