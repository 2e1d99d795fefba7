#include "KavraDriver_Alder_Voltage.h"

#include "KavraDriver_Alder_Polarity.h"
#include "KavraDriver_Alder_UserData.h"
#include "KavraDriver_Conversions.h"

using namespace KavraDriver_Conversions;

KavraDriver_Alder_Voltage::KavraDriver_Alder_Voltage()
{
    setValue(Voltage, 10.0);
    setValue(Current, 1000.0);
}

KavraDriver_Alder_Voltage::~KavraDriver_Alder_Voltage() = default;

QByteArray KavraDriver_Alder_Voltage::encode(
    const KavraDriver_Alder_UserData& calibration, const KavraDriver_Alder_Polarity& polarity) const
{
    const double sign
        = variantToInt(polarity.value(KavraDriver_Alder_Polarity::Polarity)) == 1 ? -1.0 : 1.0;
    const double voltage = sign * variantToInt(value(Voltage));
    const double current = sign * variantToInt(value(Current));

    QByteArray data;
    appendWord(data,
        truncateToWord(
            calibration.voltageGain() / 1000.0 * voltage + calibration.voltageOffset() / 10.0));
    appendWord(data, truncateToWord(calibration.currentGain() / 100.0 * current));
    appendWord(data, static_cast<quint16>(calibration.voltageOffset() / 10));
    appendWord(data, static_cast<quint16>(calibration.currentOffset() / 10));
    appendWord(data, calibration.currentCoupling());
    return data;
}
