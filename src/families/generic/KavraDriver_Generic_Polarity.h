#pragma once

#include "KavraDriver_Generic_PolarityTraits.h"

#include <Properties>

#include <QByteArray>

// The output polarity of a dual-polarity Generic unit (0 or 1); it selects the calibration in use.
class KavraDriver_Generic_Polarity : public Properties<KavraDriver_Generic_PolarityTraits>,
                                     public KavraDriver_Generic_PolarityTraits
{
public:
    enum Index { Polarity = 0 };

    // Polarity 0.
    KavraDriver_Generic_Polarity();
    // From the one byte that the unit reports.
    explicit KavraDriver_Generic_Polarity(const QByteArray& data);
    KavraDriver_Generic_Polarity(const KavraDriver_Generic_Polarity&) = default;
    KavraDriver_Generic_Polarity& operator=(const KavraDriver_Generic_Polarity&) = default;
    ~KavraDriver_Generic_Polarity() override;

    // One byte: the value of index Polarity.
    QByteArray encode() const;
};
