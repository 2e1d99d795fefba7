#include "KavraDriver_Generic_Polarity.h"

#include <QtGlobal>

KavraDriver_Generic_Polarity::KavraDriver_Generic_Polarity()
{
    setValue(Polarity, 0);
}

KavraDriver_Generic_Polarity::KavraDriver_Generic_Polarity(const QByteArray& data)
    : KavraDriver_Generic_Polarity()
{
    Q_ASSERT_X(data.size() == 1, "src/KavraDriver_Generic_Polarity", "data.size() == 1");
    // A release build keeps the default rather than reading past a short reply.
    if (data.size() == 1)
        setValue(Polarity, static_cast<int>(static_cast<quint8>(data.at(0))));
}

KavraDriver_Generic_Polarity::~KavraDriver_Generic_Polarity() = default;

QByteArray KavraDriver_Generic_Polarity::encode() const
{
    return QByteArray(1, static_cast<char>(variantToInt(value(Polarity)) & 0xFF));
}
