// The desk's check of each record write against the phone as it stands: a table of
// (the phone's record, the written record, the record last read) and the check it gives.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "record_text.hpp"
#include "write_checks.hpp"

namespace {

constexpr int kCT = 2;
constexpr std::uint32_t kEarlier = 1699990000, kThen = 1700000000, kLater = 1700010000;  // 2023-11-14T22:13:20Z
constexpr const char* kThenText = "2023-11-14T22:13:20Z";

// A phone with CT in a state (-1 leaves it not recorded) stamped `seconds`.
format::Record Phone(int ct, std::uint32_t seconds, const char* bsn = "3579024680") {
    format::Record record;
    EXPECT_TRUE(format::NewPhoneRecord(bsn, record));
    signed char states[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    states[kCT] = static_cast<signed char>(ct < 0 ? 0 : ct);
    EXPECT_TRUE(format::SetStages(record, states, seconds));
    return record;
}

constexpr int kNone = -1, kPassed = 1, kFailed = 2;

struct CheckCase {
    const char* name;
    format::Record phone, written;
    std::optional<format::Record> last_read;
    std::string expected;  // a part of the check's text; empty for no check
};

std::string Undid(const char* was, const char* back_to) {
    return std::string("undid CT ") + was + " at " + kThenText + " (back to " + back_to + "), recorded since";
}

const CheckCase kCases[] = {
    {"WriteOfWhatIsThere", Phone(kFailed, kThen), Phone(kFailed, kThen), Phone(kFailed, kThen), ""},
    {"AnotherPhonesRecord", Phone(kNone, kThen), Phone(kNone, kThen, "1111111111"), std::nullopt,
     "phone 3579024680 was written with the record of phone 1111111111"},
    // With a read to go by: what the write carries unchanged from it is not its own result.
    {"CarriesTheReadOverANewerResult", Phone(kFailed, kThen), Phone(kNone, kThen), Phone(kNone, kThen),
     Undid("failed", "not recorded")},
    {"CarriesALaterStampedReadOverANewerResult", Phone(kFailed, kThen), Phone(kPassed, kLater), Phone(kPassed, kLater),
     Undid("failed", "passed")},
    {"RecordsItsOwnResultOverTheRead", Phone(kFailed, kThen), Phone(kPassed, kLater), Phone(kNone, kThen), ""},
    {"ClearsWhatItRead", Phone(kFailed, kThen), Phone(kNone, kThen), Phone(kFailed, kThen), ""},
    // With no read to go by: a stage cleared or stamped older is taken back.
    {"NoReadClearsAResult", Phone(kFailed, kThen), Phone(kNone, kThen), std::nullopt, Undid("failed", "not recorded")},
    {"NoReadStampsOlder", Phone(kFailed, kThen), Phone(kPassed, kEarlier), std::nullopt, Undid("failed", "passed")},
    {"NoReadStampsNewer", Phone(kFailed, kThen), Phone(kPassed, kLater), std::nullopt, ""},
    // Stamps that differ in their second byte only.
    {"NoReadStampsOlderBy65536Seconds", Phone(kFailed, kThen), Phone(kFailed, kThen - 0x10000), std::nullopt,
     Undid("failed", "failed")},
};

template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

class WriteCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(WriteCheck, SaysWhatTheWriteTakesBack) {
    const CheckCase& c = GetParam();
    const std::string check = desk::WriteCheck(c.phone, c.written.data(), c.last_read ? &*c.last_read : nullptr);
    if (c.expected.empty()) {
        EXPECT_EQ(check, "");
    } else {
        EXPECT_NE(check.find(c.expected), std::string::npos) << check;
    }
}

INSTANTIATE_TEST_SUITE_P(Writes, WriteCheck, ::testing::ValuesIn(kCases),
                         CaseName<CheckCase>);

}  // namespace
