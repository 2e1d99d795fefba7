#include "UsbTestbed.h"

#include "SimBench.h"
#include "SimChip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// usbfs device nodes have major number 189; the minor is (bus - 1) * 128 + device - 1.
constexpr int kUsbDeviceMajor = 189;

QByteArray hex4(int value)
{
    return QByteArray::number(value, 16).rightJustified(4, '0');
}

} // namespace

UsbTestbed::UsbTestbed() : m_testbed(umockdev_testbed_new())
{
    const std::vector<std::shared_ptr<SimChip>> chips = SimBench::instance().withChips(
        [](const std::vector<std::shared_ptr<SimChip>>& all) { return all; });
    int port = 1;
    for (const std::shared_ptr<SimChip>& chip : chips) {
        Device device;
        device.chip = std::make_unique<UsbFtdiChip>(chip, port++);
        const QByteArray node = QStringLiteral("/dev/bus/usb/001/%1")
                                    .arg(device.chip->deviceNumber(), 3, 10, QLatin1Char('0'))
                                    .toLatin1();
        // umockdev makes no file for a USB device node; the node makes its own.
        const QString file = rootDirectory() + QString::fromLatin1(node);
        QDir().mkpath(QFileInfo(file).absolutePath());
        device.node = std::make_unique<UsbDeviceNode>(*device.chip, file);
        GError* error = nullptr;
        umockdev_testbed_attach_ioctl(m_testbed, node.constData(), device.node->handler(), &error);
        if (error) {
            qWarning("kavra-usbbench: cannot attach %s: %s", node.constData(), error->message);
            g_error_free(error);
        }
        if (device.chip->isPlugged())
            addSysfsEntry(device);
        m_devices.push_back(std::move(device));
    }
}

UsbTestbed::~UsbTestbed()
{
    m_devices.clear();
    g_object_unref(m_testbed);
}

QString UsbTestbed::rootDirectory() const
{
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    const QString path = QString::fromLocal8Bit(root);
    g_free(root);
    return path;
}

void UsbTestbed::addSysfsEntry(Device& device)
{
    UsbFtdiChip& chip = *device.chip;
    const QByteArray name = "1-" + QByteArray::number(chip.port());
    const QByteArray devnum = QByteArray::number(chip.deviceNumber());
    const QByteArray dev
        = QByteArray::number(kUsbDeviceMajor) + ':' + QByteArray::number(chip.deviceNumber() - 1);
    const QByteArray devName = "/dev/bus/usb/001/" + devnum.rightJustified(3, '0');
    const QByteArray speed = UsbDescriptors::isHighSpeed(chip.chipType()) ? "480" : "12";
    const QByteArray port = QByteArray::number(chip.port());
    const QByteArray vendor = hex4(chip.vendorId());
    const QByteArray product = hex4(chip.productId());
    const QByteArray release = hex4(UsbDescriptors::release(chip.chipType()));
    const QByteArray manufacturer = chip.manufacturer().toUtf8();
    const QByteArray productText = chip.product().toUtf8();
    const QByteArray serial = chip.serial().toUtf8();
    gchar* path = umockdev_testbed_add_device(m_testbed, "usb", name.constData(), nullptr, "busnum",
        "1", "devnum", devnum.constData(), "dev", dev.constData(), "devpath", port.constData(),
        "idVendor", vendor.constData(), "idProduct", product.constData(), "bcdDevice",
        release.constData(), "speed", speed.constData(), "bConfigurationValue", "1",
        "bNumConfigurations", "1", "manufacturer", manufacturer.constData(), "product",
        productText.constData(), "serial", serial.constData(), nullptr, "DEVNAME",
        devName.constData(), "DEVTYPE", "usb_device", "BUSNUM", "001", "DEVNUM",
        devnum.rightJustified(3, '0').constData(), nullptr);
    device.sysPath = QString::fromLocal8Bit(path);
    QByteArray descriptors = chip.descriptors();
    umockdev_testbed_set_attribute_binary(m_testbed, path, "descriptors",
        reinterpret_cast<guint8*>(descriptors.data()), descriptors.size());
    g_free(path);
}

void UsbTestbed::refreshPresence()
{
    for (Device& device : m_devices) {
        const bool plugged = device.chip->isPlugged();
        if (plugged == !device.sysPath.isEmpty())
            continue;
        if (!plugged) {
            umockdev_testbed_remove_device(m_testbed, device.sysPath.toLocal8Bit().constData());
            device.sysPath.clear();
            // The node stays: without hot-plug events (umockdev delivers them only in libudev's
            // format, which FTDI's libusb ignores) a USB library that fails to open a node
            // forgets the device for good, and would never see it come back. Its requests
            // answer ENODEV meanwhile, as a removed device's do.
            device.node->restoreFile();
            continue;
        }
        device.chip->enumerate();
        addSysfsEntry(device);
    }
}

UsbFtdiChip* UsbTestbed::chipBySerial(const QString& serial) const
{
    for (const Device& device : m_devices) {
        if (!serial.isEmpty()
            && (device.chip->simChip()->benchSerial() == serial || device.chip->serial() == serial))
            return device.chip.get();
    }
    return nullptr;
}
