#include "FtdiReceiver.h"

#include <algorithm>
#include <chrono>

namespace {

// A cancelled transfer normally ends at once; a device that vanished may take its time.
constexpr auto kStopWait = std::chrono::seconds(2);
constexpr std::size_t kLargestTransfer = 0x10000;

} // namespace

FtdiReceiver::FtdiReceiver(libusb_device_handle* usb, unsigned char endpoint, int packetSize)
    : m_usb(usb)
    , m_endpoint(endpoint)
    , m_packetSize(std::max(packetSize, 8))
    , m_buffer(kLargestTransfer)
    , m_transfer(libusb_alloc_transfer(0))
{ }

FtdiReceiver::~FtdiReceiver()
{
    libusb_free_transfer(m_transfer);
}

bool FtdiReceiver::start()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_transfer)
        return false;
    libusb_fill_bulk_transfer(
        m_transfer, m_usb, m_endpoint, m_buffer.data(), m_transferSize, completed, this, 0);
    m_pending = libusb_submit_transfer(m_transfer) == 0;
    return m_pending;
}

bool FtdiReceiver::stop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopping = true;
    if (m_pending)
        libusb_cancel_transfer(m_transfer);
    return m_changed.wait_for(lock, kStopWait, [this] { return !m_pending; });
}

void LIBUSB_CALL FtdiReceiver::completed(libusb_transfer* transfer)
{
    auto* self = static_cast<FtdiReceiver*>(transfer->user_data);
    std::lock_guard<std::mutex> lock(self->m_mutex);
    if (transfer->status == LIBUSB_TRANSFER_COMPLETED)
        self->take(*transfer);
    else if (transfer->status != LIBUSB_TRANSFER_CANCELLED)
        self->m_gone = true;
    if (!self->m_stopping && !self->m_gone) {
        transfer->length = self->m_transferSize;
        if (libusb_submit_transfer(transfer) == 0)
            return;
        self->m_gone = true;
    }
    self->m_pending = false;
    self->m_changed.notify_all();
}

void FtdiReceiver::take(const libusb_transfer& transfer)
{
    // Every packet starts with the modem and line status; a packet of just those carries no data.
    const std::size_t before = m_queue.size();
    for (int at = 0; at + 2 <= transfer.actual_length; at += m_packetSize) {
        const int end = std::min(at + m_packetSize, transfer.actual_length);
        m_lineStatus = uint16_t(m_buffer[std::size_t(at)] | m_buffer[std::size_t(at) + 1] << 8);
        m_queue.insert(m_queue.end(), m_buffer.begin() + at + 2, m_buffer.begin() + end);
    }
    if (m_queue.size() != before)
        m_changed.notify_all();
}

FT_STATUS FtdiReceiver::read(void* buffer, DWORD count, DWORD* returned, ULONG timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto enough = [&] { return m_queue.size() >= count || m_gone; };
    if (timeoutMs == 0)
        m_changed.wait(lock, enough);
    else
        m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), enough);
    const DWORD taken = DWORD(std::min<std::size_t>(count, m_queue.size()));
    std::copy_n(m_queue.begin(), taken, static_cast<unsigned char*>(buffer));
    m_queue.erase(m_queue.begin(), m_queue.begin() + taken);
    *returned = taken;
    return taken < count && m_gone ? FT_IO_ERROR : FT_OK;
}

DWORD FtdiReceiver::queued() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return DWORD(m_queue.size());
}

void FtdiReceiver::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
}

void FtdiReceiver::setTransferSize(ULONG size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_transferSize = int(std::clamp<ULONG>(size / 64 * 64, 64, ULONG(kLargestTransfer)));
}

bool FtdiReceiver::isGone() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_gone;
}

uint16_t FtdiReceiver::lineStatus() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lineStatus;
}
