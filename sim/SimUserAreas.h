#pragma once

#include "SimChip.h"

#include <QByteArray>

#include <map>
#include <memory>
#include <mutex>

// The user areas of the chips' EEPROMs (FT_EE_UARead, FT_EE_UAWrite): the bytes the EEPROM has
// free after its configuration and texts. Kept beside the chips, for as long as a chip lives; an
// area never written reads as zeros.
class SimUserAreas
{
public:
    static SimUserAreas& instance();

    // The area's size in bytes for what the chip's EEPROM holds now.
    static int size(const SimChip& chip);
    // The area's first size(chip) bytes.
    QByteArray read(const std::shared_ptr<SimChip>& chip);
    // Writes the bytes from the start of the area; the caller checks the length.
    void write(const std::shared_ptr<SimChip>& chip, const QByteArray& bytes);

private:
    SimUserAreas() = default;
    ~SimUserAreas() = delete;

    std::mutex m_mutex;
    std::map<std::weak_ptr<SimChip>, QByteArray, std::owner_less<std::weak_ptr<SimChip>>> m_areas;
};
