// The exported C interface. The session lock guards the registry: a unit function holds it to find
// or open its unit and to take its place in that unit's line, then lets it go and runs the
// operation under the unit's own lock, so that different units are served in parallel.

#include "KavraLib.h"

#include "KavraDeviceDiscovery.h"
#include "KavraDriver_AbstractDevice.h"
#include "KavraDriver_Status.h"
#include "KavraSession.h"
#include "KavraTextBuffer.h"

#include <exception>
#include <mutex>

using namespace KavraDriver_Status;

namespace {

using SessionLocker = std::lock_guard<std::mutex>;

// The body shared by the unit functions: look the index up, open the unit when it is not
// registered yet (or again, when its connection was lost and it is back), then run the device
// operation in the unit's line.
template <typename Operation> int withDevice(int index, Operation operation) noexcept
{
    try {
        std::shared_ptr<KavraDriver_AbstractDevice> device;
        std::unique_ptr<FifoLock::Place> place;
        {
            SessionLocker locker(KavraSession::mutex());
            // Once the process exits, no unit can be reached any more.
            if (KavraSession::isClosedForExit())
                return ConnectionFailed;
            device = KavraSession::device(index);
            if (!device) {
                const int status = KavraDeviceDiscovery::openDeviceForIndex(index);
                if (status != Success)
                    return status;
                device = KavraSession::device(index);
            } else if (device->isConnectionLost() && KavraDeviceDiscovery::reopenDevice(index)) {
                // Back under its index. A unit still away keeps its closed connection instead:
                // the operation then fails at once with its own code, without waiting for anything.
                device = KavraSession::device(index);
            }
            if (!device)
                return IndexOutOfRange;
            place = std::make_unique<FifoLock::Place>(device->callLock());
        }
        place->wait();
        return operation(*device);
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
        SessionLocker locker(KavraSession::mutex());
        // Released while the lock is held: a unit whose last reference this was closes here.
        KavraSession::releaseAll(false);
    } catch (...) { }
    return Success;
}

int closeSession(void)
{
    try {
        SessionLocker locker(KavraSession::mutex());
        // The snapshot keeps every device alive while they are closed in ascending index order.
        KavraSession::releaseAll(true);
    } catch (...) { }
    return Success;
}

int getDeviceCount(int* count)
{
    try {
        SessionLocker locker(KavraSession::mutex());
        const int n
            = KavraSession::isClosedForExit() ? 0 : KavraDeviceDiscovery::supportedDeviceCount();
        if (count)
            *count = n;
    } catch (...) { }
    return Success;
}

int getDeviceIndex(const char* serialNumber, int* index)
{
    try {
        SessionLocker locker(KavraSession::mutex());
        if (KavraSession::isClosedForExit()) {
            if (index)
                *index = -1;
            return NoSuchSerialNumber;
        }
        return KavraDeviceDiscovery::findDeviceIndex(serialNumber, index);
    } catch (...) {
        return NoSuchSerialNumber;
    }
}

int setPWMFunction(int index, int channel, int function)
{
    return withDevice(index, [&](KavraDriver_AbstractDevice& d) {
        return d.setPWMFunction(static_cast<uint32_t>(channel), function);
    });
}

int setPWM(int index, int channel, int duty)
{
    return withDevice(
        index, [&](KavraDriver_AbstractDevice& d) { return d.setPWM(channel, duty); });
}

int setPWMFrequency(int index, int frequency)
{
    return withDevice(
        index, [&](KavraDriver_AbstractDevice& d) { return d.setPWMFrequency(frequency); });
}

int setVoltage(int index, int channel, double voltage, double current)
{
    return withDevice(index,
        [&](KavraDriver_AbstractDevice& d) { return d.setVoltage(channel, voltage, current); });
}

int setAccurateVoltage(int index, int channel, double voltage, double current)
{
    return withDevice(index, [&](KavraDriver_AbstractDevice& d) {
        return d.setAccurateVoltage(channel, voltage, current);
    });
}

int setVoltageWaveform(
    int index, int channel, int waveform, double level1, double level2, double period)
{
    return withDevice(index, [&](KavraDriver_AbstractDevice& d) {
        return d.setVoltageWaveform(
            channel, static_cast<uint32_t>(waveform), level1, level2, period);
    });
}

int setPolarity(int index, int channel, int polarity)
{
    return withDevice(
        index, [&](KavraDriver_AbstractDevice& d) { return d.setPolarity(channel, polarity); });
}

int turnVoltageOn(int index, int channel)
{
    return withDevice(
        index, [&](KavraDriver_AbstractDevice& d) { return d.turnVoltageOn(channel); });
}

int turnVoltageOff(int index, int channel)
{
    return withDevice(
        index, [&](KavraDriver_AbstractDevice& d) { return d.turnVoltageOff(channel); });
}

int enableInternalVoltageBus(int index, int value)
{
    return withDevice(
        index, [&](KavraDriver_AbstractDevice& d) { return d.enableInternalVoltageBus(value); });
}

int disableInternalVoltageBus(int index)
{
    return withDevice(
        index, [&](KavraDriver_AbstractDevice& d) { return d.disableInternalVoltageBus(); });
}

int getSupplyStatus(int index, bool* flag, char* text)
{
    return withDevice(
        index, [&](KavraDriver_AbstractDevice& d) { return d.getSupplyStatus(flag, text); });
}

int getChannelStatus(int index, int channel, bool* first, bool* second)
{
    return withDevice(index,
        [&](KavraDriver_AbstractDevice& d) { return d.getChannelStatus(channel, first, second); });
}

int getChannelCurrent(int index, int channel, double* current)
{
    return withDevice(index,
        [&](KavraDriver_AbstractDevice& d) { return d.getChannelCurrent(channel, current); });
}

int clearError(int index)
{
    return withDevice(index, [&](KavraDriver_AbstractDevice& d) { return d.clearError(); });
}

int getADCValue(int index, double* value)
{
    return withDevice(index, [&](KavraDriver_AbstractDevice& d) { return d.getADCValue(value); });
}

int getDeviceSerialNumber(int index, char* buffer, int bufferSize)
{
    try {
        SessionLocker locker(KavraSession::mutex());
        if (KavraSession::isClosedForExit())
            return IndexOutOfRange;
        const QString serial = KavraDeviceDiscovery::serialNumberForIndex(index);
        if (serial.isEmpty())
            return IndexOutOfRange;
        return KavraTextBuffer::copy(serial.toLatin1(), buffer, bufferSize);
    } catch (...) {
        return InternalFailure;
    }
}

int getLibraryVersion(char* buffer, int bufferSize)
{
    return KavraTextBuffer::copy(QByteArrayLiteral(KAVRA_VERSION), buffer, bufferSize);
}

} // extern "C"
