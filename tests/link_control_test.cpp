// Link control: which serial-link and driver calls are made, in which order, with
// which arguments, and what each failure leaves behind.
#include "phone_fixture.hpp"

namespace {

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override { sim_reset(); }
    void TearDown() override { sim_reset(); }

    static std::vector<SimOp> Ops() {
        std::vector<SimOp> ops;
        for (const SimCall& call : AllCalls()) ops.push_back(call.op);
        return ops;
    }
};

struct PortCase {
    const char* name;
    int port;
    const char* port_name;
    bool device_exists;
};

class PortNameTest : public LinkTest, public ::testing::WithParamInterface<PortCase> {};

TEST_P(PortNameTest, OpensTheNamedPortAndClosesItByNumber) {
    const PortCase& c = GetParam();
    const int opened = InitTat(static_cast<unsigned char>(c.port));
    EXPECT_STREQ(Calls(SIM_INIT_SL).at(0).port_name, c.port_name);
    if (!c.device_exists) {
        EXPECT_EQ(opened, 0);
        return;
    }
    ASSERT_EQ(opened, 1);
    EXPECT_EQ(sim_link_is_open(c.port), 1);
    ASSERT_EQ(ExitTat(static_cast<unsigned char>(c.port)), 1);
    EXPECT_EQ(Calls(SIM_CLOSE_SL).at(0).args[0], c.port) << "widened without sign";
    EXPECT_EQ(sim_link_is_open(c.port), 0);
}

// COM0 is handed to the link library like any other name; the stand-in, like Windows, has no such device.
const PortCase kPorts[] = {
    {"Port0", 0, "COM0", false},
    {"Port1", 1, "COM1", true},
    {"Port9", 9, "COM9", true},
    {"Port10", 10, "\\\\.\\COM10", true},
    {"Port99", 99, "\\\\.\\COM99", true},
    {"Port128", 128, "\\\\.\\COM128", true},
    {"Port200", 200, "\\\\.\\COM200", true},
    {"Port255", 255, "\\\\.\\COM255", true},
};

INSTANTIATE_TEST_SUITE_P(Ports, PortNameTest, ::testing::ValuesIn(kPorts), CaseName<PortCase>);

TEST_F(LinkTest, InitTatOpensWithTheFixedSettingsInOrder) {
    ASSERT_EQ(InitTat(4), 1);
    EXPECT_EQ(Ops(), (std::vector<SimOp>{SIM_TLS_ALLOCATE, SIM_INIT_SL, SIM_INIT_TAT_VAR}));
    const SimCall open = Calls(SIM_INIT_SL).at(0);
    EXPECT_EQ(std::vector<int>(open.args + 1, open.args + 8), (std::vector<int>{115200, 0, 0, 73, 79, 0, 0}));
    EXPECT_EQ(sim_link_tls_allocated(), 1);
}

struct InitFailure {
    const char* name;
    SimOp failing;
    int result;
    std::vector<SimOp> calls;
    bool storage_left;
    bool link_open;
};

class InitFailureTest : public LinkTest, public ::testing::WithParamInterface<InitFailure> {};

TEST_P(InitFailureTest, StopsAtTheFailingStepAndLeavesWhatItAllocated) {
    const InitFailure& c = GetParam();
    sim_fail(c.failing, 0, 6, 0);
    EXPECT_EQ(InitTat(2), c.result);
    EXPECT_EQ(Ops(), c.calls);
    EXPECT_EQ(sim_link_tls_allocated(), c.storage_left ? 1 : 0);
    EXPECT_EQ(sim_link_is_open(2), c.link_open ? 1 : 0);
}

const InitFailure kInitFailures[] = {
    {"StorageRefused", SIM_TLS_ALLOCATE, 0, {SIM_TLS_ALLOCATE}, false, false},
    {"OpenRefused", SIM_INIT_SL, 0, {SIM_TLS_ALLOCATE, SIM_INIT_SL}, true, false},
    {"DriverInitFailsButLinkIsOpen", SIM_INIT_TAT_VAR, 1, {SIM_TLS_ALLOCATE, SIM_INIT_SL, SIM_INIT_TAT_VAR}, true, true},
};

INSTANTIATE_TEST_SUITE_P(Steps, InitFailureTest, ::testing::ValuesIn(kInitFailures), CaseName<InitFailure>);

TEST_F(LinkTest, OpeningAnOpenPortAgainFails) {
    ASSERT_EQ(InitTat(5), 1);
    EXPECT_EQ(InitTat(5), 0);
    EXPECT_EQ(ExitTat(5), 1);
}

