#include "KavraDriver_Rowan_Device.h"

#include "KavraDriver_Rowan_CommRequest.h"
#include "KavraDriver_Rowan_Voltage.h"
#include "KavraDriver_Status.h"

#include <memory>

using namespace KavraDriver_Status;

KavraDriver_Rowan_Device::KavraDriver_Rowan_Device(const KavraModel* model)
    : KavraDriver_AbstractDevice(model)
{ }

KavraDriver_Rowan_Device::~KavraDriver_Rowan_Device() = default;

int KavraDriver_Rowan_Device::getADCValue(double* value)
{
    const auto request = std::make_shared<KavraDriver_Rowan_CommRequest>(ReadConverter);
    if (!send(request).isSuccess())
        return StatusReadFailed;
    const KavraDriver_Rowan_Voltage reading(request->replyData());
    if (value)
        *value = reading.value();
    return Success;
}

int KavraDriver_Rowan_Device::clearError()
{
    return Success;
}

int KavraDriver_Rowan_Device::initialiseDevice()
{
    return Success;
}
