#ifndef KAVRACTL_DEMO_H
#define KAVRACTL_DEMO_H

#include "UnitIdentity.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <functional>

class Output;

// Walks through every attached unit and shows what it does: each operation that the library says
// the unit supports, in one fixed order (settings, the output switched on, the readings, the
// output switched off again), with values that every family accepts. A failed step is shown and
// the walk goes on.
class Demo
{
public:
    explicit Demo(const Output& output);

    // Returns the number of steps that failed.
    int run();

private:
    void walk(const UnitIdentity& unit);
    // One library call: shown with its outcome and recorded for the JSON document.
    int step(const QString& action, const QString& description, const QJsonObject& arguments,
        const std::function<int()>& call);
    void status(const UnitIdentity& unit);

    const Output& m_output;
    QJsonArray m_steps;
    int m_failures = 0;
};

#endif
