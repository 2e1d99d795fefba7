#pragma once

#include <QByteArray>

// The caller's text buffer of an exported function.
class KavraTextBuffer
{
public:
    // Copies the text with its closing zero byte when it fits; writes nothing otherwise.
    // 0, or 38 when the buffer is null or too small.
    static int copy(const QByteArray& text, char* buffer, int bufferSize);
};
