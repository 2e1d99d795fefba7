#include "KavraIndexNumbering.h"

void KavraIndexNumbering::numberListed(const QStringList& serialNumbers)
{
    for (int position = 1; position <= serialNumbers.size(); ++position) {
        const QString& serial = serialNumbers.at(position - 1);
        if (m_indexBySerial.contains(serial))
            continue;
        int index = position;
        while (m_serialByIndex.count(index) != 0)
            ++index;
        if (index > HighestIndex)
            continue;
        m_serialByIndex.emplace(index, serial);
        m_indexBySerial.insert(serial, index);
    }
}

QString KavraIndexNumbering::serialNumber(int index) const
{
    const auto it = m_serialByIndex.find(index);
    return it == m_serialByIndex.end() ? QString() : it->second;
}

int KavraIndexNumbering::indexOf(const QString& serialNumber) const
{
    return m_indexBySerial.value(serialNumber, 0);
}

int KavraIndexNumbering::highest() const
{
    return m_serialByIndex.empty() ? 0 : m_serialByIndex.rbegin()->first;
}

void KavraIndexNumbering::clear()
{
    m_serialByIndex.clear();
    m_indexBySerial.clear();
}
