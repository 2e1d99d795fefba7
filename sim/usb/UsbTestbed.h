#pragma once

#include "UsbDeviceNode.h"
#include "UsbFtdiChip.h"

#include <umockdev.h>

#include <QString>

#include <memory>
#include <vector>

// The umockdev testbed in which the bench's chips appear as USB devices on bus 1: a sysfs entry
// with the attributes and descriptors libusb reads, and a device node whose ioctls a
// UsbDeviceNode answers. Programs started with its environment see those devices instead of the
// machine's.
class UsbTestbed
{
public:
    // One device per chip of the D2XX bench, in bench order.
    UsbTestbed();
    ~UsbTestbed();
    UsbTestbed(const UsbTestbed&) = delete;
    UsbTestbed& operator=(const UsbTestbed&) = delete;

    QString rootDirectory() const;
    // Shows or hides the sysfs entries of chips that were plugged in or unplugged since, each
    // re-plugged chip enumerating with what its EEPROM holds now.
    void refreshPresence();
    // The chip whose bench entry or USB serial number is this serial number.
    UsbFtdiChip* chipBySerial(const QString& serial) const;

private:
    struct Device
    {
        std::unique_ptr<UsbFtdiChip> chip;
        std::unique_ptr<UsbDeviceNode> node;
        QString sysPath;
    };

    void addSysfsEntry(Device& device);

    UMockdevTestbed* m_testbed;
    std::vector<Device> m_devices;
};
