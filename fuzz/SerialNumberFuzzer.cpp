// Serial-number texts, as the device list and identification pages carry them.
//
// Input: byte 0 even: the rest is Latin-1 text; odd: the rest is UTF-16 text.
#include "QuietMessages.h"
#include "USBSerialNumber.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool sameNumbers(const USBSerialNumber& a, const USBSerialNumber& b)
{
    return a.flowCode() == b.flowCode() && a.variantCode() == b.variantCode()
        && a.product() == b.product() && a.revision() == b.revision();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const int length = static_cast<int>(size - 1);
    QString input;
    if ((data[0] & 1) == 0) {
        input = QString::fromLatin1(text, length);
    } else {
        // Copied, not cast: the fuzz bytes need not be aligned for 16-bit units.
        input = QString(length / 2, Qt::Uninitialized);
        std::memcpy(input.data(), text, static_cast<size_t>(length / 2) * sizeof(QChar));
    }
    const USBSerialNumber serial(input);
    if (!serial.isValid()) {
        if (!serial.shortText().isEmpty() || !serial.fullText().isEmpty())
            std::abort();
        return 0;
    }

    // The texts a valid serial number gives read back as the same serial number.
    if (serial.shortText().size() != 9 || serial.fullText().size() != 13)
        std::abort();
    const USBSerialNumber shortForm(serial.shortText());
    const USBSerialNumber fullForm(serial.fullText());
    if (!shortForm.isValid() || !fullForm.isValid() || !sameNumbers(serial, shortForm)
        || !sameNumbers(serial, fullForm) || fullForm.unitNumber() != serial.unitNumber()
        || fullForm.isUnnumbered() != serial.isUnnumbered()
        || fullForm.fullText() != serial.fullText())
        std::abort();
    return 0;
}
