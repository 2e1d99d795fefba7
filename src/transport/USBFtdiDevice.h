#pragma once

#include "DeviceListRecord.h"
#include "USBDevice.h"

// A unit behind one FTDI chip, with one socket per usable channel: a single-channel chip has one
// direct socket; a dual-channel FT2232H has channel B's direct socket (UART) first, then channel
// A's buffered socket (FIFO).
class USBFtdiDevice : public USBDevice
{
public:
    USBFtdiDevice(uint32_t deviceId, const QString& serialNumber, const QString& description,
        const QVector<std::shared_ptr<USBISocket>>& sockets);
    ~USBFtdiDevice() override;

    // The device of one chip from its device-list records (one, or two for an FT2232H), or null
    // when the records do not make a usable chip.
    static std::shared_ptr<USBFtdiDevice> fromRecords(const QVector<DeviceListRecord>& records);

    void cycleAllPorts() override;
    void purgeAll() override;
    void purgeSecondary() override;
    void closeAll() override;
    QVector<std::shared_ptr<USBISocket>> sockets() const override;
    std::shared_ptr<USBISocket> socket(int index) const override;
    std::shared_ptr<USBISocket> primarySocket() const override;
    QVector<std::shared_ptr<USBISocket>> secondarySockets() const override;
    void applyTimeouts() override;
    void applyTimeoutsAgain() override;
    USBResult programEeprom(const EepromSettings& settings) override;
    // A copy that shares the sockets.
    virtual std::shared_ptr<USBFtdiDevice> clone() const;

private:
    QVector<std::shared_ptr<USBISocket>> m_sockets;
};
