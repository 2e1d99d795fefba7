#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The virtual bench's control interface, reached by loading the same file that the library
// loaded as its D2XX library: both share one bench.
class BenchControl
{
public:
    static BenchControl& instance();

    bool isLoaded() const { return m_handle != nullptr; }

    int loadBench(const QByteArray& json);
    int reset();
    int unplug(const char* serial);
    int replug(const char* serial);
    int dropReplies(const char* serial, int count);
    int delayNextReply(const char* serial, int ms);
    int corruptNextReply(const char* serial, int value);
    int setStatusOverride(const char* serial, int instruction, int status);
    int failEepromReads(const char* serial, int count);
    int failOpens(const char* serial, int count);
    int failWrites(const char* serial, int count);
    int openHandleCount();
    int sendUnsolicited(const char* serial, int link, const QByteArray& bytes);

    QJsonObject unitState(const char* serial);
    QJsonArray takeWireLog(const char* serial);
    QJsonArray takeConfigCalls(const char* serial, int link);
    // The same, as "FT_SetBitMode(255,0)" lines.
    QStringList takeConfigCallLines(const char* serial, int link);
    // The wire log as "out 0: 00" / "in 1: 0a0b" lines.
    QStringList takeWireLogLines(const char* serial);
    // The bytes the host wrote to a unit's command link since the log was last taken.
    QByteArray takeHostBytes(const char* serial);
    // The request packets in those bytes as (instruction byte, payload); raw bytes are skipped.
    QList<QPair<int, QByteArray>> takeHostPackets(const char* serial);

private:
    BenchControl();
    void* symbol(const char* name) const;
    // Fills a growing buffer from a text-returning control call until the text fits.
    template <typename Call> static QByteArray text(Call call);

    void* m_handle = nullptr;
};
