#include "DriverInfo.h"

#include "StatusText.h"
#include "ToolError.h"

#include <KavraLib.h>

#include <array>

DriverInfo DriverInfo::query()
{
    // The library documents 1024 bytes as always enough.
    std::array<char, 1024> text{};
    DriverInfo info;
    const int status = getDriverLibraryInfo(&info.m_loaded, text.data(), int(text.size()));
    if (status != StatusText::Success)
        throw ToolError::status(status, QStringLiteral("asking for the D2XX library"));
    info.m_text = QString::fromUtf8(text.data());
    return info;
}

QString DriverInfo::line() const
{
    return QStringLiteral("D2XX library ") + m_text;
}

QJsonObject DriverInfo::toJson() const
{
    return QJsonObject{{QStringLiteral("loaded"), m_loaded}, {QStringLiteral("info"), m_text}};
}
