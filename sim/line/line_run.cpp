#include "line_run.hpp"

#include <algorithm>
#include <chrono>

#include "desk_faults.hpp"
#include "desk_pace.hpp"
#include "desk_trace.hpp"
#include "line_draws.hpp"
#include "line_system.hpp"
#include "phone_commands.hpp"
#include "phone_file.hpp"
#include "port_hold.hpp"
#include "record_build.hpp"
#include "record_text.hpp"
#include "stages.hpp"

namespace line {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// The link's floor of a run, and the checks it raised: from the port's trace, which is
// emptied before each run. A link that a planned fault kept from closing is the fault's
// doing, not the station's: its station called ExitTat, and no check of it is counted.
void ReadTraceOfRun(const desk::Folder& folder, const Station& station, const std::string& phone, double& floor_ms,
                    LineReport& report) {
    desk::FindLinkLeftOpen(folder, station.port);
    const std::vector<desk::TraceLine> lines = desk::PortLines(desk::ReadTrace(folder).lines, station.port);
    const bool close_failed = std::any_of(lines.begin(), lines.end(), [](const desk::TraceLine& line) {
        return line.op == "close" && line.result != 0;
    });
    unsigned bytes = 0;
    for (const desk::TraceLine& line : lines) {
        const bool left_open = line.detail.starts_with(desk::kLeftOpenCheck);
        if (line.op == "check" && !(left_open && close_failed)) report.checks.push_back({station.name, phone, line.detail});
        if (line.op == "read" || line.op == "write") bytes += line.bytes;
    }
    floor_ms = desk::LinkMilliseconds(bytes);
}

class Line {
  public:
    Line(const desk::Folder& folder, const Route& route, const LineOptions& options)
        : folder_(folder), route_(route), options_(options), draws_(options.seed) {
        report_.seed = options.seed;
        report_.stations.resize(route.stations.size());
    }

    LineReport Run(std::string& problem) {
        const Clock::time_point start = Clock::now();
        std::vector<int> paced_here;
        for (const Station& station : route_.stations) {
            if (!options_.pace || desk::PaceOn(folder_, station.port)) continue;
            if (!desk::SetPace(folder_, station.port, true)) problem = PaceFailed(station.port);
            paced_here.push_back(station.port);
        }
        for (int phone = 0; phone < options_.phones && problem.empty(); ++phone) problem = RunPhone();
        // The ports the line paced go back to the desk's speed.
        for (const int port : paced_here) {
            if (!desk::SetPace(folder_, port, false) && problem.empty()) problem = PaceFailed(port);
        }
        report_.total_s = Seconds(Clock::now() - start);
        return report_;
    }

  private:
    // One phone along the route: empty when the desk did what the line asked. A line that
    // stops leaves the desk as it found it, or says what it left where.
    std::string RunPhone() {
        std::string problem = CarryPhone();
        if (problem.empty()) return problem;
        if (faults_on_ >= 0) {
            if (const std::string left = desk::ClearFaults(folder_, faults_on_); !left.empty()) {
                problem += "; the faults the line planned on COM" + std::to_string(faults_on_) + " are left (" + left +
                           "): clear them with 'stagemark-phone fault --port " + std::to_string(faults_on_) +
                           " --clear'";
            }
        }
        if (phone_on_ >= 0) {
            const desk::CommandOutcome removed = desk::RemovePhone(folder_, phone_on_);
            if (removed.result != desk::CommandResult::Done && removed.result != desk::CommandResult::NoPhone) {
                problem += "; the line's phone is left on COM" + std::to_string(phone_on_) +
                           ": take it away with 'stagemark-phone remove --port " + std::to_string(phone_on_) + "'";
            }
        }
        return problem;
    }

    std::string CarryPhone() {
        const std::string bsn = draws_.Bsn();
        format::Record record{};
        format::NewPhoneRecord(bsn, record);
        const int first = route_.stations.front().port;
        if (std::string problem = Changed("putting phone " + bsn + " on", first,
                                          desk::InsertPhone(folder_, first, record));
            !problem.empty()) {
            return problem;
        }
        phone_on_ = first;
        ++report_.phones;
        for (std::size_t at = 0; at < route_.stations.size(); ++at) {
            const Station& station = route_.stations[at];
            bool passed = false, gone = false;
            if (std::string problem = RunStationOnPhone(at, bsn, passed, gone); !problem.empty()) return problem;
            if (gone) return "";
            const bool last = at + 1 == route_.stations.size();
            if (!last && (passed || draws_.Chance(options_.stray_rate))) {
                const int next = route_.stations[at + 1].port;
                if (std::string problem = Changed("carrying phone " + bsn + " from COM" + std::to_string(station.port) +
                                                      " to",
                                                  next, desk::MovePhone(folder_, station.port, next));
                    !problem.empty()) {
                    return problem;
                }
                phone_on_ = next;
                continue;
            }
            std::string problem =
                Changed("taking phone " + bsn + " off", station.port, desk::RemovePhone(folder_, station.port));
            if (problem.empty()) phone_on_ = -1;
            return problem;
        }
        return "";
    }

