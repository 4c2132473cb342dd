/*
 * A station program with one of the mistakes that a line on the desk catches, each made
 * through the library's exports as a careless station would make it:
 *
 *     bad_station MISTAKE PORT STAGE [REQUIRED_STAGE...]
 *
 *   skip-route-check     records STAGE as passed without checking the required stages:
 *                        a phone that failed or missed one escapes the route
 *   ignore-failed-write  checks the route, then says "recorded" and exits 0 even when the
 *                        write to the phone failed: the result is lost
 *   leave-open           checks the route and records, then ends with its test handle and
 *                        link open, never CloseTestHandle or ExitTat
 *
 * Exit: 0 "recorded", 1 refused, 2 a step failed, 64 usage error. Never use it on a line.
 */
/* The example station with one mistake: its stages, their names and its port parsing are
 * the example's own; its main is not this program's. */
#define main station_main
#include "../station.c"
#undef main

static int Refused(const struct Stage **required, int count) {
    int i;
    for (i = 0; i < count; ++i) {
        if (required[i]->status() != 1) {
            printf("phone refused: %s has not passed\n", required[i]->name);
            return EXIT_REFUSED;
        }
    }
    return 0;
}

int main(int argc, char **argv) {
    const struct Stage *required[8];
    const struct Stage *stage;
    const char *mistake = argc > 1 ? argv[1] : "";
    int skip = strcmp(mistake, "skip-route-check") == 0, ignore = strcmp(mistake, "ignore-failed-write") == 0;
    int leave = strcmp(mistake, "leave-open") == 0;
    int port, i, written;

    if (argc < 4 || argc > 4 + 8 || !(skip || ignore || leave) || (port = ParsePort(argv[2])) < 0 ||
        (stage = FindStage(argv[3])) == NULL) {
        fprintf(stderr, "usage: bad_station skip-route-check|ignore-failed-write|leave-open PORT STAGE [REQUIRED...]\n");
        return EXIT_USAGE;
    }
    for (i = 4; i < argc; ++i) {
        if ((required[i - 4] = FindStage(argv[i])) == NULL) return EXIT_USAGE;
    }
    if (!InitTat((unsigned char)port)) return EXIT_STEP_FAILED;
    if (!DetectMobile(0) || OpenTestHandle() == NULL) {
        ExitTat((unsigned char)port);
        return EXIT_STEP_FAILED;
    }
    if (!skip && Refused(required, argc - 4)) {
        CloseTestHandle();
        ExitTat((unsigned char)port);
        return EXIT_REFUSED;
    }
    written = stage->pass();
    if (leave) return written ? 0 : EXIT_STEP_FAILED; /* the mistake: the handle and the link stay open */
    CloseTestHandle();
    ExitTat((unsigned char)port);
    if (!written && !ignore) return EXIT_STEP_FAILED;
    printf("%s recorded as passed\n", stage->name); /* the mistake of ignore-failed-write: said even when not */
    return 0;
}
