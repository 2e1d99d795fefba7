#pragma once

#include "UsbDeviceNode.h"
#include "UsbFtdiChip.h"

#include <umockdev.h>

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The umockdev testbed in which the bench's chips appear as USB devices on bus 1, behind its root
// hub: sysfs entries for the devices and their interfaces with the attributes and descriptors
// that libusb and lsusb read, written as the kernel writes them, and a device node whose ioctls a
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
        QStringList interfacePaths;
    };
    using Attributes = QList<QPair<QByteArray, QByteArray>>;

    void addSysfsEntry(Device& device);
    // Adds a sysfs entry of the usb subsystem; every attribute ends with a newline.
    QString addEntry(const QByteArray& name, const QString& parent, const Attributes& attributes,
        const Attributes& properties, const QByteArray& descriptors = QByteArray());
    // The attributes a device's descriptors determine (class, ids, power, interface count, ...).
    static Attributes descriptorAttributes(const QByteArray& descriptors);

    UMockdevTestbed* m_testbed;
    QString m_rootHubPath;
    std::vector<Device> m_devices;
};
