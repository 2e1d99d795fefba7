#pragma once

#include "FtdiEepromImage.h"
#include "UsbDescriptors.h"

#include "FtdiD2xx.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>
#include <QVector>

#include <memory>
#include <mutex>

class SimChip;

// One emulated FTDI chip as its USB device: the descriptors, the FTDI vendor requests, the bulk
// endpoints with the two status bytes in every packet, and the EEPROM word by word. Behind it is
// the D2XX bench's chip with its unit: a claimed interface holds a bench handle on that channel,
// so the unit's firmware, faults, wire log and recorded link settings are the bench's own.
// Thread-safe.
class UsbFtdiChip
{
public:
    struct Setup
    {
        uint8_t requestType;
        uint8_t request;
        uint16_t value;
        uint16_t index;
        uint16_t length;
    };
    enum class Outcome { Done, Stall, NoDevice };

    // The chip at a port of the emulated bus (device number port + 1).
    UsbFtdiChip(std::shared_ptr<SimChip> chip, int port);
    ~UsbFtdiChip();
    UsbFtdiChip(const UsbFtdiChip&) = delete;
    UsbFtdiChip& operator=(const UsbFtdiChip&) = delete;

    uint32_t chipType() const { return m_chipType; }
    int port() const { return m_port; }
    int deviceNumber() const { return m_port + 1; }
    int interfaceCount() const { return UsbDescriptors::interfaceCount(m_chipType); }
    const std::shared_ptr<SimChip>& simChip() const { return m_chip; }

    // Whether the chip is plugged in, and its enumeration: a client that opened the device in an
    // earlier one (before an unplug or a port reset) talks to a device that is gone.
    bool isPlugged() const;
    uint64_t generation() const;

    // Reads the EEPROM anew for the next enumeration (after a re-plug or port reset).
    void enumerate();
    // A port reset (USBDEVFS_RESET): the chip enumerates again; when its descriptors changed it
    // comes back as a new device and whatever was open on it is gone.
    void resetPort();
    // The device and configuration descriptors, as sysfs "descriptors" holds them.
    QByteArray descriptors() const;
    QString manufacturer() const;
    QString product() const;
    QString serial() const;
    uint16_t vendorId() const;
    uint16_t productId() const;

    // Claims an interface for an owner (a client of the device node); errno values: 0, EBUSY
    // (claimed by another owner or the open failed), ENODEV, EINVAL. A claim from before an
    // unplug or port reset no longer counts.
    int claim(int interface, const void* owner);
    // Releases the owner's claim; another owner's claim stays.
    void release(int interface, const void* owner);

    Outcome control(const Setup& setup, QByteArray* data);
    // The URB status of a bulk OUT transfer: 0, -EPIPE (the write failed), -ENODEV.
    int bulkOut(int endpoint, const QByteArray& bytes);
    // The chip's next bulk IN transfer of at most maxLength bytes on an endpoint: packets of at
    // most the maximum packet size, each starting with the two status bytes. Empty while less
    // than a full packet waits and the latency timer has not expired. status gets the URB status.
    QByteArray bulkIn(int endpoint, int maxLength, bool latencyExpired, int* status);
    int latencyMs(int endpoint) const;
    // When the chip next has bytes for the host on an IN endpoint: 0 when some wait now, else
    // the microseconds until the next reach it (the bench's link model schedules them), -1 when
    // none are on their way.
    int64_t usUntilData(int endpoint) const;

    // The EEPROM's words as the chip holds them now.
    QVector<uint16_t> eepromWords() const;

    // The vendor requests received since the last call, as "40 03 0006 0000" lines (request
    // type, request, value, index) with the data of OUT requests appended.
    QJsonArray takeRequestLog();

private:
    struct Channel
    {
        FT_HANDLE handle = nullptr;
        const void* owner = nullptr;
        int latencyMs = 16;
        uint8_t bitMode = 0;
        bool breakOn = false;
    };

    static int interfaceOfPort(uint16_t index);
    Outcome vendorRequest(const Setup& setup, QByteArray* data);
    Outcome standardRequest(const Setup& setup, QByteArray* data);
    // Keeps the D2XX bench's EEPROM in step with a complete image.
    void storeImage();
    UsbDescriptors::Identity identity() const;
    uint8_t modemStatus(int interface) const;

    mutable std::mutex m_mutex;
    std::shared_ptr<SimChip> m_chip;
    const int m_port;
    const uint32_t m_chipType;
    FtdiEepromImage m_image;
    // What the chip read from its EEPROM when it last enumerated.
    FtdiEepromImage::Fields m_enumerated;
    bool m_enumeratedValid = false;
    QVector<Channel> m_channels;
    QJsonArray m_requestLog;
};
