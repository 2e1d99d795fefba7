#ifndef KAVRA_TOOLS_BENCHFILE_H
#define KAVRA_TOOLS_BENCHFILE_H

#include <QString>

// A bench file for the virtual bench, checked before the bench reads it. The bench library
// itself falls back to its default bench on a bad file (and says so on standard error), which
// would leave the tool driving units nobody asked for; the tool stops instead.
class BenchFile
{
public:
    // Checks the JSON and the bench's own keys of each entry (docs/bench.md); the unit keys
    // belong to the units' firmware and are left to it. Throws a usage ToolError naming the
    // file, the entry and the key.
    static void check(const QString& path);
};

#endif
