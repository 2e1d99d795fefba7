#include "UsbFtdiChip.h"

#include "FtdiBaudDivisor.h"
#include "SimBench.h"
#include "SimChip.h"
#include "SimHandle.h"

#include <cerrno>

namespace {

// FTDI vendor requests (the numbers libftdi and the Linux ftdi_sio driver use).
constexpr uint8_t kReset = 0x00;
constexpr uint8_t kModemControl = 0x01;
constexpr uint8_t kFlowControl = 0x02;
constexpr uint8_t kBaudRate = 0x03;
constexpr uint8_t kData = 0x04;
constexpr uint8_t kPollModemStatus = 0x05;
constexpr uint8_t kEventChar = 0x06;
constexpr uint8_t kErrorChar = 0x07;
constexpr uint8_t kSetLatency = 0x09;
constexpr uint8_t kGetLatency = 0x0A;
constexpr uint8_t kBitMode = 0x0B;
constexpr uint8_t kReadPins = 0x0C;
constexpr uint8_t kReadEeprom = 0x90;
constexpr uint8_t kWriteEeprom = 0x91;
constexpr uint8_t kEraseEeprom = 0x92;

constexpr uint8_t kVendorOut = 0x40;
constexpr uint8_t kVendorIn = 0xC0;
constexpr uint8_t kGetDescriptor = 0x06;
constexpr uint8_t kGetStatus = 0x00;

// Line status: transmitter holding register and transmitter empty.
constexpr uint8_t kLineIdle = 0x60;

QString hexWord(uint16_t value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

} // namespace

UsbFtdiChip::UsbFtdiChip(std::shared_ptr<SimChip> chip, int port)
    : m_chip(std::move(chip)), m_port(port), m_chipType(m_chip->type()), m_image(m_chipType)
{
    m_channels.resize(interfaceCount());
    SimBench::instance().withChips([&](const std::vector<std::shared_ptr<SimChip>>&) {
        FtdiEepromImage::Fields fields;
        if (FtdiEepromImage::fieldsOf(m_chip->eeprom(), m_chipType, &fields))
            m_image = FtdiEepromImage::encode(m_chipType, fields);
        return 0;
    });
    enumerate();
}

UsbFtdiChip::~UsbFtdiChip()
{
    for (Channel& channel : m_channels) {
        if (channel.handle)
            SimBench::instance().close(channel.handle);
    }
}

bool UsbFtdiChip::isPlugged() const
{
    return SimBench::instance().withChips(
        [&](const std::vector<std::shared_ptr<SimChip>>&) { return m_chip->isPlugged(); });
}

uint64_t UsbFtdiChip::generation() const
{
    return SimBench::instance().withChips(
        [&](const std::vector<std::shared_ptr<SimChip>>&) { return m_chip->generation(); });
}

void UsbFtdiChip::enumerate()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_enumeratedValid = m_image.decode(&m_enumerated);
    if (!m_enumeratedValid)
        m_enumerated = FtdiEepromImage::Fields();
    for (Channel& channel : m_channels)
        channel = Channel{channel.handle, channel.owner, 16, 0, false};
}

void UsbFtdiChip::resetPort()
{
    const QByteArray before = descriptors() + (manufacturer() + product() + serial()).toUtf8();
    enumerate();
    if (descriptors() + (manufacturer() + product() + serial()).toUtf8() == before)
        return;
    SimBench::instance().withChips([&](const std::vector<std::shared_ptr<SimChip>>&) {
        m_chip->reenumerate();
        return 0;
    });
}

