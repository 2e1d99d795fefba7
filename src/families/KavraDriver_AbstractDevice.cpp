#include "KavraDriver_AbstractDevice.h"

#include "Bootloader.h"
#include "BootloaderInfo.h"
#include "KavraDriver_CommRequest.h"
#include "KavraDriver_Status.h"
#include "KavraSupportedModels.h"
#include "USBDevice.h"
#include "USBPacketProtocol.h"

#include <QThread>

using namespace KavraDriver_Status;

KavraDriver_AbstractDevice::KavraDriver_AbstractDevice()
{
    m_driver.setProtocol(std::make_shared<USBPacketProtocol>(), 0);
}

KavraDriver_AbstractDevice::~KavraDriver_AbstractDevice()
{
    m_driver.close();
}

int KavraDriver_AbstractDevice::setPWMFunction(uint32_t, int)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::setPWM(int, int)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::setPWMFrequency(int)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::setVoltage(int, double, double)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::setAccurateVoltage(int, double, double)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::setVoltageWaveform(int, uint32_t, double, double, double)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::setPolarity(int, int)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::turnVoltageOn(int)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::turnVoltageOff(int)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::enableInternalVoltageBus(int)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::disableInternalVoltageBus()
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::getSupplyStatus(bool*, char*)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::getChannelStatus(int, bool*, bool*)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::getChannelCurrent(int, double*)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::clearError()
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::getADCValue(double*)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::initialiseDevice()
{
    return NotSupported;
}

int KavraDriver_AbstractDevice::open(std::shared_ptr<USBDevice> device)
{
    const int status = [&]() -> int {
        if (!device || !m_driver.open(device, BaudRate).isSuccess())
            return ConnectionFailed;
        // The family's checks read the model while it initialises the unit.
        m_modelId = device->modelId();
        m_driver.purge();
        if (!Bootloader().firstInstruction(m_driver).isSuccess())
            return FirstInstructionFailed;
        QThread::msleep(IdentificationDelayMs);
        BootloaderInfo info;
        if (!Bootloader().readIdentification(m_driver, info).isSuccess())
            return IdentificationUnreadable;
        if (!info.isValid())
            return IdentificationInvalid;
        m_versionInfo = device->versionInfo();
        if (!KavraSupportedModels::acceptsHardwareVersion(
                m_modelId, static_cast<int>(info.hardwareVersion())))
            return HardwareVersionRefused;
        return initialiseDevice();
    }();
    if (status != Success)
        m_driver.close();
    else
        m_serialNumber = device->serialNumber();
    return status;
}

int KavraDriver_AbstractDevice::close()
{
    m_driver.close();
    return Success;
}

std::shared_ptr<USBDevice> KavraDriver_AbstractDevice::usbDevice() const
{
    return m_driver.device();
}

USBResult KavraDriver_AbstractDevice::send(const std::shared_ptr<USBICommRequest>& request)
{
    const USBResult result = m_driver.send(request, 0);
    if (result.isConnectionLost()) {
        // The dead handle is let go at once, so that the unit can be opened again when it returns.
        m_driver.close();
        m_connectionLost = true;
    }
    return result;
}

bool KavraDriver_AbstractDevice::exchange(const std::shared_ptr<KavraDriver_CommRequest>& request,
    const QByteArray& payload, QByteArray* reply)
{
    if (!payload.isEmpty())
        request->setPayload(payload);
    if (!send(request).isSuccess())
        return false;
    if (reply)
        *reply = request->replyData();
    return true;
}
