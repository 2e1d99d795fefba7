#pragma once

#include "KavraDriver_SupplyStateObserverList.h"
#include "KavraDriver_Alder_SupplyStateTraits.h"

#include <Properties>

#include <QByteArray>
#include <QString>

#include <vector>

class KavraDriver_Alder_UserData;
class KavraDriver_SupplyStateObserver;

// The state an Alder unit reports: raw converter readings, the voltage and current converted
// through the unit's calibration, two status flags and an error code.
class KavraDriver_Alder_SupplyState : public Properties<KavraDriver_Alder_SupplyStateTraits>,
                                      public KavraDriver_Alder_SupplyStateTraits
{
public:
    enum Index {
        RawVoltage = 0,
        RawCurrent = 1,
        Voltage = 2,
        Current = 3,
        FirstFlag = 4,
        SecondFlag = 5,
        ErrorCode = 6
    };
    static constexpr int ReplyLength = 5;

    // The reply's values as plain numbers, for callers that read one or two of them without a
    // record. A reply of another length decodes as all zero, as an undecoded record reads.
    struct Fields
    {
        int rawVoltage = 0;
        int rawCurrent = 0;
        int voltage = 0;
        int current = 0;
        bool firstFlag = false;
        bool secondFlag = false;
        int errorCode = 0;
        bool decoded = false;
    };
    static Fields decode(const QByteArray& data, const KavraDriver_Alder_UserData& calibration);

    // From the 5-byte reply, converted with the given calibration. No sign correction for the
    // polarity is made: the unit reports magnitudes.
    KavraDriver_Alder_SupplyState(
        const QByteArray& data, const KavraDriver_Alder_UserData& calibration);
    // Copies the values; observers stay with the original.
    KavraDriver_Alder_SupplyState(const KavraDriver_Alder_SupplyState& other);
    KavraDriver_Alder_SupplyState& operator=(const KavraDriver_Alder_SupplyState& other);
    // Tells every observer, in the order they were added, before the values go.
    ~KavraDriver_Alder_SupplyState() override;

    // "No error", "Output short circuit" or "Unknown error", from the error code.
    QString statusText() const;

    void addObserver(KavraDriver_SupplyStateObserver* observer);
    void removeObserver(KavraDriver_SupplyStateObserver* observer);

private:
    KavraDriver_SupplyStateObserverList m_observers;
};
