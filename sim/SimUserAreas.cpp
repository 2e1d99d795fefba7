#include "SimUserAreas.h"

#include "FtdiEepromImage.h"

#include <new>

SimUserAreas& SimUserAreas::instance()
{
    alignas(SimUserAreas) static unsigned char storage[sizeof(SimUserAreas)];
    static SimUserAreas* const areas = new (storage) SimUserAreas();
    return *areas;
}

int SimUserAreas::size(const SimChip& chip)
{
    return FtdiEepromImage::userAreaBytes(chip.type(), FtdiEepromImage::textsOf(chip.eeprom()));
}

QByteArray SimUserAreas::read(const std::shared_ptr<SimChip>& chip)
{
    const int bytes = size(*chip);
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_areas.find(chip);
    QByteArray area = found == m_areas.end() ? QByteArray() : found->second.left(bytes);
    // Bytes never written read as zeros.
    area.append(QByteArray(bytes - area.size(), '\0'));
    return area;
}

void SimUserAreas::write(const std::shared_ptr<SimChip>& chip, const QByteArray& bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Forget the areas of chips that are gone, so that the map never grows with bench reloads.
    for (auto it = m_areas.begin(); it != m_areas.end();)
        it = it->first.expired() ? m_areas.erase(it) : std::next(it);
    QByteArray& area = m_areas[chip];
    if (area.size() < bytes.size())
        area.resize(bytes.size());
    area.replace(0, bytes.size(), bytes);
}
