#include "UsbDeviceNode.h"

#include "UsbFtdiChip.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace {

// As an xHCI host controller's: scatter-gather lets libusb submit a bulk transfer of any size as
// one URB instead of 16 KiB pieces whose rest it must cancel after a short packet.
constexpr unsigned kCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION
    | USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_BULK_SCATTER_GATHER
    | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

// USB_SPEED_FULL and USB_SPEED_HIGH as USBDEVFS_GET_SPEED reports them.
constexpr int kFullSpeed = 2;
constexpr int kHighSpeed = 3;

// With nothing to send, a chip sends a packet of just its status bytes each latency period. The
// bench sends those no more often than this, to spare the host's CPU: their contents never change.
// Bytes that come meanwhile cut the wait short.
constexpr int kStatusPacketMs = 50;

usbdevfs_urb* urbOf(UMockdevIoctlData* data)
{
    return reinterpret_cast<usbdevfs_urb*>(data->data);
}

// Resolves a pointer in the client's memory to a local copy; null for a null pointer.
UMockdevIoctlData* resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length)
{
    GError* error = nullptr;
    UMockdevIoctlData* resolved = umockdev_ioctl_data_resolve(data, offset, length, &error);
    if (error)
        g_error_free(error);
    return resolved;
}

struct TimerTarget
{
    UsbDeviceNode* node;
    UMockdevIoctlClient* client;
    int endpoint;
};

} // namespace

UsbDeviceNode::UsbDeviceNode(UsbFtdiChip& chip, const QString& path)
    : m_chip(chip), m_readiness(path), m_handler(umockdev_ioctl_base_new())
{
    g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(&UsbDeviceNode::onIoctl), this);
    g_signal_connect(m_handler, "client-connected", G_CALLBACK(&UsbDeviceNode::onConnected), this);
}

UsbDeviceNode::~UsbDeviceNode()
{
    g_signal_handlers_disconnect_by_data(m_handler, this);
    for (auto& item : m_clients) {
        g_signal_handlers_disconnect_by_data(item.first, this);
        forget(item.first, item.second);
        g_object_unref(item.first);
    }
    g_object_unref(m_handler);
}

void UsbDeviceNode::restoreFile()
{
    m_readiness.recreate();
    updateReadiness();
}

void UsbDeviceNode::onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
{
    auto* node = static_cast<UsbDeviceNode*>(self);
    g_object_ref(client);
    node->m_clients[client].generation = node->m_chip.generation();
    // umockdev reports a closed client through its "connected" property.
    g_signal_connect(client, "notify::connected", G_CALLBACK(&UsbDeviceNode::onVanished), self);
}

void UsbDeviceNode::onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
{
    auto* node = static_cast<UsbDeviceNode*>(self);
    if (umockdev_ioctl_client_get_connected(client))
        return;
    const auto found = node->m_clients.find(client);
    if (found == node->m_clients.end())
        return;
    g_signal_handlers_disconnect_by_data(client, self);
    node->forget(client, found->second);
    node->m_clients.erase(found);
    g_object_unref(client);
}

gboolean UsbDeviceNode::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
{
    static_cast<UsbDeviceNode*>(self)->handle(client);
    return TRUE;
}

bool UsbDeviceNode::isDead(const Client& state) const
{
    return !m_chip.isPlugged() || m_chip.generation() != state.generation;
}

