#ifndef KAVRAD_SCPICOMMAND_H
#define KAVRAD_SCPICOMMAND_H

#include "ScpiHeaderPattern.h"
#include "ScpiParameters.h"

#include <QString>

#include <functional>

// One entry of an instrument's command table: a header, whether it is the query form, and
// what it does. The handler gets the channel (the header's numeric suffix) and the parameters,
// returns the reply of a query (nothing for a setting) and throws ScpiError when it fails.
class ScpiCommand
{
public:
    using Handler = std::function<QString(int channel, const ScpiParameters& parameters)>;

    ScpiCommand(const QString& header, bool query, Handler handler)
        : m_pattern(header), m_query(query), m_handler(std::move(handler))
    { }

    const ScpiHeaderPattern& pattern() const { return m_pattern; }
    bool isQuery() const { return m_query; }
    QString run(int channel, const ScpiParameters& parameters) const
    {
        return m_handler(channel, parameters);
    }

private:
    ScpiHeaderPattern m_pattern;
    bool m_query;
    Handler m_handler;
};

#endif
