// A phone kept in a file: its record and a CRC-32, so a damaged file is noticed.
#pragma once

#include <filesystem>
#include <optional>

#include "phone_record.hpp"

namespace sim {

std::filesystem::path PhoneFolder();
std::filesystem::path PhoneFile(int port);

// Nothing when the file is missing, wrongly sized or damaged.
std::optional<Record> LoadPhoneFile(const std::filesystem::path& path);

// Writes a temporary file and renames it over the old one, so a process killed
// mid-write leaves the old record or the new one, never a mixture.
bool SavePhoneFile(const std::filesystem::path& path, const Record& record);

}  // namespace sim
