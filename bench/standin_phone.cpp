// The stand-in driver with its phone in memory and its call log off.
#include "phone_under_test.hpp"
#include "stagemark.h"
#include "stagemark_sim.h"

namespace bench {

const char* PhoneDescription() { return "library and stand-in driver, phone in memory"; }

void OpenLinkToFreshPhone() {
    CloseTestHandle();
    sim_reset();
    sim_set_logging(0);
    InitTat(1);
    R_RES2_Pass();
}

unsigned long DriverReads() { return sim_op_count(SIM_READ_RECORD); }
unsigned long DriverWrites() { return sim_op_count(SIM_WRITE_RECORD); }

}  // namespace bench