UsbDescriptors::Identity UsbFtdiChip::identity() const
{
    // A chip with a blank or broken EEPROM enumerates with its factory identity.
    if (!m_enumeratedValid)
        return UsbDescriptors::Identity{m_chipType, uint16_t(FTDI_VID),
            SimChip::productId(m_chipType), false, false, 90, false};
    const bool isX = m_chipType == FT_DEVICE_X_SERIES;
    const FT_PROGRAM_DATA& d = m_enumerated.data;
    const FT_EEPROM_X_SERIES& x = m_enumerated.x;
    bool serialEnabled;
    switch (m_chipType) {
    case FT_DEVICE_232R:
        serialEnabled = d.SerNumEnableR;
        break;
    case FT_DEVICE_2232H:
        serialEnabled = d.SerNumEnable7;
        break;
    case FT_DEVICE_4232H:
        serialEnabled = d.SerNumEnable8;
        break;
    case FT_DEVICE_232H:
        serialEnabled = d.SerNumEnableH;
        break;
    default:
        serialEnabled = x.common.SerNumEnable;
        break;
    }
    return UsbDescriptors::Identity{m_chipType, isX ? x.common.VendorId : d.VendorId,
        isX ? x.common.ProductId : d.ProductId, bool(isX ? x.common.SelfPowered : d.SelfPowered),
        bool(isX ? x.common.RemoteWakeup : d.RemoteWakeup), isX ? x.common.MaxPower : d.MaxPower,
        serialEnabled && !m_enumerated.texts.serial.isEmpty()};
}

QByteArray UsbFtdiChip::descriptors() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return UsbDescriptors::device(identity()) + UsbDescriptors::configuration(identity());
}

QString UsbFtdiChip::manufacturer() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_enumeratedValid ? m_enumerated.texts.manufacturer : QStringLiteral("FTDI");
}

QString UsbFtdiChip::product() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_enumeratedValid ? m_enumerated.texts.description
                             : SimChip::defaultDescription(m_chipType);
}

QString UsbFtdiChip::serial() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return identity().hasSerial ? m_enumerated.texts.serial : QString();
}

uint16_t UsbFtdiChip::vendorId() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return identity().vendorId;
}

uint16_t UsbFtdiChip::productId() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return identity().productId;
}

int UsbFtdiChip::claim(int interface, const void* owner)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (interface < 0 || interface >= m_channels.size())
        return EINVAL;
    SimBench& bench = SimBench::instance();
    Channel& channel = m_channels[interface];
    if (channel.handle) {
        const FT_STATUS alive = bench.withHandle(
            channel.handle, [](SimHandle&, std::unique_lock<std::mutex>&) { return FT_OK; });
        if (alive == FT_OK)
            return channel.owner == owner ? 0 : EBUSY;
        // Its device went away since: the claim died with it.
        bench.close(channel.handle);
        channel.handle = nullptr;
        channel.owner = nullptr;
    }
    // The channel's position in the bench's device list: plugged chips in order, channels in order.
    const int index = bench.withChips([&](const std::vector<std::shared_ptr<SimChip>>& chips) {
        int position = 0;
        for (const std::shared_ptr<SimChip>& chip : chips) {
            if (chip == m_chip)
                return chip->isPlugged() ? position + interface : -1;
            if (chip->isPlugged())
                position += chip->channels().size();
        }
        return -1;
    });
    if (index < 0)
        return ENODEV;
    FT_HANDLE handle = nullptr;
    if (bench.open(index, &handle) != FT_OK)
        return EBUSY;
    // The list may have changed between the two steps: the handle must be on this channel.
    const FT_STATUS same = bench.withHandle(
        handle, [&](SimHandle& simHandle, std::unique_lock<std::mutex>&) {
            return simHandle.chipPointer() == m_chip && simHandle.channelIndex() == interface ? FT_OK
                                                                                              : FT_OTHER_ERROR;
        });
    if (same != FT_OK) {
        bench.close(handle);
        return EBUSY;
    }
    channel.handle = handle;
    channel.owner = owner;
    return 0;
}

void UsbFtdiChip::release(int interface, const void* owner)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (interface < 0 || interface >= m_channels.size() || !m_channels[interface].handle
        || m_channels[interface].owner != owner)
        return;
    SimBench::instance().close(m_channels[interface].handle);
    m_channels[interface].handle = nullptr;
    m_channels[interface].owner = nullptr;
}

int UsbFtdiChip::interfaceOfPort(uint16_t index)
{
    // Port A is 1 (0 on single-channel chips), B 2, and so on.
    const int port = index & 0xFF;
    return port == 0 ? 0 : port - 1;
}

