#include "KavraDriver_Alder_UserData.h"

#include <QtGlobal>

namespace {
constexpr int TableRows = 2;
constexpr int TableColumns = 4;
constexpr quint16 DefaultSecondWord = 30000;
} // namespace

KavraDriver_Alder_UserData::KavraDriver_Alder_UserData()
{
    for (int a = 0; a < TableRows; ++a) {
        for (int b = 0; b < TableColumns; ++b) {
            m_firstTable[a][b][0] = 0;
            m_secondTable[a][b][0] = DefaultSecondWord;
        }
    }
}

KavraDriver_Alder_UserData::KavraDriver_Alder_UserData(const QByteArray& data)
    : KavraDriver_Alder_UserData()
{
    Q_ASSERT_X(
        data.count() == ReplyLength, "src/KavraDriver_Alder_UserData", "data.count() == 150");
    // A release build keeps the defaults rather than reading a short reply.
    if (data.count() != ReplyLength)
        return;

    switch (data.at(0)) {
    case PairedForm:
        readPairs(data, 2);
        m_voltageGain = wordAt(data, 65);
        m_voltageOffset = static_cast<qint16>(wordAt(data, 67));
        break;
    case SingleForm:
        readPairs(data, 1);
        m_voltageGain = wordAt(data, 33);
        m_voltageOffset = static_cast<qint16>(wordAt(data, 35));
        m_currentGain = wordAt(data, 37);
        m_currentOffset = static_cast<qint16>(wordAt(data, 39));
        m_currentCoupling = wordAt(data, 41);
        break;
    default:
        // The unit holds no calibration: the defaults stand.
        break;
    }
}

KavraDriver_Alder_UserData::~KavraDriver_Alder_UserData() = default;

void KavraDriver_Alder_UserData::readPairs(const QByteArray& data, int pairsPerEntry)
{
    int offset = 1;
    for (int a = 0; a < TableRows; ++a) {
        for (int b = 0; b < TableColumns; ++b) {
            for (int c = 0; c < pairsPerEntry; ++c) {
                m_firstTable[a][b][c] = wordAt(data, offset);
                m_secondTable[a][b][c] = wordAt(data, offset + 2);
                offset += 4;
            }
        }
    }
}
