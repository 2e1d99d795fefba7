#include "KavraDriver_Generic_SupplyState.h"

#include "KavraDriver_Conversions.h"
#include "KavraDriver_Generic_UserData.h"

#include <QtGlobal>

using namespace KavraDriver_Conversions;

KavraDriver_Generic_SupplyState::Fields KavraDriver_Generic_SupplyState::decode(
    const QByteArray& data, const KavraDriver_Generic_UserData& calibration)
{
    Q_ASSERT_X(
        data.count() == ReplyLength, "src/KavraDriver_Generic_SupplyState", "data.count() == 8");
    Fields fields;
    // A release build leaves a short reply undecoded.
    if (data.count() != ReplyLength)
        return fields;

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

    fields.rawVoltage = rawVoltage;
    fields.rawCurrent = rawCurrent;
    fields.voltage = roundHalfUp(voltage);
    fields.current = roundHalfUp(current);
    fields.polarityCode = polarity;
    fields.settingWord = static_cast<int>(wordAt(data, 5));
    fields.firstFlag = (status & 0x01) != 0;
    fields.secondFlag = (status & 0x02) != 0;
    fields.errorCode = status >> 2;
    fields.decoded = true;
    return fields;
}

KavraDriver_Generic_SupplyState::KavraDriver_Generic_SupplyState(
    const QByteArray& data, const KavraDriver_Generic_UserData& calibration)
{
    const Fields fields = decode(data, calibration);
    // Every index of an undecoded reply reads as absent.
    if (!fields.decoded)
        return;
    setValue(RawVoltage, fields.rawVoltage);
    setValue(RawCurrent, fields.rawCurrent);
    setValue(Voltage, fields.voltage);
    setValue(Current, fields.current);
    setValue(PolarityCode, fields.polarityCode);
    setValue(SettingWord, fields.settingWord);
    setValue(FirstFlag, fields.firstFlag);
    setValue(SecondFlag, fields.secondFlag);
    setValue(ErrorCode, fields.errorCode);
    setValue(PolarityText,
        fields.polarityCode == 0       ? QStringLiteral("Positive")
            : fields.polarityCode == 1 ? QStringLiteral("Negative")
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
