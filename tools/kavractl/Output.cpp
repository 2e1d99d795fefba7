#include "Output.h"

#include "ToolError.h"

#include <QJsonDocument>

#include <cstdio>

namespace {

void write(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    // Flushed at once: monitor output must appear while the tool keeps running.
    std::fflush(stream);
}

} // namespace

void Output::line(const QString& text) const
{
    if (!m_json)
        write(stdout, (text + QLatin1Char('\n')).toUtf8());
}

void Output::raw(const QString& text) const
{
    write(stdout, text.toUtf8());
}

void Output::document(const QJsonObject& object, bool compact) const
{
    compact = compact || m_compact;
    if (m_json)
        write(stdout,
            QJsonDocument(object).toJson(compact ? QJsonDocument::Compact : QJsonDocument::Indented)
                + (compact ? "\n" : ""));
}

void Output::error(const QString& text)
{
    write(stderr, (text + QLatin1Char('\n')).toUtf8());
}

void Output::failure(const ToolError& failed, bool inShell) const
{
    error(QStringLiteral("kavractl: ") + failed.message());
    if (failed.pointsToHelp()) {
        const QString help
            = inShell ? QStringLiteral("help %1") : QStringLiteral("kavractl %1 --help");
        error(QStringLiteral("Try '%1'.").arg(help.arg(failed.command()).simplified()));
    } else if (m_json && failed.exitCode() != ToolError::Usage) {
        QJsonObject details = failed.details();
        details.insert(QStringLiteral("message"), failed.message());
        document(QJsonObject{{QStringLiteral("error"), details}});
    }
}
