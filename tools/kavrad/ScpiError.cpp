#include "ScpiError.h"

#include "StatusText.h"

#include <QHash>
#include <QSet>

namespace {

QString standardText(int code)
{
    static const QHash<int, QString> texts = {
        {ScpiError::NoError, QStringLiteral("No error")},
        {ScpiError::CommandError, QStringLiteral("Command error")},
        {ScpiError::SyntaxError, QStringLiteral("Syntax error")},
        {ScpiError::DataTypeError, QStringLiteral("Data type error")},
        {ScpiError::ParameterNotAllowed, QStringLiteral("Parameter not allowed")},
        {ScpiError::MissingParameter, QStringLiteral("Missing parameter")},
        {ScpiError::UndefinedHeader, QStringLiteral("Undefined header")},
        {ScpiError::HeaderSuffixOutOfRange, QStringLiteral("Header suffix out of range")},
        {ScpiError::InvalidSuffix, QStringLiteral("Invalid suffix")},
        {ScpiError::DataOutOfRange, QStringLiteral("Data out of range")},
        {ScpiError::TooMuchData, QStringLiteral("Too much data")},
        {ScpiError::IllegalParameterValue, QStringLiteral("Illegal parameter value")},
        {ScpiError::HardwareMissing, QStringLiteral("Hardware missing")},
        {ScpiError::DeviceSpecificError, QStringLiteral("Device-specific error")},
        {ScpiError::QueueOverflow, QStringLiteral("Queue overflow")},
    };
    return texts.value(code);
}

// Status codes by which the library rejects an argument; it sends nothing for them.
bool rejectsArgument(int status)
{
    static const QSet<int> codes = {13, 14, 16, 18, 19, 20, 22, 26, 34, 35, 36, 37};
    return codes.contains(status);
}

} // namespace

ScpiError::ScpiError(Code code, const QString& detail) : m_code(code), m_text(standardText(code))
{
    if (detail.isEmpty())
        return;
    // The detail may quote what a client sent: the reply stays printable ASCII on one line.
    QString printable = detail;
    for (QChar& c : printable) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            c = QLatin1Char('?');
    }
    m_text += QLatin1Char(';') + printable;
}

ScpiError ScpiError::fromStatus(int status, const QString& cause)
{
    const QString meaning = StatusText::meaning(status);
    if (status == StatusText::NotSupported)
        return ScpiError(HardwareMissing, meaning);
    if (rejectsArgument(status))
        return ScpiError(DataOutOfRange, meaning);
    if (status > 0)
        // A cause that only restates the meaning (a refusal by the library's own checks) adds
        // nothing.
        return ScpiError(status,
            cause.isEmpty() || cause.contains(meaning) ? meaning
                                                       : meaning + QLatin1Char(';') + cause);
    // Negative numbers belong to SCPI: an internal failure of the library is reported as a
    // device-specific error with the library's meaning.
    return ScpiError(DeviceSpecificError, meaning);
}

int ScpiError::eventBit() const
{
    if (m_code <= -100 && m_code > -200)
        return 0x20; // command error
    if (m_code <= -200 && m_code > -300)
        return 0x10; // execution error
    if (m_code <= -400 && m_code > -500)
        return 0x04; // query error
    if (m_code != NoError)
        return 0x08; // device-dependent error
    return 0;
}

QString ScpiError::toReply() const
{
    QString quoted = m_text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QStringLiteral("%1,\"%2\"").arg(m_code).arg(quoted);
}
