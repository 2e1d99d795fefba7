#pragma once

// The units of the bench's built-in default bench, from default-bench.json beside this header:
// the one list the C++ and Python tests share. The bench keeps its own copy (sim/), so a test that
// compares what the bench lists with this list is where the two meet.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace DefaultBench {

struct Unit
{
    int index;
    std::string name; // Alder, Cedar, Generic19, ...: what the tests call the unit
    std::string chip;
    std::string serial;
    std::string description;
    std::string family;
    std::string model;
    int outputs;
};

// In the order of their device indices. A fixture that cannot be read ends the test run at once.
inline const std::vector<Unit>& units()
{
    static const std::vector<Unit> list = [] {
        const QString path = QFileInfo(QStringLiteral(__FILE__))
                                 .dir()
                                 .filePath(QStringLiteral("default-bench.json"));
        QFile file(path);
        const QJsonArray entries = file.open(QIODevice::ReadOnly)
            ? QJsonDocument::fromJson(file.readAll())
                  .object()
                  .value(QLatin1String("units"))
                  .toArray()
            : QJsonArray();
        if (entries.isEmpty()) {
            std::fprintf(
                stderr, "cannot read the default bench's units from %s\n", qPrintable(path));
            std::abort();
        }
        std::vector<Unit> result;
        for (const QJsonValue& entry : entries) {
            const QJsonObject unit = entry.toObject();
            const auto text = [&](const char* key) {
                return unit.value(QLatin1String(key)).toString().toStdString();
            };
            result.push_back({unit.value(QLatin1String("index")).toInt(), text("name"),
                text("chip"), text("serial"), text("description"), text("family"), text("model"),
                unit.value(QLatin1String("outputs")).toInt()});
        }
        return result;
    }();
    return list;
}

inline const Unit* unit(int index)
{
    for (const Unit& unit : units())
        if (unit.index == index)
            return &unit;
    return nullptr;
}

inline int indexOf(const char* name)
{
    for (const Unit& unit : units())
        if (unit.name == name)
            return unit.index;
    std::fprintf(stderr, "the default bench has no unit %s\n", name);
    std::abort();
}

// The serial number of the unit at this device index; "" for an index without a unit.
inline const char* serial(int index)
{
    const Unit* found = unit(index);
    return found ? found->serial.c_str() : "";
}

inline const int Alder = indexOf("Alder"), Cedar = indexOf("Cedar"),
                 Generic19 = indexOf("Generic19"), Generic25 = indexOf("Generic25"),
                 Birch = indexOf("Birch"), Rowan = indexOf("Rowan"), Count = int(units().size());
// Entries of the D2XX device list: one per chip channel (an FT2232H lists two).
inline const int ListEntries = Count
    + int(std::count_if(
        units().begin(), units().end(), [](const Unit& unit) { return unit.chip == "FT2232H"; }));

} // namespace DefaultBench
