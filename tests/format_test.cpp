// The record's layout, its texts and the stage names, as the station tool and the
// stand-in phone both read and write them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json_text.hpp"
#include "record_format.hpp"
#include "record_text.hpp"
#include "stages.hpp"
#include "utc_text.hpp"

namespace {

using namespace std::string_view_literals;

struct JsonCase {
    const char* name;
    std::string_view text;
    std::string expected;
};

TEST(JsonString, EscapesWhatJsonForbidsAndReplacesMalformedUtf8) {
    const JsonCase cases[] = {
        {"plain", "FT passed", "\"FT passed\""},
        {"empty", "", "\"\""},
        {"quote and backslash", "C:\\desk \"1\"", "\"C:\\\\desk \\\"1\\\"\""},
        {"NUL", "a\0b"sv, "\"a\\u0000b\""},
        {"tab, newline, return", "\t\n\r", "\"\\u0009\\u000a\\u000d\""},
        {"escape and unit separator", "\x1B\x1F", "\"\\u001b\\u001f\""},
        {"DEL", "\x7F", "\"\\u007f\""},
        {"space and tilde kept", " ~", "\" ~\""},
        {"two bytes kept", "d\xC3\xBC" "se", "\"d\xC3\xBC" "se\""},
        {"three bytes kept", "\xE6\xB5\x8B\xE8\xAF\x95", "\"\xE6\xB5\x8B\xE8\xAF\x95\""},
        {"four bytes kept", "\xF0\x9F\x93\xB1", "\"\xF0\x9F\x93\xB1\""},
        {"lowest and highest of each length kept",
         "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         "\"\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\""},
        {"either side of the surrogates kept", "\xED\x9F\xBF\xEE\x80\x80", "\"\xED\x9F\xBF\xEE\x80\x80\""},
        {"invalid lead bytes", "a\xFF" "b\xFE" "c\xF5\x80\x80\x80",
         "\"a\\ufffdb\\ufffdc\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"stray continuation", "\x80" "a\xC3\xBC\xBC", "\"\\ufffda\xC3\xBC\\ufffd\""},
        {"truncated at the end", "\xE6\xB5", "\"\\ufffd\\ufffd\""},
        {"truncated where the text ends, not the memory", std::string_view("\xE6\xB5\x8B", 2), "\"\\ufffd\\ufffd\""},
        {"truncated before ASCII", "\xF0\x9F\x93" "A", "\"\\ufffd\\ufffd\\ufffdA\""},
        {"overlong two bytes", "\xC0\xAF\xC1\xBF", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"overlong three bytes", "\xE0\x80\xAF", "\"\\ufffd\\ufffd\\ufffd\""},
        {"overlong four bytes", "\xF0\x8F\xBF\xBF", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"surrogates", "\xED\xA0\x80\xED\xBF\xBF", "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
    };
    for (const JsonCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(format::JsonString(c.text), c.expected);
    }
}

TEST(FindStage, NamesFoldOnlyInAscii) {
    const std::pair<std::string_view, int> found[] = {
        {"bsn", 0}, {"Bt", 1}, {"cT", 2}, {"LaMa", 3}, {"FT", 4}, {"iMeI", 5}, {"res1", 6}, {"Res2", 7},
    };
    for (const auto& [name, slot] : found) {
        SCOPED_TRACE(std::string(name));
        EXPECT_EQ(format::FindStage(name), &format::kStages[slot]);
    }
    const std::string_view unknown[] = {
        "", "XT", "F", "FTT", "RES3", " FT", "FT ", "F\0"sv,
        "\xC4\xB1me\xC4\xB1",  // dotless i, which some locales fold to I
        "\xFDME\xFD",          // dotless i in the Turkish code page, whose toupper gives I
        "\xC4\xB0MEI",         // dotted capital I
        "B\xC5\xBFN",          // long s, which folds to S
        "\xE2\x84\xAA",        // Kelvin sign, which folds to k
        "\xC6\xD4",            // two Latin-1 bytes, as long as "FT"
    };
    for (const std::string_view name : unknown) {
        SCOPED_TRACE(std::string(name));
        EXPECT_EQ(format::FindStage(name), nullptr);
    }
}

TEST(StageWords, StatusesAndStates) {
    const std::pair<int, std::string_view> statuses[] = {
        {0, "not recorded"}, {1, "passed"}, {2, "failed"}, {3, "not recorded"}, {-1, "not recorded"},
    };
    for (const auto& [status, word] : statuses) {
        SCOPED_TRACE(status);
        EXPECT_EQ(format::StatusWord(status), word);
        if (status >= 0 && status <= 2) {
            EXPECT_EQ(format::StateWord(static_cast<format::StageState>(status)), word);
        }
    }
}

TEST(RecordText, ErasedIsEveryByteFF) {
    format::Record phone;
    ASSERT_TRUE(format::NewPhoneRecord("3579024680", phone));
    format::Record first = format::ErasedRecord(), last = format::ErasedRecord(), zeros{};
    first.front() = 0xFE;
    last.back() = 0x7F;
    const std::pair<const char*, const format::Record*> cases[] = {
        {"a new phone", &phone}, {"first byte written", &first}, {"last byte written", &last}, {"all zeros", &zeros},
    };
    EXPECT_TRUE(format::IsErased(format::ErasedRecord().data()));
    for (const auto& [name, record] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(format::IsErased(record->data()));
    }
}

TEST(RecordText, ErasedFlashReadsAsEveryStagePassed) {
    // Why an erased record must be caught before its stages are shown.
    const format::Record erased = format::ErasedRecord();
    EXPECT_EQ(format::BsnText(erased.data()), "ffffffffff");
    EXPECT_FALSE(format::IsTenDigits(format::BsnText(erased.data())));
    for (const format::StageEntry& stage : format::kStages) {
        EXPECT_EQ(format::StateOf(erased.data(), stage.slot), format::StageState::Passed);
        EXPECT_EQ(format::StampOf(erased.data(), stage.slot), 0xFFFFFFFFu);
    }
}

TEST(RecordText, TenDigits) {
    EXPECT_TRUE(format::IsTenDigits("0123456789"));
    const std::string_view refused[] = {
        "", "012345678", "01234567890", "ffffffffff", "01234a6789", "/123456789", "012345678:",
        " 123456789", "012345678 ", "01234\0" "6789"sv, "\xD9\xA0" "12345678",
    };
    for (const std::string_view bsn : refused) {
        SCOPED_TRACE(std::string(bsn));
        EXPECT_FALSE(format::IsTenDigits(bsn));
    }
}

TEST(UtcText, KnownInstants) {
    const struct {
        std::int64_t seconds;
        int milliseconds;
        const char* expected;
    } cases[] = {
        {0, -1, "1970-01-01T00:00:00Z"},
        {-1, -1, "1969-12-31T23:59:59Z"},
        {951782400, -1, "2000-02-29T00:00:00Z"},
        {1796884941, -1, "2026-12-10T06:42:21Z"},
        {1796884941, 0, "2026-12-10T06:42:21.000Z"},
        {1796884941, 7, "2026-12-10T06:42:21.007Z"},
        {1796884941, 999, "2026-12-10T06:42:21.999Z"},
        {0x7FFFFFFF, -1, "2038-01-19T03:14:07Z"},
        {0x80000000, -1, "2038-01-19T03:14:08Z"},
        {0xFFFFFFFF, -1, "2106-02-07T06:28:15Z"},
        {0x100000000, -1, "2106-02-07T06:28:16Z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(format::UtcText(c.seconds, c.milliseconds), c.expected);
    }
}

TEST(UtcText, StampsAreMostSignificantByteFirst) {
    const std::pair<std::array<unsigned char, 4>, const char*> cases[] = {
        {{0x00, 0x00, 0x01, 0x00}, "1970-01-01T00:04:16Z"},
        {{0x01, 0x00, 0x00, 0x00}, "1970-07-14T04:20:16Z"},
        {{0x80, 0x00, 0x00, 0x00}, "2038-01-19T03:14:08Z"},
        {{0xFF, 0xFF, 0xFF, 0xFF}, "2106-02-07T06:28:15Z"},
    };
    for (const auto& [stamp, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(format::StampText(stamp.data()), expected);
    }
}

TEST(UtcText, NowIsTheClockToTheMillisecond) {
    using namespace std::chrono;
    const auto Millis = [] { return time_point_cast<milliseconds>(system_clock::now()).time_since_epoch().count(); };
    const auto before = Millis();
    const std::string now = format::UtcNow();
    const auto after = Millis();
    // Same width throughout, so text order is time order.
    EXPECT_LE(format::UtcText(before / 1000, static_cast<int>(before % 1000)), now);
    EXPECT_LE(now, format::UtcText(after / 1000, static_cast<int>(after % 1000)));
}

// What each byte of the record is, from the layout alone.
enum class Part { Unassigned, Passthrough, Fixed, Bsn, Flags, Stamps };

std::array<Part, format::kRecordSize> Layout() {
    std::array<Part, format::kRecordSize> parts{};
    const auto Mark = [&parts](std::size_t offset, std::size_t size, Part part) {
        for (std::size_t i = offset; i < offset + size; ++i) {
            EXPECT_EQ(parts.at(i), Part::Unassigned) << "byte " << i << " is in two parts";
            parts.at(i) = part;
        }
    };
    Mark(0, format::kPassthroughSize, Part::Passthrough);
    for (const format::FixedField& field : format::kFixedFields) Mark(field.offset, field.size, Part::Fixed);
    Mark(format::kBsnOffset, format::kBsnBytes, Part::Bsn);
    Mark(format::kPassFlagsOffset, 1, Part::Flags);
    Mark(format::kDoneFlagsOffset, 1, Part::Flags);
    Mark(format::kStampsOffset, 4 * format::kStageCount, Part::Stamps);
    return parts;
}

TEST(RecordLayout, EveryByteBelongsToOnePart) {
    const auto parts = Layout();
    for (std::size_t i = 0; i < parts.size(); ++i) EXPECT_NE(parts[i], Part::Unassigned) << "byte " << i;
}

TEST(NewPhoneRecord, HoldsTheFixedFieldsAndNothingRecorded) {
    format::Record record;
    ASSERT_TRUE(format::NewPhoneRecord("3579024680", record));
    for (const format::FixedField& field : format::kFixedFields) {
        SCOPED_TRACE(field.name);
        EXPECT_EQ(std::vector<unsigned char>(record.begin() + field.offset, record.begin() + field.offset + field.size),
                  std::vector<unsigned char>(field.bytes, field.bytes + field.size));
    }
    const auto parts = Layout();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == Part::Passthrough) {
            EXPECT_EQ(record[i], 0xFF) << "byte " << i;
        } else if (parts[i] == Part::Flags || parts[i] == Part::Stamps) {
            EXPECT_EQ(record[i], 0x00) << "byte " << i;
        }
    }
    for (const format::StageEntry& stage : format::kStages) {
        EXPECT_EQ(format::StateOf(record.data(), stage.slot), format::StageState::NotRecorded) << stage.name;
    }
}

TEST(NewPhoneRecord, PacksTheBsnTwoDigitsAByte) {
    const std::pair<std::string_view, std::array<unsigned char, format::kBsnBytes>> cases[] = {
        {"0123456789", {0x01, 0x23, 0x45, 0x67, 0x89}},
        {"9876543210", {0x98, 0x76, 0x54, 0x32, 0x10}},
        {"0000000000", {0x00, 0x00, 0x00, 0x00, 0x00}},
        {"9999999999", {0x99, 0x99, 0x99, 0x99, 0x99}},
    };
    for (const auto& [bsn, packed] : cases) {
        SCOPED_TRACE(std::string(bsn));
        format::Record record;
        ASSERT_TRUE(format::NewPhoneRecord(bsn, record));
        EXPECT_TRUE(std::equal(packed.begin(), packed.end(), record.begin() + format::kBsnOffset));
        EXPECT_EQ(format::BsnText(record.data()), bsn);
    }
}

TEST(NewPhoneRecord, RefusesAnythingButTenDigits) {
    for (const std::string_view bsn : {"", "012345678", "01234567890", "ffffffffff", "01234-6789"}) {
        SCOPED_TRACE(std::string(bsn));
        format::Record record;
        record.fill(0xAB);
        EXPECT_FALSE(format::NewPhoneRecord(bsn, record));
        EXPECT_TRUE(std::all_of(record.begin(), record.end(), [](unsigned char byte) { return byte == 0xAB; }));
    }
}

TEST(SetStages, RecordsClearsAndLeavesStages) {
    format::Record record;
    ASSERT_TRUE(format::NewPhoneRecord("3579024680", record));
    const signed char first[8] = {1, 2, 1, -1, -1, -1, -1, 1};
    ASSERT_TRUE(format::SetStages(record, first, 0x12345678));
    const signed char second[8] = {-1, 1, 0, 2, -1, -1, -1, -1};
    ASSERT_TRUE(format::SetStages(record, second, 0x9ABCDEF0));
    using State = format::StageState;
    const struct {
        State state;
        std::uint32_t stamp;
    } expected[8] = {
        {State::Passed, 0x12345678},  // left as the first call recorded it
        {State::Passed, 0x9ABCDEF0},  // a fail, then a pass
        {State::NotRecorded, 0x12345678},  // cleared: the stamp stays
        {State::Failed, 0x9ABCDEF0},
        {State::NotRecorded, 0},
        {State::NotRecorded, 0},
        {State::NotRecorded, 0},
        {State::Passed, 0x12345678},
    };
    for (const format::StageEntry& stage : format::kStages) {
        SCOPED_TRACE(stage.name);
        EXPECT_EQ(format::StateOf(record.data(), stage.slot), expected[stage.slot].state);
        EXPECT_EQ(format::StampOf(record.data(), stage.slot), expected[stage.slot].stamp);
    }
}

TEST(SetStages, RefusesAnUnknownStateAndChangesNothing) {
    for (const signed char bad : {static_cast<signed char>(-2), static_cast<signed char>(3)}) {
        SCOPED_TRACE(static_cast<int>(bad));
        format::Record record;
        ASSERT_TRUE(format::NewPhoneRecord("3579024680", record));
        const format::Record before = record;
        const signed char states[8] = {1, 1, 1, 1, 1, 1, 1, bad};
        EXPECT_FALSE(format::SetStages(record, states, 0x12345678));
        EXPECT_EQ(record, before);
    }
}

}  // namespace
