/* A station process without the desk: the stand-ins keep the phone in memory, and the
 * process makes the calls of 'stagemark pass CT'. Beside the tool on the desk, it shows
 * what the desk costs a station process. */
#include <stdio.h>

#include "stagemark.h"
#include "stagemark_sim.h"

int main(void) {
    int ok;
    sim_reset();
    ok = InitTat(1) && OpenTestHandle() != NULL;
    ok = ok && CT_Pass();
    CloseTestHandle();
    ok = ExitTat(1) && ok;
    if (!ok) fprintf(stderr, "memory_station: recording CT failed\n");
    return ok ? 0 : 2;
}
