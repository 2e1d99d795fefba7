#include "KavraDriver_Generic_UserData.h"

#include <QtGlobal>

KavraDriver_Generic_UserData::KavraDriver_Generic_UserData() = default;

KavraDriver_Generic_UserData::KavraDriver_Generic_UserData(const ModelId& model)
{
    if (model == ModelId(19, 1)) {
        m_voltageGain = 7588;
        m_currentGain = 3036;
    } else if (model == ModelId(25, 1)) {
        m_voltageGain = 18860;
        m_currentGain = 1509;
    }
}

KavraDriver_Generic_UserData::KavraDriver_Generic_UserData(
    const ModelId& model, const QByteArray& data)
    : KavraDriver_Generic_UserData(model)
{
    Q_ASSERT_X(
        data.count() == ReplyLength, "src/KavraDriver_Generic_UserData", "data.count() == 20");
    // A release build keeps the defaults rather than reading a short reply.
    if (data.count() != ReplyLength || data.at(0) != CalibrationMarker)
        return;
    m_voltageGain = wordAt(data, 1);
    m_voltageOffset = static_cast<qint16>(wordAt(data, 3));
    m_currentGain = wordAt(data, 5);
    m_currentOffset = static_cast<qint16>(wordAt(data, 7));
    m_currentCoupling = wordAt(data, 9);
}

KavraDriver_Generic_UserData::~KavraDriver_Generic_UserData() = default;
