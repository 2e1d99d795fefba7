#include "BenchFile.h"

#include "ToolError.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>

namespace {

enum class Kind { Text, Number, Boolean, NumberOrNumbers };

struct ChipKey
{
    const char* name;
    Kind kind;
};

// The chip keys of an entry and their JSON types, as docs/bench.md lists them.
const ChipKey kChipKeys[] = {
    {"serial", Kind::Text},
    {"description", Kind::Text},
    {"eepromSerial", Kind::Text},
    {"location", Kind::Number},
    {"listedId", Kind::NumberOrNumbers},
    {"eepromProgrammed", Kind::Boolean},
    {"plugged", Kind::Boolean},
    {"unplugAfterLists", Kind::Number},
};

const QStringList kChips = {QStringLiteral("FT232R"), QStringLiteral("FT2232H"),
    QStringLiteral("FT232H"), QStringLiteral("FT-X"), QStringLiteral("FT4232H")};

bool fits(const QJsonValue& value, Kind kind)
{
    switch (kind) {
    case Kind::Text:
        return value.isString();
    case Kind::Number:
        return value.isDouble();
    case Kind::Boolean:
        return value.isBool();
    case Kind::NumberOrNumbers:
        if (value.isArray()) {
            const QJsonArray values = value.toArray();
            return std::all_of(
                values.begin(), values.end(), [](const QJsonValue& v) { return v.isDouble(); });
        }
        return value.isDouble();
    }
    return false;
}

QString expected(Kind kind)
{
    switch (kind) {
    case Kind::Text:
        return QStringLiteral("must be a text");
    case Kind::Number:
        return QStringLiteral("must be a number");
    case Kind::Boolean:
        return QStringLiteral("must be true or false");
    case Kind::NumberOrNumbers:
        return QStringLiteral("must be a number or an array of numbers");
    }
    return QString();
}

// Line and column (from 1) of a byte offset, for a parse error.
QString position(const QByteArray& text, int offset)
{
    const QByteArray before = text.left(offset);
    const int line = before.count('\n') + 1;
    const int column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

} // namespace

void BenchFile::check(const QString& path)
{
    const auto fail = [&path](const QString& where, const QString& what) {
        throw ToolError::badInput(
            QStringLiteral("bench file '%1'%2: %3")
                .arg(path, where.isEmpty() ? QString() : QStringLiteral(", ") + where, what));
    };

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QString(), QStringLiteral("cannot be read: %1").arg(file.errorString()));
    const QByteArray text = file.readAll();
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        fail(position(text, parseError.offset),
            QStringLiteral("not valid JSON: %1").arg(parseError.errorString()));
    if (!document.isObject())
        fail(QString(), QStringLiteral("the bench must be a JSON object"));

    const QJsonObject bench = document.object();
    const QJsonValue timing = bench.value(QStringLiteral("timing"));
    if (!timing.isUndefined() && timing != QLatin1String("instant")
        && timing != QLatin1String("realistic"))
        fail(QStringLiteral("key \"timing\""),
            QStringLiteral("must be \"instant\" or \"realistic\""));
    const QJsonValue units = bench.value(QStringLiteral("units"));
    if (!units.isUndefined() && !units.isArray())
        fail(QStringLiteral("key \"units\""), QStringLiteral("must be an array of unit entries"));

    const QJsonArray entries = units.toArray();
    for (int i = 0; i < entries.size(); ++i) {
        QString entryName = QStringLiteral("entry %1").arg(i + 1);
        if (!entries.at(i).isObject())
            fail(entryName, QStringLiteral("must be an object"));
        const QJsonObject entry = entries.at(i).toObject();
        const QString serial = entry.value(QStringLiteral("serial")).toString();
        if (!serial.isEmpty())
            entryName += QStringLiteral(" (%1)").arg(serial);

        const QJsonValue chip = entry.value(QStringLiteral("chip"));
        if (chip.isUndefined())
            fail(entryName, QStringLiteral("key \"chip\" is missing"));
        const QString known = kChips.join(QStringLiteral(", "));
        if (!kChips.contains(chip.toString()))
            fail(entryName + QStringLiteral(", key \"chip\""),
                chip.isString()
                    ? QStringLiteral("unknown chip \"%1\" (one of %2)").arg(chip.toString(), known)
                    : QStringLiteral("must be one of %1").arg(known));
        for (const ChipKey& key : kChipKeys) {
            const QJsonValue value = entry.value(QLatin1String(key.name));
            if (!value.isUndefined() && !fits(value, key.kind))
                fail(entryName + QStringLiteral(", key \"%1\"").arg(QLatin1String(key.name)),
                    expected(key.kind));
        }
    }
}
