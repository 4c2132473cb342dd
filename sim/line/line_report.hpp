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
    int finished_whole = 0;                 // finished with every stage of the route passed
    std::vector<std::string> finished_gap;  // finished with a failed or missing stage
    double total_s = 0, stations_s = 0;     // the whole run, and its time in station processes
};

std::string ReportText(const Route& route, const LineReport& report);
std::string ReportJson(const Route& route, const LineReport& report);

// 0 when nothing escaped, no result was lost and the trace raised no check; else 1.
int ReportCode(const LineReport& report);

}  // namespace line