    // The station's run on the phone, and what the phone's record says after it; `gone` when
    // the station took the phone off the line.
    std::string RunStationOnPhone(std::size_t at, const std::string& bsn, bool& passed, bool& gone) {
        const Station& station = route_.stations[at];
        StationTally& tally = report_.stations[at];
        if (!desk::ClearTrace(folder_)) {
            return "clearing the desk's trace before " + station.name +
                   " failed: the desk folder could not be written; check its permissions";
        }
        if (std::string problem = PlanFaults(station.port); !problem.empty()) return problem;
        const Clock::time_point start = Clock::now();
        const StationRun run = RunStation(station.program, station.arguments, options_.limit_seconds);
        const double seconds = Seconds(Clock::now() - start);
        if (!run.started) {
            return "starting station " + station.name + " (" + desk::PathText(station.program) + ") failed: " +
                   run.problem + "; check that the program can be run";
        }
        if (options_.fault_rate > 0) {
            if (std::string problem = desk::ClearFaults(folder_, station.port); !problem.empty()) {
                return "clearing the faults left on COM" + std::to_string(station.port) + " failed: " + problem;
            }
            faults_on_ = -1;
        }
        report_.stations_s += seconds;
        ++tally.runs;
        tally.cycle_ms.push_back(seconds * 1000);
        if (run.timed_out) {
            ++tally.timeouts;
        } else if (run.signal != 0) {
            ++tally.signals[run.signal];
        } else {
            ++tally.exit_codes[run.exit_code];
        }
        double floor_ms = 0;
        ReadTraceOfRun(folder_, station, bsn, floor_ms, report_);
        tally.floor_ms.push_back(floor_ms);
        const desk::SeenPhone seen = desk::LoadPhone(folder_, station.port);
        if (seen.state != SIM_PHONE_PRESENT) {
            gone = true;
            return TakeOff(report_.destroyed, station, bsn,
                           seen.state == SIM_PHONE_NONE ? "its phone file was deleted"
                                                        : "its phone file was damaged or cannot be read");
        }
        // Another phone on the port than the one the line put there: the record judged would
        // not be this phone's.
        if (const std::string found = format::BsnText(seen.record.data()); found != bsn) {
            gone = true;
            return TakeOff(report_.swapped, station, bsn, "COM" + std::to_string(station.port) + " holds phone '" +
                                                              found + "' after it");
        }
        Judge(at, bsn, seen.record, run, passed);
        return "";
    }

    // A station that deleted, damaged or swapped its phone: its finding, and what is on the
    // port off the desk, so the line goes on with the next phone.
    std::string TakeOff(std::vector<Finding>& findings, const Station& station, const std::string& bsn,
                        const std::string& detail) {
        findings.push_back({station.name, bsn, detail});
        const desk::CommandOutcome removed = desk::RemovePhone(folder_, station.port);
        if (removed.result == desk::CommandResult::NoPhone) {
            phone_on_ = -1;
            return "";
        }
        std::string problem = Changed("taking what is left of phone " + bsn + " off", station.port, removed);
        if (problem.empty()) phone_on_ = -1;
        return problem;
    }

    // The record against the route so far: an escape, a lost result, a finished phone.
    void Judge(std::size_t at, const std::string& bsn, const format::Record& record, const StationRun& run,
               bool& passed) {
        const Station& station = route_.stations[at];
        const format::StageState state = format::StateOf(record.data(), station.slot);
        passed = state == format::StageState::Passed;
        bool whole = true;
        std::string missing;
        for (std::size_t before = 0; before < at; ++before) {
            const int slot = route_.stations[before].slot;
            if (format::StateOf(record.data(), slot) == format::StageState::Passed) continue;
            whole = false;
            if (!missing.empty()) missing += ", ";
            missing += std::string(format::kStages[slot].name) + " " + format::StateWord(format::StateOf(record.data(), slot));
        }
        if (passed && !whole) {
            report_.escapes.push_back({station.name, bsn, std::string(format::kStages[station.slot].name) +
                                                              " recorded as passed while " + missing});
        }
        if (!run.timed_out && run.exit_code == 0 && state == format::StageState::NotRecorded) {
            report_.lost.push_back({station.name, bsn, "exited 0, and the phone holds no result of " +
                                                           std::string(format::kStages[station.slot].name)});
        }
        if (passed && at + 1 == route_.stations.size()) {
            if (whole) {
                ++report_.finished_whole;
            } else {
                report_.finished_gap.push_back(bsn);
            }
        }
    }

    // A once-fault on the port for each op the station may call, each with the fault rate.
    std::string PlanFaults(int port) {
        if (options_.fault_rate == 0) return "";
        faults_on_ = port;
        for (int op = 0; op < SIM_OP_COUNT; ++op) {
            if (!draws_.Chance(options_.fault_rate)) continue;
            if (std::string problem = desk::PlanFault(folder_, port, {static_cast<SimOp>(op), false}); !problem.empty()) {
                return "planning a fault on COM" + std::to_string(port) + " failed: " + problem;
            }
        }
        return "";
    }

    std::string PaceFailed(int port) const {
        return "setting the pace of COM" + std::to_string(port) +
               " failed: the desk folder could not be written; check its permissions";
    }

    // Empty when the desk command was done; else what failed and why.
    static std::string Changed(const std::string& what, int port, const desk::CommandOutcome& outcome) {
        switch (outcome.result) {
            case desk::CommandResult::Done: return "";
            case desk::CommandResult::NoPhone: return what + " COM" + std::to_string(port) + " failed: no phone there";
            case desk::CommandResult::PhoneThere:
                return what + " COM" + std::to_string(port) +
                       " failed: a phone file is already there; take it away with 'stagemark-phone remove --port " +
                       std::to_string(port) + "' and run the line again";
            case desk::CommandResult::InUse:
            case desk::CommandResult::Failed: break;
        }
        return what + " COM" + std::to_string(port) + " failed: " + outcome.problem;
    }

    const desk::Folder& folder_;
    const Route& route_;
    const LineOptions& options_;
    Draws draws_;
    LineReport report_;
    int phone_on_ = -1;   // the port of the line's phone on the desk, or -1
    int faults_on_ = -1;  // the port the line planned faults on and has not cleared, or -1
};

}  // namespace

LineReport RunLine(const desk::Folder& folder, const Route& route, const LineOptions& options, std::string& problem) {
    return Line(folder, route, options).Run(problem);
}

}  // namespace line
