#pragma once

#include "EepromSettings.h"
#include "ModelId.h"
#include "USBResult.h"
#include "USBSerialNumber.h"

#include <QString>
#include <QPair>
#include <QVector>

#include <cstdint>
#include <memory>

class USBISocket;

// One USB unit: its chip's identity and the sockets on its channels. Socket 0 is the primary
// socket; the others are secondary, in order.
class USBDevice
{
public:
    USBDevice(uint32_t deviceId, const QString& serialNumber, const QString& description);
    virtual ~USBDevice();

    // Cycles the USB port of every socket and closes it.
    virtual void cycleAllPorts() = 0;
    // Purges both queues of every socket.
    virtual void purgeAll() = 0;
    // Purges both queues of every socket except the primary one.
    virtual void purgeSecondary() = 0;
    virtual void closeAll() = 0;
    virtual QVector<std::shared_ptr<USBISocket>> sockets() const = 0;
    virtual std::shared_ptr<USBISocket> socket(int index) const = 0;
    virtual std::shared_ptr<USBISocket> primarySocket() const = 0;
    virtual QVector<std::shared_ptr<USBISocket>> secondarySockets() const = 0;
    virtual void applyTimeouts() = 0;
    virtual void applyTimeoutsAgain() = 0;
    // Writes identity and link options into the chip's EEPROM. Meant for a device whose sockets
    // are closed: it uses a handle of its own.
    virtual USBResult programEeprom(const EepromSettings& settings) = 0;

    // Vendor id in the high 16 bits, product id in the low 16 bits.
    uint32_t deviceId() const { return m_deviceId; }
    // Without the channel letter of a dual-channel chip.
    QString serialNumber() const { return m_serialNumber; }
    QString description() const { return m_description; }

    USBSerialNumber serial() const { return USBSerialNumber(m_serialNumber); }
    ModelId modelId() const { return serial().modelId(); }
    // A unit of ours: the serial number starts with "QZ", in that case.
    bool isOwnDevice() const
    {
        return m_serialNumber.startsWith(QLatin1String("QZ"), Qt::CaseSensitive);
    }

    // Version words that identification reads from the unit; both 0 until set.
    void setVersionInfo(int first, int second);
    QPair<int, int> versionInfo() const { return qMakePair(m_versionInfo[0], m_versionInfo[1]); }

private:
    uint32_t m_deviceId;
    QString m_serialNumber;
    QString m_description;
    int m_versionInfo[2];
};
