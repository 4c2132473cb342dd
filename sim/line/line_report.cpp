#include "line_report.hpp"

#include <algorithm>
#include <cstdio>

#include "json_text.hpp"
#include "stages.hpp"

namespace line {
namespace {

constexpr int kUsageExit = 64;  // a station that refused its words never ran on the phone

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Slowest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::string Number(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Joined(const std::vector<std::string>& parts, const char* between) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += between;
        text += part;
    }
    return text;
}

std::string CodesText(const StationTally& tally) {
    std::vector<std::string> counts;
    for (const auto& [code, count] : tally.exit_codes) counts.push_back(std::to_string(code) + ":" + std::to_string(count));
    for (const auto& [signal, count] : tally.signals) {
        counts.push_back("signal " + std::to_string(signal) + ":" + std::to_string(count));
    }
    if (tally.timeouts > 0) counts.push_back("timeout:" + std::to_string(tally.timeouts));
    return counts.empty() ? "-" : Joined(counts, " ");
}

std::string FindingsText(const char* title, const std::vector<Finding>& findings) {
    std::string text = std::string(title) + ": " + std::to_string(findings.size()) + "\n";
    for (const Finding& finding : findings) {
        text += "  " + finding.station + ", phone " + finding.phone;
        if (!finding.detail.empty()) text += ": " + finding.detail;
        text += "\n";
    }
    return text;
}

std::string FindingsJson(const std::vector<Finding>& findings) {
    std::vector<std::string> objects;
    for (const Finding& finding : findings) {
        std::string object = "{\"station\": " + format::JsonString(finding.station) +
                             ", \"phone\": " + format::JsonString(finding.phone);
        if (!finding.detail.empty()) object += ", \"detail\": " + format::JsonString(finding.detail);
        objects.push_back(object + "}");
    }
    std::string json = "[";
    json += Joined(objects, ", ");
    return json + "]";
}

double DeskShare(const LineReport& report) {
    return report.total_s > 0 ? (report.total_s - report.stations_s) / report.total_s * 100 : 0;
}

}  // namespace

std::string ReportText(const Route& route, const LineReport& report) {
    std::string text = "line of " + std::to_string(route.stations.size()) + " stations, " +
                       std::to_string(report.phones) + " phones, seed " + std::to_string(report.seed) + "\n";
    // The name column as wide as the longest name, so each row stays under its heading.
    int width = 10;
    for (const Station& station : route.stations) width = std::max(width, static_cast<int>(station.name.size()));
    char row[256];
    std::snprintf(row, sizeof row, "%-*s %4s  %-5s %5s  %-22s %10s %10s %11s\n", width, "station", "port", "stage",
                  "runs", "exit codes", "median ms", "slowest ms", "link floor");
    text += row;
    for (std::size_t i = 0; i < route.stations.size(); ++i) {
        const Station& station = route.stations[i];
        const StationTally& tally = report.stations[i];
        std::snprintf(row, sizeof row, "%-*s %4d  %-5s %5d  %-22s %10s %10s %11s\n", width, station.name.c_str(),
                      station.port, format::kStages[station.slot].name, tally.runs, CodesText(tally).c_str(),
                      Number(Median(tally.cycle_ms), 1).c_str(), Number(Slowest(tally.cycle_ms), 1).c_str(),
                      Number(Median(tally.floor_ms), 1).c_str());
        text += row;
    }
    text += FindingsText("escapes", report.escapes) + FindingsText("lost results", report.lost) +
            FindingsText("checks", report.checks) + FindingsText("phones destroyed", report.destroyed) +
            FindingsText("phones swapped", report.swapped);
    text += "finished the route: " + std::to_string(report.finished_whole) + " with every stage passed, " +
            std::to_string(report.finished_gap.size()) + " with a failed or missing stage\n";
    for (const std::string& phone : report.finished_gap) text += "  phone " + phone + "\n";
    text += "time: " + Number(report.total_s, 2) + " s, " + Number(report.stations_s, 2) +
            " s of it in station processes, the desk's share " + Number(DeskShare(report), 1) + " %\n";
    return text;
}

std::string ReportJson(const Route& route, const LineReport& report) {
    std::string json = "{\"seed\": " + std::to_string(report.seed) + ", \"phones\": " + std::to_string(report.phones) +
                       ", \"stations\": [";
    for (std::size_t i = 0; i < route.stations.size(); ++i) {
        const Station& station = route.stations[i];
        const StationTally& tally = report.stations[i];
        std::vector<std::string> codes;
        for (const auto& [code, count] : tally.exit_codes) {
            codes.push_back(format::JsonString(std::to_string(code)) + ": " + std::to_string(count));
        }
        for (const auto& [signal, count] : tally.signals) {
            codes.push_back(format::JsonString("signal " + std::to_string(signal)) + ": " + std::to_string(count));
        }
        if (i > 0) json += ", ";
        json += "{\"name\": " + format::JsonString(station.name) +
                ", \"port\": " + std::to_string(station.port) + ", \"stage\": " +
                format::JsonString(format::kStages[station.slot].name) + ", \"runs\": " + std::to_string(tally.runs) +
                ", \"exit_codes\": {" + Joined(codes, ", ") + "}, \"timeouts\": " + std::to_string(tally.timeouts) +
                ", \"cycle_ms\": {\"median\": " + Number(Median(tally.cycle_ms), 3) + ", \"slowest\": " +
                Number(Slowest(tally.cycle_ms), 3) + "}, \"link_floor_ms\": " + Number(Median(tally.floor_ms), 3) + "}";
    }
    json += "], \"escapes\": " + FindingsJson(report.escapes) + ", \"lost_results\": " + FindingsJson(report.lost) +
            ", \"checks\": " + FindingsJson(report.checks) +
            ", \"phones_destroyed\": " + FindingsJson(report.destroyed) +
            ", \"phones_swapped\": " + FindingsJson(report.swapped) + ", \"finished\": {\"every_stage_passed\": " +
            std::to_string(report.finished_whole) + ", \"failed_or_missing\": [";
    std::vector<std::string> gaps;
    for (const std::string& phone : report.finished_gap) gaps.push_back(format::JsonString(phone));
    json += Joined(gaps, ", ") + "]}, \"time_s\": {\"total\": " + Number(report.total_s, 3) + ", \"stations\": " +
            Number(report.stations_s, 3) + ", \"desk_share_percent\": " + Number(DeskShare(report), 1) + "}}\n";
    return json;
}

int ReportCode(const LineReport& report) {
    const bool all_ran = std::all_of(report.stations.begin(), report.stations.end(), [](const StationTally& tally) {
        return tally.timeouts == 0 && tally.signals.empty() && tally.exit_codes.count(kUsageExit) == 0;
    });
    return all_ran && report.escapes.empty() && report.lost.empty() && report.checks.empty() &&
                   report.destroyed.empty() && report.swapped.empty()
               ? 0
               : 1;
}

}  // namespace line
