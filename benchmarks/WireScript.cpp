#include "WireScript.h"

#include <QJsonObject>
#include <QStringList>

WireScript WireScript::fromWireLog(const QJsonArray& log)
{
    WireScript script;
    for (const QJsonValue& value : log) {
        const QJsonObject entry = value.toObject();
        if (entry.contains(QStringLiteral("note")))
            continue; // a dropped reply never reached the host
        const int link = entry.value(QStringLiteral("link")).toInt();
        const QByteArray bytes
            = QByteArray::fromHex(entry.value(QStringLiteral("data")).toString().toLatin1());
        const bool toUnit = entry.value(QStringLiteral("dir")).toString() == QLatin1String("out");
        int last = -1;
        for (int i = script.m_steps.size() - 1; i >= 0 && last < 0; --i) {
            if (script.m_steps.at(i).link == link)
                last = i;
        }
        if (toUnit) {
            if (last >= 0 && last == script.m_steps.size() - 1
                && script.m_steps.at(last).replyLength == 0)
                script.m_steps[last].request += bytes;
            else
                script.m_steps.append(Step{link, bytes, 0});
        } else if (last >= 0) {
            script.m_steps[last].replyLength += bytes.size();
        }
    }
    return script;
}

QSet<int> WireScript::links() const
{
    QSet<int> links;
    for (const Step& step : m_steps)
        links.insert(step.link);
    return links;
}

QString WireScript::summary() const
{
    QStringList parts;
    for (const Step& step : m_steps)
        parts << QStringLiteral("%1 B -> %2 B").arg(step.request.size()).arg(step.replyLength);
    return parts.join(QStringLiteral(", "));
}
