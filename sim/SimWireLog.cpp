#include "SimWireLog.h"

void SimWireLog::append(
    int64_t timeNs, int link, bool toUnit, const QByteArray& bytes, bool dropped)
{
    Entry entry{timeNs, link, toUnit, dropped, bytes};
    if (m_entries.size() < kCapacity) {
        m_entries.push_back(std::move(entry));
        return;
    }
    m_entries[m_oldest] = std::move(entry);
    m_oldest = (m_oldest + 1) % kCapacity;
    ++m_dropped;
}

QByteArray SimWireLog::toJson() const
{
    // Keys in the order a JSON serialiser with sorted keys gives, so the text stays as it always was.
    QByteArray json;
    json.reserve(int(m_entries.size()) * 64 + 32);
    json.append('[');
    if (m_dropped > 0) {
        json.append("{\"dropped\":").append(QByteArray::number(quint64(m_dropped))).append('}');
        if (!m_entries.empty())
            json.append(',');
    }
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& entry = m_entries.at((m_oldest + i) % m_entries.size());
        if (i > 0)
            json.append(',');
        json.append("{\"data\":\"").append(entry.bytes.toHex()).append("\",\"dir\":\"");
        json.append(entry.toUnit ? "out" : "in")
            .append("\",\"link\":")
            .append(QByteArray::number(entry.link));
        if (entry.dropped)
            json.append(",\"note\":\"dropped\"");
        json.append(",\"t\":").append(QByteArray::number(qint64(entry.timeNs / 1000))).append('}');
    }
    json.append(']');
    return json;
}

void SimWireLog::clear()
{
    m_entries.clear();
    m_oldest = 0;
    m_dropped = 0;
}
