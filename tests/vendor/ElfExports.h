#pragma once

#include <QString>
#include <QStringList>

// The functions a shared library exports, read from its dynamic symbol table (64-bit ELF).
class ElfExports
{
public:
    // Defined global or weak functions with default visibility whose names start with prefix,
    // sorted; empty with an error text when the file is not a readable 64-bit ELF library.
    static QStringList functions(const QString& path, const QString& prefix, QString* error);
};
