#pragma once

#include "FtdiD2xx.h"
#include "SimEeprom.h"
#include "SimUnit.h"
#include "SimWireLog.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

#include <memory>

// One emulated FTDI chip with the unit behind it, as one "units" entry of a bench describes it.
// It does not lock: the bench serialises every call.
class SimChip
{
public:
    // One entry the chip shows in the device list.
    struct Channel
    {
        QString suffix; // "" for a single-channel chip, "A", "B", ...
        int link; // the unit's channel behind it, -1 for none
        uint32_t listedId; // ID field of the list entry
        uint32_t location; // LocId of the list entry
    };

    // Faults waiting to strike the unit's next replies on its command link.
    struct Faults
    {
        int dropReplies = 0;
        int delayNextReplyMs = 0;
        int corruptNextReply = -1;
        // Length field of the next reply (-1: its own), and the delay of the bytes after the
        // packet that field announces.
        int nextReplyLengthField = -1;
        int nextReplyTailDelayMs = 0;
        int failEepromReads = 0;
        int failOpens = 0;
        int failWrites = 0;
    };

    // Builds a chip from a bench entry; returns null with a reason when the entry is not usable.
    static std::unique_ptr<SimChip> create(
        const QJsonObject& entry, uint32_t defaultLocation, QString* error);

    static uint32_t typeForName(const QString& name, bool* known);
    // The product id and the description of a chip of the type whose EEPROM holds none (the
    // USB-level bench enumerates a blank chip with them too).
    static uint16_t productId(uint32_t type);
    static QString defaultDescription(uint32_t type);
    // USB 2.0 high speed (480 Mbit/s) rather than full speed.
    static bool isHighSpeedType(uint32_t type);

    uint32_t type() const { return m_type; }
    QString benchSerial() const { return m_benchSerial; }
    bool isHighSpeed() const { return isHighSpeedType(m_type); }
    bool isMultiChannel() const { return m_channels.size() > 1; }
    bool isUartLink(int channelIndex) const;
    const QVector<Channel>& channels() const { return m_channels; }
    QString listedSerial(int channelIndex) const
    {
        return m_listedSerial + m_channels.at(channelIndex).suffix;
    }
    QString listedDescription(int channelIndex) const;

    bool isPlugged() const { return m_plugged; }
    // Unplugging kills every handle on the chip; plugging in powers the unit up afresh.
    void unplug();
    void plug();
    // Re-enumeration: the list shows what the EEPROM holds, open handles die.
    void reenumerate();
    // Moves the chip to another USB location: the LocId of each of its list entries follows it.
    void setLocation(uint32_t location);
    // Counts a device listing that shows the chip; true when its "unplugAfterLists" is used up,
    // so that it leaves before this listing (once: plugged in again it stays).
    bool takeListing();
    // Handles opened before the last unplug, re-enumeration or bench change carry an older generation.
    uint64_t generation() const { return m_generation; }

    SimEeprom& eeprom() { return m_eeprom; }
    const SimEeprom& eeprom() const { return m_eeprom; }
    SimUnit& unit() { return *m_unit; }
    const SimUnit& unit() const { return *m_unit; }
    Faults& faults() { return m_faults; }

    SimWireLog& wireLog() { return m_wireLog; }

    // The list channel behind which the unit's given channel sits, -1 for none.
    int channelIndexForLink(int link) const;
    // The latest calls a channel keeps until they are taken.
    static constexpr int MaxRecordedCalls = 1000;
    void recordCall(int channelIndex, const QString& call, const QJsonArray& args);
    const QJsonArray& calls(int channelIndex) const { return m_calls.at(channelIndex); }
    void clearCalls(int channelIndex) { m_calls[channelIndex] = QJsonArray(); }

private:
    SimChip() = default;

    QJsonObject m_entry;
    uint32_t m_type = FT_DEVICE_UNKNOWN;
    QString m_benchSerial;
    QString m_listedSerial;
    QString m_listedDescription;
    QVector<Channel> m_channels;
    bool m_plugged = true;
    int m_listingsLeft = -1; // listings before it unplugs itself, -1 for never
    uint64_t m_generation = 0;
    SimEeprom m_eeprom{FT_DEVICE_UNKNOWN, 0, false, QString(), QString()};
    std::unique_ptr<SimUnit> m_unit;
    Faults m_faults;
    SimWireLog m_wireLog;
    QVector<QJsonArray> m_calls;
};