uint8_t UsbFtdiChip::modemStatus(int interface) const
{
    // Bit 0 is always set; CTS and DSR come from the unit on channels that have one.
    const int channelIndex = interface;
    const bool unit = m_chip->channels().value(channelIndex).link >= 0;
    return uint8_t(0x01 | (unit ? 0x30 : 0));
}

UsbFtdiChip::Outcome UsbFtdiChip::control(const Setup& setup, QByteArray* data)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if ((setup.requestType & 0x60) == 0x40) {
        QString line = QStringLiteral("%1 %2 %3 %4")
                           .arg(setup.requestType, 2, 16, QLatin1Char('0'))
                           .arg(setup.request, 2, 16, QLatin1Char('0'))
                           .arg(hexWord(setup.value), hexWord(setup.index));
        if (!(setup.requestType & 0x80) && !data->isEmpty())
            line += QLatin1Char(' ') + QString::fromLatin1(data->toHex());
        m_requestLog.append(line);
        return vendorRequest(setup, data);
    }
    return standardRequest(setup, data);
}

UsbFtdiChip::Outcome UsbFtdiChip::standardRequest(const Setup& setup, QByteArray* data)
{
    if (setup.requestType == 0x80 && setup.request == kGetDescriptor) {
        const int type = setup.value >> 8;
        const int index = setup.value & 0xFF;
        QByteArray descriptor;
        if (type == 1) {
            descriptor = UsbDescriptors::device(identity());
        } else if (type == 2) {
            descriptor = UsbDescriptors::configuration(identity());
        } else if (type == 3) {
            const UsbDescriptors::Identity id = identity();
            const QString texts[3]
                = {m_enumeratedValid ? m_enumerated.texts.manufacturer : QStringLiteral("FTDI"),
                    m_enumeratedValid ? m_enumerated.texts.description
                                      : SimChip::defaultDescription(m_chipType),
                    m_enumerated.texts.serial};
            if (index == 0)
                descriptor = UsbDescriptors::languages();
            else if (index >= 1 && index <= 3 && (index != UsbDescriptors::kSerial || id.hasSerial))
                descriptor = UsbDescriptors::string(texts[index - 1]);
        }
        if (descriptor.isEmpty())
            return Outcome::Stall;
        *data = descriptor.left(setup.length);
        return Outcome::Done;
    }
    if (setup.requestType == 0x80 && setup.request == kGetStatus) {
        *data = QByteArray(2, '\0');
        return Outcome::Done;
    }
    // Configuration and interface selection: there is only one of each.
    if ((setup.requestType & 0x80) == 0) {
        data->clear();
        return Outcome::Done;
    }
    return Outcome::Stall;
}

