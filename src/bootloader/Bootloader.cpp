#include "Bootloader.h"

#include "BootloaderCommRequest.h"
#include "BootloaderInfo.h"
#include "USBDevice.h"
#include "USBDriver.h"

#include <memory>

namespace {

constexpr uint32_t StartInstruction = 2;
constexpr uint32_t PageInstruction = 8;
constexpr uint32_t PageSizeInstruction = 10;
constexpr uint32_t PrepareInstruction = 11;
constexpr int PrimarySocket = 0;

USBResult corruptData()
{
    return USBResult::failure(QStringLiteral("Data from device is corrupt"));
}

} // namespace

Bootloader::Bootloader() : m_instructionSet(BootloaderCommRequest::BinarySet) { }

USBResult Bootloader::firstInstruction(USBDriver& driver) const
{
    auto request = std::make_shared<BootloaderCommRequest>(m_instructionSet, StartInstruction, 0);
    return driver.send(request, PrimarySocket);
}

USBResult Bootloader::readIdentification(
    USBDriver& driver, BootloaderInfo& info, bool* pageFlag) const
{
    driver.purge();

    auto sizeRequest
        = std::make_shared<BootloaderCommRequest>(m_instructionSet, PageSizeInstruction, 0);
    USBResult result = driver.send(sizeRequest, PrimarySocket);
    if (!result.isSuccess())
        return result;

    uint32_t pageSize = 0;
    bool flag = false;
    if (!decodePageSize(sizeRequest->replyData(), pageSize, flag))
        return corruptData();
    if (pageFlag)
        *pageFlag = flag;

    auto prepareRequest
        = std::make_shared<BootloaderCommRequest>(m_instructionSet, PrepareInstruction, 0);
    result = driver.send(prepareRequest, PrimarySocket);
    if (!result.isSuccess())
        return result;

    auto pageRequest
        = std::make_shared<BootloaderCommRequest>(m_instructionSet, PageInstruction, pageSize);
    result = driver.send(pageRequest, PrimarySocket);
    if (!result.isSuccess())
        return result;
    if (!pageRequest->hasValidPage())
        return corruptData();

    info = BootloaderInfo::fromPage(pageRequest->replyData());

    const std::shared_ptr<USBDevice> device = driver.device();
    if (device) {
        const auto words = info.versionWords();
        device->setVersionInfo(static_cast<int>(words[0]), static_cast<int>(words[1]));
    }
    return USBResult();
}

bool Bootloader::decodePageSize(const QByteArray& reply, uint32_t& pageSize, bool& pageFlag)
{
    const auto byteAt
        = [&reply](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(reply[i])); };
    if (reply.size() == 2) {
        pageSize = byteAt(0) << 8 | byteAt(1);
        pageFlag = false;
        return true;
    }
    if (reply.size() == 4 && byteAt(0) == 0xFF) {
        pageSize = byteAt(1) << 8 | byteAt(2);
        pageFlag = (byteAt(3) & 1u) != 0;
        return true;
    }
    return false;
}
