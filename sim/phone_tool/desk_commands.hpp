// The desk commands of stagemark-phone, each given its sound command line.
#pragma once

#include "desk_arguments.hpp"
#include "desk_folder.hpp"

namespace phone_tool {

int Insert(const Arguments& args);
int Remove(const Arguments& args);
int Move(const Arguments& args);
int Where(const Arguments& args);
int Set(const Arguments& args);
int Fault(const Arguments& args);
int Trace(const Arguments& args);
int Pace(const Arguments& args);
// The line command takes its own command line.
int Line(int argc, char** argv);

// The port's phone file, as UTF-8.
std::string PhonePath(const desk::Folder& folder, int port);

// Says that the desk folder cannot be used, and returns the exit code: for the commands
// that only read or plan.
int FolderRefused(const desk::Folder& folder);

}  // namespace phone_tool
