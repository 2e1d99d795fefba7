#ifndef KAVRAD_UNITPOLL_H
#define KAVRAD_UNITPOLL_H

#include "UnitProfile.h"

#include <QJsonObject>

class ScpiInstrument;

// What the dashboard shows of one unit, read on the unit's worker through the unit's own SCPI
// queries, so that the page sees exactly what a SCPI client would. The first query that fails in
// the library ends the reading: the unit counts as away, with the library's last error text.
class UnitPoll
{
public:
    UnitPoll(const UnitProfile& profile, ScpiInstrument& instrument);

    // What never changes: index, serial number, model, outputs and the controls the family has.
    static QJsonObject describe(const UnitProfile& profile);
    // One reading: {"index", "t" (ms since the epoch), "connected", "error", "outputs": [{"on",
    // "voltage", "polarity", "current", "ramping"}], "supply": {"error", "text"}, "adc"}; the
    // values a family lacks are left out, settings not made yet are null.
    QJsonObject take();

private:
    // The reply of one query; false when it failed (the unit is then away when the failure was
    // the library's, and *failed says so).
    bool query(const QString& line, QString* reply, bool* failed);

    UnitProfile m_profile;
    ScpiInstrument& m_instrument;
};

#endif
