#include "KavraDriver_Alder_SupplyState.h"

#include "KavraDriver_Alder_UserData.h"
#include "KavraDriver_Conversions.h"

#include <QtGlobal>

using namespace KavraDriver_Conversions;

KavraDriver_Alder_SupplyState::Fields KavraDriver_Alder_SupplyState::decode(
    const QByteArray& data, const KavraDriver_Alder_UserData& calibration)
{
    Q_ASSERT_X(
        data.count() == ReplyLength, "src/KavraDriver_Alder_SupplyState", "data.count() == 5");
    Fields fields;
    // A release build leaves a short reply undecoded.
    if (data.count() != ReplyLength)
        return fields;

    const int status = static_cast<quint8>(data.at(0));
    const int rawVoltage = signedWord(wordAt(data, 1));
    const int rawCurrent = signedWord(wordAt(data, 3));

    const Readings readings = convertReadings(rawVoltage, rawCurrent, calibration.voltageGain(),
        calibration.voltageOffset(), calibration.currentCoupling(), calibration.currentGain(),
        calibration.currentOffset());
    const double voltage = readings.voltage;
    const double current = readings.current;

    fields.rawVoltage = rawVoltage;
    fields.rawCurrent = rawCurrent;
    fields.voltage = roundHalfUp(voltage);
    fields.current = roundHalfUp(current);
    fields.firstFlag = (status & 0x01) != 0;
    fields.secondFlag = (status & 0x02) != 0;
    fields.errorCode = status >> 2;
    fields.decoded = true;
    return fields;
}

KavraDriver_Alder_SupplyState::KavraDriver_Alder_SupplyState(
    const QByteArray& data, const KavraDriver_Alder_UserData& calibration)
{
    const Fields fields = decode(data, calibration);
    // Every index of an undecoded reply reads as absent.
    if (!fields.decoded)
        return;
    setValue(RawVoltage, fields.rawVoltage);
    setValue(RawCurrent, fields.rawCurrent);
    setValue(Voltage, fields.voltage);
    setValue(Current, fields.current);
    setValue(FirstFlag, fields.firstFlag);
    setValue(SecondFlag, fields.secondFlag);
    setValue(ErrorCode, fields.errorCode);
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
