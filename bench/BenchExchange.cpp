// One request and its reply through the packet protocol, beside the same bytes moved by plain
// FT_Write and FT_Read calls on the same bench unit: the difference is what the protocol costs.

#include "D2xxLibrary.h"
#include "KavraDriver_Alder_CommRequest.h"
#include "USBDevice.h"
#include "USBDriver.h"
#include "USBPacketProtocol.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char* const UnitSerial = "QZAH015010001";
// An Alder read instruction with a one-byte reply.
constexpr uint8_t Instruction = 0x41;
constexpr int ReplyLength = 1;

void useBench()
{
    // Before the first D2XX call, so that the loader picks the bench.
    if (!std::getenv("KAVRA_D2XX_LIBRARY"))
        setenv("KAVRA_D2XX_LIBRARY", KAVRA_SIM_PATH, 1);
}

void BM_SendRequest(benchmark::State& state)
{
    useBench();
    USBDriver driver(std::make_shared<USBPacketProtocol>());
    std::shared_ptr<USBDevice> unit;
    for (const auto& device : driver.enumerateDevices(true)) {
        if (device->serialNumber() == QLatin1String(UnitSerial))
            unit = device;
    }
    if (!unit || !driver.open(unit, 500000).isSuccess()) {
        state.SkipWithError("bench unit not available");
        return;
    }
    for (auto _ : state) {
        auto request = std::make_shared<KavraDriver_Alder_CommRequest>(Instruction);
        const USBResult result = driver.send(request, 0);
        if (!result.isSuccess()) {
            state.SkipWithError(result.text().toLocal8Bit().constData());
            break;
        }
        benchmark::DoNotOptimize(request->replyData());
    }
    driver.close();
}
BENCHMARK(BM_SendRequest)->Unit(benchmark::kMicrosecond);

void BM_RawWriteRead(benchmark::State& state)
{
    useBench();
    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    DWORD count = 0;
    if (d2xx.createDeviceInfoList(&count) != FT_OK || count == 0) {
        state.SkipWithError("no bench");
        return;
    }
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    std::memset(nodes.data(), 0, nodes.size() * sizeof(FT_DEVICE_LIST_INFO_NODE));
    d2xx.getDeviceInfoList(nodes.data(), &count);
    int index = -1;
    for (DWORD i = 0; i < count; ++i) {
        if (std::strcmp(nodes[i].SerialNumber, UnitSerial) == 0)
            index = static_cast<int>(i);
    }
    FT_HANDLE handle = nullptr;
    if (index < 0 || d2xx.open(index, &handle) != FT_OK) {
        state.SkipWithError("bench unit not available");
        return;
    }
    d2xx.setTimeouts(handle, 1000, 1000);

    uint32_t id = 0x7F000000;
    unsigned char packet[8] = {0x05, 0, 0, 0, 0, Instruction, 0, 0};
    unsigned char reply[8 + ReplyLength];
    for (auto _ : state) {
        ++id;
        std::memcpy(packet + 1, &id, 4);
        DWORD moved = 0;
        d2xx.write(handle, packet, sizeof packet, &moved);
        d2xx.read(handle, reply, 8, &moved);
        d2xx.read(handle, reply + 8, ReplyLength, &moved);
        if (moved != ReplyLength || reply[5] != 0) {
            state.SkipWithError("unexpected reply");
            break;
        }
        benchmark::DoNotOptimize(reply);
    }
    d2xx.close(handle);
}
BENCHMARK(BM_RawWriteRead)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
