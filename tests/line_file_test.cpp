// The line file as the line reads it: each good route gives its stations in the file's
// order, and each mistake is refused with the line it is on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "line_file.hpp"

namespace {

using namespace std::string_view_literals;

// Only these programs exist: one on PATH, one by its path.
std::optional<std::filesystem::path> FakeFinder(const std::string& word) {
    if (word == "station") return std::filesystem::path("/bin/station");
    if (word == "tools/check") return std::filesystem::path("/here/tools/check");
    return std::nullopt;
}

struct GoodCase {
    const char* name;
    const char* text;
    std::vector<std::string> names;
    std::vector<int> ports, slots;
    std::vector<std::string> first_arguments;  // the first station's
};

TEST(LineFile, GoodRoutesGiveTheirStationsInOrder) {
    const GoodCase cases[] = {
        {"two stations", "bsn 1 BSN station {port} BSN\nbt 2 BT station {port} BT BSN\n", {"bsn", "bt"}, {1, 2}, {0, 1},
         {"1", "BSN"}},
        {"comments, blank lines and tabs", "# name port stage command\n\n  ft\t7\tft  tools/check --port={port} # FT\n",
         {"ft"}, {7}, {4}, {"--port=7"}},
        {"the port twice in one word, no newline at the end", "r 12 RES2 station {port}:{port}", {"r"}, {12}, {7},
         {"12:12"}},
        {"CRLF line ends", "a 3 CT station x\r\nb 4 LAMA station y\r\n", {"a", "b"}, {3, 4}, {2, 3}, {"x"}},
        {"a '#' inside a word is the word's", "a#1 5 BSN station x#y #z\n", {"a#1"}, {5}, {0}, {"x#y"}},
        {"stations not in stage order", "late 9 IMEI station\nearly 8 BSN station\n", {"late", "early"}, {9, 8}, {5, 0},
         {}},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.name);
        const line::Route route = line::ParseRoute(c.text, FakeFinder);
        ASSERT_EQ(route.problem, "");
        ASSERT_EQ(route.stations.size(), c.names.size());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(route.stations[i].name, c.names[i]);
            EXPECT_EQ(route.stations[i].port, c.ports[i]);
            EXPECT_EQ(route.stations[i].slot, c.slots[i]);
        }
        EXPECT_EQ(route.stations.front().arguments, c.first_arguments);
    }
}

struct BadCase {
    const char* name;
    std::string_view text;
    const char* problem;  // what the refusal says, beginning with its line
};

TEST(LineFile, MistakesAreRefusedWithTheirLine) {
    const BadCase cases[] = {
        {"a port used twice", "a 1 BSN station\nb 1 BT station\n", "line 2: port 1 is used by two stations"},
        {"an unknown stage", "# route\na 1 XT station\n", "line 2: unknown stage 'XT'"},
        {"a command that cannot be found", "a 1 BSN nowhere-to-be-found\n", "line 1: the command 'nowhere-to-be-found'"},
        {"a path that leads nowhere", "a 1 BSN tools/missing\n", "line 1: the command 'tools/missing'"},
        {"a stage recorded by two stations", "a 1 BSN station\n\nb 2 bsn station\n",
         "line 3: stage BSN is recorded by two stations"},
        {"port 0", "a 0 BSN station\n", "line 1: port '0' is not a number from 1 to 255"},
        {"port 256", "a 256 BSN station\n", "line 1: port '256'"},
        {"a port with a sign", "a +1 BSN station\n", "line 1: port '+1'"},
        {"no command", "a 1 BSN\n", "line 1: expected NAME PORT STAGE COMMAND..., found 3 field(s)"},
        {"a command only in the comment", "a 1 BSN # station\n", "line 1: expected NAME PORT STAGE"},
        {"a name used twice", "a 1 BSN station\na 2 BT station\n", "line 2: the name 'a' is used twice"},
        {"no station at all", "# nothing\n\n", "the line file names no station"},
        {"a NUL byte", "a 1 BSN station\nb 2 BT sta\0tion\n"sv, "line 2: a NUL byte"},
        {"a NUL byte on a line of no words", "a 1 BSN station\n\0\n"sv, "line 2: a NUL byte"},
        {"a name longer than the report's column", "a23456789012345678901234567890123 1 BSN station\n",
         "line 1: the name 'a2345678901234567890123456789012...' is longer than 32 characters"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const line::Route route = line::ParseRoute(c.text, FakeFinder);
        EXPECT_EQ(route.problem.rfind(c.problem, 0), 0u) << route.problem;
        EXPECT_TRUE(route.stations.empty());
    }
}

}  // namespace
