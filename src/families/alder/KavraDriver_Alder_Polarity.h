#pragma once

#include "KavraDriver_Alder_PolarityTraits.h"

#include <Properties>

#include <QByteArray>

// The output polarity of an Alder unit (0 or 1); 1 reverses the sign of every voltage sent.
class KavraDriver_Alder_Polarity : public Properties<KavraDriver_Alder_PolarityTraits>,
                                   public KavraDriver_Alder_PolarityTraits
{
public:
    enum Index { Polarity = 0 };

    // Polarity 0.
    KavraDriver_Alder_Polarity();
    // From the one byte that the unit reports.
    explicit KavraDriver_Alder_Polarity(const QByteArray& data);
    KavraDriver_Alder_Polarity(const KavraDriver_Alder_Polarity&) = default;
    KavraDriver_Alder_Polarity& operator=(const KavraDriver_Alder_Polarity&) = default;
    ~KavraDriver_Alder_Polarity() override;

    // One byte: the value of index Polarity.
    QByteArray encode() const;
};
