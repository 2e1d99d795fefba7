#pragma once

#include <QString>

// What the figures were taken on, for the table's notes (Linux).
namespace MachineInfo {
// CPU model, CPUs the process may use, kernel, compiler.
QString description();
// The 1, 5 and 15 minute load averages now.
QString loadAverage();
} // namespace MachineInfo
