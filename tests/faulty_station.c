/*
 * Station programs with the mistakes the desk must catch, each made through the
 * library's exports as a real station would make it:
 *
 *   faulty_station handle-across-ports A B   a test handle opened on the phone at COM<A>,
 *                                            left open across ExitTat and InitTat, then
 *                                            a result recorded on the phone at COM<B>
 *   faulty_station direct-beside-handle P    a direct result recorded while a handle is
 *                                            open, then the handle's next result
 *   faulty_station no-exit P                 ends with the link open
 *   faulty_station no-link                   records a result with no link open
 *   faulty_station hold P MILLISECONDS       a correct station that keeps its link open
 *   faulty_station hold P                    the same, until its standard input ends: as
 *                                            long as a test needs, however slow the machine
 *   faulty_station detect P COUNT            a correct station that runs detection COUNT
 *                                            times, handing it 0, 1, 2, ...
 *
 * Exit 0 when every call went as the mistake expects, 1 otherwise.
 */
#define _POSIX_C_SOURCE 199309L /* nanosleep in strict C99 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "stagemark.h"

static void Pause(long milliseconds) {
#ifdef _WIN32
    Sleep((DWORD)milliseconds);
#else
    struct timespec interval;
    interval.tv_sec = milliseconds / 1000;
    interval.tv_nsec = (milliseconds % 1000) * 1000000L;
    nanosleep(&interval, NULL);
#endif
}

static int Expect(int ok, const char *what) {
    if (!ok) fprintf(stderr, "faulty_station: %s went otherwise\n", what);
    return ok;
}

static unsigned char Port(const char *text) { return (unsigned char)strtol(text, NULL, 10); }

int main(int argc, char **argv) {
    const char *mistake = argc > 1 ? argv[1] : "";
    int ok = 1;
    if (strcmp(mistake, "handle-across-ports") == 0 && argc == 4) {
        ok = Expect(InitTat(Port(argv[2])), "InitTat A") && Expect(OpenTestHandle() != NULL, "open on A") &&
             Expect(ExitTat(Port(argv[2])), "ExitTat A") && Expect(InitTat(Port(argv[3])), "InitTat B") &&
             Expect(BT_Pass(), "BT_Pass on B") && Expect(ExitTat(Port(argv[3])), "ExitTat B");
        CloseTestHandle();
    } else if (strcmp(mistake, "direct-beside-handle") == 0 && argc == 3) {
        ok = Expect(InitTat(Port(argv[2])), "InitTat") && Expect(OpenTestHandle() != NULL, "open") &&
             Expect(R_CT_Fail(), "R_CT_Fail") && Expect(BT_Pass(), "BT_Pass");
        CloseTestHandle();
        ok = Expect(ExitTat(Port(argv[2])), "ExitTat") && ok;
    } else if (strcmp(mistake, "no-exit") == 0 && argc == 3) {
        ok = Expect(InitTat(Port(argv[2])), "InitTat");
    } else if (strcmp(mistake, "no-link") == 0 && argc == 2) {
        ok = Expect(!R_FT_Pass(), "R_FT_Pass with no link");
    } else if (strcmp(mistake, "hold") == 0 && (argc == 3 || argc == 4)) {
        ok = Expect(InitTat(Port(argv[2])), "InitTat");
        if (ok) {
            printf("holding\n");
            fflush(stdout);
            if (argc == 4) {
                Pause(strtol(argv[3], NULL, 10));
            } else {
                while (getchar() != EOF) continue;
            }
            ok = Expect(ExitTat(Port(argv[2])), "ExitTat");
        }
    } else if (strcmp(mistake, "detect") == 0 && argc == 4) {
        long i, count = strtol(argv[3], NULL, 10);
        ok = Expect(InitTat(Port(argv[2])), "InitTat");
        for (i = 0; ok && i < count; ++i) ok = Expect(DetectMobile((int)i), "DetectMobile");
        ok = Expect(ExitTat(Port(argv[2])), "ExitTat") && ok;
    } else {
        fprintf(stderr, "usage: see the comment at the top of faulty_station.c\n");
        return 64;
    }
    return ok ? 0 : 1;
}
