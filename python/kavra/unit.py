"""A supply unit named by its device index, with one method per operation."""

from __future__ import annotations

import ctypes
import math
import time
from typing import TYPE_CHECKING, SupportsFloat, SupportsIndex

from ._convert import to_float, to_int
from .errors import check
from .records import ChannelStatus, Family, Model, SupplyStatus, UnitInfo

if TYPE_CHECKING:
    from .session import Session

#: The status code of a unit whose USB connection could not be opened (away, or in use).
OPEN_CONNECTION_FAILED = 3

#: Seconds between the steps of a ramp (set_voltage's slew).
RAMP_PERIOD = 0.1

#: Size of the buffer for the supply status text: enough for every family (Cedar needs 222).
STATUS_TEXT_SIZE = 256


class Unit:
    """An attached unit, obtained from :meth:`Session.unit`.

    The first operation opens the unit (connection, identification, calibration: about 0.6 s);
    it then stays open until the session closes. Every method raises a :class:`KavraError`
    subclass when the library returns a status code other than 0, and
    :class:`SessionClosedError` once its session has closed.

    Arguments are checked for their C type only (an integer channel, a real voltage); ranges are
    left to the library, which reports them as :class:`OutOfRangeError`.
    """

    def __init__(self, session: Session, info: UnitInfo) -> None:
        self._session = session
        self._info = info
        self._connected = True
        # Voltages set through this object, by output: where a ramp starts.
        self._voltages: dict[int, float] = {}

    def __repr__(self) -> str:
        return f"Unit(index={self.index}, serial={self.serial!r}, family={self.family})"

    @property
    def info(self) -> UnitInfo:
        """The unit's listing entry: index, serial number, model and family."""
        return self._info

    @property
    def index(self) -> int:
        """The unit's device index (1-based)."""
        return self._info.index

    @property
    def serial(self) -> str:
        """The unit's 13-character serial number."""
        return self._info.serial

    @property
    def model(self) -> Model | None:
        """The unit's model, from its serial number."""
        return self._info.model

    @property
    def family(self) -> Family | str | None:
        """The unit's family, or None for a model without one."""
        return self._info.family

    @property
    def connected(self) -> bool:
        """Whether the unit answered its last call: False after a call that found it disconnected
        (or could not reach it to open it), True again after a call that succeeds."""
        return self._connected

    def _call(self, name: str, *args: object) -> None:
        """Calls the exported function with the unit's index first and checks its status; a
        failure carries the unit's last error text."""
        library = self._session._library_for_use()
        code = getattr(library, name)(self.index, *args)
        if code == 0:
            self._connected = True
            return
        buffer = ctypes.create_string_buffer(512)
        detail = (buffer.value.decode("utf-8", "replace")
                  if library.getLastErrorText(self.index, buffer, len(buffer)) == 0 else "")
        self._connected = code != OPEN_CONNECTION_FAILED and "unit disconnected" not in detail
        check(code, name, detail)

    # Settings

    def set_voltage(self, channel: SupportsIndex, voltage: SupportsFloat,
                    current: SupportsFloat = 0.0, *, slew: SupportsFloat | None = None) -> None:
        """Sets an output's voltage (V) and current limit (µA; not used by Cedar units).

        Alder and Generic: channel 1; Cedar: channels 1 to 3.

        slew: a ramp rate in V/s. The voltage then moves from the one last set through this object
        (0 when none) in steps of at most ``slew`` × 0.1 s, one every 0.1 s, and the call returns
        once the target is set. A target the library refuses is refused before any step is sent.
        """
        number = to_int(channel, "channel")
        target = to_float(voltage, "voltage")
        limit = to_float(current, "current")
        if slew is not None:
            rate = to_float(slew, "slew")
            if not rate > 0:
                raise ValueError(f"slew must be a positive rate in V/s, not {slew!r}")
            if 0 <= target <= self.highest_voltage():
                self._ramp(number, target, limit, rate * RAMP_PERIOD)
        self._call("setVoltage", number, target, limit)
        self._voltages[number] = target

    def highest_voltage(self) -> float:
        """The largest voltage the unit's setting accepts, in volts, from the library's family
        table (a Cedar unit's depends on its bus level: this is the highest of all)."""
        highest = ctypes.c_double()
        self._session._library_for_use().getHighestVoltage(self.index, ctypes.byref(highest))
        return highest.value

    def _ramp(self, channel: int, target: float, current: float, step: float) -> None:
        """Sends the steps of a ramp towards the target, short of the target itself."""
        now = self._voltages.get(channel, 0.0)
        due = time.monotonic()
        while abs(target - now) > step:
            now += math.copysign(step, target - now)
            self._call("setVoltage", channel, now, current)
            self._voltages[channel] = now
            due += RAMP_PERIOD
            time.sleep(max(0.0, due - time.monotonic()))

    def set_accurate_voltage(self, channel: SupportsIndex, voltage: SupportsFloat,
                             current: SupportsFloat = 0.0) -> None:
        """Sets a Birch unit's output (channel 1): voltage 0 to :meth:`highest_voltage` and its
        second value, -2500 to 2500."""
        self._call("setAccurateVoltage", to_int(channel, "channel"),
                   to_float(voltage, "voltage"), to_float(current, "current"))

    def set_voltage_waveform(self, channel: SupportsIndex, waveform: SupportsIndex,
                             level1: SupportsFloat, level2: SupportsFloat,
                             period: SupportsFloat) -> None:
        """Sets a Cedar output's waveform (0, 1 or 2), its two levels (V) and period (0.1 to 50)."""
        self._call("setVoltageWaveform", to_int(channel, "channel"),
                   to_int(waveform, "waveform"), to_float(level1, "level1"),
                   to_float(level2, "level2"), to_float(period, "period"))

    def set_pwm(self, channel: SupportsIndex, duty: SupportsIndex) -> None:
        """Sets a PWM output's duty, 0 to 100 percent (Alder: channel 1; Cedar: 1 or 2)."""
        self._call("setPWM", to_int(channel, "channel"), to_int(duty, "duty"))

    def set_pwm_frequency(self, frequency: SupportsIndex) -> None:
        """Sets the PWM frequency, 1 to 200000 Hz (Alder, Cedar)."""
        self._call("setPWMFrequency", to_int(frequency, "frequency"))

    def set_pwm_function(self, channel: SupportsIndex, function: SupportsIndex) -> None:
        """Sets a Cedar PWM output's function: 0, 1 or 2 (channel 1 or 2)."""
        self._call("setPWMFunction", to_int(channel, "channel"), to_int(function, "function"))

    def set_polarity(self, channel: SupportsIndex, polarity: SupportsIndex) -> None:
        """Sets the output polarity, 0 or 1, of channel 1 (Alder, Generic 25/1)."""
        self._call("setPolarity", to_int(channel, "channel"), to_int(polarity, "polarity"))

    def turn_on(self, channel: SupportsIndex = 1) -> None:
        """Switches an output on.

        Raises:
            SwitchOnRefusedError: the unit's status shows it (or outputs 2 and 3) not ready.
        """
        self._call("turnVoltageOn", to_int(channel, "channel"))

    def turn_off(self, channel: SupportsIndex = 1) -> None:
        """Switches an output off."""
        self._call("turnVoltageOff", to_int(channel, "channel"))

    def enable_bus(self, level: SupportsIndex) -> None:
        """Switches a Cedar unit's internal voltage bus on at a level, 0 or 1."""
        self._call("enableInternalVoltageBus", to_int(level, "level"))

    def disable_bus(self) -> None:
        """Switches a Cedar unit's internal voltage bus off."""
        self._call("disableInternalVoltageBus")

    def clear_error(self) -> None:
        """Clears the unit's reported error (does nothing on Birch and Rowan units)."""
        self._call("clearError")

    # Readings

    def supply_status(self) -> SupplyStatus:
        """The unit's error flag and status text (Alder, Cedar, Generic)."""
        flag = ctypes.c_bool(False)
        text = ctypes.create_string_buffer(STATUS_TEXT_SIZE)
        self._call("getSupplyStatus", ctypes.byref(flag), text)
        return SupplyStatus(bool(flag.value), text.value.decode("latin-1"))

    def channel_status(self, channel: SupportsIndex = 1) -> ChannelStatus:
        """The two status flags of an output (Alder, Cedar, Generic)."""
        first = ctypes.c_bool(False)
        second = ctypes.c_bool(False)
        self._call("getChannelStatus", to_int(channel, "channel"), ctypes.byref(first),
                   ctypes.byref(second))
        return ChannelStatus(bool(first.value), bool(second.value))

    def channel_current(self, channel: SupportsIndex = 1) -> float:
        """The output's current in µA, a whole number (Alder, Generic)."""
        current = ctypes.c_double(0.0)
        self._call("getChannelCurrent", to_int(channel, "channel"), ctypes.byref(current))
        return current.value

    def adc_value(self) -> float:
        """The converter reading of a Rowan unit."""
        value = ctypes.c_double(0.0)
        self._call("getADCValue", ctypes.byref(value))
        return value.value
