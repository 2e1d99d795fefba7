// The exported C interface. The session lock guards the registry and the numbering: a unit function
// holds it to find its unit and to take its place in that unit's line, then lets it go and runs the
// operation under the unit's own lock, so that different units are served in parallel. Opening a
// unit holds only that unit's opening lock.

#include "KavraLib.h"

#include "KavraDriver_AbstractDevice.h"
#include "KavraDriver_Status.h"
#include "KavraLog.h"
#include "KavraSession.h"
#include "KavraTextBuffer.h"
#include "USBSerialNumber.h"

#include <exception>
#include <optional>

using namespace KavraDriver_Status;

namespace {

// The body shared by the unit functions: find the unit under the index, opening it on first use
// (or again, when its connection was lost and it is back), then run the device operation in the
// unit's line. The device keeps the outcome under the exported function's name.
template <typename Operation>
int withDevice(const char* name, int index, Operation operation) noexcept
{
    try {
        std::shared_ptr<KavraDriver_AbstractDevice> device;
        // In place: a steady call allocates nothing for its turn.
        std::optional<FifoLock::Place> place;
        const int status = KavraSession::deviceForIndex(index, &device, &place);
        if (status != Success)
            return status;
        place->wait();
        const KavraLog::UnitScope unit(device->serialNumber());
        return device->run(name, operation);
    } catch (...) {
        // Nothing may escape into the host: an unexpected C++ failure (memory exhausted).
        return InternalFailure;
    }
}

} // namespace

extern "C" {

int initialiseSession(void)
{
    try {
        KavraSession::release(false);
    } catch (...) { }
    return Success;
}

int closeSession(void)
{
    try {
        KavraSession::release(true);
    } catch (...) { }
    return Success;
}

int getDeviceCount(int* count)
{
    try {
        int n = 0;
        KavraSession::listUnits(&n, nullptr);
        if (count)
            *count = n;
    } catch (...) { }
    return Success;
}

int getHighestDeviceIndex(int* index)
{
    try {
        int highest = 0;
        KavraSession::listUnits(nullptr, &highest);
        if (index)
            *index = highest;
    } catch (...) { }
    return Success;
}

int getDeviceIndex(const char* serialNumber, int* index)
{
    try {
        return KavraSession::findDeviceIndex(serialNumber, index);
    } catch (...) {
        return NoSuchSerialNumber;
    }
}

int setPWMFunction(int index, int channel, int function)
{
    return withDevice(__func__, index, [&](KavraDriver_AbstractDevice& d) {
        return d.setPWMFunction(static_cast<uint32_t>(channel), function);
    });
}

int setPWM(int index, int channel, int duty)
{
    return withDevice(
        __func__, index, [&](KavraDriver_AbstractDevice& d) { return d.setPWM(channel, duty); });
}

int setPWMFrequency(int index, int frequency)
{
    return withDevice(__func__, index,
        [&](KavraDriver_AbstractDevice& d) { return d.setPWMFrequency(frequency); });
}

int setVoltage(int index, int channel, double voltage, double current)
{
    return withDevice(__func__, index,
        [&](KavraDriver_AbstractDevice& d) { return d.setVoltage(channel, voltage, current); });
}

int setAccurateVoltage(int index, int channel, double voltage, double current)
{
    return withDevice(__func__, index, [&](KavraDriver_AbstractDevice& d) {
        return d.setAccurateVoltage(channel, voltage, current);
    });
}

int setVoltageWaveform(
    int index, int channel, int waveform, double level1, double level2, double period)
{
    return withDevice(__func__, index, [&](KavraDriver_AbstractDevice& d) {
        return d.setVoltageWaveform(
            channel, static_cast<uint32_t>(waveform), level1, level2, period);
    });
}

int setPolarity(int index, int channel, int polarity)
{
    return withDevice(__func__, index,
        [&](KavraDriver_AbstractDevice& d) { return d.setPolarity(channel, polarity); });
}

int turnVoltageOn(int index, int channel)
{
    return withDevice(
        __func__, index, [&](KavraDriver_AbstractDevice& d) { return d.turnVoltageOn(channel); });
}

int turnVoltageOff(int index, int channel)
{
    return withDevice(
        __func__, index, [&](KavraDriver_AbstractDevice& d) { return d.turnVoltageOff(channel); });
}

int enableInternalVoltageBus(int index, int value)
{
    return withDevice(__func__, index,
        [&](KavraDriver_AbstractDevice& d) { return d.enableInternalVoltageBus(value); });
}

int disableInternalVoltageBus(int index)
{
    return withDevice(__func__, index,
        [&](KavraDriver_AbstractDevice& d) { return d.disableInternalVoltageBus(); });
}

int getSupplyStatus(int index, bool* flag, char* text)
{
    return withDevice(__func__, index,
        [&](KavraDriver_AbstractDevice& d) { return d.getSupplyStatus(flag, text); });
}

int getChannelStatus(int index, int channel, bool* first, bool* second)
{
    return withDevice(__func__, index,
        [&](KavraDriver_AbstractDevice& d) { return d.getChannelStatus(channel, first, second); });
}

int getChannelCurrent(int index, int channel, double* current)
{
    return withDevice(__func__, index,
        [&](KavraDriver_AbstractDevice& d) { return d.getChannelCurrent(channel, current); });
}

int clearError(int index)
{
    return withDevice(
        __func__, index, [&](KavraDriver_AbstractDevice& d) { return d.clearError(); });
}

int getADCValue(int index, double* value)
{
    return withDevice(
        __func__, index, [&](KavraDriver_AbstractDevice& d) { return d.getADCValue(value); });
}

int getDeviceSerialNumber(int index, char* buffer, int bufferSize)
{
    try {
        const QString serial = KavraSession::serialNumberForIndex(index);
        if (serial.isEmpty())
            return IndexOutOfRange;
        return KavraTextBuffer::copy(
            USBSerialNumber(serial).fullText().toLatin1(), buffer, bufferSize);
    } catch (...) {
        return InternalFailure;
    }
}

int getLastErrorText(int index, char* buffer, int bufferSize)
{
    try {
        if (KavraSession::serialNumberForIndex(index).isEmpty())
            return IndexOutOfRange;
        const std::shared_ptr<KavraDriver_AbstractDevice> device
            = KavraSession::registeredDevice(index);
        // A unit never opened has no operation behind it yet: its text is empty.
        return KavraTextBuffer::copy(
            device ? device->lastErrorText().toUtf8() : QByteArray(), buffer, bufferSize);
    } catch (...) {
        return InternalFailure;
    }
}

int getLibraryVersion(char* buffer, int bufferSize)
{
    return KavraTextBuffer::copy(QByteArrayLiteral(KAVRA_VERSION), buffer, bufferSize);
}

} // extern "C"
