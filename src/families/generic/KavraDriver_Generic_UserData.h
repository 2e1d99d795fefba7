#pragma once

#include "KavraDriver_Generic_UserDataTraits.h"

#include "ModelId.h"

#include <Properties>

#include <QByteArray>

// The calibration stored in a Generic unit for one polarity: five words that convert between
// requested values and converter counts. It holds no indexed values.
class KavraDriver_Generic_UserData : public Properties<KavraDriver_Generic_UserDataTraits>,
                                     public KavraDriver_Generic_UserDataTraits
{
public:
    // The first byte of a reply that carries a calibration.
    static constexpr char CalibrationMarker = 'm';
    static constexpr int ReplyLength = 20;

    // The defaults of an unknown model: gains 1000, offsets and coupling 0.
    KavraDriver_Generic_UserData();
    // The model's defaults, used until the unit's own calibration is read.
    explicit KavraDriver_Generic_UserData(const ModelId& model);
    // From the 20-byte reply; without the marker the unit holds no calibration and the model's
    // defaults stand.
    KavraDriver_Generic_UserData(const ModelId& model, const QByteArray& data);
    KavraDriver_Generic_UserData(const KavraDriver_Generic_UserData&) = default;
    KavraDriver_Generic_UserData& operator=(const KavraDriver_Generic_UserData&) = default;
    ~KavraDriver_Generic_UserData() override;

    // Converter counts per unit of voltage, times 1000.
    quint16 voltageGain() const { return m_voltageGain; }
    // Voltage offset in counts, times 10.
    qint16 voltageOffset() const { return m_voltageOffset; }
    // Share of the voltage term contained in the current reading, times 16384.
    quint16 currentCoupling() const { return m_currentCoupling; }
    // Converter counts per unit of current, times 100.
    quint16 currentGain() const { return m_currentGain; }
    // Current offset in counts, times 10.
    qint16 currentOffset() const { return m_currentOffset; }

private:
    quint16 m_voltageGain = 1000;
    qint16 m_voltageOffset = 0;
    quint16 m_currentCoupling = 0;
    quint16 m_currentGain = 1000;
    qint16 m_currentOffset = 0;
};
