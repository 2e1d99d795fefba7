#pragma once

#include "KavraDriver_SupplyStateObserverList.h"
#include "KavraDriver_Cedar_SupplyStateTraits.h"

#include <Properties>

#include <QByteArray>
#include <QString>

#include <vector>

class KavraDriver_SupplyStateObserver;

// The state a Cedar unit reports: status bits, error bits, three readings and the output bits.
class KavraDriver_Cedar_SupplyState : public Properties<KavraDriver_Cedar_SupplyStateTraits>,
                                      public KavraDriver_Cedar_SupplyStateTraits
{
public:
    enum Index {
        StatusBits = 0,
        ErrorBits = 1,
        FirstReading = 2,
        SecondReading = 3,
        ThirdReading = 4,
        OutputBits = 5
    };
    // Status bits that the operations read.
    enum StatusBit {
        ReadyBit = 0, // any output may be switched on
        SecondaryReadyBit = 1, // outputs 2 and 3 may be switched on
        FirstOutputBit = 2, // outputs 1 to 3 are bits 2 to 4
        ErrorBit = 5
    };
    static constexpr int ReplyLength = 10;

    // The reply's values as plain numbers, for callers that read one or two of them without a
    // record. A reply of another length decodes as all zero, as an undecoded record reads.
    struct Fields
    {
        int statusBits = 0;
        int errorBits = 0;
        double firstReading = 0.0;
        double secondReading = 0.0;
        double thirdReading = 0.0;
        int outputBits = 0;
        bool decoded = false;
    };
    static Fields decode(const QByteArray& data);
    // Bit 0 to 7 of a status or output byte; any other bit number reads as clear.
    static bool bitOf(int bits, int bit);
    // The error text of the error bits, as errorText() gives it.
    static QString errorTextOf(int errorBits);

    // From the 10-byte reply; the readings are words in tenths.
    explicit KavraDriver_Cedar_SupplyState(const QByteArray& data);
    // Copies the values; observers stay with the original.
    KavraDriver_Cedar_SupplyState(const KavraDriver_Cedar_SupplyState& other);
    KavraDriver_Cedar_SupplyState& operator=(const KavraDriver_Cedar_SupplyState& other);
    // Tells every observer, in the order they were added, before the values go.
    ~KavraDriver_Cedar_SupplyState() override;

    bool statusBit(int bit) const;
    bool outputBit(int bit) const;

    // One line per set error bit in bit order, joined by newlines; empty without errors.
    QString errorText() const;

    void addObserver(KavraDriver_SupplyStateObserver* observer);
    void removeObserver(KavraDriver_SupplyStateObserver* observer);

private:
    KavraDriver_SupplyStateObserverList m_observers;
};
