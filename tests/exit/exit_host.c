/* A host that loads the library the way lab scripts do, uses a unit, and ends without tidying up.
 * Usage: kavra_exit_host LIBRARY D2XX_LIBRARY ORDER ENDING
 *   ORDER  library-first: load LIBRARY only (it loads the D2XX library itself);
 *          d2xx-first: load D2XX_LIBRARY into the process before LIBRARY.
 *   ENDING close: closeSession, then return from main; open: return with the unit still open;
 *          exit: call exit(0) with the unit still open; unload: unload LIBRARY (dlclose,
 *          FreeLibrary) with the unit still open, then return.
 * Prints the status of the call on the unit; the process itself must always end with 0. */
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
typedef HMODULE Library;
#else
#include <dlfcn.h>
typedef void* Library;
#endif

typedef int (*ChannelStatusFn)(int, int, bool*, bool*);
typedef int (*CloseSessionFn)(void);

static Library loadLibrary(const char* path)
{
#ifdef _WIN32
    Library library = LoadLibraryA(path);
    if (!library)
        fprintf(stderr, "%s: error %lu\n", path, GetLastError());
#else
    Library library = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
    if (!library)
        fprintf(stderr, "%s\n", dlerror());
#endif
    return library;
}

static void* findSymbol(Library library, const char* name)
{
#ifdef _WIN32
    return (void*)GetProcAddress(library, name);
#else
    return dlsym(library, name);
#endif
}

static void unloadLibrary(Library library)
{
#ifdef _WIN32
    FreeLibrary(library);
#else
    dlclose(library);
#endif
}

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr,
            "usage: %s LIBRARY D2XX_LIBRARY library-first|d2xx-first close|open|exit|unload\n",
            argv[0]);
        return 2;
    }
#ifdef _WIN32
    _putenv_s("KAVRA_D2XX_LIBRARY", argv[2]);
#else
    setenv("KAVRA_D2XX_LIBRARY", argv[2], 1);
#endif
    if (strcmp(argv[3], "d2xx-first") == 0 && !loadLibrary(argv[2]))
        return 2;
    Library library = loadLibrary(argv[1]);
    if (!library)
        return 2;
    ChannelStatusFn getChannelStatus = (ChannelStatusFn)findSymbol(library, "getChannelStatus");
    CloseSessionFn closeSession = (CloseSessionFn)findSymbol(library, "closeSession");
    if (!getChannelStatus || !closeSession)
        return 2;
    bool first = false, second = false;
    printf("%d\n", getChannelStatus(1, 1, &first, &second));
    fflush(stdout);
    if (strcmp(argv[4], "close") == 0)
        closeSession();
    else if (strcmp(argv[4], "exit") == 0)
        exit(0);
    else if (strcmp(argv[4], "unload") == 0)
        unloadLibrary(library);
    return 0;
}
