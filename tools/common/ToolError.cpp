#include "ToolError.h"

#include "DriverInfo.h"
#include "StatusText.h"

#include <KavraLib.h>

ToolError::ToolError(int exitCode, int status, const QString& message, const QString& command,
    const QJsonObject& details)
    : std::runtime_error(message.toStdString())
    , m_exitCode(exitCode)
    , m_status(status)
    , m_message(message)
    , m_command(command)
    , m_details(details)
{ }

ToolError ToolError::usage(const QString& message, const QString& command)
{
    return ToolError(Usage, 0, message, command);
}

ToolError ToolError::badInput(const QString& message)
{
    ToolError error(Usage, 0, message, QString());
    error.m_pointsToHelp = false;
    return error;
}

ToolError ToolError::status(int status, const QString& context, int unitIndex)
{
    QString text = QStringLiteral("%1: error %2: %3")
                       .arg(context)
                       .arg(status)
                       .arg(StatusText::meaning(status));
    QJsonObject details{{QStringLiteral("status"), status},
        {QStringLiteral("meaning"), StatusText::meaning(status)}};
    char lastError[512] = "";
    if (unitIndex > 0 && getLastErrorText(unitIndex, lastError, sizeof lastError) == 0
        && lastError[0] != '\0') {
        const QString detail = QString::fromUtf8(lastError);
        text += QStringLiteral("\n  ") + detail;
        details.insert(QStringLiteral("detail"), detail);
        if (detail.contains(QLatin1String("unit disconnected"))) {
            text += QStringLiteral(
                "\n  hint: the unit is disconnected; check its USB cable and power. It is "
                "opened again under the same index once it is back.");
            details.insert(QStringLiteral("disconnected"), true);
        }
    }
    return ToolError(LibraryStatus, status, text, QString(), details);
}

ToolError ToolError::noDriver(const DriverInfo& driver)
{
    return ToolError(NoDriver, 0,
        QStringLiteral("no unit can be found: %1 (see docs/deployment.md, Troubleshooting)")
            .arg(driver.line()),
        QString(), {{QStringLiteral("driver"), driver.toJson()}});
}

ToolError ToolError::prefixed(const QString& prefix) const
{
    return withMessage(prefix + m_message);
}

ToolError ToolError::noted(const QString& note) const
{
    return withMessage(m_message + QStringLiteral("; ") + note);
}

ToolError ToolError::withMessage(const QString& message) const
{
    ToolError error(m_exitCode, m_status, message, m_command, m_details);
    error.m_pointsToHelp = m_pointsToHelp;
    return error;
}

QJsonObject ToolError::details() const
{
    return m_details;
}
