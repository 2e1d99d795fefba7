/*
 * KavraLib: control of programmable high-voltage supply units attached over USB.
 *
 * A unit is named by its device index (1 to 99). The first call that names an index opens the unit
 * (connects, identifies it and loads its calibration); the unit then stays open under that index
 * until closeSession() or initialiseSession().
 *
 * Numbering: within a session (until closeSession() or initialiseSession()) an index, once it has
 * named a unit, names that unit's serial number and no other, whether the unit is attached or away,
 * and a unit keeps its index wherever it is plugged back in. Every function that lists the units
 * (getDeviceCount(), getHighestDeviceIndex(), getDeviceIndex(), and any function given an index
 * that names no unit yet) numbers the units it sees for the first time: such a unit takes its
 * 1-based position among the supported units attached, or, when that index already names another
 * unit, the lowest free index above it. While no unit has been lost, an index is therefore exactly
 * the unit's position in the list of attached units. Indices 1 to getHighestDeviceIndex() each name
 * one unit; with a unit away that is more than getDeviceCount().
 *
 * Threads: every function may be called from any thread. Calls on different units run in
 * parallel. Calls on one unit run one at a time, in the order in which they arrive; an exchange
 * may wait up to 4 s for a reply. Opening a unit (the first call on an index, which takes at least
 * 600 ms, or the first call after its connection was lost) holds up only the calls on that unit:
 * calls on other units go on meanwhile, and calls that open different units run in parallel.
 * Listing the units (getDeviceCount, getHighestDeviceIndex, getDeviceIndex) runs one list at a time.
 * closeSession() and initialiseSession() wait for the calls already running on the units they
 * drop, and never close a unit under a running call; a unit whose opening was under way when the
 * session was emptied is opened again for the new session by the call that asked for it. Do not
 * call these functions from inside another call of this library.
 *
 * Connection loss: when a unit's USB connection is gone (unplugged), the call that finds out
 * fails with its own status code. The next call on that index looks for an attached unit with the
 * same serial number and, when there is one, opens it again under the same index (which takes
 * the 600 ms of an opening) before it runs; otherwise it fails at once with its own code, and the
 * unit's checks (ranges, supported operations) stay those of its model. No other index changes,
 * and another unit is never taken over under the old index.
 *
 * Exit: a process may end with units open, without closeSession(). The library closes them when
 * the process exits; after that, unit calls answer 3 and nothing reaches the units.
 *
 * Every function returns a status code, 0 for success. Out-parameters are written only on
 * success; a null out-pointer is never written through.
 *
 * Status codes (getStatusText() gives each meaning; it is the source, this list a copy to read):
 *   0  success
 *   1  device index below 1, 100 or above, or beyond the attached supported units
 *   3  the unit's USB connection could not be opened
 *   4  the first identification instruction failed
 *   6  no attached unit has the given serial number
 *   7  the identification record could not be read
 *   8  the identification record is not valid
 *   9  the unit's hardware version is not accepted for its model
 *  10  the operation is not supported by the unit's family
 *      (also: polarity on a single-polarity Generic unit; opening a unit that has no family)
 *  11  reading the unit's calibration failed while opening it
 *  12  reading the unit's polarity failed while opening it
 *  13  PWM channel out of range
 *  14  PWM duty out of range
 *  15  a PWM exchange failed
 *  16  PWM frequency out of range
 *  17  a PWM frequency exchange failed
 *  18  channel out of range
 *  19  voltage out of range
 *  20  current out of range
 *  21  a voltage exchange failed
 *  22  polarity out of range
 *  23  a polarity exchange failed
 *  24  an output on or off exchange failed
 *  26  bus level out of range
 *  27  a bus enable exchange failed
 *  28  a bus disable exchange failed
 *  29  switching on refused: the unit's status shows it not ready
 *  30  switching on output 2 or 3 refused: the unit's status shows them not ready
 *  31  a status read failed
 *  32  a current read failed
 *  33  a clear-error exchange failed
 *  34  PWM function out of range
 *  35  second waveform level out of range
 *  36  waveform period out of range
 *  37  waveform code out of range
 *  38  the text buffer is null or too small for the text and its closing zero byte
 *
 *  -1  an unexpected internal failure (for example memory exhausted); never expected in use
 *
 * Range checks are inclusive; a NaN or infinite argument fails the range check of that argument.
 * Every unit function can also return the codes of opening the unit (1, 3, 4, 7 to 12) on the
 * first call that names its index (3 also for an index whose unit is away and was never opened),
 * and 10 when the unit's family lacks the operation.
 *
 * Families and their operations (getFamilyName(), getChannelCount() and getSupportedOperations()
 * answer for a unit from the library's own table; this list is a copy to read):
 *   Alder   (model 15/1): setPWM, setPWMFrequency, setVoltage, setPolarity, turnVoltageOn/Off,
 *                         getSupplyStatus, getChannelStatus, getChannelCurrent, clearError
 *   Birch   (model 40/1): setAccurateVoltage, turnVoltageOff, clearError (does nothing)
 *   Cedar   (model 17/1): setPWMFunction, setPWM, setPWMFrequency, setVoltage, setVoltageWaveform,
 *                         turnVoltageOn/Off, enable/disableInternalVoltageBus, getSupplyStatus,
 *                         getChannelStatus, clearError
 *   Generic (models 19/1, 25/1): setVoltage, setPolarity (25/1 only), turnVoltageOn/Off,
 *                         getSupplyStatus, getChannelStatus, getChannelCurrent, clearError
 *   Rowan   (model 41/1): getADCValue, clearError (does nothing)
 */
