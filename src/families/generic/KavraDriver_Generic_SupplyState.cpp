#include "KavraDriver_Generic_SupplyState.h"

#include "KavraDriver_Conversions.h"
#include "KavraDriver_Generic_UserData.h"

#include <QtGlobal>

using namespace KavraDriver_Conversions;

KavraDriver_Generic_SupplyState::KavraDriver_Generic_SupplyState(
    const QByteArray& data, const KavraDriver_Generic_UserData& calibration)
{
    Q_ASSERT_X(
        data.count() == ReplyLength, "src/KavraDriver_Generic_SupplyState", "data.count() == 8");
    // A release build leaves a short reply undecoded: every index then reads as absent.
    if (data.count() != ReplyLength)
        return;

    const int status = static_cast<quint8>(data.at(0));
    const int rawVoltage = wordAt(data, 1);
    const int rawCurrent = signedWord(wordAt(data, 3));
    const int polarity = static_cast<quint8>(data.at(7));

    const Readings readings = convertReadings(rawVoltage, rawCurrent, calibration.voltageGain(),
        calibration.voltageOffset(), calibration.currentCoupling(), calibration.currentGain(),
        calibration.currentOffset());
    double voltage = readings.voltage;
    double current = readings.current;
    // The unit reports magnitudes; a negative output shows as polarity code 1.
    if (polarity == 1) {
        voltage = -voltage;
        current = -current;
    }

    setValue(RawVoltage, rawVoltage);
    setValue(RawCurrent, rawCurrent);
    setValue(Voltage, roundHalfUp(voltage));
    setValue(Current, roundHalfUp(current));
    setValue(PolarityCode, polarity);
    setValue(SettingWord, static_cast<int>(wordAt(data, 5)));
    setValue(FirstFlag, (status & 0x01) != 0);
    setValue(SecondFlag, (status & 0x02) != 0);
    setValue(ErrorCode, status >> 2);
    setValue(PolarityText,
        polarity == 0       ? QStringLiteral("Positive")
            : polarity == 1 ? QStringLiteral("Negative")
                            : QStringLiteral("Undefined"));
}

KavraDriver_Generic_SupplyState::KavraDriver_Generic_SupplyState(
    const KavraDriver_Generic_SupplyState& other)
    : Properties<KavraDriver_Generic_SupplyStateTraits>(other)
    , KavraDriver_Generic_SupplyStateTraits()
{ }

KavraDriver_Generic_SupplyState& KavraDriver_Generic_SupplyState::operator=(
    const KavraDriver_Generic_SupplyState& other)
{
    Properties<KavraDriver_Generic_SupplyStateTraits>::operator=(other);
    return *this;
}

KavraDriver_Generic_SupplyState::~KavraDriver_Generic_SupplyState()
{
    m_observers.notifyDestroyed(this);
}

QString KavraDriver_Generic_SupplyState::statusText() const
{
    return supplyStatusText(variantToInt(value(ErrorCode)));
}

void KavraDriver_Generic_SupplyState::addObserver(KavraDriver_SupplyStateObserver* observer)
{
    m_observers.add(observer);
}

void KavraDriver_Generic_SupplyState::removeObserver(KavraDriver_SupplyStateObserver* observer)
{
    m_observers.remove(observer);
}
