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
    return encode(
        variantToInt(value(Voltage)), variantToInt(value(Current)), calibration, polarity);
}

QByteArray KavraDriver_Alder_Voltage::encode(int wholeVoltage, int wholeCurrent,
    const KavraDriver_Alder_UserData& calibration, const KavraDriver_Alder_Polarity& polarity)
{
    const double sign
        = variantToInt(polarity.value(KavraDriver_Alder_Polarity::Polarity)) == 1 ? -1.0 : 1.0;
    const double voltage = sign * wholeVoltage;
    const double current = sign * wholeCurrent;

    QByteArray data(EncodedLength, Qt::Uninitialized);
    char* out = data.data();
    out = putWord(out,
        truncateToWord(
            calibration.voltageGain() / 1000.0 * voltage + calibration.voltageOffset() / 10.0));
    out = putWord(out, truncateToWord(calibration.currentGain() / 100.0 * current));
    out = putWord(out, static_cast<quint16>(calibration.voltageOffset() / 10));
    out = putWord(out, static_cast<quint16>(calibration.currentOffset() / 10));
    putWord(out, calibration.currentCoupling());
    return data;
}
