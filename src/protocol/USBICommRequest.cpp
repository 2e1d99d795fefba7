#include "USBICommRequest.h"

#include <atomic>

namespace {
// Requests may be created from several threads through the protocol's queue.
std::atomic<uint32_t> g_lastRequestId{100};
} // namespace

USBICommRequest::~USBICommRequest() = default;

std::shared_ptr<void> USBICommRequest::sharedExtension() const
{
    return std::shared_ptr<void>();
}

int USBICommRequest::nextRequestId()
{
    // Unsigned arithmetic gives the 32-bit wrap-around without overflow.
    return static_cast<int32_t>(g_lastRequestId.fetch_add(1u) + 1u);
}
