#include "USBResult.h"

#include "D2xxLibrary.h"
#include "FtdiD2xx.h"

USBResult::USBResult() : m_type(Success), m_category(D2xxCategory), m_code(0) { }

USBResult::USBResult(int type, int category, int code, const QString& message)
    : m_type(type), m_category(category), m_code(code), m_message(message)
{ }

USBResult::USBResult(uint32_t d2xxStatus)
    : m_type(d2xxStatus != 0 ? Error : Success)
    , m_category(D2xxCategory)
    , m_code(static_cast<int>(d2xxStatus))
    , m_message(d2xxMessage(d2xxStatus))
{ }

bool USBResult::isConnectionLost() const
{
    return m_type == Error && m_category == D2xxCategory
        && (m_code == FT_INVALID_HANDLE || m_code == FT_DEVICE_NOT_FOUND || m_code == FT_IO_ERROR);
}

USBResult USBResult::noOutcome()
{
    return USBResult(NoOutcome, D2xxCategory, 0, QString());
}

USBResult USBResult::failure(const QString& message, LibraryCode code)
{
    return USBResult(Error, LibraryCategory, code, message);
}

QString USBResult::d2xxMessage(uint32_t status)
{
    return QString::fromLatin1(D2xxLibrary::statusMessage(status));
}

QString USBResult::d2xxName(uint32_t status)
{
    const char* name = D2xxLibrary::statusName(status);
    return name ? QString::fromLatin1(name) : QStringLiteral("FT_STATUS %1").arg(status);
}

QString USBResult::detail() const
{
    if (isSuccess())
        return QString();
    if (m_category == D2xxCategory)
        return QStringLiteral("%1: %2").arg(d2xxName(static_cast<uint32_t>(m_code)), m_message);
    return m_message;
}

QString USBResult::text() const
{
    return isSuccess() ? QStringLiteral("Success") : m_message;
}
