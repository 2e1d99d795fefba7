#include "KavraTextBuffer.h"

#include "KavraDriver_Status.h"

#include <cstring>

int KavraTextBuffer::copy(const QByteArray& text, char* buffer, int bufferSize)
{
    if (!buffer || bufferSize < 0 || text.size() + 1 > bufferSize)
        return KavraDriver_Status::BufferTooSmall;
    std::memcpy(buffer, text.constData(), static_cast<size_t>(text.size()) + 1);
    return KavraDriver_Status::Success;
}
