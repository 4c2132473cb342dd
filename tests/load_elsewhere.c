/*
 * A station program that lives in another folder than stagemark.dll, and loads it the
 * documented way: by full path with LOAD_WITH_ALTERED_SEARCH_PATH, so that Windows looks
 * for sl.dll and dv.dll in the DLL's own folder. Then it records a result.
 *
 *     load_elsewhere FULL_PATH_OF_STAGEMARK_DLL PORT
 */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

typedef int(__cdecl *PortCall)(unsigned char);
typedef int(__cdecl *Result)(void);

int main(int argc, char **argv) {
    HMODULE library;
    PortCall init, exit_link;
    Result pass;
    unsigned char port;
    int recorded;
    if (argc != 3) {
        fprintf(stderr, "usage: load_elsewhere FULL_PATH_OF_STAGEMARK_DLL PORT\n");
        return 64;
    }
    port = (unsigned char)strtol(argv[2], NULL, 10);
    library = LoadLibraryExA(argv[1], NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == NULL) {
        fprintf(stderr, "load_elsewhere: loading %s failed with error %lu\n", argv[1], GetLastError());
        return 2;
    }
    init = (PortCall)(void (*)(void))GetProcAddress(library, "InitTat");
    exit_link = (PortCall)(void (*)(void))GetProcAddress(library, "ExitTat");
    pass = (Result)(void (*)(void))GetProcAddress(library, "R_BSN_Pass");
    if (init == NULL || exit_link == NULL || pass == NULL || !init(port)) {
        fprintf(stderr, "load_elsewhere: opening the link on COM%u failed\n", port);
        return 2;
    }
    recorded = pass();
    if (!exit_link(port) || !recorded) {
        fprintf(stderr, "load_elsewhere: recording BSN on COM%u failed\n", port);
        return 2;
    }
    printf("loaded from another folder: BSN recorded as passed on COM%u\n", port);
    return 0;
}
