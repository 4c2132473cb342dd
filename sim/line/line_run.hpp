// Running the route on the desk: each phone new, put on the first station's port, carried
// from station to station, each station's command a process of its own; a phone that did
// not pass leaves the line, unless an operator carries it on anyway (a stray).
#pragma once

#include <cstdint>
#include <string>

#include "desk_folder.hpp"
#include "line_file.hpp"
#include "line_report.hpp"

namespace line {

struct LineOptions {
    int phones = 0;
    std::uint32_t fault_rate = 0;      // millionths: each op a station may call fails with it
    std::uint32_t stray_rate = 200000;  // millionths: a phone that did not pass goes on anyway
    std::uint64_t seed = 0;
    bool pace = false;                 // transfers take the link's time
    int limit_seconds = 60;            // a station run past it is stopped
};

// The report; `problem` set when the desk failed and the line stopped, saying where.
LineReport RunLine(const desk::Folder& folder, const Route& route, const LineOptions& options, std::string& problem);

}  // namespace line
