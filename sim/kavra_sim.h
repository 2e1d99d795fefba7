/*
 * Control interface of the virtual bench (libkavra_sim.so).
 *
 * The bench exports the FTDI D2XX functions and emulates chips with supply units behind them.
 * These functions steer it from tests and tools. Load the same file the library under test
 * loaded (dlopen of the path in KAVRA_D2XX_LIBRARY, or link it): there is one bench per process.
 *
 * Units are named by serial number: the "serial" key of their bench entry, or else the serial
 * number their EEPROM holds now.
 *
 * Links: 0 is a unit's command link (the only channel of a single-channel chip, channel B of an
 * FT2232H); 1 is its stream link (channel A of an FT2232H). On an FT4232H, link N is the N-th
 * channel.
 *
 * Results: 0 success; KAVRASIM_UNKNOWN_SERIAL (-1) no unit has that serial number;
 * KAVRASIM_BAD_ARGUMENT (-2) an argument is out of range or null; KAVRASIM_BAD_BENCH (-3) the
 * bench text is not a valid bench; KAVRASIM_NOT_OPEN (-4) no open handle on that link.
 * Functions that fill a caller buffer return the size the text needs including its terminating
 * zero (a positive number) and write the text only when it fits; otherwise they write nothing and
 * change nothing, so the caller can retry with a larger buffer.
 *
 * Thread-safety: every function may be called from any thread, also while D2XX calls run.
 */
#ifndef KAVRA_SIM_H
#define KAVRA_SIM_H

#if defined(_WIN32)
#define KAVRASIM_API __declspec(dllexport)
#else
#define KAVRASIM_API __attribute__((visibility("default")))
#endif

#define KAVRASIM_OK 0
#define KAVRASIM_UNKNOWN_SERIAL (-1)
#define KAVRASIM_BAD_ARGUMENT (-2)
#define KAVRASIM_BAD_BENCH (-3)
#define KAVRASIM_NOT_OPEN (-4)

#ifdef __cplusplus
extern "C" {
#endif

/* Replaces the bench with the one described by the JSON text (format: docs/bench.md). On a
 * bad text the bench stays as it was. Handles open on the old bench answer FT_IO_ERROR until
 * closed. */
KAVRASIM_API int kavrasim_load_bench(const char* json);

/* Replaces the bench with the built-in default bench, as kavrasim_load_bench does. */
KAVRASIM_API int kavrasim_reset(void);

/* Unplugs a unit: its chip leaves the device list and its open handles answer FT_IO_ERROR.
 * Re-plugging lists it again (with what its EEPROM holds) with its unit freshly powered up;
 * handles from before stay dead. */
KAVRASIM_API int kavrasim_unplug(const char* serial);
KAVRASIM_API int kavrasim_replug(const char* serial);
/* Plugs the unit in as kavrasim_replug does (unplugging it first when it is plugged in), at
 * another place: its chip becomes the position-th attached chip in the device list (1 for the
 * first; a position beyond the attached chips puts it last) and moves to the USB location
 * location (LocId; multi-channel chips number their channels from it as docs/bench.md says). */
KAVRASIM_API int kavrasim_replug_at(const char* serial, int position, unsigned location);

/* Faults on a unit's command link. Each call replaces the pending fault of its kind. */
/* Drops the next count replies (count >= 0; 0 cancels). */
KAVRASIM_API int kavrasim_drop_replies(const char* serial, int count);
/* Holds back the next reply (and so everything after it) by ms milliseconds (ms >= 0). */
KAVRASIM_API int kavrasim_delay_next_reply(const char* serial, int ms);
/* Replaces the first byte of the next reply with value (0 to 255; below 0 cancels). */
KAVRASIM_API int kavrasim_corrupt_next_reply(const char* serial, int value);
/* Gives the next reply a length field of length (0 to 65535; below 0 cancels) whatever data
 * follows it. The bytes after the packet that field announces (the header and length bytes of
 * data) follow tail_ms milliseconds (tail_ms >= 0) after the rest: with a field shorter than the
 * data, they reach the host as the start of a packet of their own, late when tail_ms > 0. */
KAVRASIM_API int kavrasim_misframe_next_reply(const char* serial, int length, int tail_ms);
/* Answers every later request with this instruction byte with status byte status and no data;
 * status below 0 removes the override. */
KAVRASIM_API int kavrasim_set_status_override(const char* serial, int instruction, int status);
/* The next count EEPROM reads (FT_EE_Read, FT_EEPROM_Read) return FT_EEPROM_READ_FAILED. */
KAVRASIM_API int kavrasim_fail_eeprom_reads(const char* serial, int count);
/* The next count FT_Open calls on the unit's chip return FT_DEVICE_NOT_OPENED. */
KAVRASIM_API int kavrasim_fail_opens(const char* serial, int count);
/* The next count FT_Write calls on any handle of the unit's chip return FT_FAILED_TO_WRITE_DEVICE
 * and pass nothing to the unit. */
KAVRASIM_API int kavrasim_fail_writes(const char* serial, int count);

/* Queues length raw bytes from the unit on a link for the open handle there, as if the unit had
 * sent them unasked. */
KAVRASIM_API int kavrasim_send_unsolicited(
    const char* serial, int link, const unsigned char* bytes, int length);

/* The unit's state as a JSON object {"chip": {...}, "unit": {...}}: the chip part holds its type,
 * presence, list channels, open handles and EEPROM; the unit part is the firmware's own. */
KAVRASIM_API int kavrasim_unit_state(const char* serial, char* buffer, int size);

/* The unit's wire log since the last call, oldest first, as a JSON array of
 * {"t": microseconds on the bench clock, "link": n, "dir": "out" (host to unit) or "in",
 *  "data": hex bytes, "note": "dropped" for a dropped reply}; cleared once delivered.
 * The bench keeps the latest 10,000 entries per unit. When older ones were overwritten since
 * the last delivery, the array starts with one extra element {"dropped": n} counting them. */
KAVRASIM_API int kavrasim_take_wire_log(const char* serial, char* buffer, int size);

/* The link configuration calls made on a link's channel since the last call, in order, as a JSON
 * array of {"call": "FT_SetBitMode", "args": [255, 0]}; cleared once delivered. The latest 1,000
 * calls per channel are kept. */
KAVRASIM_API int kavrasim_take_config_calls(const char* serial, int link, char* buffer, int size);

/* The number of D2XX handles opened and not yet closed. */
KAVRASIM_API int kavrasim_open_handle_count(void);

/* The number of calls of a D2XX function that lists or opens chips (FT_CreateDeviceInfoList,
 * FT_GetDeviceInfoList, FT_GetDeviceInfoDetail, FT_ListDevices, FT_Open, FT_OpenEx) since the
 * process started; KAVRASIM_BAD_ARGUMENT for any other name. Another process's counts: set
 * KAVRA_SIM_CALL_COUNTS to a file name in its environment and the bench writes them there at its
 * exit, as one JSON object {"FT_Open": n, ...}. */
KAVRASIM_API int kavrasim_call_count(const char* function);

#ifdef __cplusplus
}
#endif

#endif /* KAVRA_SIM_H */
