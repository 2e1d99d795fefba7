"""PyMeasure instruments for the units that ``kavrad`` serves as SCPI instruments.

An optional part of the package: it needs PyMeasure (Debian ``python3-pymeasure``) and a VISA
backend, such as pyvisa-py (``python3-pyvisa-py``). The rest of the package does not import it.
The SCPI commands are described in ``docs/scpi.md``.

Example::

    from kavra.pymeasure import connect

    supply = connect("TCPIP0::127.0.0.1::5027::SOCKET")   # the class follows the unit's *IDN?
    supply.current_limit = 100e-6                          # amperes
    supply.voltage = 1000                                  # volts
    supply.output_enabled = True
    print(supply.current)

A setting the unit rejects raises :class:`KavraScpiError` with the server's error queue.
"""

from __future__ import annotations

import math
from typing import Any

try:
    from pymeasure.adapters import VISAAdapter
    from pymeasure.instruments import Instrument
    from pymeasure.instruments.validators import strict_discrete_set
except ImportError as error:  # pragma: no cover - depends on the installation
    raise ImportError(
        "kavra.pymeasure needs PyMeasure and PyVISA "
        "(Debian: python3-pymeasure python3-pyvisa python3-pyvisa-py)"
    ) from error

__all__ = [
    "AlderSupply",
    "BirchSupply",
    "CedarSupply",
    "GenericSupply",
    "KavraScpiError",
    "KavraSupply",
    "RowanSupply",
    "connect",
]

#: SCPI's not-a-number: the server's answer for a setting not made since it started.
_NOT_A_NUMBER = 9.91e37


def _setting(value: Any) -> Any:
    """A setting as read back: NaN where the server does not know it yet."""
    if isinstance(value, float) and value >= _NOT_A_NUMBER * 0.999:
        return math.nan
    return value


def _switch(value: Any) -> bool | None:
    """An on/off setting as read back: None where the server does not know it yet."""
    value = _setting(value)
    return None if isinstance(value, float) and math.isnan(value) else bool(value)


def _flags(values: list[float]) -> tuple[bool, ...]:
    return tuple(bool(value) for value in values)


def _reply_string(text: str) -> str:
    """The contents of a SCPI string reply ("..." with doubled quotes)."""
    text = text.strip()
    if len(text) >= 2 and text[0] == text[-1] == '"':
        text = text[1:-1]
    return text.replace('""', '"')


class KavraScpiError(Exception):
    """The server queued errors: ``errors`` holds their (code, text) pairs, oldest first."""

    def __init__(self, errors: list[tuple[int, str]]) -> None:
        self.errors = errors
        super().__init__("; ".join(f"{code}: {text}" for code, text in errors))

    @property
    def code(self) -> int:
        """The code of the first error: -222 for a value out of range, -241 for an operation
        the unit's family lacks, the library's status code for a failure of the unit."""
        return self.errors[0][0]


def _control(query: str, command: str, docs: str, **kwargs: Any) -> property:
    """A setting that is checked with the server's error queue after it is written."""
    kwargs.setdefault("get_process", _setting)
    return Instrument.control(query, command, docs, check_set_errors=True, **kwargs)


class KavraSupply(Instrument):
    """What every unit served by kavrad answers: identity, error queue, reset, clear error."""

    def __init__(self, adapter: Any, name: str | None = None, **kwargs: Any) -> None:
        if isinstance(adapter, str):
            kwargs.setdefault("read_termination", "\n")
            kwargs.setdefault("write_termination", "\n")
        super().__init__(adapter, name or type(self).__name__, includeSCPI=True, **kwargs)

    def errors(self) -> list[tuple[int, str]]:
        """Reads the error queue empty; the (code, text) pairs, oldest first."""
        found = []
        while True:
            code, _, text = self.ask("SYST:ERR?").strip().partition(",")
            if int(code) == 0:
                return found
            found.append((int(code), _reply_string(text)))

    def check_errors(self) -> list[tuple[int, str]]:
        """Raises KavraScpiError when the server queued errors."""
        found = self.errors()
        if found:
            raise KavraScpiError(found)
        return found

    def clear_error(self) -> None:
        """Clears the unit's error state (not the error queue: that is ``clear()``)."""
        self.write("OUTP:PROT:CLE")
        self.check_errors()

    def reset(self) -> None:
        """Switches every output of the unit off."""
        self.write("*RST")
        self.check_errors()

    def shutdown(self) -> None:
        self.reset()
        super().shutdown()