void UsbDeviceNode::handle(UMockdevIoctlClient* client)
{
    const auto found = m_clients.find(client);
    if (found == m_clients.end()) {
        umockdev_ioctl_client_complete(client, -1, EIO);
        return;
    }
    Client& state = found->second;
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const auto finish = [client](long result, int error) {
        umockdev_ioctl_client_complete(client, result, error);
    };

    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        reap(client, state, arg, request == USBDEVFS_REAPURB);
        return;
    }
    if (request == USBDEVFS_DISCARDURB) {
        discard(client, state, *reinterpret_cast<unsigned long*>(arg->data));
        return;
    }
    if (request == USBDEVFS_GET_CAPABILITIES) {
        UMockdevIoctlData* capabilities = resolve(arg, 0, sizeof(unsigned));
        if (!capabilities) {
            finish(-1, EFAULT);
            return;
        }
        const unsigned value = kCapabilities;
        std::memcpy(capabilities->data, &value, sizeof value);
        g_object_unref(capabilities);
        finish(0, 0);
        return;
    }
    // A release goes through even on a device that is gone: the claim must not outlive it.
    if (isDead(state) && request != USBDEVFS_RELEASEINTERFACE) {
        finish(-1, ENODEV);
        return;
    }
    if (request == USBDEVFS_SUBMITURB) {
        submit(client, state, arg);
        return;
    }
    if (request == USBDEVFS_CLAIMINTERFACE || request == USBDEVFS_RELEASEINTERFACE) {
        UMockdevIoctlData* number = resolve(arg, 0, sizeof(unsigned));
        if (!number) {
            finish(-1, EFAULT);
            return;
        }
        int interface = 0;
        std::memcpy(&interface, number->data, sizeof interface);
        g_object_unref(number);
        if (request == USBDEVFS_RELEASEINTERFACE) {
            if (state.claimed.erase(interface))
                m_chip.release(interface, client);
            finish(isDead(state) ? -1 : 0, isDead(state) ? ENODEV : 0);
            return;
        }
        const int error = m_chip.claim(interface, client);
        if (error == 0)
            state.claimed.insert(interface);
        finish(error ? -1 : 0, error);
        return;
    }
    if (request == USBDEVFS_CONNECTINFO) {
        UMockdevIoctlData* info = resolve(arg, 0, sizeof(usbdevfs_connectinfo));
        if (!info) {
            finish(-1, EFAULT);
            return;
        }
        usbdevfs_connectinfo value{unsigned(m_chip.deviceNumber()), 0};
        std::memcpy(info->data, &value, sizeof value);
        g_object_unref(info);
        finish(0, 0);
        return;
    }
    if (request == USBDEVFS_GET_SPEED) {
        finish(UsbDescriptors::isHighSpeed(m_chip.chipType()) ? kHighSpeed : kFullSpeed, 0);
        return;
    }
    // No kernel driver is bound to the emulated chips.
    if (request == USBDEVFS_GETDRIVER || request == USBDEVFS_IOCTL) {
        finish(-1, ENODATA);
        return;
    }
    if (request == USBDEVFS_RESET) {
        m_chip.resetPort();
        finish(0, 0);
        return;
    }
    if (request == USBDEVFS_SETINTERFACE || request == USBDEVFS_SETCONFIGURATION
        || request == USBDEVFS_CLEAR_HALT || request == USBDEVFS_RESETEP) {
        finish(0, 0);
        return;
    }
    finish(-1, ENOTTY);
}

void UsbDeviceNode::submit(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg)
{
    UMockdevIoctlData* data = resolve(arg, 0, sizeof(usbdevfs_urb));
    if (!data) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    usbdevfs_urb* urb = urbOf(data);
    UMockdevIoctlData* buffer = nullptr;
    if (urb->buffer_length > 0) {
        buffer = resolve(data, offsetof(usbdevfs_urb, buffer), std::size_t(urb->buffer_length));
        // The URB holds the buffer for as long as we hold the URB.
        if (buffer)
            g_object_unref(buffer);
    }
    const Urb entry{data, buffer, urb->endpoint};
    const auto bytes = [&]() { return buffer ? reinterpret_cast<char*>(buffer->data) : nullptr; };
    urb->status = 0;
    urb->actual_length = 0;
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        if (urb->buffer_length < 8 || !buffer) {
            g_object_unref(data);
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return;
        }
        const auto* setupBytes = reinterpret_cast<const uint8_t*>(bytes());
        const UsbFtdiChip::Setup setup{setupBytes[0], setupBytes[1],
            uint16_t(setupBytes[2] | setupBytes[3] << 8),
            uint16_t(setupBytes[4] | setupBytes[5] << 8),
            uint16_t(setupBytes[6] | setupBytes[7] << 8)};
        const int room = std::min<int>(setup.length, urb->buffer_length - 8);
        const bool in = setup.requestType & 0x80;
        QByteArray payload = in ? QByteArray() : QByteArray(bytes() + 8, room);
        const UsbFtdiChip::Outcome outcome = m_chip.control(setup, &payload);
        if (outcome == UsbFtdiChip::Outcome::Done) {
            const int length = in ? std::min(room, int(payload.size())) : room;
            if (in)
                std::memcpy(bytes() + 8, payload.constData(), std::size_t(length));
            complete(client, state, entry, 0, length);
        } else {
            complete(
                client, state, entry, outcome == UsbFtdiChip::Outcome::Stall ? -EPIPE : -ENODEV, 0);
        }
    } else if (urb->endpoint & 0x80) {
        state.pendingIn[entry.endpoint].push_back(entry);
    } else {
        const int status = m_chip.bulkOut(entry.endpoint, QByteArray(bytes(), urb->buffer_length));
        complete(client, state, entry, status, status == 0 ? urb->buffer_length : 0);
    }
    umockdev_ioctl_client_complete(client, 0, 0);
    // Whatever was written may have brought an answer.
    for (auto& pending : state.pendingIn)
        serviceIn(client, state, pending.first, false);
}

