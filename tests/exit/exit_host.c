/* A host that loads the library the way lab scripts do, uses a unit, and ends without tidying up.
 * Usage: kavra_exit_host LIBRARY D2XX_LIBRARY ORDER ENDING
 *   ORDER  library-first: load LIBRARY only (it loads the D2XX library itself);
 *          d2xx-first: load D2XX_LIBRARY into the process before LIBRARY.
 *   ENDING close: closeSession, then return from main; open: return with the unit still open;
 *          exit: call exit(0) with the unit still open.
 * Prints the status of the call on the unit; the process itself must always end with 0. */
#include <dlfcn.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int (*ChannelStatusFn)(int, int, bool*, bool*);
typedef int (*CloseSessionFn)(void);

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: %s LIBRARY D2XX_LIBRARY library-first|d2xx-first close|open|exit\n",
            argv[0]);
        return 2;
    }
    setenv("KAVRA_D2XX_LIBRARY", argv[2], 1);
    if (strcmp(argv[3], "d2xx-first") == 0 && !dlopen(argv[2], RTLD_NOW | RTLD_GLOBAL)) {
        fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW);
    if (!library) {
        fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    ChannelStatusFn getChannelStatus = (ChannelStatusFn)dlsym(library, "getChannelStatus");
    CloseSessionFn closeSession = (CloseSessionFn)dlsym(library, "closeSession");
    if (!getChannelStatus || !closeSession)
        return 2;
    bool first = false, second = false;
    printf("%d\n", getChannelStatus(1, 1, &first, &second));
    fflush(stdout);
    if (strcmp(argv[4], "close") == 0)
        closeSession();
    else if (strcmp(argv[4], "exit") == 0)
        exit(0);
    return 0;
}
