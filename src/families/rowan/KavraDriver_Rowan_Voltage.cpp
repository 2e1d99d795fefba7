#include "KavraDriver_Rowan_Voltage.h"

#include <Properties>

#include <QtGlobal>

KavraDriver_Rowan_Voltage::KavraDriver_Rowan_Voltage(const QByteArray& data)
{
    Q_ASSERT_X(data.count() == ReplyLength, "src/KavraDriver_Rowan_Voltage", "data.count() == 4");
    // A release build reads a short reply as 0 rather than past its end.
    if (data.count() != ReplyLength)
        return;
    m_value = static_cast<qint32>(dwordAt(data, 0)) / 200.0;
}
