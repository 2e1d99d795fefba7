"""kavrad's dashboard (--http): plain HTTP checks of its security, its unit traffic, and the page in
headless Chromium through Selenium. KAVRAD names the built server (ctest sets it)."""

import json
import os
import re
import shutil
import socket
import subprocess
import time
from pathlib import Path

import pytest
from conftest import ALDER, DEFAULT_BENCH, GENERIC19, bench_units, write_bench

KAVRAD = os.environ.get("KAVRAD")
# The USB-level bench and the D2XX library on libftdi1 (ctest sets them when they are built).
USBBENCH, FTDI = os.environ.get("KAVRA_USBBENCH"), os.environ.get("KAVRA_FTDI")
pytestmark = pytest.mark.skipif(not KAVRAD, reason="KAVRAD does not name the built kavrad")


class Dashboard:
    """kavrad with --http 0 on a bench of the units given; url, port, token and SCPI ports."""

    def __init__(self, tmp_path, units, *options, usb=False):
        self.wire = tmp_path / f"wire-{id(self)}.json"
        bench = write_bench(tmp_path / f"bench-{id(self)}.json", units)
        command = [KAVRAD, "--bench", bench, "--port", "0", "--http", "0", *options]
        env = {**os.environ, "KAVRA_SIM_WIRE_LOG": str(self.wire)}
        if usb:  # the units as USB devices, driven through libftdi1, unpluggable from here
            command = [USBBENCH, "--bench", bench, "--", "sh", "-c",
                       'echo "socket $KAVRA_USBBENCH_SOCKET"; exec "$@"', "sh", *command[:1], *command[3:]]
            env["KAVRA_D2XX_LIBRARY"] = FTDI
        self.process = subprocess.Popen(command, text=True, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, env=env)
        self.ports = {}
        for line in self.process.stdout:
            if line.startswith("socket "):
                self.control = {**os.environ, "KAVRA_USBBENCH_SOCKET": line.split()[1]}
            if served := re.match(r"kavrad: unit (\d+) \(.*\) on 127\.0\.0\.1:(\d+)$", line):
                self.ports[int(served[1])] = int(served[2])
            if shown := re.match(r"kavrad: dashboard on (http://127\.0\.0\.1:(\d+)/\?token=(\w+))$", line):
                self.url, self.port, self.token = shown[1], int(shown[2]), shown[3]
            if line.startswith("kavrad: serving"):
                break
        else:
            raise AssertionError(f"kavrad did not start: {self.process.wait()} {self.process.stderr.read()}")

    def scpi(self, index, line):
        with socket.create_connection(("127.0.0.1", self.ports[index])) as connection:
            connection.sendall(line.encode() + b"\n")
            return connection.makefile().readline().strip()

    def request(self, head, body=b""):
        """Sends a raw request; the status, the headers (lower-case names) and the body."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as connection:
            connection.sendall(head.replace("PORT", str(self.port)).replace("TOKEN", self.token)
                               .encode() + body)
            reply = b""
            while chunk := connection.recv(65536):
                reply += chunk
        head, _, body = reply.partition(b"\r\n\r\n")
        lines = head.decode().split("\r\n")
        headers = dict(line.lower().split(": ", 1) for line in lines[1:])
        return int(lines[0].split()[1]), headers, body

    def wire_log(self):
        """Stops the server; the packets sent to each unit: (time in µs, bytes)."""
        self.process.terminate()
        assert self.process.wait(timeout=60) == 0, self.process.stderr.read()
        return {serial: [(entry["t"], bytes.fromhex(entry["data"])) for entry in log
                         if entry.get("dir") == "out"]
                for serial, log in json.loads(self.wire.read_text()).items()}

    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=60)


GOOD = "Host: 127.0.0.1:PORT\r\nCookie: kavrad_token=TOKEN\r\n"
POST = "POST /control HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
SAME_ORIGIN = "Origin: http://127.0.0.1:PORT\r\n"

# A raw request (PORT and TOKEN filled in) with its body, the status, and a header or text the
# reply must hold.
REQUESTS = [
    ("GET / HTTP/1.1\r\nHost: 127.0.0.1:PORT\r\n\r\n", b"", 403, b"token"),
    ("GET /events?token=0123 HTTP/1.1\r\nHost: 127.0.0.1:PORT\r\n\r\n", b"", 403, b"token"),
    ("GET /?token=TOKEN HTTP/1.1\r\nHost: localhost:PORT\r\n\r\n", b"", 303,
     ("set-cookie", "httponly; samesite=strict")),
    ("GET / HTTP/1.1\r\n" + GOOD + "\r\n", b"", 200, ("content-security-policy", "script-src 'self';")),
    ("GET /dashboard.js HTTP/1.1\r\n" + GOOD + "\r\n", b"", 200, b"EventSource"),
    ("GET /uPlot.iife.min.js HTTP/1.1\r\n" + GOOD + "\r\n", b"", 200, b"uPlot"),
    ("GET / HTTP/1.1\r\nHost: rebound.example:PORT\r\nCookie: kavrad_token=TOKEN\r\n\r\n", b"", 403, b"Host"),
    ("GET / HTTP/1.1\r\nHost: 127.0.0.1:1\r\nCookie: kavrad_token=TOKEN\r\n\r\n", b"", 403, b"Host"),
    (POST + GOOD + "Content-Length: 16\r\n\r\n", b"unit=2&action=on", 403, b"Origin"),
    (POST + GOOD + "Origin: http://evil.example\r\nContent-Length: 16\r\n\r\n", b"unit=2&action=on", 403, b"Origin"),
    (POST + GOOD + SAME_ORIGIN + "Content-Length: 32\r\n\r\n", b"unit=2&action=voltage&value=6000", 200,
     b'"error":"-222,\\"Data out of range;voltage out of range\\""'),
    (POST + GOOD + SAME_ORIGIN + "Content-Length: 38\r\n\r\n", b"unit=2&action=voltage&value=1%3BOUTP+ON", 400, b"value"),
    ("GET / HTTP/1.1\r\n" + GOOD + "X: " + "x" * 9000 + "\r\n\r\n", b"", 431, b""),
    (POST + GOOD + SAME_ORIGIN + "Content-Length: 5000\r\n\r\n", b"", 413, b""),
    (POST + GOOD + SAME_ORIGIN + "Transfer-Encoding: chunked\r\n\r\n", b"0\r\n\r\n", 501, b""),
    ("GET / HTTP/1.1\r\n" + GOOD + "Host: 127.0.0.1:PORT\r\n\r\n", b"", 400, b""),
]


def test_requests_without_token_host_or_origin_are_refused(tmp_path):
    with Dashboard(tmp_path, bench_units([ALDER, GENERIC19])) as dashboard:
        for head, body, status, expected in REQUESTS:
            got, headers, text = dashboard.request(head, body)
            assert got == status, (head, text)
            if isinstance(expected, tuple):
                assert expected[1] in headers[expected[0]], (head, headers)
            else:
                assert expected in text, (head, text)
        # The refused control never reached the unit.
        assert dashboard.scpi(2, "OUTP?;VOLT?") == "0;9.91E+37"


def test_ten_pages_add_no_unit_traffic(tmp_path):
    with Dashboard(tmp_path, bench_units([ALDER]), "--poll-interval", "0.2") as dashboard:
        # Voltage settings (instruction 0x20) mark the windows in the wire log.
        dashboard.scpi(1, "VOLT 1;*OPC?")
        time.sleep(2)
        dashboard.scpi(1, "VOLT 2;*OPC?")
        pages = [socket.create_connection(("127.0.0.1", dashboard.port)) for _ in range(10)]
        for page in pages:
            page.sendall(f"GET /events HTTP/1.1\r\nHost: 127.0.0.1:{dashboard.port}\r\n"
                         f"Cookie: kavrad_token={dashboard.token}\r\n\r\n".encode())
        time.sleep(2)
        assert all(b"event: unit" in page.recv(1 << 20) for page in pages)
        dashboard.scpi(1, "VOLT 3;*OPC?")
        for page in pages:
            page.close()
        packets = dashboard.wire_log()[DEFAULT_BENCH[0][1]]
    marks = [n for n, (_, packet) in enumerate(packets) if packet[:1] == b"\x05" and packet[5] == 0x20]
    assert len(marks) == 3
    alone, viewed = (packets[marks[k] + 1:marks[k + 1]] for k in (0, 1))
    seconds = [(window[-1][0] - window[0][0]) / 1e6 for window in (alone, viewed)]
    # The same packets per second of polling, with or without ten pages open.
    assert len(viewed) / seconds[1] <= 1.2 * len(alone) / seconds[0] + 1, (len(alone), len(viewed), seconds)


@pytest.fixture
def browser(tmp_path):
    webdriver = pytest.importorskip("selenium.webdriver", reason="Debian: python3-selenium")
    from selenium.webdriver.chrome.service import Service
    chromium, driver = shutil.which("chromium"), shutil.which("chromedriver")
    if not (chromium and driver):
        pytest.skip("chromium and chromium-driver are not installed")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 f"--user-data-dir={tmp_path / 'chromium'}", "--window-size=1400,1000"):
        options.add_argument(flag)
    session = webdriver.Chrome(service=Service(executable_path=driver), options=options)
    session.implicitly_wait(0)
    yield session
    session.quit()


def wait_for(condition, seconds=10):
    deadline = time.monotonic() + seconds
    while not (result := condition()):
        assert time.monotonic() < deadline, "not within the time"
        time.sleep(0.1)
    return result


def card(browser, serial):
    return browser.execute_script(
        "const c = document.getElementById('unit-' + arguments[0]); if (!c) return null;"
        "const plot = c.querySelector('.plot');"
        "return {connected: c.dataset.connected, text: c.innerText,"
        "        points: plot ? Number(plot.dataset.points || 0) : -1,"
        "        state: (c.querySelector('.out-1 .state') || {}).textContent};", serial)


def test_page_shows_every_unit_plots_currents_and_switches_outputs(tmp_path, browser):
    with Dashboard(tmp_path, bench_units()) as dashboard:
        browser.get(dashboard.url)
        assert "token=" not in browser.current_url  # moved into the cookie
        for _, serial, family, model, _, _ in DEFAULT_BENCH:
            assert f"{family} {model}" in wait_for(lambda: card(browser, serial))["text"]
        alder = DEFAULT_BENCH[ALDER - 1][1]
        before = wait_for(lambda: card(browser, alder)["points"])
        # 1000 V on the bench's 10 MOhm load: 100 µA shows in the plot.
        assert dashboard.scpi(ALDER, "VOLT 1000;OUTP ON;*OPC?") == "1"
        wait_for(lambda: "100 µA" in card(browser, alder)["text"])
        assert card(browser, alder)["points"] > before
        generic = DEFAULT_BENCH[GENERIC19 - 1][1]
        browser.find_element("css selector", f"#unit-{generic} .out-1 button.on").click()
        wait_for(lambda: card(browser, generic)["state"] == "ON", 3)
        assert dashboard.scpi(GENERIC19, "OUTP?") == "1"
        # A value the unit refuses shows the SCPI error text.
        browser.find_element("css selector", f"#unit-{generic} .out-1 input.voltage").send_keys("6000")
        browser.find_element("css selector", f"#unit-{generic} .out-1 button.set").click()
        wait_for(lambda: "-222,\"Data out of range;voltage out of range\"" in card(browser, generic)["text"])
        shots = Path(os.environ.get("KAVRAD_SCREENSHOT_DIR", tmp_path))
        browser.save_screenshot(str(shots / "dashboard.png"))
        log = dashboard.wire_log()
    # Generic output on (0x22) reached the unit.
    assert any(packet[:1] == b"\x05" and packet[5] == 0x22 for _, packet in log[generic])


@pytest.mark.skipif(not (USBBENCH and FTDI), reason="KAVRA_USBBENCH and KAVRA_FTDI name no built files")
def test_unit_unplugged_shows_as_disconnected_and_recovers(tmp_path, browser):
    serial = DEFAULT_BENCH[GENERIC19 - 1][1]
    with Dashboard(tmp_path, bench_units([GENERIC19]), usb=True) as dashboard:
        browser.get(dashboard.url)
        wait_for(lambda: (card(browser, serial) or {}).get("connected") == "1")
        for plugged, connected, shown in (("unplug", "0", "unit disconnected"), ("replug", "1", "connected")):
            subprocess.run([USBBENCH, "ctl", plugged, f"serial={serial}"], env=dashboard.control, check=True,
                           capture_output=True)
            state = wait_for(lambda: (now := card(browser, serial))["connected"] == connected and now, 3)
            assert shown in state["text"]
