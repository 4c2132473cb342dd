// A phone kept in a file: its record and a CRC-32, so a damaged file is noticed.
#pragma once

#include <filesystem>

#include "phone_record.hpp"
#include "regular_file.hpp"
#include "stagemark_sim.h"

namespace sim {

std::filesystem::path PhoneFile(int port);

struct LoadedPhone {
    SimPhoneState state = SIM_PHONE_NONE;
    Record record{};  // valid when state is SIM_PHONE_PRESENT
};

// Reads the phone; a missing, wrongly sized, damaged or unreadable file is no record,
// and neither is any file in a desk folder that cannot be trusted.
LoadedPhone LoadPhoneFile(const std::filesystem::path& path);

// Replaces the phone's record: readers see the old record or the new one, never a mixture.
bool SavePhoneFile(const std::filesystem::path& path, const Record& record);

// Puts a new phone where no phone file is; Exists when one is there, whatever its state.
FileWrite CreatePhoneFile(const std::filesystem::path& path, const Record& record);

}  // namespace sim
