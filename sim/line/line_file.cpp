#include "line_file.hpp"

#include <set>

#include "desk_arguments.hpp"
#include "stages.hpp"

namespace line {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// The words of a line up to its comment: a word that begins with '#' and the rest of the
// line; a '#' inside a word is the word's own.
std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (at < text.size() && text[at] == '#') break;
        const std::size_t start = at;
        while (at < text.size() && !IsBlank(text[at])) ++at;
        if (at > start) words.emplace_back(text.substr(start, at - start));
    }
    return words;
}

std::string WithPort(std::string word, int port) {
    const std::string mark = "{port}", number = std::to_string(port);
    for (std::size_t at = word.find(mark); at != std::string::npos; at = word.find(mark, at + number.size())) {
        word.replace(at, mark.size(), number);
    }
    return word;
}

// The station on the line's words, or the problem with it.
std::string ReadStation(const std::vector<std::string>& words, const ProgramFinder& find, Station& station) {
    if (words.size() < 4) return "expected NAME PORT STAGE COMMAND..., found " + std::to_string(words.size()) + " field(s)";
    if (words[0].size() > kNameLimit) {
        return "the name '" + words[0].substr(0, kNameLimit) + "...' is longer than " + std::to_string(kNameLimit) +
               " characters";
    }
    station.name = words[0];
    if (std::string problem = phone_tool::ParsePort(words[1].c_str(), station.port); !problem.empty()) return problem;
    const format::StageEntry* stage = format::FindStage(words[2]);
    if (stage == nullptr) return "unknown stage '" + words[2] + "' (stages: BSN BT CT LAMA FT IMEI RES1 RES2)";
    station.slot = stage->slot;
    const std::string program = WithPort(words[3], station.port);
    const std::optional<std::filesystem::path> found = find(program);
    if (!found) {
        return "the command '" + program +
               "' cannot be found: a word with a path separator is a file relative to the current folder, a bare "
               "name is looked up on PATH";
    }
    station.program = *found;
    for (std::size_t i = 4; i < words.size(); ++i) station.arguments.push_back(WithPort(words[i], station.port));
    return "";
}

}  // namespace

Route ParseRoute(std::string_view text, const ProgramFinder& find) {
    Route route;
    std::set<int> ports, slots;
    std::set<std::string> names;
    int number = 0;
    for (std::size_t start = 0; start <= text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line_text = text.substr(start, end - start);
        const std::vector<std::string> words = Words(line_text);
        start = end + 1;
        // A NUL byte would cut a word short where the system reads it: the file is not text.
        const bool nul = line_text.find('\0') != std::string_view::npos;
        if (words.empty() && !nul) continue;
        Station station;
        station.line_number = number + 1;
        std::string problem = nul ? "a NUL byte: a line file is text" : ReadStation(words, find, station);
        if (problem.empty() && !names.insert(station.name).second) problem = "the name '" + station.name + "' is used twice";
        if (problem.empty() && !ports.insert(station.port).second) {
            problem = "port " + std::to_string(station.port) + " is used by two stations";
        }
        if (problem.empty() && !slots.insert(station.slot).second) {
            problem = std::string("stage ") + format::kStages[station.slot].name + " is recorded by two stations";
        }
        if (!problem.empty()) {
            route.problem = "line " + std::to_string(station.line_number) + ": " + problem;
            route.stations.clear();
            return route;
        }
        route.stations.push_back(std::move(station));
    }
    if (route.stations.empty()) route.problem = "the line file names no station";
    return route;
}

}  // namespace line
