// The desk folder: where the simulated phones, the planned faults, the trace and the
// port holds of one desk live, shared by every station process on it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "file_lock.hpp"

namespace sim {

// STAGEMARK_SIM_DIR, or else a stagemark-sim folder in the temp folder.
std::filesystem::path DeskFolder();

// A path as UTF-8 text, for messages and for the desk's C interface.
std::string PathText(const std::filesystem::path& path);

// A file of the desk, such as "desk.trace".
std::filesystem::path DeskFile(const std::string& name);

// A port's file of the desk: PortFile(1, ".phone") is "port1.phone".
std::filesystem::path PortFile(int port, const char* extension);

// Makes the folder if it is missing and checks it can be trusted. Empty when it can;
// otherwise a sentence that says which folder, why not, and what to do.
std::string PrepareDeskFolder();

// The desk's lock for its short updates (the trace, the faults), held while the result
// lives; null when the folder cannot be trusted or the lock cannot be had.
std::unique_ptr<FileLock> LockDesk();

}  // namespace sim
