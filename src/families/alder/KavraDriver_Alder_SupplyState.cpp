#include "KavraDriver_Alder_SupplyState.h"

#include "KavraDriver_Alder_UserData.h"
#include "KavraDriver_Conversions.h"

#include <QtGlobal>

using namespace KavraDriver_Conversions;

KavraDriver_Alder_SupplyState::KavraDriver_Alder_SupplyState(
    const QByteArray& data, const KavraDriver_Alder_UserData& calibration)
{
    Q_ASSERT_X(
        data.count() == ReplyLength, "src/KavraDriver_Alder_SupplyState", "data.count() == 5");
    // A release build leaves a short reply undecoded: every index then reads as absent.
    if (data.count() != ReplyLength)
        return;

    const int status = static_cast<quint8>(data.at(0));
    const int rawVoltage = signedWord(wordAt(data, 1));
    const int rawCurrent = signedWord(wordAt(data, 3));

    const Readings readings = convertReadings(rawVoltage, rawCurrent, calibration.voltageGain(),
        calibration.voltageOffset(), calibration.currentCoupling(), calibration.currentGain(),
        calibration.currentOffset());
    const double voltage = readings.voltage;
    const double current = readings.current;

    setValue(RawVoltage, rawVoltage);
    setValue(RawCurrent, rawCurrent);
    setValue(Voltage, roundHalfUp(voltage));
    setValue(Current, roundHalfUp(current));
    setValue(FirstFlag, (status & 0x01) != 0);
    setValue(SecondFlag, (status & 0x02) != 0);
    setValue(ErrorCode, status >> 2);
}

KavraDriver_Alder_SupplyState::KavraDriver_Alder_SupplyState(
    const KavraDriver_Alder_SupplyState& other)
    : Properties<KavraDriver_Alder_SupplyStateTraits>(other), KavraDriver_Alder_SupplyStateTraits()
{ }

KavraDriver_Alder_SupplyState& KavraDriver_Alder_SupplyState::operator=(
    const KavraDriver_Alder_SupplyState& other)
{
    Properties<KavraDriver_Alder_SupplyStateTraits>::operator=(other);
    return *this;
}

KavraDriver_Alder_SupplyState::~KavraDriver_Alder_SupplyState()
{
    m_observers.notifyDestroyed(this);
}

QString KavraDriver_Alder_SupplyState::statusText() const
{
    return supplyStatusText(variantToInt(value(ErrorCode)));
}

void KavraDriver_Alder_SupplyState::addObserver(KavraDriver_SupplyStateObserver* observer)
{
    m_observers.add(observer);
}

void KavraDriver_Alder_SupplyState::removeObserver(KavraDriver_SupplyStateObserver* observer)
{
    m_observers.remove(observer);
}