UsbFtdiChip::Outcome UsbFtdiChip::vendorRequest(const Setup& setup, QByteArray* data)
{
    SimBench& bench = SimBench::instance();
    const bool in = setup.requestType == kVendorIn;
    if (setup.requestType != kVendorOut && !in)
        return Outcome::Stall;

    // EEPROM requests carry a word address in the index.
    if (setup.request == kReadEeprom && in) {
        const bool fails = bench.withChips([&](const std::vector<std::shared_ptr<SimChip>>&) {
            SimChip::Faults& faults = m_chip->faults();
            if (faults.failEepromReads <= 0)
                return false;
            --faults.failEepromReads;
            return true;
        });
        if (fails)
            return Outcome::Stall;
        const uint16_t word = m_image.word(setup.index);
        *data = QByteArray();
        data->append(char(word & 0xFF));
        data->append(char(word >> 8));
        *data = data->left(setup.length);
        return Outcome::Done;
    }
    if (setup.request == kWriteEeprom && !in) {
        m_image.setWord(setup.index, setup.value);
        storeImage();
        return Outcome::Done;
    }
    if (setup.request == kEraseEeprom && !in) {
        m_image.erase();
        return Outcome::Done;
    }

    const int interface = interfaceOfPort(setup.index);
    if (interface >= m_channels.size())
        return Outcome::Stall;
    Channel& channel = m_channels[interface];
    const FT_HANDLE handle = channel.handle;
    // Settings reach the bench's handle when the interface is claimed; they are recorded there.
    const auto record = [&](const char* call) {
        if (handle) {
            bench.withHandle(handle, [&](SimHandle& simHandle, std::unique_lock<std::mutex>&) {
                simHandle.chip().recordCall(
                    simHandle.channelIndex(), QString::fromLatin1(call), QJsonArray());
                return FT_OK;
            });
        }
    };
    FT_STATUS status = FT_OK;
    if (in) {
        switch (setup.request) {
        case kPollModemStatus:
            *data = QByteArray();
            data->append(char(modemStatus(interface)));
            data->append(char(kLineIdle));
            break;
        case kGetLatency:
            *data = QByteArray(1, char(channel.latencyMs));
            break;
        case kReadPins:
            *data = QByteArray(1, char(0xFF));
            break;
        default:
            return Outcome::Stall;
        }
        *data = data->left(setup.length);
        return Outcome::Done;
    }
    data->clear();
    switch (setup.request) {
    case kReset:
        // 0 resets the port (both buffers), 1 purges the receive buffer, 2 the transmit buffer.
        if (handle)
            status = bench.purge(handle,
                setup.value == 0       ? FT_PURGE_RX | FT_PURGE_TX
                    : setup.value == 1 ? FT_PURGE_RX
                                       : FT_PURGE_TX);
        break;
    case kModemControl:
        if (setup.value & 0x0100)
            record(setup.value & 0x01 ? "FT_SetDtr" : "FT_ClrDtr");
        if (setup.value & 0x0200)
            record(setup.value & 0x02 ? "FT_SetRts" : "FT_ClrRts");
        break;
    case kFlowControl:
        if (handle)
            status = bench.setFlowControl(handle, USHORT(setup.index & 0xFF00),
                UCHAR(setup.value & 0xFF), UCHAR(setup.value >> 8));
        break;
    case kBaudRate:
        if (handle)
            status = bench.setBaudRate(handle,
                FtdiBaudDivisor::baudRate(
                    UsbDescriptors::isHighSpeed(m_chipType), setup.value, setup.index));
        break;
    case kData: {
        const bool breakOn = setup.value & 0x4000;
        if (breakOn != channel.breakOn)
            record(breakOn ? "FT_SetBreakOn" : "FT_SetBreakOff");
        channel.breakOn = breakOn;
        if (handle)
            status = bench.setDataCharacteristics(handle, UCHAR(setup.value & 0xFF),
                UCHAR((setup.value >> 11) & 0x07), UCHAR((setup.value >> 8) & 0x07));
        break;
    }
    case kEventChar:
    case kErrorChar:
        break;
    case kSetLatency:
        channel.latencyMs = setup.value & 0xFF;
        if (handle)
            status = bench.setLatencyTimer(handle, UCHAR(setup.value & 0xFF));
        break;
    case kBitMode:
        channel.bitMode = uint8_t(setup.value >> 8);
        if (handle)
            status = bench.setBitMode(handle, UCHAR(setup.value & 0xFF), UCHAR(setup.value >> 8));
        break;
    default:
        return Outcome::Stall;
    }
    if (status == FT_IO_ERROR)
        return Outcome::NoDevice;
    return status == FT_OK ? Outcome::Done : Outcome::Stall;
}

void UsbFtdiChip::storeImage()
{
    FtdiEepromImage::Fields fields;
    if (!m_image.decode(&fields))
        return;
    // The D2XX bench keeps what FTDI's library programmed, as if it had been programmed there.
    SimBench::instance().withChips([&](const std::vector<std::shared_ptr<SimChip>>&) {
        QByteArray manufacturer = fields.texts.manufacturer.toLatin1();
        QByteArray manufacturerId = fields.texts.manufacturerId.toLatin1();
        QByteArray description = fields.texts.description.toLatin1();
        QByteArray serial = fields.texts.serial.toLatin1();
        if (m_chipType == FT_DEVICE_X_SERIES) {
            return m_chip->eeprom().programX(&fields.x, manufacturer.constData(),
                manufacturerId.constData(), description.constData(), serial.constData());
        }
        FT_PROGRAM_DATA data = fields.data;
        data.Manufacturer = manufacturer.data();
        data.ManufacturerId = manufacturerId.data();
        data.Description = description.data();
        data.SerialNumber = serial.data();
        return m_chip->eeprom().program(&data, m_chip->isMultiChannel());
    });
}

