#include "SimChip.h"

#include "FirmwareFactory.h"

namespace {

// A bench number for a 32-bit field; outside the field's range (a plain cast would be undefined
// behaviour) the fallback stands.
uint32_t dwordOr(double value, uint32_t fallback)
{
    return value >= 0 && value <= 4294967295.0 ? uint32_t(value) : fallback;
}

} // namespace

uint32_t SimChip::typeForName(const QString& name, bool* known)
{
    *known = true;
    if (name == QLatin1String("FT232R"))
        return FT_DEVICE_232R;
    if (name == QLatin1String("FT2232H"))
        return FT_DEVICE_2232H;
    if (name == QLatin1String("FT232H"))
        return FT_DEVICE_232H;
    if (name == QLatin1String("FT-X"))
        return FT_DEVICE_X_SERIES;
    if (name == QLatin1String("FT4232H"))
        return FT_DEVICE_4232H;
    *known = false;
    return FT_DEVICE_UNKNOWN;
}

std::unique_ptr<SimChip> SimChip::create(
    const QJsonObject& entry, uint32_t defaultLocation, QString* error)
{
    bool known = false;
    const QString chipName = entry.value(QStringLiteral("chip")).toString();
    const uint32_t type = typeForName(chipName, &known);
    if (!known) {
        *error = QStringLiteral("unknown chip \"%1\"").arg(chipName);
        return nullptr;
    }
    std::unique_ptr<SimChip> chip(new SimChip());
    chip->m_entry = entry;
    chip->m_type = type;
    chip->m_benchSerial = entry.value(QStringLiteral("serial")).toString();
    const QString description
        = entry.value(QStringLiteral("description")).toString(defaultDescription(type));
    const bool programmed = entry.value(QStringLiteral("eepromProgrammed")).toBool(true);
    const QString eepromSerial
        = entry.value(QStringLiteral("eepromSerial")).toString(chip->m_benchSerial);
    chip->m_eeprom = SimEeprom(type, productId(type), programmed, eepromSerial, description);
    chip->m_listedSerial = chip->m_benchSerial;
    chip->m_listedDescription = description;
    chip->m_plugged = entry.value(QStringLiteral("plugged")).toBool(true);

    const double locationValue = entry.value(QStringLiteral("location")).toDouble(-1);
    const uint32_t location = locationValue >= 0 && locationValue <= 0xFFFFFFF0
        ? uint32_t(locationValue)
        : defaultLocation;
    chip->m_listingsLeft = entry.value(QStringLiteral("unplugAfterLists")).toInt(-1);
    const uint32_t id = (FTDI_VID << 16) | productId(type);
    if (type == FT_DEVICE_2232H) {
        // Channel A is the unit's stream link, channel B its command link.
        chip->m_channels
            = {Channel{QStringLiteral("A"), 1, id, 0}, Channel{QStringLiteral("B"), 0, id, 0}};
    } else if (type == FT_DEVICE_4232H) {
        for (int i = 0; i < 4; ++i)
            chip->m_channels.append(Channel{QString(QChar('A' + i)), i == 0 ? 0 : -1, id, 0});
    } else {
        chip->m_channels = {Channel{QString(), 0, id, 0}};
    }
    chip->setLocation(location);
    const QJsonValue listedId = entry.value(QStringLiteral("listedId"));
    if (listedId.isArray()) {
        const QJsonArray ids = listedId.toArray();
        for (int i = 0; i < chip->m_channels.size() && i < ids.size(); ++i)
            chip->m_channels[i].listedId = dwordOr(ids.at(i).toDouble(), id);
    } else if (listedId.isDouble()) {
        for (Channel& channel : chip->m_channels)
            channel.listedId = dwordOr(listedId.toDouble(), id);
    }
    chip->m_calls.resize(chip->m_channels.size());
    chip->m_unit = FirmwareFactory::create(entry);
    return chip;
}

bool SimChip::isHighSpeedType(uint32_t type)
{
    return type == FT_DEVICE_2232H || type == FT_DEVICE_232H || type == FT_DEVICE_4232H;
}

bool SimChip::isUartLink(int channelIndex) const
{
    // The FT232H and channel A of an FT2232H run as FIFOs; everything else is a serial port.
    if (m_type == FT_DEVICE_232H)
        return false;
    if (m_type == FT_DEVICE_2232H)
        return m_channels.at(channelIndex).link == 0;
    return true;
}

QString SimChip::listedDescription(int channelIndex) const
{
    const QString suffix = m_channels.at(channelIndex).suffix;
    return suffix.isEmpty() ? m_listedDescription : m_listedDescription + QLatin1Char(' ') + suffix;
}

void SimChip::unplug()
{
    m_plugged = false;
    ++m_generation;
}

void SimChip::plug()
{
    if (m_plugged)
        return;
    m_plugged = true;
    m_unit = FirmwareFactory::create(m_entry);
    reenumerate();
}

void SimChip::reenumerate()
{
    ++m_generation;
    if (m_eeprom.isProgrammed()) {
        m_listedSerial = m_eeprom.serialNumber();
        m_listedDescription = m_eeprom.description();
    }
}

void SimChip::setLocation(uint32_t location)
{
    if (m_channels.size() == 1) {
        m_channels[0].location = location;
        return;
    }
    for (int i = 0; i < m_channels.size(); ++i)
        m_channels[i].location = (location & ~0xFu) + 1 + uint32_t(i);
}

bool SimChip::takeListing()
{
    if (m_listingsLeft == 0) {
        m_listingsLeft = -1;
        return true;
    }
    if (m_listingsLeft > 0)
        --m_listingsLeft;
    return false;
}

int SimChip::channelIndexForLink(int link) const
{
    for (int i = 0; i < m_channels.size(); ++i) {
        if (m_channels.at(i).link == link)
            return i;
    }
    // Channels with no unit behind them are reached by their position.
    return link >= 0 && link < m_channels.size() && m_channels.at(link).link < 0 ? link : -1;
}

void SimChip::recordCall(int channelIndex, const QString& call, const QJsonArray& args)
{
    // Bounded like the wire log, so that a long-running host that never takes the record does not
    // grow without end.
    QJsonArray& calls = m_calls[channelIndex];
    if (calls.size() >= MaxRecordedCalls)
        calls.removeFirst();
    calls.append(QJsonObject{{QStringLiteral("call"), call}, {QStringLiteral("args"), args}});
}

uint16_t SimChip::productId(uint32_t type)
{
    switch (type) {
    case FT_DEVICE_232R:
        return uint16_t(FTDI_PID_232R);
    case FT_DEVICE_2232H:
        return uint16_t(FTDI_PID_2232H);
    case FT_DEVICE_4232H:
        return uint16_t(FTDI_PID_4232H);
    case FT_DEVICE_232H:
        return uint16_t(FTDI_PID_232H);
    default:
        return uint16_t(FTDI_PID_X_SERIES);
    }
}

QString SimChip::defaultDescription(uint32_t type)
{
    switch (type) {
    case FT_DEVICE_232R:
        return QStringLiteral("FT232R USB UART");
    case FT_DEVICE_2232H:
        return QStringLiteral("Dual RS232-HS");
    case FT_DEVICE_4232H:
        return QStringLiteral("Quad RS232-HS");
    case FT_DEVICE_232H:
        return QStringLiteral("Single RS232-HS");
    default:
        return QStringLiteral("FT230X Basic UART");
    }
}