TEST_F(LinkTest, FailedCloseKeepsTheStorageUntilALaterExit) {
    ASSERT_EQ(InitTat(6), 1);
    sim_fail(SIM_CLOSE_SL, 0, 3, 0);
    sim_clear_calls();
    EXPECT_EQ(ExitTat(6), 0);
    EXPECT_EQ(Ops(), (std::vector<SimOp>{SIM_CLOSE_SL}));
    EXPECT_EQ(sim_link_tls_allocated(), 1);

    EXPECT_EQ(ExitTat(6), 1);
    EXPECT_EQ(sim_link_tls_allocated(), 0);
}

TEST_F(LinkTest, FailedStorageReleaseReportsFailureWithTheLinkClosed) {
    ASSERT_EQ(InitTat(6), 1);
    sim_fail(SIM_TLS_FREE, 0, 3, 0);
    EXPECT_EQ(ExitTat(6), 0);
    EXPECT_EQ(sim_link_is_open(6), 0);
}

TEST_F(LinkTest, ExitWithoutALinkFails) {
    EXPECT_EQ(ExitTat(1), 0);
    EXPECT_EQ(Ops(), (std::vector<SimOp>{SIM_CLOSE_SL}));
}

struct DetectCase {
    const char* name;
    int value;
    int loop_result;  // 0: the stand-in's own answer
    int expected;
};

class DetectTest : public LinkTest, public ::testing::WithParamInterface<DetectCase> {};

TEST_P(DetectTest, PassesTheValueAndReportsOnlyZeroAsSuccess) {
    const DetectCase& c = GetParam();
    ASSERT_EQ(InitTat(1), 1);
    if (c.loop_result != 0) sim_fail(SIM_BACKGROUND_LOOP, 0, c.loop_result, 0);
    EXPECT_EQ(DetectMobile(c.value), c.expected);
    const std::vector<SimCall> loops = Calls(SIM_BACKGROUND_LOOP);
    ASSERT_EQ(loops.size(), 1u);
    EXPECT_EQ(loops[0].args[0], c.value);
    EXPECT_EQ(ExitTat(1), 1);
}

const DetectCase kDetectCases[] = {
    {"Found", 7, 0, 1},          {"FoundNegativeValue", -1, 0, 1}, {"FoundLargeValue", 0x7FFFFFFF, 0, 1},
    {"LoopReportsOne", 0, 1, 0}, {"LoopReportsMinusOne", 0, -1, 0}, {"LoopReportsOther", 0, 0x1234, 0},
};

INSTANTIATE_TEST_SUITE_P(Values, DetectTest, ::testing::ValuesIn(kDetectCases), CaseName<DetectCase>);

TEST_F(LinkTest, DetectionNeedsAnOpenLink) { EXPECT_EQ(DetectMobile(0), 0); }

TEST_F(LinkTest, RecordOperationsNeedAnOpenLink) {
    EXPECT_EQ(R_BSN_Pass(), 0);
    EXPECT_EQ(OpenTestHandle(), nullptr);
    EXPECT_TRUE(Calls(SIM_WRITE_RECORD).empty());
}

// One station's whole visit to a phone, on the stand-ins.
TEST_F(LinkTest, StationSequence) {
    PutPhone(PatternedRecord(0xC0, 0xC0));
    ASSERT_EQ(InitTat(12), 1);
    ASSERT_EQ(DetectMobile(0), 1);
    unsigned char* copy = OpenTestHandle();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(BSN_Status(), 1);
    EXPECT_EQ(BT_Status(), 1);
    EXPECT_EQ(CT_Status(), 0);
    char bsn[STAGEMARK_BSN_TEXT_SIZE];
    EXPECT_EQ(GetBsnStr(bsn), 1);
    EXPECT_EQ(CT_Pass(), 1);
    EXPECT_EQ(LAMA_Fail(), 1);
    CloseTestHandle();
    EXPECT_EQ(ExitTat(12), 1);

    EXPECT_EQ(Ops(), (std::vector<SimOp>{SIM_TLS_ALLOCATE, SIM_INIT_SL, SIM_INIT_TAT_VAR, SIM_BACKGROUND_LOOP,
                                         SIM_READ_RECORD, SIM_WRITE_RECORD, SIM_WRITE_RECORD, SIM_CLOSE_SL,
                                         SIM_TLS_FREE}));
    const Record phone = PhoneRecord();
    EXPECT_EQ(phone[kRecordDoneFlags], 0xF0);
    EXPECT_EQ(phone[kRecordPassFlags], 0xE0);
    EXPECT_EQ(sim_link_tls_allocated(), 0);
    EXPECT_EQ(sim_link_current_port(), -1);
}

}  // namespace
