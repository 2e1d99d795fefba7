#include "Doctor.h"

#include "DriverInfo.h"
#include "Output.h"
#include "StatusReader.h"
#include "StatusTable.h"
#include "StatusText.h"
#include "ToolError.h"
#include "UnitDirectory.h"

#include <QJsonArray>
#include <QMap>

namespace {

const QString kTroubleshooting = QStringLiteral("see docs/deployment.md, Troubleshooting");

// What usually lies behind a status code of opening, in the order worth checking.
QString hintFor(int status)
{
    static const QMap<int, QString> hints = {
        {3,
            QStringLiteral(
                "the chip could not be opened: another program or the ftdi_sio kernel driver "
                "holds it, the user may not open the USB device (udev rule), or the chip's "
                "EEPROM holds no serial number (not programmed)")},
        {4,
            QStringLiteral(
                "the unit does not answer: check its power and that no other program talks to it")},
        {9,
            QStringLiteral(
                "the unit's hardware version is not one this library accepts for its model")},
    };
    return hints.value(status, QStringLiteral("the unit was found but could not be read"));
}

QString stateOf(const QJsonObject& unit)
{
    const QJsonObject error = unit[QStringLiteral("error")].toObject();
    if (!error.isEmpty())
        return QStringLiteral("error %1: %2")
            .arg(error[QStringLiteral("status")].toInt())
            .arg(error[QStringLiteral("meaning")].toString());
    // Such a unit has no operation, so nothing opens it: the model decides.
    if (unit[QStringLiteral("family")].toString() == QLatin1String("none"))
        return QStringLiteral("no family: counted, but cannot be driven");
    // Only readings open a unit here; a family without any (Birch) stays closed.
    if (!unit.contains(QStringLiteral("supply")) && !unit.contains(QStringLiteral("channels"))
        && !unit.contains(QStringLiteral("adc")))
        return QStringLiteral("not opened: its family has no reading");
    const QJsonObject supply = unit[QStringLiteral("supply")].toObject();
    if (supply[QStringLiteral("error")].toBool())
        return QStringLiteral("open, reports an error: %1")
            .arg(supply[QStringLiteral("text")].toString().simplified());
    return QStringLiteral("open");
}

} // namespace

Doctor::Doctor(const Output& output) : m_output(output) { }

int Doctor::run()
{
    const DriverInfo driver = DriverInfo::query();
    m_output.line(driver.line());
    if (!driver.loaded()) {
        m_output.line(
            QStringLiteral("No unit can be found without it: install FTDI's D2XX library, or set "
                           "KAVRA_D2XX_LIBRARY to its path (%1).")
                .arg(kTroubleshooting));
        m_output.document(QJsonObject{
            {QStringLiteral("driver"), driver.toJson()}, {QStringLiteral("units"), QJsonArray()}});
        return ToolError::NoDriver;
    }

    int failures = 0;
    const QJsonArray units = StatusReader::readAll(UnitDirectory::list(), &failures);
    // Every index up to the highest names a unit; those not attached now are away (lost).
    const int attached = units.isEmpty() ? 0 : UnitDirectory::attachedCount();
    const int away = qMax(0, int(units.size()) - attached);
    if (units.isEmpty()) {
        m_output.line(QStringLiteral(
            "No supported unit is attached: check the USB cable and the unit's power; "
            "a unit the user may not open may not be listed either (%1).")
                          .arg(kTroubleshooting));
    } else {
        QList<QStringList> rows{{QStringLiteral("INDEX"), QStringLiteral("SERIAL"),
            QStringLiteral("MODEL"), QStringLiteral("FAMILY"), QStringLiteral("STATE")}};
        QMap<int, QString> hints;
        for (const QJsonValue& value : units) {
            const QJsonObject unit = value.toObject();
            rows.append({QString::number(unit[QStringLiteral("index")].toInt()),
                unit[QStringLiteral("serial")].toString(), unit[QStringLiteral("model")].toString(),
                unit[QStringLiteral("family")].toString(), stateOf(unit)});
            const QJsonObject error = unit[QStringLiteral("error")].toObject();
            if (!error.isEmpty())
                hints.insert(error[QStringLiteral("status")].toInt(),
                    hintFor(error[QStringLiteral("status")].toInt()));
        }
        m_output.line(QStringLiteral("%1 unit(s) attached, %2 away:").arg(attached).arg(away));
        m_output.line(StatusTable::columns(rows));
        for (auto hint = hints.constBegin(); hint != hints.constEnd(); ++hint)
            m_output.line(QStringLiteral("Error %1: %2 (%3).")
                              .arg(hint.key())
                              .arg(hint.value(), kTroubleshooting));
    }
    m_output.document(QJsonObject{{QStringLiteral("driver"), driver.toJson()},
        {QStringLiteral("attached"), attached}, {QStringLiteral("away"), away},
        {QStringLiteral("units"), units}});
    return failures > 0 ? int(ToolError::LibraryStatus) : 0;
}
