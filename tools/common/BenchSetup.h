#ifndef KAVRA_TOOLS_BENCHSETUP_H
#define KAVRA_TOOLS_BENCHSETUP_H

#include <QString>
#include <QStringList>

// Points the library at the virtual bench. The library loads its D2XX library on first use,
// so this must run before the first KavraLib call.
class BenchSetup
{
public:
    // Sets KAVRA_D2XX_LIBRARY to the bench library found beside the tool, and KAVRA_SIM_BENCH to
    // benchFile when one is given. The bench file (given, or named by KAVRA_SIM_BENCH) must pass
    // BenchFile::check. Throws a usage ToolError when the library is not found or the file is bad.
    static void apply(const QString& benchFile);

    // Where the bench library is looked for, in order.
    static QStringList candidates();
};

#endif