class _OutputSupply(KavraSupply):
    """Families with switchable outputs and status readings: Alder, Cedar, Generic. The
    properties address output 1; the methods take the output."""

    voltage = _control("VOLT?", "VOLT %.12g", "Voltage setting of output 1, in volts.")
    output_enabled = _control(
        "OUTP?", "OUTP %d", "Whether output 1 is switched on, as the unit reports it.",
        get_process=_switch, set_process=int,
    )
    channel_status = Instrument.measurement(
        "STAT:CHAN?", "The two status flags of output 1.", get_process=_flags,
    )

    @property
    def supply_status(self) -> tuple[bool, str]:
        """Whether the unit reports an error, and its status text."""
        flag, _, text = self.ask("STAT:SUPP?").strip().partition(",")
        return bool(int(flag)), _reply_string(text)

    def set_voltage(self, volts: float, channel: int = 1) -> None:
        self.write(f"SOUR{channel}:VOLT {volts:.12g}")
        self.check_errors()

    def voltage_setting(self, channel: int = 1) -> float:
        return _setting(self.values(f"SOUR{channel}:VOLT?")[0])

    def set_output(self, on: bool, channel: int = 1) -> None:
        self.write(f"OUTP{channel} {'ON' if on else 'OFF'}")
        self.check_errors()

    def output(self, channel: int = 1) -> bool:
        return bool(self.values(f"OUTP{channel}?")[0])


class _LimitedSupply(_OutputSupply):
    """Families with a current limit and a current reading: Alder, Generic."""

    current_limit = _control(
        "CURR?", "CURR %.12g", "Current limit in amperes, sent with the next voltage setting.",
    )
    current = Instrument.measurement("MEAS:CURR?", "Output current in amperes.")
    polarity = _control(
        "OUTP:POL?", "OUTP:POL %s", "Output polarity: 'POS' or 'NEG' (Alder, Generic 25/1).",
        validator=strict_discrete_set, values=("POS", "NEG"),
    )


class AlderSupply(_LimitedSupply):
    """Alder units (model 15/1): one output with switchable polarity, and PWM."""

    pwm_duty = _control("PWM:DUTY?", "PWM:DUTY %d", "PWM duty in percent, 0 to 100.")
    pwm_frequency = _control("PWM:FREQ?", "PWM:FREQ %d", "PWM frequency in hertz, 1 to 200000.")


class GenericSupply(_LimitedSupply):
    """Generic units (models 19/1 and 25/1; polarity on 25/1 only)."""


class CedarSupply(_OutputSupply):
    """Cedar units (model 17/1): three outputs fed from the high-voltage bus, two PWM channels
    with a function, and waveforms."""

    bus_level = _control("BUS:LEV?", "BUS:LEV %d", "Bus level, 0 or 1; setting it switches the bus on.")
    bus_enabled = _control(
        "BUS?", "BUS %d", "Whether the high-voltage bus is on (None until set).",
        get_process=_switch, set_process=int,
    )
    pwm_frequency = _control("PWM:FREQ?", "PWM:FREQ %d", "PWM frequency in hertz, 1 to 200000.")

    def set_pwm_duty(self, duty: int, channel: int = 1) -> None:
        self.write(f"PWM{channel}:DUTY {duty:d}")
        self.check_errors()

    def set_pwm_function(self, function: int, channel: int = 1) -> None:
        self.write(f"PWM{channel}:FUNC {function:d}")
        self.check_errors()

    def set_waveform(self, waveform: int, level1: float, level2: float, period: float, channel: int = 1) -> None:
        self.write(f"SOUR{channel}:VOLT:WAV {waveform:d},{level1:.12g},{level2:.12g},{period:.12g}")
        self.check_errors()

    def waveform(self, channel: int = 1) -> tuple[float, ...]:
        return tuple(_setting(value) for value in self.values(f"SOUR{channel}:VOLT:WAV?"))


class BirchSupply(KavraSupply):
    """Birch units (model 40/1): one output set with two values at once."""

    accurate_voltage = _control(
        "VOLT:ACC?", "VOLT:ACC %.12g,%.12g",
        "Voltage (0 to the unit's highest, VOLT? MAX) and second value (-2500 to 2500), as a pair.",
        get_process=lambda values: tuple(_setting(value) for value in values),
    )

    def output_off(self) -> None:
        """Sets both values to zero."""
        self.write("OUTP OFF")
        self.check_errors()


class RowanSupply(KavraSupply):
    """Rowan units (model 41/1): a converter reading."""

    adc = Instrument.measurement("MEAS:ADC?", "The converter reading.")


_FAMILIES: dict[str, type[KavraSupply]] = {
    "Alder": AlderSupply,
    "Birch": BirchSupply,
    "Cedar": CedarSupply,
    "Generic": GenericSupply,
    "Rowan": RowanSupply,
}


def connect(resource: str, **kwargs: Any) -> KavraSupply:
    """The instrument of the unit at a VISA resource, of the class its family calls for.

    ``kwargs`` go to PyVISA (``visa_library="@py"``, ``timeout``...); the terminations default
    to a newline.
    """
    kwargs.setdefault("read_termination", "\n")
    kwargs.setdefault("write_termination", "\n")
    adapter = VISAAdapter(resource, **kwargs)
    model = adapter.ask("*IDN?").split(",")[1]
    return _FAMILIES.get(model.split(" ")[0], KavraSupply)(adapter)
