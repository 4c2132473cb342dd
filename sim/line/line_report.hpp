// What a run of the line found: for each station its runs, exit codes and cycle times
// against the link's floor; the escapes, the lost results and the trace's checks, each
// with its station and phone; and the phones that finished the route.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "line_file.hpp"

namespace line {

struct StationTally {
    int runs = 0;
    int timeouts = 0;
    std::map<int, int> exit_codes;  // a count per code of the runs that ended by themselves
    std::map<int, int> signals;     // a count per signal of the runs a signal ended
    std::vector<double> cycle_ms;   // each run's wall time
    std::vector<double> floor_ms;   // each run's link floor: its record transfers at 115200 baud
};

struct Finding {
    std::string station, phone, detail;
};

struct LineReport {
    std::uint64_t seed = 0;
    int phones = 0;
    std::vector<StationTally> stations;  // in the route's order
    std::vector<Finding> escapes, lost, checks;
    std::vector<Finding> destroyed;  // phones a station deleted or damaged: off the line
    std::vector<Finding> swapped;    // phones a station left another phone in place of: off the line
    int finished_whole = 0;                 // finished with every stage of the route passed
    std::vector<std::string> finished_gap;  // finished with a failed or missing stage
    double total_s = 0, stations_s = 0;     // the whole run, and its time in station processes
};

std::string ReportText(const Route& route, const LineReport& report);
std::string ReportJson(const Route& route, const LineReport& report);

// 0 when nothing escaped, no result was lost, the trace raised no check, no phone was
// destroyed or swapped and every station really ran: none stopped at the limit, ended by a signal or
// refused its words (exit 64); else 1.
int ReportCode(const LineReport& report);

}  // namespace line
