#ifndef KAVRA_TOOLS_DRIVERINFO_H
#define KAVRA_TOOLS_DRIVERINFO_H

#include <QJsonObject>
#include <QString>

// The library's word on its D2XX library: the file loaded, or why none could be. Asking looks
// for no unit, so it is cheap enough to give whenever no unit is found.
class DriverInfo
{
public:
    static DriverInfo query();

    bool loaded() const { return m_loaded; }
    // "loaded PATH, version VERSION" or "not loaded: tried NAME: REASON".
    QString text() const { return m_text; }
    // The line the tool prints: "D2XX library loaded ...".
    QString line() const;
    QJsonObject toJson() const;

private:
    bool m_loaded = false;
    QString m_text;
};

#endif
