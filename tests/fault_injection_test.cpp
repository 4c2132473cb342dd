// Every export that reaches the phone, with each driver or link call it makes failing in
// turn: once, and from that call on. After each fault the export reports what its
// documentation says, writes nothing after a failed read, leaves the handle's working copy
// as the failure rules say, and the next clean call succeeds. (Leaks: the sanitizer build
// runs this suite with leak checking.)
#include <functional>

#include "phone_fixture.hpp"

namespace {

enum class StartState { NoLink, Link, LinkAndHandle };

struct FaultedExport {
    const char* name;
    StartState setup;
    std::function<int()> call;  // 1 for success, as the export reports it
    unsigned char mask = 0;      // stage results: the stage's bit
    bool pass = false;           // stage results: the outcome recorded
};

constexpr unsigned char kPort = 5;

template <int (*Fn)(void)>
FaultedExport Result(const char* name, StartState setup, unsigned char mask, bool pass) {
    return {name, setup, [] { return Fn(); }, mask, pass};
}

std::vector<FaultedExport> Exports() {
    std::vector<FaultedExport> exports = {
        {"InitTat", StartState::NoLink, [] { return InitTat(kPort); }},
        {"DetectMobile", StartState::Link, [] { return DetectMobile(0); }},
        {"ExitTat", StartState::Link, [] { return ExitTat(kPort); }},
        {"OpenTestHandle", StartState::Link, [] { return OpenTestHandle() != nullptr ? 1 : 0; }},
    };
    const std::vector<FaultedExport> results = {
        Result<R_BSN_Pass>("R_BSN_Pass", StartState::Link, 0x80, true),    Result<R_BSN_Fail>("R_BSN_Fail", StartState::Link, 0x80, false),
        Result<R_BT_Pass>("R_BT_Pass", StartState::Link, 0x40, true),      Result<R_BT_Fail>("R_BT_Fail", StartState::Link, 0x40, false),
        Result<R_CT_Pass>("R_CT_Pass", StartState::Link, 0x20, true),      Result<R_CT_Fail>("R_CT_Fail", StartState::Link, 0x20, false),
        Result<R_LAMA_Pass>("R_LAMA_Pass", StartState::Link, 0x10, true),  Result<R_LAMA_Fail>("R_LAMA_Fail", StartState::Link, 0x10, false),
        Result<R_FT_Pass>("R_FT_Pass", StartState::Link, 0x08, true),      Result<R_FT_Fail>("R_FT_Fail", StartState::Link, 0x08, false),
        Result<R_IMEI_Pass>("R_IMEI_Pass", StartState::Link, 0x04, true),  Result<R_IMEI_Fail>("R_IMEI_Fail", StartState::Link, 0x04, false),
        Result<R_RES1_Pass>("R_RES1_Pass", StartState::Link, 0x02, true),  Result<R_RES1_Fail>("R_RES1_Fail", StartState::Link, 0x02, false),
        Result<R_RES2_Pass>("R_RES2_Pass", StartState::Link, 0x01, true),  Result<R_RES2_Fail>("R_RES2_Fail", StartState::Link, 0x01, false),
        Result<BSN_Pass>("BSN_Pass", StartState::LinkAndHandle, 0x80, true),    Result<BSN_Fail>("BSN_Fail", StartState::LinkAndHandle, 0x80, false),
        Result<BT_Pass>("BT_Pass", StartState::LinkAndHandle, 0x40, true),      Result<BT_Fail>("BT_Fail", StartState::LinkAndHandle, 0x40, false),
        Result<CT_Pass>("CT_Pass", StartState::LinkAndHandle, 0x20, true),      Result<CT_Fail>("CT_Fail", StartState::LinkAndHandle, 0x20, false),
        Result<LAMA_Pass>("LAMA_Pass", StartState::LinkAndHandle, 0x10, true),  Result<LAMA_Fail>("LAMA_Fail", StartState::LinkAndHandle, 0x10, false),
        Result<FT_Pass>("FT_Pass", StartState::LinkAndHandle, 0x08, true),      Result<FT_Fail>("FT_Fail", StartState::LinkAndHandle, 0x08, false),
        Result<IMEI_Pass>("IMEI_Pass", StartState::LinkAndHandle, 0x04, true),  Result<IMEI_Fail>("IMEI_Fail", StartState::LinkAndHandle, 0x04, false),
        Result<RES1_Pass>("RES1_Pass", StartState::LinkAndHandle, 0x02, true),  Result<RES1_Fail>("RES1_Fail", StartState::LinkAndHandle, 0x02, false),
        Result<RES2_Pass>("RES2_Pass", StartState::LinkAndHandle, 0x01, true),  Result<RES2_Fail>("RES2_Fail", StartState::LinkAndHandle, 0x01, false),
    };
    exports.insert(exports.end(), results.begin(), results.end());
    return exports;
}

class FaultInjectionTest : public ::testing::Test {
  protected:
    void TearDown() override {
        CloseTestHandle();
        sim_reset();
    }

