#pragma once

#include "KavraDriver_SupplyStateObserverList.h"
#include "KavraDriver_Generic_SupplyStateTraits.h"

#include <Properties>

#include <QByteArray>
#include <QString>

#include <vector>

class KavraDriver_Generic_UserData;
class KavraDriver_SupplyStateObserver;

// The state a Generic unit reports: raw converter readings, the voltage and current converted
// through the calibration in use, the output polarity, two status flags and an error code.
class KavraDriver_Generic_SupplyState : public Properties<KavraDriver_Generic_SupplyStateTraits>,
                                        public KavraDriver_Generic_SupplyStateTraits
{
public:
    enum Index {
        RawVoltage = 0,
        RawCurrent = 1,
        Voltage = 2,
        Current = 3,
        PolarityCode = 4,
        SettingWord = 5,
        FirstFlag = 6,
        SecondFlag = 7,
        ErrorCode = 8,
        PolarityText = 9
    };
    static constexpr int ReplyLength = 8;

    // The reply's values as plain numbers, for callers that read one or two of them without a
    // record. A reply of another length decodes as all zero, as an undecoded record reads.
    struct Fields
    {
        int rawVoltage = 0;
        int rawCurrent = 0;
        int voltage = 0;
        int current = 0;
        int polarityCode = 0;
        int settingWord = 0;
        bool firstFlag = false;
        bool secondFlag = false;
        int errorCode = 0;
        bool decoded = false;
    };
    static Fields decode(const QByteArray& data, const KavraDriver_Generic_UserData& calibration);

    // From the 8-byte reply, converted with the given calibration; polarity code 1 reverses the
    // signs of the converted voltage and current.
    KavraDriver_Generic_SupplyState(
        const QByteArray& data, const KavraDriver_Generic_UserData& calibration);
    // Copies the values; observers stay with the original.
    KavraDriver_Generic_SupplyState(const KavraDriver_Generic_SupplyState& other);
    KavraDriver_Generic_SupplyState& operator=(const KavraDriver_Generic_SupplyState& other);
    // Tells every observer, in the order they were added, before the values go.
    ~KavraDriver_Generic_SupplyState() override;

    // "No error", "Output short circuit" or "Unknown error", from the error code.
    QString statusText() const;

    void addObserver(KavraDriver_SupplyStateObserver* observer);
    void removeObserver(KavraDriver_SupplyStateObserver* observer);

private:
    KavraDriver_SupplyStateObserverList m_observers;
};
