#include "KavraDriver_Birch_Device.h"

#include "KavraDriver_Birch_CommRequest.h"
#include "KavraDriver_Birch_Voltage.h"
#include "KavraDriver_Status.h"

#include <memory>

using namespace KavraDriver_Status;

namespace {
constexpr double SecondLimit = 2500.0;
} // namespace

KavraDriver_Birch_Device::KavraDriver_Birch_Device(const KavraModel* model)
    : KavraDriver_AbstractDevice(model)
{ }

KavraDriver_Birch_Device::~KavraDriver_Birch_Device() = default;

int KavraDriver_Birch_Device::setAccurateVoltage(int channel, double voltage, double second)
{
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    // Written so that NaN fails as well.
    if (!(voltage >= 0.0 && voltage <= HighestVoltage)
        || !(second >= -SecondLimit && second <= SecondLimit))
        return VoltageOutOfRange;

    KavraDriver_Birch_Voltage record;
    record.setValue(KavraDriver_Birch_Voltage::Voltage, voltage);
    record.setValue(KavraDriver_Birch_Voltage::Second, second);
    const auto request = std::make_shared<KavraDriver_Birch_CommRequest>(SetOutput);
    request->setPayload(record.encode());
    return send(request).isSuccess() ? Success : VoltageFailed;
}

int KavraDriver_Birch_Device::turnVoltageOff(int channel)
{
    return setAccurateVoltage(channel, 0.0, 0.0);
}

int KavraDriver_Birch_Device::clearError()
{
    return Success;
}

int KavraDriver_Birch_Device::initialiseDevice()
{
    return Success;
}
