#pragma once

#include "FtdiD2xx.h"

#include <QJsonObject>

// The D2XX functions of the library KavraLib loaded (KAVRA_D2XX_LIBRARY), resolved by name, for
// the raw exchanges the library's calls are compared with: the same library, called directly.
class D2xxFunctions
{
public:
    static const D2xxFunctions& instance();

    bool isLoaded() const { return m_loaded; }

    // The device-list position of the entry with this serial number, -1 when none.
    int listIndexOf(const QString& serialNumber) const;
    FT_STATUS open(int listIndex, FT_HANDLE* handle) const { return m_open(listIndex, handle); }
    FT_STATUS close(FT_HANDLE handle) const { return m_close(handle); }
    FT_STATUS write(FT_HANDLE handle, const void* bytes, DWORD count, DWORD* written) const
    {
        return m_write(handle, const_cast<void*>(bytes), count, written);
    }
    FT_STATUS read(FT_HANDLE handle, void* bytes, DWORD count, DWORD* received) const
    {
        return m_read(handle, bytes, count, received);
    }
    // Makes one link configuration call as the bench recorded it ({"call": name, "args": [...]});
    // FT_OTHER_ERROR for a call it does not know.
    FT_STATUS replay(FT_HANDLE handle, const QJsonObject& call) const;

private:
    D2xxFunctions();

    void* m_library = nullptr;
    bool m_loaded = false;
#define KAVRA_D2XX_POINTER(name, member, parameters) name##Fn m_##member = nullptr;
    KAVRA_D2XX_FUNCTIONS(KAVRA_D2XX_POINTER)
#undef KAVRA_D2XX_POINTER
};
