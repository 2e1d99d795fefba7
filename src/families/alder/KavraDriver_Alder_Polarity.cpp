#include "KavraDriver_Alder_Polarity.h"

#include <QtGlobal>

KavraDriver_Alder_Polarity::KavraDriver_Alder_Polarity()
{
    setValue(Polarity, 0);
}

KavraDriver_Alder_Polarity::KavraDriver_Alder_Polarity(const QByteArray& data)
    : KavraDriver_Alder_Polarity()
{
    Q_ASSERT_X(data.count() == 1, "src/KavraDriver_Alder_Polarity", "data.count() == 1");
    // A release build keeps the default rather than reading past a short reply.
    if (data.count() == 1)
        setValue(Polarity, static_cast<int>(static_cast<quint8>(data.at(0))));
}

KavraDriver_Alder_Polarity::~KavraDriver_Alder_Polarity() = default;

QByteArray KavraDriver_Alder_Polarity::encode() const
{
    return QByteArray(1, static_cast<char>(variantToInt(value(Polarity)) & 0xFF));
}
