#ifndef KAVRACTL_DEMO_H
#define KAVRACTL_DEMO_H

#include "UnitIdentity.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <functional>

class Output;

// Walks through every attached unit and shows what its family does: a few settings, the
// output switched on, the readings, and the output switched off again. A failed step is shown
// and the walk goes on.
class Demo
{
public:
    explicit Demo(const Output& output);

    // Returns the number of steps that failed.
    int run();

private:
    void alder(const UnitIdentity& unit);
    void cedar(const UnitIdentity& unit);
    void generic(const UnitIdentity& unit);
    void birch(const UnitIdentity& unit);
    void rowan(const UnitIdentity& unit);

    // One library call: shown with its outcome and recorded for the JSON document.
    int step(const QString& action, const QString& description, const QJsonObject& arguments,
             const std::function<int()>& call);
    // A reading of a value the call returns through its out-parameter.
    void reading(const QString& action, const QString& description, const std::function<int(double*)>& call);
    void status(const UnitIdentity& unit);

    const Output& m_output;
    QJsonArray m_steps;
    int m_failures = 0;
};

#endif
