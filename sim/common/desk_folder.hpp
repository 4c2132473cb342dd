// The desk folder: where the simulated phones, the planned faults, the trace and the
// port holds of one desk live, shared by every station process on it.
#pragma once

#include <filesystem>
#include <string>

namespace sim {

// STAGEMARK_SIM_DIR, or else a stagemark-sim folder in the temp folder.
std::filesystem::path DeskFolder();

// A path as UTF-8 text, for messages and for the desk's C interface.
std::string PathText(const std::filesystem::path& path);

// A file of the desk, such as "port1.phone".
std::filesystem::path DeskFile(const std::string& name);

// Makes the folder if it is missing and checks it can be trusted. Empty when it can;
// otherwise a sentence that says which folder, why not, and what to do.
std::string PrepareDeskFolder();

}  // namespace sim
