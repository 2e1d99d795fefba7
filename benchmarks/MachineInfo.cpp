#include "MachineInfo.h"

#include <QFile>
#include <QStringList>
#include <QSysInfo>
#include <QThread>

namespace {
QString firstLine(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text)
        ? QString::fromLatin1(file.readLine()).trimmed()
        : QString();
}

QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("unknown CPU");
    // readAll: a /proc file reports size 0, so atEnd() holds before anything is read.
    for (const QString& line : QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("model name")))
            return line.section(QLatin1Char(':'), 1).trimmed();
    }
    return QStringLiteral("unknown CPU");
}
} // namespace

QString MachineInfo::description()
{
    return QStringLiteral("%1, %2 CPUs, %3 %4, compiler %5")
        .arg(cpuModel())
        .arg(QThread::idealThreadCount())
        .arg(QSysInfo::kernelType(), QSysInfo::kernelVersion(), QStringLiteral(__VERSION__));
}

QString MachineInfo::loadAverage()
{
    return firstLine(QStringLiteral("/proc/loadavg")).section(QLatin1Char(' '), 0, 2);
}
