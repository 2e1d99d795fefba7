#pragma once

#include "KavraDriver_Alder_UserDataTraits.h"

#include <Properties>

#include <QByteArray>
#include <QMap>

// The calibration stored in an Alder unit. It holds no indexed values: the five calibration words
// convert between requested values and converter counts, and the two tables keep the unit's stored
// pairs (decoded for completeness; nothing reads them).
class KavraDriver_Alder_UserData : public Properties<KavraDriver_Alder_UserDataTraits>,
                                   public KavraDriver_Alder_UserDataTraits
{
public:
    // Keyed [a][b][c]: a in 0..1, b in 0..3, c the pair within (a, b).
    using Table = QMap<int, QMap<int, QMap<int, quint16>>>;

    // The first byte of a reply says which layout follows.
    static constexpr char PairedForm = 'O';
    static constexpr char SingleForm = 'g';
    static constexpr int ReplyLength = 150;

    // Gains 10560 and 22400, offsets and coupling 0, first words 0, second words 30000.
    KavraDriver_Alder_UserData();
    // From the 150-byte reply; an unknown layout keeps the defaults.
    explicit KavraDriver_Alder_UserData(const QByteArray& data);
    KavraDriver_Alder_UserData(const KavraDriver_Alder_UserData&) = default;
    KavraDriver_Alder_UserData& operator=(const KavraDriver_Alder_UserData&) = default;
    ~KavraDriver_Alder_UserData() override;

    const Table& firstTable() const { return m_firstTable; }
    const Table& secondTable() const { return m_secondTable; }
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
    // Reads count pairs of words from byte 1 on, pairsPerEntry of them for each (a, b).
    void readPairs(const QByteArray& data, int pairsPerEntry);

    Table m_firstTable;
    Table m_secondTable;
    quint16 m_voltageGain = 10560;
    qint16 m_voltageOffset = 0;
    quint16 m_currentCoupling = 0;
    quint16 m_currentGain = 22400;
    qint16 m_currentOffset = 0;
};
