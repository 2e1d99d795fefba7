#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <string>

// The virtual bench's control interface, reached by loading the same file that the library
// loaded as its D2XX library: both share one bench.
class BenchControl
{
public:
    static BenchControl& instance();

    bool isLoaded() const { return m_handle != nullptr; }

    int loadBench(const QByteArray& json) { return call("load_bench", json.constData()); }
    int reset() { return call("reset"); }
    int unplug(const char* serial) { return call("unplug", serial); }
    int replug(const char* serial) { return call("replug", serial); }
    int replugAt(const char* serial, int position, unsigned location)
    {
        return call("replug_at", serial, position, location);
    }
    // Calls of a D2XX function that lists or opens chips, since the process started.
    int callCount(const char* function) { return call("call_count", function); }
    int dropReplies(const char* serial, int count) { return call("drop_replies", serial, count); }
    int delayNextReply(const char* serial, int ms) { return call("delay_next_reply", serial, ms); }
    int corruptNextReply(const char* serial, int value)
    {
        return call("corrupt_next_reply", serial, value);
    }
    int misframeNextReply(const char* serial, int length, int tailMs)
    {
        return call("misframe_next_reply", serial, length, tailMs);
    }
    int setStatusOverride(const char* serial, int instruction, int status)
    {
        return call("set_status_override", serial, instruction, status);
    }
    int failEepromReads(const char* serial, int n) { return call("fail_eeprom_reads", serial, n); }
    int failOpens(const char* serial, int count) { return call("fail_opens", serial, count); }
    int failWrites(const char* serial, int count) { return call("fail_writes", serial, count); }
    int openHandleCount() { return call("open_handle_count"); }
    int sendUnsolicited(const char* serial, int link, const QByteArray& bytes)
    {
        return call("send_unsolicited", serial, link,
            reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
    }

    QJsonObject unitState(const char* serial);
    QJsonArray takeWireLog(const char* serial);
    // The link configuration calls since the last take ({"call": name, "args": [...]}), as the
    // benchmarks replay them.
    QJsonArray takeConfigCalls(const char* serial, int link);
    // The same as "FT_SetBitMode(255,0)" lines.
    QStringList takeConfigCallLines(const char* serial, int link);
    // The wire log as "out 0: 00" / "in 1: 0a0b" lines.
    QStringList takeWireLogLines(const char* serial);
    // The bytes the host wrote to a unit's command link since the log was last taken.
    QByteArray takeHostBytes(const char* serial);
    // The request packets in those bytes as (instruction byte, payload); raw bytes are skipped.
    QList<QPair<int, QByteArray>> takeHostPackets(const char* serial);
    // The same as "instruction:payload" items in hex, e.g. "23:400d0300 28:".
    std::string takeHostPacketsText(const char* serial);

private:
    BenchControl();
    void* symbol(const char* name) const;
    // Calls the control function kavrasim_<name>; -100 when the bench lacks it.
    template <typename... Args> int call(const char* name, Args... args) const
    {
        auto fn = reinterpret_cast<int (*)(Args...)>(symbol(name));
        return fn ? fn(args...) : -100;
    }
    // A JSON text from a control call that fills a caller's buffer, grown until the text fits.
    template <typename... Args> QByteArray text(const char* name, Args... args) const;

    void* m_handle = nullptr;
};
