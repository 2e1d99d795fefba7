// The control functions of the bench, each handing over to the bench.
#include "kavra_sim.h"

#include "SimBench.h"

#include <cstring>
#include <exception>

namespace {

template <typename Call> int guarded(Call call) noexcept
{
    try {
        return call(SimBench::instance());
    } catch (...) {
        return KAVRASIM_BAD_ARGUMENT;
    }
}

QString serialText(const char* serial)
{
    return serial ? QString::fromLatin1(serial, int(strnlen(serial, 64))) : QString();
}

// Writes the text with its terminating zero when it fits; returns the size it needs.
int deliverText(const QByteArray& text, char* buffer, int size)
{
    const int needed = text.size() + 1;
    if (buffer && size >= needed) {
        std::memcpy(buffer, text.constData(), std::size_t(text.size()));
        buffer[text.size()] = '\0';
    }
    return needed;
}

int capacity(const char* buffer, int size)
{
    return buffer ? size : 0;
}

} // namespace

extern "C" {

int kavrasim_load_bench(const char* json)
{
    if (!json)
        return KAVRASIM_BAD_ARGUMENT;
    return guarded([&](SimBench& bench) {
        QString error;
        return bench.loadBench(QByteArray(json), &error);
    });
}

int kavrasim_reset(void)
{
    return guarded([](SimBench& bench) { return bench.resetBench(); });
}

int kavrasim_unplug(const char* serial)
{
    return guarded([&](SimBench& bench) { return bench.setPlugged(serialText(serial), false); });
}

int kavrasim_replug(const char* serial)
{
    return guarded([&](SimBench& bench) { return bench.setPlugged(serialText(serial), true); });
}

int kavrasim_replug_at(const char* serial, int position, unsigned location)
{
    return guarded([&](SimBench& bench) {
        return bench.replugAt(serialText(serial), position, uint32_t(location));
    });
}

int kavrasim_drop_replies(const char* serial, int count)
{
    return guarded([&](SimBench& bench) {
        return bench.injectFault(serialText(serial), SimBench::Fault::DropReplies, count);
    });
}

int kavrasim_delay_next_reply(const char* serial, int ms)
{
    return guarded([&](SimBench& bench) {
        return bench.injectFault(serialText(serial), SimBench::Fault::DelayNextReply, ms);
    });
}

int kavrasim_corrupt_next_reply(const char* serial, int value)
{
    return guarded([&](SimBench& bench) {
        return bench.injectFault(serialText(serial), SimBench::Fault::CorruptNextReply, value);
    });
}

int kavrasim_misframe_next_reply(const char* serial, int length, int tail_ms)
{
    return guarded([&](SimBench& bench) {
        return bench.misframeNextReply(serialText(serial), length, tail_ms);
    });
}

int kavrasim_set_status_override(const char* serial, int instruction, int status)
{
    return guarded([&](SimBench& bench) {
        return bench.setStatusOverride(serialText(serial), instruction, status);
    });
}

int kavrasim_fail_eeprom_reads(const char* serial, int count)
{
    return guarded([&](SimBench& bench) {
        return bench.injectFault(serialText(serial), SimBench::Fault::FailEepromReads, count);
    });
}

int kavrasim_fail_opens(const char* serial, int count)
{
    return guarded([&](SimBench& bench) {
        return bench.injectFault(serialText(serial), SimBench::Fault::FailOpens, count);
    });
}

int kavrasim_fail_writes(const char* serial, int count)
{
    return guarded([&](SimBench& bench) {
        return bench.injectFault(serialText(serial), SimBench::Fault::FailWrites, count);
    });
}

int kavrasim_send_unsolicited(const char* serial, int link, const unsigned char* bytes, int length)
{
    if (!bytes || length <= 0)
        return KAVRASIM_BAD_ARGUMENT;
    return guarded([&](SimBench& bench) {
        return bench.sendUnsolicited(
            serialText(serial), link, QByteArray(reinterpret_cast<const char*>(bytes), length));
    });
}

int kavrasim_unit_state(const char* serial, char* buffer, int size)
{
    return guarded([&](SimBench& bench) {
        QByteArray json;
        const int result = bench.unitState(serialText(serial), &json);
        return result == KAVRASIM_OK ? deliverText(json, buffer, size) : result;
    });
}

int kavrasim_take_wire_log(const char* serial, char* buffer, int size)
{
    return guarded([&](SimBench& bench) {
        QByteArray json;
        const int result = bench.takeWireLog(serialText(serial), capacity(buffer, size), &json);
        return result == KAVRASIM_OK ? deliverText(json, buffer, size) : result;
    });
}

int kavrasim_take_config_calls(const char* serial, int link, char* buffer, int size)
{
    return guarded([&](SimBench& bench) {
        QByteArray json;
        const int result
            = bench.takeConfigCalls(serialText(serial), link, capacity(buffer, size), &json);
        return result == KAVRASIM_OK ? deliverText(json, buffer, size) : result;
    });
}

int kavrasim_open_handle_count(void)
{
    return guarded([](SimBench& bench) { return bench.openHandleCount(); });
}

int kavrasim_call_count(const char* function)
{
    if (!function)
        return KAVRASIM_BAD_ARGUMENT;
    return guarded([&](SimBench& bench) {
        return bench.callCount(QString::fromLatin1(function, int(strnlen(function, 64))));
    });
}

} // extern "C"
