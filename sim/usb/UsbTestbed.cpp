#include "UsbTestbed.h"

#include "SimBench.h"
#include "SimChip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

// usbfs device nodes have major number 189; the minor is (bus - 1) * 128 + device - 1.
constexpr int kUsbDeviceMajor = 189;

} // namespace

UsbTestbed::UsbTestbed() : m_testbed(umockdev_testbed_new())
{
    const std::vector<std::shared_ptr<SimChip>> chips = SimBench::instance().withChips(
        [](const std::vector<std::shared_ptr<SimChip>>& all) { return all; });
    // The root hub, device 1 of bus 1, with a port for every chip and its hub interface 1-0:1.0.
    const QByteArray hub = UsbDescriptors::rootHub();
    Attributes attributes = descriptorAttributes(hub);
    attributes << qMakePair(QByteArray("busnum"), QByteArray("1"))
               << qMakePair(QByteArray("devnum"), QByteArray("1"))
               << qMakePair(QByteArray("devpath"), QByteArray("0"))
               << qMakePair(QByteArray("speed"), QByteArray("480"))
               << qMakePair(QByteArray("maxchild"), QByteArray::number(int(chips.size())))
               << qMakePair(QByteArray("manufacturer"), QByteArray("Linux kavra-usbbench"))
               << qMakePair(QByteArray("product"), QByteArray("EHCI Host Controller"))
               << qMakePair(QByteArray("serial"), QByteArray("kavra-usbbench"));
    m_rootHubPath = addEntry("usb1", QString(), attributes,
        {{"DEVTYPE", "usb_device"}, {"BUSNUM", "001"}, {"DEVNUM", "001"}}, hub);
    addEntry("1-0:1.0", m_rootHubPath,
        {{"bInterfaceNumber", "00"}, {"bAlternateSetting", " 0"}, {"bNumEndpoints", "01"},
            {"bInterfaceClass", "09"}, {"bInterfaceSubClass", "00"}, {"bInterfaceProtocol", "00"}},
        {{"DEVTYPE", "usb_interface"}, {"INTERFACE", "9/0/0"}});
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

QString UsbTestbed::addEntry(const QByteArray& name, const QString& parent,
    const Attributes& attributes, const Attributes& properties, const QByteArray& descriptors)
{
    std::vector<QByteArray> texts;
    for (const auto& attribute : attributes) {
        texts.push_back(attribute.first);
        texts.push_back(attribute.second + '\n');
    }
    const std::size_t attributeCount = texts.size();
    for (const auto& property : properties) {
        texts.push_back(property.first);
        texts.push_back(property.second);
    }
    std::vector<gchar*> attributeArray;
    std::vector<gchar*> propertyArray;
    for (std::size_t i = 0; i < texts.size(); ++i)
        (i < attributeCount ? attributeArray : propertyArray).push_back(texts[i].data());
    attributeArray.push_back(nullptr);
    propertyArray.push_back(nullptr);
    // umockdev checks a parent's directory outside the testbed; a relative name nests the entry
    // under its parent all the same.
    const QByteArray relative = parent.isEmpty()
        ? name
        : parent.mid(int(std::strlen("/sys/devices/"))).toLocal8Bit() + '/' + name;
    gchar* path = umockdev_testbed_add_devicev(m_testbed, "usb", relative.constData(), nullptr,
        attributeArray.data(), propertyArray.data());
    if (!descriptors.isEmpty()) {
        QByteArray bytes = descriptors;
        umockdev_testbed_set_attribute_binary(
            m_testbed, path, "descriptors", reinterpret_cast<guint8*>(bytes.data()), bytes.size());
    }
    const QString result = QString::fromLocal8Bit(path);
    g_free(path);
    return result;
}

UsbTestbed::Attributes UsbTestbed::descriptorAttributes(const QByteArray& descriptors)
{
    const auto byte = [&](int at) { return uint8_t(descriptors.at(at)); };
    const auto word = [&](int at) { return uint16_t(byte(at) | byte(at + 1) << 8); };
    const auto hex = [](int value, int width) {
        return QByteArray::number(value, 16).rightJustified(width, '0');
    };
    // The kernel's formats: "%02x" for classes, "%2d" for the interface count, "%2x.%02x" for
    // the USB version; the configuration's string is empty on these devices.
    return {{"idVendor", hex(word(8), 4)}, {"idProduct", hex(word(10), 4)},
        {"bcdDevice", hex(word(12), 4)}, {"bDeviceClass", hex(byte(4), 2)},
        {"bDeviceSubClass", hex(byte(5), 2)}, {"bDeviceProtocol", hex(byte(6), 2)},
        {"bMaxPacketSize0", QByteArray::number(byte(7))},
        {"bNumConfigurations", QByteArray::number(byte(17))},
        {"version", QByteArray::number(byte(3), 16).rightJustified(2, ' ') + '.' + hex(byte(2), 2)},
        {"bNumInterfaces", QByteArray::number(byte(18 + 4)).rightJustified(2, ' ')},
        {"bConfigurationValue", QByteArray::number(byte(18 + 5))},
        {"bmAttributes", QByteArray::number(byte(18 + 7), 16).rightJustified(2, ' ')},
        {"bMaxPower", QByteArray::number(byte(18 + 8) * 2) + "mA"}, {"configuration", ""},
        {"rx_lanes", "1"}, {"tx_lanes", "1"}, {"removable", "unknown"}, {"authorized", "1"}};
}

void UsbTestbed::addSysfsEntry(Device& device)
{
    UsbFtdiChip& chip = *device.chip;
    const QByteArray name = "1-" + QByteArray::number(chip.port());
    const QByteArray devnum = QByteArray::number(chip.deviceNumber());
    const QByteArray devName = "/dev/bus/usb/001/" + devnum.rightJustified(3, '0');
    const QByteArray descriptors = chip.descriptors();
    Attributes attributes = descriptorAttributes(descriptors);
    attributes << qMakePair(QByteArray("busnum"), QByteArray("1"))
               << qMakePair(QByteArray("devnum"), devnum)
               << qMakePair(QByteArray("dev"),
                      QByteArray::number(kUsbDeviceMajor) + ':'
                          + QByteArray::number(chip.deviceNumber() - 1))
               << qMakePair(QByteArray("devpath"), QByteArray::number(chip.port()))
               << qMakePair(QByteArray("speed"),
                      QByteArray(UsbDescriptors::isHighSpeed(chip.chipType()) ? "480" : "12"))
               << qMakePair(QByteArray("maxchild"), QByteArray("0"))
               << qMakePair(QByteArray("manufacturer"), chip.manufacturer().toUtf8())
               << qMakePair(QByteArray("product"), chip.product().toUtf8());
    if (!chip.serial().isEmpty())
        attributes << qMakePair(QByteArray("serial"), chip.serial().toUtf8());
    device.sysPath = addEntry(name, m_rootHubPath, attributes,
        {{"DEVNAME", devName}, {"DEVTYPE", "usb_device"}, {"BUSNUM", "001"},
            {"DEVNUM", devnum.rightJustified(3, '0')}},
        descriptors);
    // One vendor-specific interface per channel, two bulk endpoints each, named by the product
    // string (iInterface).
    for (int i = 0; i < chip.interfaceCount(); ++i) {
        const QByteArray number = QByteArray::number(i, 16).rightJustified(2, '0');
        device.interfacePaths.append(addEntry(name + ":1." + QByteArray::number(i), device.sysPath,
            {{"bInterfaceNumber", number}, {"bAlternateSetting", " 0"}, {"bNumEndpoints", "02"},
                {"bInterfaceClass", "ff"}, {"bInterfaceSubClass", "ff"},
                {"bInterfaceProtocol", "ff"}, {"interface", chip.product().toUtf8()}},
            {{"DEVTYPE", "usb_interface"}, {"INTERFACE", "255/255/255"}}));
    }
}

void UsbTestbed::refreshPresence()
{
    for (Device& device : m_devices) {
        const bool plugged = device.chip->isPlugged();
        if (plugged == !device.sysPath.isEmpty())
            continue;
        if (!plugged) {
            for (const QString& interface : device.interfacePaths)
                umockdev_testbed_remove_device(m_testbed, interface.toLocal8Bit().constData());
            device.interfacePaths.clear();
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