#ifndef KAVRALIB_H
#define KAVRALIB_H

#ifdef __cplusplus
#include <cstdbool>
extern "C" {
#else
#include <stdbool.h>
#endif

#if defined(_WIN32) && defined(KAVRALIB_BUILDING)
#define KAVRALIB_API __declspec(dllexport)
#elif defined(_WIN32)
#define KAVRALIB_API __declspec(dllimport)
#else
#define KAVRALIB_API __attribute__((visibility("default")))
#endif

/* Closes nothing: forgets every open unit (their connections close as they are released), once
 * the calls running on them have ended. Returns 0. Safe as the first call of a process. */
KAVRALIB_API int initialiseSession(void);

/* Closes every open unit, in ascending index order, and forgets them; waits for the calls running
 * on them first. Returns 0. */
KAVRALIB_API int closeSession(void);

/* count (out): the number of supported units attached now (units counted need not be openable).
 * Lists the units once and numbers those seen for the first time. Returns 0. */
KAVRALIB_API int getDeviceCount(int* count);

/* index (out): the highest index that names a unit in this session, attached or away (0 when none
 *   does); each index from 1 to it names one unit. Equal to getDeviceCount()'s count until a unit
 *   is lost. Lists the units once, like getDeviceCount(), and numbers those seen for the first
 *   time: a program that lists its units calls this once, then asks about each index without
 *   another list. Returns 0. */
KAVRALIB_API int getHighestDeviceIndex(int* index);

/* serialNumber: the unit's 13-character serial number (any case; a 9-character stored serial
 *   number reads with "0000" appended). NULL reads as the empty text.
 * index (out): the unit's device index, or -1 when none matches.
 * Lists the units once. An open unit answers with its index, also while it is away; a matching unit
 * that is not open yet is opened, to make sure that it can be used, and closed again. Returns 0
 * (found) or 6 (no open unit and no openable attached unit matches). */
KAVRALIB_API int getDeviceIndex(const char* serialNumber, int* index);

/* channel: 1 or 2; function: 0, 1 or 2 (Cedar). Returns 0, 13, 15, 34, 10. */
KAVRALIB_API int setPWMFunction(int index, int channel, int function);

/* channel: 1 (Alder) or 1 to 2 (Cedar); duty: 0 to 100 percent. Returns 0, 13, 14, 15, 10. */
KAVRALIB_API int setPWM(int index, int channel, int duty);

/* frequency: 1 to 200000 Hz. Returns 0, 16, 17, 10. */
KAVRALIB_API int setPWMFrequency(int index, int frequency);

/* channel: 1 (Alder, Generic) or 1 to 3 (Cedar); voltage: 0 to the model's highest voltage
 * (Alder 2000, Generic 19/1 5000, Generic 25/1 2000, Cedar 75/100/125 by bus level);
 * current: 0 to the model's highest current (Alder 1000, Generic 19/1 200, 25/1 500; not used by
 * Cedar). Returns 0, 18, 19, 20, 21, 10. */
KAVRALIB_API int setVoltage(int index, int channel, double voltage, double current);

/* Birch: channel 1; voltage 0 to 52000; second value -2500 to 2500. Returns 0, 18, 19, 21, 10. */
KAVRALIB_API int setAccurateVoltage(int index, int channel, double voltage, double current);

/* Cedar: channel 1 to 3; waveform 0, 1 or 2; level1 and level2 0 to the bus level's highest
 * voltage; period 0.1 to 50. Returns 0, 18, 19, 35, 36, 37, 21, 10. */
KAVRALIB_API int setVoltageWaveform(
    int index, int channel, int waveform, double level1, double level2, double period);

/* channel: 1; polarity: 0 or 1. Returns 0, 10, 18, 22, 23. */
KAVRALIB_API int setPolarity(int index, int channel, int polarity);

/* channel: 1 (Alder, Generic) or 1 to 3 (Cedar). Returns 0, 18, 24, 29, 30, 31, 10. */
KAVRALIB_API int turnVoltageOn(int index, int channel);

/* channel: 1 (Alder, Birch, Generic) or 1 to 3 (Cedar). Returns 0, 18, 21 (Birch), 24, 10. */
KAVRALIB_API int turnVoltageOff(int index, int channel);

/* Cedar: value (bus level) 0 or 1. Returns 0, 26, 27, 10. */
KAVRALIB_API int enableInternalVoltageBus(int index, int value);

/* Cedar. Returns 0, 28, 10. */
KAVRALIB_API int disableInternalVoltageBus(int index);

/* flag (out): true when the unit reports an error. text (out): the status text with a closing
 * zero byte; the buffer must hold 21 bytes for Alder and Generic units, 222 for Cedar units.
 * Returns 0, 31, 10. */
KAVRALIB_API int getSupplyStatus(int index, bool* flag, char* text);

/* first, second (out): the channel's two status flags. Returns 0, 18, 31, 10. */
KAVRALIB_API int getChannelStatus(int index, int channel, bool* first, bool* second);

/* current (out): the channel's current, a whole number. Returns 0, 18, 32, 10. */
KAVRALIB_API int getChannelCurrent(int index, int channel, double* current);

/* Returns 0, 33, 10. */
KAVRALIB_API int clearError(int index);

/* value (out): the converter reading (Rowan). Returns 0, 31, 10. */
KAVRALIB_API int getADCValue(int index, double* value);

/* Listing without opening. */

/* buffer (out): the 13-character serial number of the unit that the device index names (attached
 * or away; see Numbering at the top), with a closing zero byte; bufferSize: the buffer's size in
 * bytes, at least 14. The unit is not opened; the units are listed only when the index names no
 * unit yet.
 * Returns 0, 1 (the index names no unit), 38 (buffer null or too small; nothing written). */
KAVRALIB_API int getDeviceSerialNumber(int index, char* buffer, int bufferSize);

/* Why a call failed. */

/* buffer (out): the text of the most recent failed unit function on the unit that the index names,
 *   with a closing zero byte, or the empty text when its most recent unit function succeeded. The
 *   text names the function, the unit's serial number and the cause in plain words, with the
 *   detail in parentheses, for example
 *     "getSupplyStatus on QZAH019010003: unit disconnected (FT_IO_ERROR: Communication error)"
 *     "getSupplyStatus on QZAH019010003: reply not understood (Communication stream is corrupted:
 *      first byte 0x06, expected 0x05)"
 *     "getADCValue on QZAH041010006: no reply within 4000 ms (Communication timed out)"
 *     "setVoltage on QZAH019010003: voltage out of range (status 19)"
 *   The causes: "unit disconnected" (its USB connection is gone; every call says so until the unit
 *   is back and opened again), "no reply within 4000 ms", "reply cut short", "reply not
 *   understood", "unit refused the instruction", "USB transfer failed", "exchange failed", or, for
 *   a call refused before anything was sent (a range check, an operation the family lacks, a unit
 *   not ready), the meaning of its status code as getStatusText() gives it. The status codes the
 *   functions return are unchanged. An index whose unit has not been opened in this session
 *   (never named by a unit function, or its opening failed) has the empty text: the failing call's
 *   status code says why it could not be opened.
 * bufferSize: the buffer's size in bytes; 512 always suffices.
 * Returns 0, 1 (the index names no unit), 38 (buffer null or too small; nothing written).
 * Threads: takes no unit's lock, so it answers at once, also while a call runs on the unit (it
 * then gives the outcome of the call before). */
KAVRALIB_API int getLastErrorText(int index, char* buffer, int bufferSize);

/* buffer (out): the library's version text ("major.minor.patch") with a closing zero byte;
 * bufferSize: the buffer's size in bytes. Returns 0 or 38 (buffer null or too small). */
KAVRALIB_API int getLibraryVersion(char* buffer, int bufferSize);

/* The D2XX library: why no unit is found. */

/* loaded (out): true when the D2XX library is loaded with every function this library uses.
 * buffer (out): one line of text with a closing zero byte, either
 *   "loaded PATH, version VERSION": the file the system loader opened and the version it reports
 *     (for example 1.04.27; "not reported" when it has no FT_GetLibraryVersion), or
 *   "not loaded: tried NAME: REASON": NAME is KAVRA_D2XX_LIBRARY when set, else libftd2xx.so
 *     (FTD2XX.dll on Windows); REASON is the system loader's message, or the D2XX functions the
 *     file lacks.
 * bufferSize: the buffer's size in bytes; 1024 always suffices (a longer text is cut to 1023
 *   bytes).
 * Loads the D2XX library when no call has loaded it yet; it looks for no unit and opens none.
 * Returns 0 or 38 (buffer null or too small; nothing written).
 * Threads: the answer never changes once the D2XX library was loaded, so this function does not
 * take the process-wide lock: it returns at once, also while another call runs. */
KAVRALIB_API int getDriverLibraryInfo(bool* loaded, char* buffer, int bufferSize);

/* Status codes and the families of units, from the library's own tables. */

/* buffer (out): the meaning of the status code, as the list at the top gives it, with a closing
 *   zero byte; a number that is no status code reads "unknown status code N" (N the number in
 *   decimal), and the call still returns 0.
 * bufferSize: the buffer's size in bytes; 128 always suffices.
 * Returns 0 or 38 (buffer null or too small; nothing written).
 * Threads: reads fixed texts only and takes no lock. */
KAVRALIB_API int getStatusText(int code, char* buffer, int bufferSize);

/* Bits of getSupportedOperations(), one per unit function. */
#define KAVRA_OPERATION_SET_PWM_FUNCTION 0x0001u
#define KAVRA_OPERATION_SET_PWM 0x0002u
#define KAVRA_OPERATION_SET_PWM_FREQUENCY 0x0004u
#define KAVRA_OPERATION_SET_VOLTAGE 0x0008u
#define KAVRA_OPERATION_SET_ACCURATE_VOLTAGE 0x0010u
#define KAVRA_OPERATION_SET_VOLTAGE_WAVEFORM 0x0020u
#define KAVRA_OPERATION_SET_POLARITY 0x0040u
#define KAVRA_OPERATION_TURN_VOLTAGE_ON 0x0080u
#define KAVRA_OPERATION_TURN_VOLTAGE_OFF 0x0100u
#define KAVRA_OPERATION_ENABLE_INTERNAL_VOLTAGE_BUS 0x0200u
#define KAVRA_OPERATION_DISABLE_INTERNAL_VOLTAGE_BUS 0x0400u
#define KAVRA_OPERATION_GET_SUPPLY_STATUS 0x0800u
#define KAVRA_OPERATION_GET_CHANNEL_STATUS 0x1000u
#define KAVRA_OPERATION_GET_CHANNEL_CURRENT 0x2000u
#define KAVRA_OPERATION_CLEAR_ERROR 0x4000u
#define KAVRA_OPERATION_GET_ADC_VALUE 0x8000u

/* The next six describe the unit that the index names (attached or away, the numbering of
 * getDeviceSerialNumber), which is the unit the unit functions reach under it. The answer comes
 * from the unit's model (its serial number); the unit is not opened and nothing is sent to it. A model that is counted but has no family (39/1) reads as
 * family "", 0 channels, 0 PWM outputs, no current limit, no voltage and no operations.
 * Each returns 0, or 1 when the index names no unit (below 1, 100 or above, beyond the attached
 * supported units, or after the process began to exit).
 * Threads: they never wait for a unit's opening or running call; like getDeviceSerialNumber, they
 * list the units only when the index names no unit yet. */

/* buffer (out): the family name (Alder, Birch, Cedar, Generic or Rowan, or "") with a closing zero
 *   byte; bufferSize: the buffer's size in bytes; 16 always suffices.
 * Returns 0, 1, 38 (buffer null or too small; nothing written). */
KAVRALIB_API int getFamilyName(int index, char* buffer, int bufferSize);

/* count (out): how many outputs the channel parameters accept, numbered from 1: 3 for Cedar, 1 for
 *   Alder, Birch and Generic, 0 for Rowan (no function of it takes a channel).
 * Returns 0 or 1. */
KAVRALIB_API int getChannelCount(int index, int* count);

/* count (out): how many PWM outputs the PWM channel parameters of setPWM() and setPWMFunction()
 *   accept, numbered from 1: 2 for Cedar, 1 for Alder, 0 for the others.
 * Returns 0 or 1. */
KAVRALIB_API int getPwmChannelCount(int index, int* count);

/* microamps (out): the largest current limit that setVoltage() accepts: 1000 for Alder, 200 for
 *   Generic 19/1, 500 for Generic 25/1, 0 for families whose setting takes no current limit.
 * Returns 0 or 1. */
KAVRALIB_API int getHighestCurrent(int index, double* microamps);

/* volts (out): the highest voltage that the unit's voltage setting accepts: setVoltage() for
 *   Alder (2000), Generic 19/1 (5000), Generic 25/1 (2000) and Cedar, setAccurateVoltage() for
 *   Birch (52000); 0 for Rowan, which has none. Cedar's limit depends on the level of its
 *   internal bus (75, 100 or 125 V): this is the largest, 125; a lower level refuses more.
 * Returns 0 or 1. */
KAVRALIB_API int getHighestVoltage(int index, double* volts);

/* operations (out): the KAVRA_OPERATION_ bits of the unit functions that the unit supports. A unit
 *   function whose bit is clear returns 10 and sends nothing (after opening the unit on the first
 *   call that names the index).
 * Returns 0 or 1. */
KAVRALIB_API int getSupportedOperations(int index, unsigned int* operations);

#ifdef __cplusplus
}
#endif

#endif /* KAVRALIB_H */
