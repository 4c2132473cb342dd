/* A small station on a desk: puts a new phone on the simulated link, records
 * two stages' results directly, and prints what the phone now holds. */
#include <stdio.h>

#include "serial_link.h"
#include "stagemark.h"
#include "stagemark_sim.h"

static const char *const kStages[] = {"BSN", "BT", "CT", "LAMA", "FT", "IMEI", "RES1", "RES2"};

int main(void) {
    char port_name[] = "COM1";
    unsigned char record[SIM_RECORD_SIZE];
    int i;

    sim_reset();
    if (_SL1_12TLSAllocate() != 0 || _SL3_02InitSL(port_name, 115200, 0, 0, 73, 79, 0, 0) != 0) {
        fprintf(stderr, "the simulated link did not open\n");
        return 2;
    }
    printf("R_BSN_Pass -> %d\n", R_BSN_Pass());
    printf("R_FT_Fail  -> %d\n", R_FT_Fail());

    if (!sim_get_record(record)) return 2;
    printf("phone BSN %02x%02x%02x%02x%02x\n", record[789], record[790], record[791], record[792], record[793]);
    for (i = 0; i < 8; ++i) {
        unsigned mask = 0x80u >> i;
        const char *state = !(record[811] & mask) ? "not recorded" : (record[810] & mask) ? "passed" : "failed";
        printf("  %-4s %s\n", kStages[i], state);
    }
    return 0;
}
