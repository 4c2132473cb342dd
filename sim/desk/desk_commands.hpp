// The desk commands of stagemark-phone, each given its sound command line.
#pragma once

#include "desk_arguments.hpp"

namespace desk {

int Insert(const Arguments& args);
int Remove(const Arguments& args);
int Where(const Arguments& args);
int Set(const Arguments& args);
int Fault(const Arguments& args);
int Trace(const Arguments& args);
int Pace(const Arguments& args);

// The port's phone file, as UTF-8; empty when its path cannot be shown.
std::string PhonePath(int port);

// Why a desk command failed, when the desk folder is the reason; else the fallback.
std::string DeskReason(const std::string& fallback);

}  // namespace desk
