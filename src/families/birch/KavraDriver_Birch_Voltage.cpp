#include "KavraDriver_Birch_Voltage.h"

#include "KavraDriver_Conversions.h"

using namespace KavraDriver_Conversions;

KavraDriver_Birch_Voltage::KavraDriver_Birch_Voltage()
{
    setValue(Voltage, 0.0);
    setValue(Second, 0.0);
}

KavraDriver_Birch_Voltage::~KavraDriver_Birch_Voltage() = default;

QByteArray KavraDriver_Birch_Voltage::encode() const
{
    QByteArray data;
    appendWord(data, static_cast<quint16>(variantToInt(value(Voltage)) & 0xFFFF));
    const int thousandths = clampToInt(truncateToInt64(variantToDouble(value(Second)) * 1000.0));
    appendDword(data, static_cast<quint32>(thousandths));
    return data;
}
