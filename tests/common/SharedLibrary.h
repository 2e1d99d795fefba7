#pragma once

// Loading a shared library at run time and finding its symbols, the same way on Linux (dlopen)
// and Windows (LoadLibrary), for tests that reach the bench or a D2XX library by file.

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

class SharedLibrary
{
public:
    // The library's handle, or null; a library already in the process is shared, not loaded again.
    // A null path: on Linux the process and the libraries it links, on Windows nothing.
    static void* open(const char* path)
    {
#ifdef _WIN32
        return path ? reinterpret_cast<void*>(LoadLibraryA(path)) : nullptr;
#else
        return dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
    }

    static void* symbol(void* library, const char* name)
    {
        if (!library)
            return nullptr;
#ifdef _WIN32
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
        return dlsym(library, name);
#endif
    }

    static void* symbol(void* library, const std::string& name)
    {
        return symbol(library, name.c_str());
    }
};