int UsbFtdiChip::bulkOut(int endpoint, const QByteArray& bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int interface = (endpoint - 2) / 2;
    if (interface < 0 || interface >= m_channels.size() || !m_channels[interface].handle)
        return -EPIPE;
    DWORD written = 0;
    QByteArray copy = bytes;
    const FT_STATUS status = SimBench::instance().write(
        m_channels[interface].handle, copy.data(), DWORD(copy.size()), &written);
    if (status == FT_IO_ERROR)
        return -ENODEV;
    return status == FT_OK ? 0 : -EPIPE;
}

QByteArray UsbFtdiChip::bulkIn(int endpoint, int maxLength, bool latencyExpired, int* status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    *status = 0;
    const int interface = ((endpoint & 0x7F) - 1) / 2;
    if (interface < 0 || interface >= m_channels.size() || !m_channels[interface].handle) {
        *status = -EPIPE;
        return QByteArray();
    }
    SimBench& bench = SimBench::instance();
    const FT_HANDLE handle = m_channels[interface].handle;
    DWORD ready = 0;
    const FT_STATUS queue = bench.getQueueStatus(handle, &ready);
    if (queue != FT_OK) {
        *status = queue == FT_IO_ERROR ? -ENODEV : -EPIPE;
        return QByteArray();
    }
    const int packet = UsbDescriptors::maxPacketSize(m_chipType);
    // The chip sends a packet as soon as it is full, anything less when its latency timer expires
    // (FTDI's AN232B-04). FTDI's library relies on that pause after a short packet: it cancels
    // the transfers it queued behind one.
    if (!latencyExpired && ready < DWORD(packet - 2))
        return QByteArray();
    const int packets = std::max(1, maxLength / packet);
    const int take = int(std::min<DWORD>(ready, DWORD(packets * (packet - 2))));
    QByteArray payload(take, '\0');
    DWORD got = 0;
    if (take > 0 && bench.read(handle, payload.data(), DWORD(take), &got) != FT_OK) {
        *status = -ENODEV;
        return QByteArray();
    }
    payload.truncate(int(got));
    QByteArray transfer;
    int offset = 0;
    do {
        transfer.append(char(modemStatus(interface)));
        transfer.append(char(kLineIdle));
        transfer.append(payload.mid(offset, packet - 2));
        offset += packet - 2;
    } while (offset < payload.size());
    return transfer.left(std::max(2, maxLength));
}

int UsbFtdiChip::latencyMs(int endpoint) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int interface = ((endpoint & 0x7F) - 1) / 2;
    const int latency
        = interface >= 0 && interface < m_channels.size() ? m_channels[interface].latencyMs : 16;
    // A latency timer of 0 behaves like 1 ms on the chips.
    return std::max(1, latency);
}

QVector<uint16_t> UsbFtdiChip::eepromWords() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_image.words();
}

int64_t UsbFtdiChip::usUntilData(int endpoint) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int interface = ((endpoint & 0x7F) - 1) / 2;
    if (interface < 0 || interface >= m_channels.size() || !m_channels[interface].handle)
        return -1;
    SimBench& bench = SimBench::instance();
    int64_t due = -1;
    bench.withHandle(
        m_channels[interface].handle, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
            const int64_t now = bench.benchTimeNs();
            const int64_t next = handle.nextArrivalNs(now);
            due = handle.readyCount(now) > 0 ? 0 : next < 0 ? -1 : (next - now + 999) / 1000;
            return FT_OK;
        });
    return due;
}

QJsonArray UsbFtdiChip::takeRequestLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray log = m_requestLog;
    m_requestLog = QJsonArray();
    return log;
}
