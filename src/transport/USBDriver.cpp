#include "USBDriver.h"

#include "D2xxLibrary.h"
#include "DeviceListRecord.h"
#include "USBDevice.h"
#include "USBFtdiDevice.h"
#include "USBISocket.h"
#include "USBISocketBinding.h"

#include <QMap>
#include <QVector>

#include <cstring>
#include <vector>

struct USBDriver::Private
{
    std::shared_ptr<USBDevice> m_device;
    std::vector<std::shared_ptr<USBISocketBinding>> m_protocols;

    int protocolCount() const { return static_cast<int>(m_protocols.size()); }
};

namespace {

constexpr uint32_t kFt2232hId = (FTDI_VID << 16) | FTDI_PID_2232H;
// The two channels of an FT2232H differ only in these bits of their location.
constexpr uint32_t kChannelLocationBits = 0xF;

} // namespace

USBDriver::USBDriver() : m_pPrivate(std::make_unique<Private>())
{
    m_pPrivate->m_protocols.resize(1);
}

USBDriver::USBDriver(std::shared_ptr<USBISocketBinding> protocol)
    : m_pPrivate(std::make_unique<Private>())
{
    m_pPrivate->m_protocols.push_back(std::move(protocol));
}

USBDriver::~USBDriver()
{
    close();
}

void USBDriver::setProtocol(std::shared_ptr<USBISocketBinding> protocol, int socketIndex)
{
    Q_ASSERT_X(socketIndex >= 0, "USBDriver.cpp", "socketIndex < m_pPrivate->m_protocols.count()");
    if (socketIndex < 0)
        return;
    if (socketIndex >= m_pPrivate->protocolCount())
        m_pPrivate->m_protocols.resize(static_cast<std::size_t>(socketIndex) + 1);
    m_pPrivate->m_protocols[static_cast<std::size_t>(socketIndex)] = std::move(protocol);
}

QList<std::shared_ptr<USBDevice>> USBDriver::enumerateDevices(bool ownOnly)
{
    QList<std::shared_ptr<USBDevice>> devices;
    const D2xxLibrary& d2xx = D2xxLibrary::instance();

    DWORD count = 0;
    if (d2xx.createDeviceInfoList(&count) != FT_OK || count == 0)
        return devices;

    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    std::memset(nodes.data(), 0, nodes.size() * sizeof(FT_DEVICE_LIST_INFO_NODE));
    DWORD filled = count;
    if (d2xx.getDeviceInfoList(nodes.data(), &filled) != FT_OK)
        filled = 0;
    // The list may have shrunk since it was counted; never walk past what we allocated.
    filled = qMin(filled, count);

    // Chips by location; the two channels of an FT2232H share one key.
    // The kind of chip is part of the key: FTDI's library numbers locations by bus and device
    // (bus x 0x100 + device, and x 0x10 + channel for an FT2232H), so a single-channel chip can
    // sit at the very location an FT2232H's channels share once their channel bits are cleared.
    QMap<uint64_t, QVector<DeviceListRecord>> chips;
    for (DWORD i = 0; i < filled; ++i) {
        const FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
        if (node.ID == 0)
            continue;
        const bool dualChannel = node.ID == kFt2232hId;
        const uint64_t location = dualChannel ? (node.LocId & ~kChannelLocationBits) : node.LocId;
        const uint64_t key = location << 1 | (dualChannel ? 1u : 0u);
        chips[key].append(DeviceListRecord{node, static_cast<uint32_t>(i)});
    }

    for (auto it = chips.cbegin(); it != chips.cend(); ++it) {
        std::shared_ptr<USBFtdiDevice> device = USBFtdiDevice::fromRecords(it.value());
        if (!device || (ownOnly && !device->isOwnDevice()))
            continue;
        devices.append(device);
    }
    return devices;
}

USBResult USBDriver::open(std::shared_ptr<USBDevice> device, int baudRate)
{
    Private& d = *m_pPrivate;
    if (d.m_device)
        return USBResult::failure(QStringLiteral("Another device is already open"));
    std::shared_ptr<USBISocket> primary = device ? device->primarySocket() : nullptr;
    if (!primary)
        return USBResult(FT_DEVICE_NOT_FOUND);

    USBResult result = primary->open(baudRate);
    if (!result.isSuccess())
        return result;

    const QVector<std::shared_ptr<USBISocket>> secondaries = device->secondarySockets();
    for (const auto& socket : secondaries) {
        result = socket->open(baudRate);
        if (!result.isSuccess())
            break;
    }

    if (!result.isSuccess()) {
        // Nothing of a half-opened unit stays open.
        primary->close();
        for (const auto& socket : secondaries)
            socket->close();
        return result;
    }

    d.m_device = device;
    Q_ASSERT_X(d.m_protocols[0], "USBDriver.cpp", "m_pPrivate->m_protocols[0]");
    if (d.m_protocols[0])
        d.m_protocols[0]->setSocket(primary);
    // Secondary sockets beyond the protocol entries stay open but unbound.
    int k = 1;
    for (const auto& socket : secondaries) {
        if (k >= d.protocolCount())
            break;
        const std::shared_ptr<USBISocketBinding>& protocol
            = d.m_protocols[static_cast<std::size_t>(k)];
        Q_ASSERT_X(protocol, "USBDriver.cpp", "m_pPrivate->m_protocols[k]");
        if (protocol)
            protocol->setSocket(socket);
        ++k;
    }
    return result;
}

void USBDriver::close()
{
    Private& d = *m_pPrivate;
    if (!d.m_device)
        return;
    for (const auto& protocol : d.m_protocols) {
        Q_ASSERT_X(protocol, "USBDriver.cpp", "m_pPrivate->m_protocols[k]");
        if (!protocol)
            continue;
        protocol->clearRequests();
        // Ends the protocol's worker, if any, and drops its socket clone.
        protocol->setSocket(nullptr);
    }
    d.m_device->closeAll();
    d.m_device.reset();
}

void USBDriver::purge()
{
    if (m_pPrivate->m_device)
        m_pPrivate->m_device->purgeAll();
}

std::shared_ptr<USBDevice> USBDriver::device() const
{
    return m_pPrivate->m_device;
}

USBResult USBDriver::send(std::shared_ptr<USBICommRequest> request, int socketIndex)
{
    Private& d = *m_pPrivate;
    Q_ASSERT_X(socketIndex >= 0 && socketIndex < d.protocolCount(), "USBDriver.cpp",
        "socketIndex < m_pPrivate->m_protocols.count()");
    if (!d.m_device)
        return USBResult::failure(QStringLiteral("No device is open"));
    if (socketIndex < 0 || socketIndex >= d.protocolCount()
        || !d.m_protocols[static_cast<std::size_t>(socketIndex)])
        return USBResult::failure(QStringLiteral("No protocol for the socket"));
    return d.m_protocols[static_cast<std::size_t>(socketIndex)]->sendRequest(std::move(request));
}