void UsbDeviceNode::complete(
    UMockdevIoctlClient* client, Client& state, const Urb& urb, int status, int actualLength)
{
    usbdevfs_urb* raw = urbOf(urb.data);
    raw->status = status;
    raw->actual_length = actualLength;
    state.completed.push_back(urb);
    m_readiness.setReady(true);
    deliver(client, state);
}

void UsbDeviceNode::serviceIn(
    UMockdevIoctlClient* client, Client& state, int endpoint, bool latencyExpired)
{
    std::deque<Urb>& queue = state.pendingIn[endpoint];
    while (!queue.empty()) {
        const Urb head = queue.front();
        const usbdevfs_urb* urb = urbOf(head.data);
        int status = 0;
        const QByteArray transfer = head.buffer
            ? m_chip.bulkIn(endpoint, urb->buffer_length, latencyExpired, &status)
            : QByteArray();
        if (status == 0 && transfer.isEmpty() && head.buffer) {
            schedule(client, state, endpoint);
            return;
        }
        queue.pop_front();
        if (head.buffer)
            std::memcpy(head.buffer->data, transfer.constData(), std::size_t(transfer.size()));
        // A new latency period starts for the next transfer.
        const auto timer = state.timers.find(endpoint);
        if (timer != state.timers.end()) {
            g_source_destroy(timer->second.source);
            g_source_unref(timer->second.source);
            state.timers.erase(timer);
        }
        state.statusDue.erase(endpoint);
        latencyExpired = false;
        complete(client, state, head, status, status == 0 ? transfer.size() : 0);
        if (status != 0) {
            failAll(client, state);
            return;
        }
    }
}

void UsbDeviceNode::schedule(UMockdevIoctlClient* client, Client& state, int endpoint)
{
    const gint64 now = g_get_monotonic_time();
    const int latencyUs = m_chip.latencyMs(endpoint) * 1000;
    const int64_t untilData = m_chip.usUntilData(endpoint);
    const bool data = untilData == 0;
    gint64 due = now + latencyUs;
    if (!data) {
        // The idle period runs from the last packet the endpoint sent.
        const auto status
            = state.statusDue.emplace(endpoint, now + std::max(latencyUs, kStatusPacketMs * 1000))
                  .first;
        due = untilData < 0 ? status->second : std::min(status->second, now + untilData);
    }
    const auto running = state.timers.find(endpoint);
    if (running != state.timers.end()) {
        // A latency timer runs on; a wait gives way to bytes that come sooner.
        if (running->second.data || running->second.dueUs <= due)
            return;
        g_source_destroy(running->second.source);
        g_source_unref(running->second.source);
        state.timers.erase(running);
    }
    // The chip's timers run from when the host has taken everything before: time stands still
    // for the device while the host works (see reap()).
    if (!state.completed.empty())
        return;
    GSource* timer = g_timeout_source_new(guint(std::max<gint64>(0, (due - now + 999) / 1000)));
    g_source_set_callback(
        timer,
        [](gpointer data) -> gboolean {
            const auto* target = static_cast<TimerTarget*>(data);
            const auto found = target->node->m_clients.find(target->client);
            if (found == target->node->m_clients.end())
                return G_SOURCE_REMOVE;
            Client& owner = found->second;
            const auto timer = owner.timers.find(target->endpoint);
            if (timer == owner.timers.end())
                return G_SOURCE_REMOVE;
            const bool withData = timer->second.data;
            g_source_unref(timer->second.source);
            owner.timers.erase(timer);
            target->node->onTimer(target->client, owner, target->endpoint, withData);
            return G_SOURCE_REMOVE;
        },
        new TimerTarget{this, client, endpoint},
        [](gpointer data) { delete static_cast<TimerTarget*>(data); });
    g_source_attach(timer, g_main_context_get_thread_default());
    state.timers[endpoint] = Timer{timer, data, due};
}

