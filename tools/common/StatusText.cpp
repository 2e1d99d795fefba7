#include "StatusText.h"

#include <KavraLib.h>

#include <array>

QString StatusText::meaning(int status)
{
    // The library documents 128 bytes as always enough.
    std::array<char, 128> text{};
    if (getStatusText(status, text.data(), int(text.size())) != Success)
        return QStringLiteral("status %1").arg(status);
    return QString::fromLatin1(text.data());
}
