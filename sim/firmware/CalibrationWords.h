#pragma once

#include <QJsonObject>

// The five calibration words that Alder and Generic units store, and the conversions between
// volts/current units and converter counts that the host applies with them. The unit runs its
// physics through the same words the host reads, so a setting reads back as itself.
class CalibrationWords
{
public:
    CalibrationWords() = default;
    CalibrationWords(int voltageGain, int voltageOffset, int currentCoupling, int currentGain,
        int currentOffset);

    // Words from a bench "calibration" object; a word the object lacks keeps its value here.
    CalibrationWords overriddenBy(const QJsonObject& config) const;

    int voltageGain() const { return m_voltageGain; }
    int voltageOffset() const { return m_voltageOffset; }
    int currentCoupling() const { return m_currentCoupling; }
    int currentGain() const { return m_currentGain; }
    int currentOffset() const { return m_currentOffset; }

    // Set codes as the host encodes them, back to physical values.
    double voltageFromCode(int code) const;
    double currentFromCode(int code) const;
    // A physical voltage as the converter reports it.
    double voltageReading(double voltage) const;
    // The current converter's reading, which also sees a share of the voltage reading.
    double currentReading(double current, double voltageReading) const;

    QJsonObject toJson() const;

private:
    int m_voltageGain = 1000;
    int m_voltageOffset = 0;
    int m_currentCoupling = 0;
    int m_currentGain = 1000;
    int m_currentOffset = 0;
};
