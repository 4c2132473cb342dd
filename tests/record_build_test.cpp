// Building, reading and writing the record below the exports.
#include <algorithm>
#include <vector>

#include "phone_fixture.hpp"
#include "virgin/virgin_param.hpp"

namespace {

using stagemark::BuildVirginParam;
using stagemark::ReadVirginParam;
using stagemark::WriteVirginParam;

TEST(BuildVirginParamTest, AllZeroWorkingCopyGivesTheBareRecord) {
    const TestHandle zero{};
    unsigned char record[1036];
    std::fill(std::begin(record), std::end(record), 0xEE);  // nothing of an earlier buffer may survive
    BuildVirginParam(zero, record);

    std::vector<unsigned char> expected(780, 0x00);
    for (unsigned char b : std::initializer_list<unsigned char>{0x00, 0x01, 0x00, 0xFF, '5', '8', '2', '7', 0x00}) expected.push_back(b);
    expected.insert(expected.end(), 5, 0x00);
    expected.insert(expected.end(), 16, 0xFF);
    expected.insert(expected.end(), 2 + 14, 0x00);
    for (unsigned char b : std::initializer_list<unsigned char>{0x01, 0xD5, 0x02, 0xC5, 0x03, 0xCE, 0x04, 0xF7, 0x05, 0xB8, 0x06, 0xFC}) expected.push_back(b);
    expected.insert(expected.end(), 198, 0x00);
    ASSERT_EQ(expected.size(), 1036u);
    EXPECT_EQ(std::vector<unsigned char>(std::begin(record), std::end(record)), expected);
}

using RecordReadWriteTest = PhoneTest;

TEST_F(RecordReadWriteTest, ReadMapsEveryCarriedField) {
    const Record phone = PatternedRecord(0x9C, 0x3E);
    PutPhone(phone);
    TestHandle copy{};
    ASSERT_TRUE(ReadVirginParam(copy));
    EXPECT_TRUE(std::equal(copy.passthrough, copy.passthrough + 780, phone.begin()));
    EXPECT_TRUE(std::equal(copy.bsn, copy.bsn + 5, phone.begin() + 789));
    EXPECT_EQ(copy.passFlags, 0x9C);
    EXPECT_EQ(copy.doneFlags, 0x3E);
    EXPECT_TRUE(std::equal(&copy.stamps[0][0], &copy.stamps[0][0] + 32, phone.begin() + 838));
}

struct ReadFailure {
    const char* name;
    bool driver_fails;
    unsigned short length;
};

class FailedReadTest : public PhoneTest, public ::testing::WithParamInterface<ReadFailure> {};

TEST_P(FailedReadTest, LeavesEveryByteOfTheDestination) {
    const ReadFailure& c = GetParam();
    std::vector<unsigned char> bytes(c.length, 0x11);
    if (c.driver_fails) {
        sim_fail(SIM_READ_RECORD, 0, 2, 0);
    } else {
        sim_script_read(bytes.data(), c.length);
    }
    TestHandle copy;
    std::memset(&copy, 0x5A, sizeof copy);
    EXPECT_FALSE(ReadVirginParam(copy));
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(&copy);
    EXPECT_TRUE(std::all_of(raw, raw + sizeof copy, [](unsigned char b) { return b == 0x5A; }));
}

INSTANTIATE_TEST_SUITE_P(Reads, FailedReadTest,
                         ::testing::Values(ReadFailure{"DriverFails", true, 0}, ReadFailure{"Short", false, 1000},
                                           ReadFailure{"Long", false, 1100}),
                         CaseName<ReadFailure>);

TEST_F(RecordReadWriteTest, FailedWriteThenRetrySendsTheSameRecord) {
    TestHandle copy;
    std::memset(&copy, 0x42, sizeof copy);
    sim_fail(SIM_WRITE_RECORD, 0, 9, 0);
    EXPECT_FALSE(WriteVirginParam(copy));
    EXPECT_TRUE(WriteVirginParam(copy));
    const auto writes = Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], writes[1]);
    EXPECT_EQ(writes[0].size(), 1036u);
}

}  // namespace
