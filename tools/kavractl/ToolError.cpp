#include "ToolError.h"

#include "StatusText.h"

ToolError::ToolError(int exitCode, int status, const QString& message, const QString& command)
    : std::runtime_error(message.toStdString()), m_exitCode(exitCode), m_status(status),
      m_message(message), m_command(command)
{
}

ToolError ToolError::usage(const QString& message, const QString& command)
{
    return ToolError(Usage, 0, message, command);
}

ToolError ToolError::status(int status, const QString& context)
{
    const QString text = QStringLiteral("%1: error %2: %3")
                             .arg(context).arg(status).arg(StatusText::meaning(status));
    return ToolError(LibraryStatus, status, text, QString());
}

ToolError ToolError::prefixed(const QString& prefix) const
{
    return ToolError(m_exitCode, m_status, prefix + m_message, m_command);
}
