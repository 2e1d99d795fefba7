#ifndef KAVRA_TOOLS_STATUSTEXT_H
#define KAVRA_TOOLS_STATUSTEXT_H

#include <QString>

// Meanings of the library's status codes, as the library's getStatusText gives them.
class StatusText
{
public:
    static constexpr int Success = 0;
    static constexpr int NotSupported = 10;

    static QString meaning(int status);
};

#endif