void UsbDeviceNode::onTimer(UMockdevIoctlClient* client, Client& state, int endpoint, bool data)
{
    // Bytes the link model delivered leave at once: their arrival already counts the latency
    // timer. Before the status period ends and with nothing there, the wait goes on.
    const auto status = state.statusDue.find(endpoint);
    const bool statusDue
        = status == state.statusDue.end() || g_get_monotonic_time() >= status->second;
    serviceIn(client, state, endpoint, data || statusDue || m_chip.usUntilData(endpoint) == 0);
}

void UsbDeviceNode::stopTimers(Client& state)
{
    for (auto& timer : state.timers) {
        g_source_destroy(timer.second.source);
        g_source_unref(timer.second.source);
    }
    state.timers.clear();
    state.statusDue.clear();
}

void UsbDeviceNode::discard(UMockdevIoctlClient* client, Client& state, unsigned long address)
{
    for (auto& pending : state.pendingIn) {
        std::deque<Urb>& queue = pending.second;
        for (auto it = queue.begin(); it != queue.end(); ++it) {
            if (it->data->client_addr != address)
                continue;
            const Urb urb = *it;
            queue.erase(it);
            // Cancelled URBs are reaped like the kernel's: status -ENOENT, nothing transferred.
            complete(client, state, urb, -ENOENT, 0);
            umockdev_ioctl_client_complete(client, 0, 0);
            return;
        }
    }
    umockdev_ioctl_client_complete(client, -1, EINVAL);
}

void UsbDeviceNode::reap(
    UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg, bool wait)
{
    if (state.completed.empty() && isDead(state))
        failAll(client, state);
    if (state.completed.empty() && (isDead(state) || !wait)) {
        umockdev_ioctl_client_complete(client, -1, isDead(state) ? ENODEV : EAGAIN);
        updateReadiness();
        // The host has dealt with everything, cancellations included (libusb runs a transfer's
        // callback before it reaps again): the chip's latency timers run from here. FTDI's
        // library cancels the transfers queued behind a short one and takes a transfer that
        // completes before it could cancel it for data, status bytes and all.
        for (auto& pending : state.pendingIn)
            serviceIn(client, state, pending.first, false);
        return;
    }
    g_object_ref(arg);
    state.heldReap = arg;
    deliver(client, state);
}

void UsbDeviceNode::updateReadiness()
{
    bool ready = false;
    for (const auto& item : m_clients)
        ready = ready || !item.second.completed.empty() || isDead(item.second);
    m_readiness.setReady(ready);
}

void UsbDeviceNode::deliver(UMockdevIoctlClient* client, Client& state)
{
    if (!state.heldReap || state.completed.empty())
        return;
    const Urb urb = state.completed.front();
    state.completed.pop_front();
    UMockdevIoctlData* arg = state.heldReap;
    state.heldReap = nullptr;
    // The caller's pointer variable gets the address of its URB; the URB and its buffer are
    // written back to the caller's memory with it.
    UMockdevIoctlData* pointer = resolve(arg, 0, sizeof(void*));
    if (pointer) {
        umockdev_ioctl_data_set_ptr(pointer, 0, urb.data);
        g_object_unref(pointer);
    }
    g_object_unref(urb.data);
    g_object_unref(arg);
    umockdev_ioctl_client_complete(client, pointer ? 0 : -1, pointer ? 0 : EFAULT);
    updateReadiness();
}

void UsbDeviceNode::failAll(UMockdevIoctlClient* client, Client& state)
{
    for (auto& pending : state.pendingIn) {
        while (!pending.second.empty()) {
            const Urb urb = pending.second.front();
            pending.second.pop_front();
            usbdevfs_urb* raw = urbOf(urb.data);
            raw->status = -ESHUTDOWN;
            raw->actual_length = 0;
            state.completed.push_back(urb);
        }
    }
    stopTimers(state);
    m_readiness.setReady(true);
    deliver(client, state);
}

void UsbDeviceNode::forget(UMockdevIoctlClient* client, Client& state)
{
    stopTimers(state);
    if (state.heldReap) {
        g_object_unref(state.heldReap);
        state.heldReap = nullptr;
    }
    for (auto& pending : state.pendingIn) {
        for (const Urb& urb : pending.second)
            g_object_unref(urb.data);
    }
    state.pendingIn.clear();
    for (const Urb& urb : state.completed)
        g_object_unref(urb.data);
    state.completed.clear();
    for (int interface : state.claimed)
        m_chip.release(interface, client);
    state.claimed.clear();
}
