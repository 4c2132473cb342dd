// The test handle: statuses and the BSN from the working copy, results committed at once.
#include "phone_fixture.hpp"

namespace {

class TestHandleTest : public PhoneTest {
  protected:
    void TearDown() override {
        CloseTestHandle();
        PhoneTest::TearDown();
    }

    static TestHandle* Open() { return reinterpret_cast<TestHandle*>(OpenTestHandle()); }
};

struct StageExports {
    const char* name;
    int (*pass)(void);
    int (*fail)(void);
    int (*status)(void);
    unsigned char mask;
    int slot;
};

const StageExports kStages[] = {
    {"BSN", BSN_Pass, BSN_Fail, BSN_Status, 0x80, 0},     {"BT", BT_Pass, BT_Fail, BT_Status, 0x40, 1},
    {"CT", CT_Pass, CT_Fail, CT_Status, 0x20, 2},         {"LAMA", LAMA_Pass, LAMA_Fail, LAMA_Status, 0x10, 3},
    {"FT", FT_Pass, FT_Fail, FT_Status, 0x08, 4},         {"IMEI", IMEI_Pass, IMEI_Fail, IMEI_Status, 0x04, 5},
    {"RES1", RES1_Pass, RES1_Fail, RES1_Status, 0x02, 6}, {"RES2", RES2_Pass, RES2_Fail, RES2_Status, 0x01, 7},
};

TEST_F(TestHandleTest, OpenReadsTheRecordOnceAndHandsOutTheWorkingCopy) {
    const Record phone = PatternedRecord(0x80, 0x90);
    PutPhone(phone);
    TestHandle* handle = Open();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(Calls(SIM_READ_RECORD).size(), 1u);
    EXPECT_TRUE(Calls(SIM_WRITE_RECORD).empty());
    EXPECT_TRUE(std::equal(handle->bsn, handle->bsn + 5, phone.begin() + kRecordBsn));
    EXPECT_EQ(handle->passFlags, 0x80);
    EXPECT_EQ(handle->doneFlags, 0x90);
}

struct FlagCase {
    const char* name;
    unsigned char pass_flags;
    unsigned char done_flags;
    int expected[8];  // BSN..RES2
};

class StatusTest : public TestHandleTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(StatusTest, FollowsTheFlagBytes) {
    const FlagCase& c = GetParam();
    PutPhone(PatternedRecord(c.pass_flags, c.done_flags));
    ASSERT_NE(Open(), nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(kStages[i].status(), c.expected[i]) << kStages[i].name;
    EXPECT_TRUE(Calls(SIM_WRITE_RECORD).empty());
    EXPECT_EQ(Calls(SIM_READ_RECORD).size(), 1u) << "statuses never reach the phone";
}

const FlagCase kFlagCases[] = {
    {"BsnPassedLamaFailed", 0x80, 0x90, {1, 0, 0, 2, 0, 0, 0, 0}},
    {"PassBitsWithoutDoneBits", 0xFF, 0x00, {0, 0, 0, 0, 0, 0, 0, 0}},
    {"AllPassed", 0xFF, 0xFF, {1, 1, 1, 1, 1, 1, 1, 1}},
    {"AllFailed", 0x00, 0xFF, {2, 2, 2, 2, 2, 2, 2, 2}},
    {"Alternating", 0xAA, 0x5F, {0, 2, 0, 2, 1, 2, 1, 2}},
};

INSTANTIATE_TEST_SUITE_P(Flags, StatusTest, ::testing::ValuesIn(kFlagCases), CaseName<FlagCase>);

class CachedResultTest : public TestHandleTest, public ::testing::WithParamInterface<StageExports> {};

// Pass then fail on one stage: each commits the whole record with the stage restamped.
TEST_P(CachedResultTest, PassThenFailCommitsEachTime) {
    const StageExports& stage = GetParam();
    PutPhone(PatternedRecord(0x00, 0x00));
    TestHandle* handle = Open();
    ASSERT_NE(handle, nullptr);
    const int slot = stage.slot;

    const std::uint32_t earliest = ClockNow();
    ASSERT_EQ(stage.pass(), 1);
    EXPECT_EQ(stage.status(), 1);
    EXPECT_GE(StampAt(handle->stamps[slot]), earliest);
    std::memset(handle->stamps[slot], 0, 4);  // so the second stamp shows
    ASSERT_EQ(stage.fail(), 1);
    EXPECT_EQ(stage.status(), 2);
    EXPECT_GE(StampAt(handle->stamps[slot]), earliest);
    EXPECT_LE(StampAt(handle->stamps[slot]), ClockNow());

    const auto writes = Writes();
    ASSERT_EQ(writes.size(), 2u);
    for (const auto& w : writes) ASSERT_EQ(w.size(), 1036u);
    EXPECT_EQ(writes[0][kRecordPassFlags], stage.mask);
    EXPECT_EQ(writes[0][kRecordDoneFlags], stage.mask);
    EXPECT_EQ(writes[1][kRecordPassFlags], 0x00);
    EXPECT_EQ(writes[1][kRecordDoneFlags], stage.mask);
    EXPECT_EQ(std::vector<unsigned char>(writes[1].begin() + kRecordStamps + 4 * slot,
                                         writes[1].begin() + kRecordStamps + 4 * slot + 4),
              std::vector<unsigned char>(handle->stamps[slot], handle->stamps[slot] + 4));
    EXPECT_EQ(Calls(SIM_READ_RECORD).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryStage, CachedResultTest, ::testing::ValuesIn(kStages), CaseName<StageExports>);

struct BsnCase {
    const char* name;
    unsigned char bsn[5];
    const char* text;
};

class BsnTextTest : public TestHandleTest, public ::testing::WithParamInterface<BsnCase> {};

TEST_P(BsnTextTest, TenDigitsAndAZeroByteNothingMore) {
    const BsnCase& c = GetParam();
    Record phone = PatternedRecord(0, 0);
    std::copy(std::begin(c.bsn), std::end(c.bsn), phone.begin() + kRecordBsn);
    PutPhone(phone);
    ASSERT_NE(Open(), nullptr);
    char buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(GetBsnStr(buffer), 1);
    EXPECT_STREQ(buffer, c.text);
    EXPECT_EQ(buffer[10], '\0');
    EXPECT_EQ(buffer[11], '#') << "the byte after the 11 must stay untouched";
}

const BsnCase kBsnCases[] = {
    {"Decimal", {0x35, 0x79, 0x02, 0x46, 0x80}, "3579024680"},
    {"NotDecimal", {0x0A, 0x00, 0xFF, 0x01, 0xB2}, "0a00ff01b2"},
};

INSTANTIATE_TEST_SUITE_P(Bsn, BsnTextTest, ::testing::ValuesIn(kBsnCases), CaseName<BsnCase>);

TEST_F(TestHandleTest, GetBsnStrRefusesANullBuffer) {
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(GetBsnStr(nullptr), 0);
}

TEST_F(TestHandleTest, SecondOpenIsRefusedAndTheFirstStaysOpen) {
    PutPhone(PatternedRecord(0x00, 0x08));
    TestHandle* first = Open();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Open(), nullptr);
    EXPECT_EQ(Calls(SIM_READ_RECORD).size(), 1u);
    EXPECT_EQ(FT_Status(), 2);
    EXPECT_EQ(BT_Pass(), 1);
    EXPECT_EQ(first->doneFlags, 0x48);
}

TEST_F(TestHandleTest, ReopenReadsTheRecordAfresh) {
    PutPhone(PatternedRecord(0x00, 0x00));
    ASSERT_NE(Open(), nullptr);
    CloseTestHandle();
    PutPhone(PatternedRecord(0x04, 0x04));
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(IMEI_Status(), 1);
    EXPECT_EQ(Calls(SIM_READ_RECORD).size(), 2u);
}

// With no handle open every handle export refuses without reaching the phone,
// while the direct path still works.
TEST_F(TestHandleTest, NoHandleOpen) {
    CloseTestHandle();  // without an open handle: no effect
    for (const StageExports& stage : kStages) {
        EXPECT_EQ(stage.pass(), 0) << stage.name;
        EXPECT_EQ(stage.fail(), 0) << stage.name;
        EXPECT_EQ(stage.status(), 0) << stage.name;
    }
    char buffer[11];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetBsnStr(buffer), 0);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(sim_call_count(), 0u);
    EXPECT_EQ(R_BT_Pass(), 1);
}

TEST_F(TestHandleTest, InPlaceChangeRidesTheNextCommitAndIsLostOnClose) {
    PutPhone(PatternedRecord(0x00, 0x00));
    TestHandle* handle = Open();
    ASSERT_NE(handle, nullptr);
    handle->bsn[0] = 0x99;
    ASSERT_EQ(CT_Pass(), 1);
    EXPECT_EQ(PhoneRecord()[kRecordBsn], 0x99);

    handle->bsn[1] = 0x77;
    CloseTestHandle();
    EXPECT_EQ(Calls(SIM_WRITE_RECORD).size(), 1u) << "close writes nothing";
    EXPECT_NE(PhoneRecord()[kRecordBsn + 1], 0x77);
}

TEST_F(TestHandleTest, FailedOpenLeavesNoHandle) {
    sim_fail(SIM_READ_RECORD, 0, 4, 0);
    EXPECT_EQ(OpenTestHandle(), nullptr);
    EXPECT_EQ(BT_Pass(), 0);
    EXPECT_TRUE(Calls(SIM_WRITE_RECORD).empty());
    EXPECT_NE(OpenTestHandle(), nullptr) << "the failure left no handle behind";
}

TEST_F(TestHandleTest, MalformedRecordOpensNothing) {
    const Record phone = PatternedRecord(0x00, 0x00);
    sim_script_read(phone.data(), 1000);
    EXPECT_EQ(OpenTestHandle(), nullptr);
    EXPECT_EQ(BT_Pass(), 0);
}

TEST_F(TestHandleTest, FailedCommitKeepsItsBitsForTheNextGoodOne) {
    PutPhone(PatternedRecord(0x00, 0x00));
    TestHandle* handle = Open();
    ASSERT_NE(handle, nullptr);
    sim_fail(SIM_WRITE_RECORD, 0, 5, 0);
    EXPECT_EQ(LAMA_Pass(), 0);
    EXPECT_EQ(handle->doneFlags, 0x10) << "not rolled back";
    EXPECT_EQ(PhoneRecord()[kRecordDoneFlags], 0x00);

    EXPECT_EQ(RES1_Fail(), 1);
    const Record phone = PhoneRecord();
    EXPECT_EQ(phone[kRecordDoneFlags], 0x12);
    EXPECT_EQ(phone[kRecordPassFlags], 0x10);
}

// The direct path beside an open handle: the handle does not see the direct
// result, and its next commit writes its own copy back over it.
TEST_F(TestHandleTest, DirectResultBesideAnOpenHandleIsOverwritten) {
    PutPhone(PatternedRecord(0x20, 0x20));
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(R_CT_Fail(), 1);
    EXPECT_EQ(PhoneRecord()[kRecordPassFlags] & 0x20, 0x00);
    EXPECT_EQ(CT_Status(), 1);

    ASSERT_EQ(BT_Pass(), 1);
    const Record phone = PhoneRecord();
    EXPECT_EQ(phone[kRecordPassFlags], 0x60);
    EXPECT_EQ(phone[kRecordDoneFlags], 0x60);
}

}  // namespace
