/* A small station on a desk: a new phone on the simulated link, one station's
 * whole visit through the library's exports, and what the phone now holds. */
#include <stdio.h>

#include "stagemark.h"
#include "stagemark_sim.h"

static const char *const kStages[] = {"BSN", "BT", "CT", "LAMA", "FT", "IMEI", "RES1", "RES2"};

int main(void) {
    const unsigned char port = 1;
    char bsn[STAGEMARK_BSN_TEXT_SIZE];
    TestHandle *copy;
    int i;

    sim_reset(); /* a new phone, kept in memory */
    if (!InitTat(port)) {
        fprintf(stderr, "the link did not open on COM%u\n", port);
        return 2;
    }
    printf("DetectMobile   -> %d\n", DetectMobile(0));
    copy = (TestHandle *)OpenTestHandle();
    if (!copy) {
        fprintf(stderr, "the phone's record could not be read\n");
        ExitTat(port);
        return 2;
    }
    GetBsnStr(bsn);
    printf("BSN            %s\n", bsn);
    printf("BSN_Pass       -> %d\n", BSN_Pass());
    printf("BT_Fail        -> %d\n", BT_Fail());
    CloseTestHandle();
    printf("R_FT_Pass      -> %d\n", R_FT_Pass());

    copy = (TestHandle *)OpenTestHandle();
    if (copy) {
        int (*const statuses[])(void) = {BSN_Status, BT_Status, CT_Status, LAMA_Status,
                                         FT_Status, IMEI_Status, RES1_Status, RES2_Status};
        static const char *const kWords[] = {"not recorded", "passed", "failed"};
        for (i = 0; i < 8; ++i) printf("  %-4s %s\n", kStages[i], kWords[statuses[i]()]);
        CloseTestHandle();
    }
    printf("ExitTat        -> %d\n", ExitTat(port));
    return 0;
}
