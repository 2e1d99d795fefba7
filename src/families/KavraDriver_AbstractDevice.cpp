#include "KavraDriver_AbstractDevice.h"

#include "Bootloader.h"
#include "BootloaderInfo.h"
#include "KavraDriver_CommRequest.h"
#include "KavraDriver_Status.h"
#include "KavraLog.h"
#include "USBDevice.h"
#include "USBPacketProtocol.h"

#include <QThread>

using namespace KavraDriver_Status;

namespace {

constexpr int LongestErrorText = 511;

// A failed exchange in plain words.
QString plainCause(const USBResult& failure, bool connectionLost)
{
    if (connectionLost || failure.isConnectionLost())
        return QStringLiteral("unit disconnected");
    if (failure.category() == USBResult::D2xxCategory)
        return QStringLiteral("USB transfer failed");
    switch (failure.code()) {
    case USBResult::NoReply:
        return QStringLiteral("no reply within %1 ms").arg(USBPacketProtocol::ReplyTimeoutMs);
    case USBResult::ReplyCutShort:
        return QStringLiteral("reply cut short");
    case USBResult::ReplyNotUnderstood:
        return QStringLiteral("reply not understood");
    case USBResult::InstructionRefused:
        return QStringLiteral("unit refused the instruction");
    default:
        return QStringLiteral("exchange failed");
    }
}

} // namespace

KavraDriver_AbstractDevice::KavraDriver_AbstractDevice(const KavraModel* model) : m_model(model)
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
        if (!m_model
            || !m_model->hardwareVersions.contains(static_cast<int>(info.hardwareVersion())))
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
    if (result.isSuccess())
        return result;
    m_exchangeFailure = result;
    if (result.isConnectionLost()) {
        // The dead handle is let go at once, so that the unit can be opened again when it returns.
        m_driver.close();
        m_connectionLost = true;
        qCInfo(KavraLog::session).noquote() << "connection lost:" << result.detail();
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

void KavraDriver_AbstractDevice::keepOutcome(const char* name, int status)
{
    QString text;
    if (status != Success) {
        // A failed exchange says what happened on the link; a refusal before any exchange (a
        // range check, an unsupported operation, a unit not ready) gives the status's meaning.
        const bool exchanged = !m_exchangeFailure.isSuccess();
        const char* meaningText = meaning(status);
        text = QStringLiteral("%1 on %2: %3 (%4)")
                   .arg(QLatin1String(name), m_serialNumber,
                       exchanged ? plainCause(m_exchangeFailure, isConnectionLost())
                                 : QLatin1String(meaningText ? meaningText : "failure"),
                       exchanged ? m_exchangeFailure.detail()
                                 : QStringLiteral("status %1").arg(status));
        qCInfo(KavraLog::session).noquote() << text;
        // getLastErrorText promises that 512 bytes always hold the text.
        text.truncate(LongestErrorText);
    }
    m_hasLastError = !text.isEmpty();
    std::lock_guard<std::mutex> locker(m_lastErrorMutex);
    m_lastErrorText.swap(text);
}

QString KavraDriver_AbstractDevice::lastErrorText() const
{
    std::lock_guard<std::mutex> locker(m_lastErrorMutex);
    return m_lastErrorText;
}
