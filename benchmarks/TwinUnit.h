#pragma once

#include "FtdiD2xx.h"
#include "WireScript.h"

#include <QJsonArray>
#include <QMap>
#include <QString>

#include <map>
#include <vector>

// A bench unit of the same model and chip as one the library has open, driven with plain D2XX
// calls: each of its links is opened and configured with the very calls the library made on its
// own unit, then replays what a library call moved (WireScript). Closes its handles when it goes.
class TwinUnit
{
public:
    explicit TwinUnit(const QString& serial);
    ~TwinUnit();
    TwinUnit(const TwinUnit&) = delete;
    TwinUnit& operator=(const TwinUnit&) = delete;

    // The device-list serial number of each of a unit's channels by link (kavra_sim.h), from
    // the bench's state of the unit.
    static QMap<int, QString> channels(const QString& unitSerial);

    // Opens the link's channel unless it is open, and replays the configuration calls on it.
    bool openLink(int link, const QJsonArray& configCalls);
    // One write of each request, then one blocking read of its reply length.
    bool exchange(const WireScript& script);
    const QString& error() const { return m_error; }
    // Drops the bench's wire log of the twin, which grows with every exchange.
    void clearRecords();

private:
    QString m_serial;
    QMap<int, QString> m_channels;
    std::map<int, FT_HANDLE> m_handles;
    std::vector<unsigned char> m_reply;
    QString m_error;
};
