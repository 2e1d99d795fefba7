#include "KavraDriver_Generic_SupplyState.h"

#include "KavraDriver_Conversions.h"
#include "KavraDriver_Generic_UserData.h"
#include "KavraDriver_SupplyStateObserver.h"

#include <QtGlobal>

#include <algorithm>

using namespace KavraDriver_Conversions;

KavraDriver_Generic_SupplyState::KavraDriver_Generic_SupplyState(
    const QByteArray& data, const KavraDriver_Generic_UserData& calibration)
{
    Q_ASSERT_X(data.count() == ReplyLength, "src/KavraDriver_Generic_SupplyState",
               "data.count() == 8");
    // A release build leaves a short reply undecoded: every index then reads as absent.
    if (data.count() != ReplyLength)
        return;

    const int status = static_cast<quint8>(data.at(0));
    const int rawVoltage = wordAt(data, 1);
    const int rawCurrent = signedWord(wordAt(data, 3));
    const int polarity = static_cast<quint8>(data.at(7));

    const double voltageScale = calibration.voltageGain() / 1000.0;
    double voltage = (rawVoltage - calibration.voltageOffset() / 10.0) / voltageScale;
    double current = (rawCurrent - calibration.currentOffset() / 10.0 -
                      voltageScale * voltage * calibration.currentCoupling() / 16384.0) /
                     (calibration.currentGain() / 100.0);
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
    setValue(PolarityText, polarity == 0   ? QStringLiteral("Positive")
                           : polarity == 1 ? QStringLiteral("Negative")
                                           : QStringLiteral("Undefined"));
}

KavraDriver_Generic_SupplyState::KavraDriver_Generic_SupplyState(
    const KavraDriver_Generic_SupplyState& other)
    : Properties<KavraDriver_Generic_SupplyStateTraits>(other),
      KavraDriver_Generic_SupplyStateTraits()
{
}

KavraDriver_Generic_SupplyState&
KavraDriver_Generic_SupplyState::operator=(const KavraDriver_Generic_SupplyState& other)
{
    Properties<KavraDriver_Generic_SupplyStateTraits>::operator=(other);
    return *this;
}

KavraDriver_Generic_SupplyState::~KavraDriver_Generic_SupplyState()
{
    const auto observers = m_observers;
    for (KavraDriver_SupplyStateObserver* observer : observers)
        observer->supplyStateDestroyed(this);
}

QString KavraDriver_Generic_SupplyState::statusText() const
{
    switch (variantToInt(value(ErrorCode))) {
    case 0:
        return QStringLiteral("No error");
    case 1:
        return QStringLiteral("Output short circuit");
    default:
        return QStringLiteral("Unknown error");
    }
}

void KavraDriver_Generic_SupplyState::addObserver(KavraDriver_SupplyStateObserver* observer)
{
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void KavraDriver_Generic_SupplyState::removeObserver(KavraDriver_SupplyStateObserver* observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer),
                      m_observers.end());
}