    // A fresh phone and the export's starting state; the working copy if a handle is open.
    static TestHandle* Prepare(StartState setup) {
        CloseTestHandle();
        sim_reset();
        PutPhone(PatternedRecord(0x35, 0x3C));
        if (setup != StartState::NoLink) {
            EXPECT_EQ(InitTat(kPort), 1);
        }
        TestHandle* copy = nullptr;
        if (setup == StartState::LinkAndHandle) {
            copy = reinterpret_cast<TestHandle*>(OpenTestHandle());
            EXPECT_NE(copy, nullptr);
        }
        sim_clear_calls();
        return copy;
    }

    // Brings the link back to where the export starts from, as a station would before retrying.
    static void PrepareRetry(const FaultedExport& e) {
        if (e.setup == StartState::NoLink && sim_link_is_open(kPort)) ExitTat(kPort);
        if (e.setup != StartState::NoLink && !sim_link_is_open(kPort)) InitTat(kPort);
    }

    static std::vector<SimOp> Ops() {
        std::vector<SimOp> ops;
        for (const SimCall& call : AllCalls()) ops.push_back(call.op);
        return ops;
    }
};

// What each export reports when the given call fails: only the driver's own
// initialisation may fail without failing InitTat.
int DocumentedResult(SimOp failing) { return failing == SIM_INIT_TAT_VAR ? 1 : 0; }

TEST_F(FaultInjectionTest, EveryCallOfEveryExportFails) {
    int fault_points = 0;
    for (const FaultedExport& e : Exports()) {
        Prepare(e.setup);
        ASSERT_EQ(e.call(), 1) << e.name << " without faults";
        const std::vector<SimOp> clean_ops = Ops();
        ASSERT_FALSE(clean_ops.empty()) << e.name << " reaches the phone or the link";

        for (std::size_t k = 0; k < clean_ops.size(); ++k) {
            for (const bool sticky : {false, true}) {
                SCOPED_TRACE(std::string(e.name) + " with call " + std::to_string(k) + " failing" +
                             (sticky ? " from then on" : " once"));
                ++fault_points;
                TestHandle* copy = Prepare(e.setup);
                TestHandle before{};
                if (copy != nullptr) before = *copy;
                const Record phone_before = PhoneRecord();
                const SimOp failing = clean_ops[k];
                const int earlier = static_cast<int>(std::count(clean_ops.begin(), clean_ops.begin() + static_cast<long>(k), failing));
                sim_fail(failing, earlier, 7, sticky ? 1 : 0);

                EXPECT_EQ(e.call(), DocumentedResult(failing));

                const std::vector<SimOp> ops = Ops();
                const auto read = std::find(ops.begin(), ops.end(), SIM_READ_RECORD);
                if (failing == SIM_READ_RECORD) {
                    EXPECT_EQ(std::find(read, ops.end(), SIM_WRITE_RECORD), ops.end()) << "a write after a failed read";
                }
                if (failing == SIM_READ_RECORD || failing == SIM_WRITE_RECORD) {
                    EXPECT_EQ(PhoneRecord(), phone_before);
                }

                if (copy != nullptr) {
                    // A failed commit is not rolled back: the copy holds the result, only its stamp is new.
                    TestHandle expected = before;
                    expected.doneFlags = static_cast<unsigned char>(expected.doneFlags | e.mask);
                    expected.passFlags = static_cast<unsigned char>(e.pass ? (expected.passFlags | e.mask)
                                                                            : (expected.passFlags & ~e.mask));
                    int slot = 0;
                    while ((0x80 >> slot) != e.mask) ++slot;
                    std::memcpy(expected.stamps[slot], copy->stamps[slot], 4);
                    EXPECT_EQ(std::memcmp(&expected, copy, sizeof expected), 0) << "working copy";
                }
                if (e.setup == StartState::Link && e.mask == 0 && failing == SIM_READ_RECORD) {
                    EXPECT_EQ(CT_Status(), 0) << "a failed open leaves no handle";
                }

                if (sticky) {
                    PrepareRetry(e);
                    EXPECT_EQ(e.call(), DocumentedResult(failing)) << "the fault holds from that call on";
                }
                sim_clear_faults();
                PrepareRetry(e);
                EXPECT_EQ(e.call(), 1) << "the next clean call";
            }
        }
    }
    std::printf("fault points exercised: %d\n", fault_points);
    EXPECT_EQ(fault_points, 110);  // 16 direct x 2 calls, 16 cached x 1, open 1, init 3, detect 1, exit 2; twice each
}

}  // namespace
