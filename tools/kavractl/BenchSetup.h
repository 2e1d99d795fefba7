#ifndef KAVRACTL_BENCHSETUP_H
#define KAVRACTL_BENCHSETUP_H

#include <QString>
#include <QStringList>

// Points the library at the virtual bench. The library loads its D2XX library on first use,
// so this must run before the first KavraLib call.
class BenchSetup
{
public:
    // Sets KAVRA_D2XX_LIBRARY to the bench library found beside the tool (and KAVRA_SIM_BENCH to
    // benchFile when one is given). Throws ToolError when either cannot be found.
    static void apply(const QString& benchFile);

    // Where the bench library is looked for, in order.
    static QStringList candidates();
};

#endif
