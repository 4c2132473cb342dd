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
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "stagemark.h"

typedef int(STAGEMARK_CALL *StageCall)(void);

struct Stage {
    const char *name;
    StageCall status;
    StageCall pass;
};

static const struct Stage kStages[] = {
    {"BSN", BSN_Status, BSN_Pass},    {"BT", BT_Status, BT_Pass},       {"CT", CT_Status, CT_Pass},
    {"LAMA", LAMA_Status, LAMA_Pass}, {"FT", FT_Status, FT_Pass},       {"IMEI", IMEI_Status, IMEI_Pass},
    {"RES1", RES1_Status, RES1_Pass}, {"RES2", RES2_Status, RES2_Pass},
};

static const struct Stage *StageNamed(const char *name) {
    size_t i;
    for (i = 0; i < sizeof kStages / sizeof kStages[0]; ++i) {
        if (strcmp(kStages[i].name, name) == 0) return &kStages[i];
    }
    return NULL;
}

/* 1..255 in plain decimal, or -1. */
static int PortNumber(const char *text) {
    int port = 0;
    size_t i;
    if (text[0] < '1' || text[0] > '9') return -1;
    for (i = 0; text[i] != '\0'; ++i) {
        if (i == 3 || !isdigit((unsigned char)text[i])) return -1;
        port = port * 10 + (text[i] - '0');
    }
    return port <= 255 ? port : -1;
}

static int Refused(const struct Stage **required, int count) {
    int i;
    for (i = 0; i < count; ++i) {
        if (required[i]->status() != 1) {
            printf("phone refused: %s has not passed\n", required[i]->name);
            return 1;
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

    if (argc < 4 || argc > 4 + 8 || !(skip || ignore || leave) || (port = PortNumber(argv[2])) < 0 ||
        (stage = StageNamed(argv[3])) == NULL) {
        fprintf(stderr, "usage: bad_station skip-route-check|ignore-failed-write|leave-open PORT STAGE [REQUIRED...]\n");
        return 64;
    }
    for (i = 4; i < argc; ++i) {
        if ((required[i - 4] = StageNamed(argv[i])) == NULL) return 64;
    }
    if (!InitTat((unsigned char)port)) return 2;
    if (!DetectMobile(0) || OpenTestHandle() == NULL) {
        ExitTat((unsigned char)port);
        return 2;
    }
    if (!skip && Refused(required, argc - 4)) {
        CloseTestHandle();
        ExitTat((unsigned char)port);
        return 1;
    }
    written = stage->pass();
    if (leave) return written ? 0 : 2; /* the mistake: the handle and the link stay open */
    CloseTestHandle();
    ExitTat((unsigned char)port);
    if (!written && !ignore) return 2;
    printf("%s recorded as passed\n", stage->name); /* the mistake of ignore-failed-write: said even when not */
    return 0;
}
