#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

// The wire log of one chip: the latest kCapacity entries in a ring, with the count of older
// entries the ring has overwritten since the log was last cleared. Entries keep the raw bytes
// (shared with the receive queue, not copied); the JSON text is made only when someone takes
// the log, because formatting at every exchange cost most of an exchange's time. It does not
// lock: the bench serialises every call.
class SimWireLog
{
public:
    static constexpr std::size_t kCapacity = 10000;

    void append(int64_t timeNs, int link, bool toUnit, const QByteArray& bytes, bool dropped);
    // The JSON array kavrasim_take_wire_log delivers (format: kavra_sim.h), oldest entry first.
    QByteArray toJson() const;
    void clear();

    std::size_t size() const { return m_entries.size(); }
    uint64_t droppedCount() const { return m_dropped; }

private:
    struct Entry
    {
        int64_t timeNs;
        int link;
        bool toUnit;
        bool dropped;
        QByteArray bytes;
    };

    std::vector<Entry> m_entries;
    // Position of the oldest entry once the ring is full.
    std::size_t m_oldest = 0;
    uint64_t m_dropped = 0;
};
