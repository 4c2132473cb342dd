// Direct results: one call reads the record, records one stage, writes it all back.
#include <string>

#include "phone_fixture.hpp"

namespace {

struct DirectCase {
    const char* name;
    int (*record)(void);
    unsigned char mask;
    int slot;
    bool pass;
};

const DirectCase kDirectCases[] = {
    {"R_BSN_Pass", R_BSN_Pass, 0x80, 0, true},    {"R_BSN_Fail", R_BSN_Fail, 0x80, 0, false},
    {"R_BT_Pass", R_BT_Pass, 0x40, 1, true},      {"R_BT_Fail", R_BT_Fail, 0x40, 1, false},
    {"R_CT_Pass", R_CT_Pass, 0x20, 2, true},      {"R_CT_Fail", R_CT_Fail, 0x20, 2, false},
    {"R_LAMA_Pass", R_LAMA_Pass, 0x10, 3, true},  {"R_LAMA_Fail", R_LAMA_Fail, 0x10, 3, false},
    {"R_FT_Pass", R_FT_Pass, 0x08, 4, true},      {"R_FT_Fail", R_FT_Fail, 0x08, 4, false},
    {"R_IMEI_Pass", R_IMEI_Pass, 0x04, 5, true},  {"R_IMEI_Fail", R_IMEI_Fail, 0x04, 5, false},
    {"R_RES1_Pass", R_RES1_Pass, 0x02, 6, true},  {"R_RES1_Fail", R_RES1_Fail, 0x02, 6, false},
    {"R_RES2_Pass", R_RES2_Pass, 0x01, 7, true},  {"R_RES2_Fail", R_RES2_Fail, 0x01, 7, false},
};

class DirectResult : public PhoneTest, public ::testing::WithParamInterface<DirectCase> {};

// Only the named stage's bits and stamp change; each call is one read and one write.
TEST_P(DirectResult, ChangesOnlyItsStage) {
    const DirectCase& c = GetParam();
    // Both flag bytes hold every pattern of set and clear bits across the stages.
    const Record before = PatternedRecord(0x5A, 0xA5);
    PutPhone(before);

    const std::uint32_t earliest = ClockNow();
    ASSERT_EQ(c.record(), 1);
    const std::uint32_t latest = ClockNow();

    ASSERT_EQ(Calls(SIM_READ_RECORD).size(), 1u);
    ASSERT_EQ(Calls(SIM_WRITE_RECORD).size(), 1u);
    const Record after = PhoneRecord();
    EXPECT_EQ(after[kRecordDoneFlags], 0xA5 | c.mask);
    EXPECT_EQ(after[kRecordPassFlags], c.pass ? (0x5A | c.mask) : (0x5A & ~c.mask));
    for (int slot = 0; slot < 8; ++slot) {
        const unsigned char* stamp = &after[static_cast<std::size_t>(kRecordStamps + 4 * slot)];
        if (slot == c.slot) {
            EXPECT_GE(StampAt(stamp), earliest);
            EXPECT_LE(StampAt(stamp), latest);
        } else {
            EXPECT_TRUE(std::equal(stamp, stamp + 4, &before[static_cast<std::size_t>(kRecordStamps + 4 * slot)]))
                << "slot " << slot;
        }
    }
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 780, before.begin()));
    EXPECT_TRUE(std::equal(after.begin() + kRecordBsn, after.begin() + kRecordBsn + 5, before.begin() + kRecordBsn));
}

INSTANTIATE_TEST_SUITE_P(EveryStageAndOutcome, DirectResult, ::testing::ValuesIn(kDirectCases),
                         CaseName<DirectCase>);

using DirectResultTest = PhoneTest;

TEST_F(DirectResultTest, FailAfterPassKeepsDoneBitAndRestamps) {
    PutPhone(PatternedRecord(0x00, 0x00));
    ASSERT_EQ(R_FT_Pass(), 1);
    Record record = PhoneRecord();
    EXPECT_EQ(record[kRecordPassFlags], 0x08);
    EXPECT_EQ(record[kRecordDoneFlags], 0x08);

    // Put an old stamp in slot 4 so the restamp shows.
    std::fill_n(record.begin() + kRecordStamps + 16, 4, 0x00);
    PutPhone(record);
    ASSERT_EQ(R_FT_Fail(), 1);
    record = PhoneRecord();
    EXPECT_EQ(record[kRecordPassFlags], 0x00);
    EXPECT_EQ(record[kRecordDoneFlags], 0x08);
    EXPECT_GE(StampAt(&record[kRecordStamps + 16]), ClockNow() - 5);
}

TEST_F(DirectResultTest, LastMissingDoneBitCompletesBothBytes) {
    PutPhone(PatternedRecord(0xFF, 0x7F));
    ASSERT_EQ(R_BSN_Pass(), 1);
    const Record record = PhoneRecord();
    EXPECT_EQ(record[kRecordDoneFlags], 0xFF);
    EXPECT_EQ(record[kRecordPassFlags], 0xFF);
}

TEST_F(DirectResultTest, FailedReadWritesNothing) {
    const Record before = PatternedRecord(0x00, 0x00);
    PutPhone(before);
    sim_fail(SIM_READ_RECORD, 0, 7, 0);
    EXPECT_EQ(R_CT_Pass(), 0);
    EXPECT_TRUE(Calls(SIM_WRITE_RECORD).empty());
    EXPECT_EQ(PhoneRecord(), before);
}

TEST_F(DirectResultTest, FailedWriteReportsFailure) {
    const Record before = PatternedRecord(0x00, 0x00);
    PutPhone(before);
    sim_fail(SIM_WRITE_RECORD, 0, 1, 0);
    EXPECT_EQ(R_CT_Pass(), 0);
    EXPECT_EQ(Calls(SIM_WRITE_RECORD).size(), 1u);
    EXPECT_EQ(PhoneRecord(), before);
}

TEST_F(DirectResultTest, NoLinkNoRecord) {
    sim_reset();  // the link is closed again
    EXPECT_EQ(R_IMEI_Pass(), 0);
    EXPECT_TRUE(Calls(SIM_WRITE_RECORD).empty());
}

}  // namespace
