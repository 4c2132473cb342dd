// Drives random sequences of the 46 exports, with link and driver faults chosen
// by the input. Invariants: no sanitizer report, every record written is whole
// with its constant fields right, statuses are 0, 1 or 2, and at most one handle.
#include <cstdint>
#include <cstring>

#include "record_checks.hpp"
#include "stagemark.h"

namespace {

using Result = int(STAGEMARK_CALL*)(void);

const Result kResults[] = {
    BSN_Pass,   BSN_Fail,   BT_Pass,   BT_Fail,   CT_Pass,   CT_Fail,   LAMA_Pass,   LAMA_Fail,
    FT_Pass,    FT_Fail,    IMEI_Pass, IMEI_Fail, RES1_Pass, RES1_Fail, RES2_Pass,   RES2_Fail,
    R_BSN_Pass, R_BSN_Fail, R_BT_Pass, R_BT_Fail, R_CT_Pass, R_CT_Fail, R_LAMA_Pass, R_LAMA_Fail,
    R_FT_Pass,  R_FT_Fail,  R_IMEI_Pass, R_IMEI_Fail, R_RES1_Pass, R_RES1_Fail, R_RES2_Pass, R_RES2_Fail,
};
constexpr int kCachedResults = 16;

const Result kStatuses[] = {BSN_Status, BT_Status,   CT_Status,   LAMA_Status,
                            FT_Status,  IMEI_Status, RES1_Status, RES2_Status};

enum Action : unsigned {
    kRecord,        // one of the 32 stage results
    kStatus,        // one of the 8 statuses
    kOpen,
    kClose,
    kBsnText,
    kInit,
    kDetect,
    kExit,
    kFault,         // a driver or link operation fails once or from then on
    kClearFaults,
    kPoke,          // the station changes a byte of the working copy in place
    kActionCount
};

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    unsigned Next() { return at_ < size_ ? data_[at_++] : 0u; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CloseTestHandle();
    sim_reset();
    unsigned char* handle = nullptr;

    Input input(data, size);
    while (!input.Empty()) {
        switch (input.Next() % kActionCount) {
            case kRecord: {
                const unsigned which = input.Next() % std::size(kResults);
                const int result = kResults[which]();
                fuzz::Require(result == 0 || result == 1);
                if (which < kCachedResults && handle == nullptr) fuzz::Require(result == 0);
                break;
            }
            case kStatus: {
                const int status = kStatuses[input.Next() % std::size(kStatuses)]();
                fuzz::Require(status >= 0 && status <= 2);
                if (handle == nullptr) fuzz::Require(status == 0);
                break;
            }
            case kOpen: {
                unsigned char* opened = OpenTestHandle();
                if (handle != nullptr) fuzz::Require(opened == nullptr);  // at most one handle
                if (opened != nullptr) handle = opened;
                break;
            }
            case kClose:
                CloseTestHandle();
                handle = nullptr;
                break;
            case kBsnText: {
                char text[STAGEMARK_BSN_TEXT_SIZE + 1];
                std::memset(text, '#', sizeof text);
                const int written = GetBsnStr(text);
                fuzz::Require(written == (handle != nullptr ? 1 : 0));
                fuzz::Require(text[STAGEMARK_BSN_TEXT_SIZE] == '#');
                if (written) fuzz::Require(std::strlen(text) == 10);
                break;
            }
            case kInit: InitTat(static_cast<unsigned char>(input.Next() % 4)); break;
            case kDetect: DetectMobile(static_cast<int>(input.Next()) - 128); break;
            case kExit: ExitTat(static_cast<unsigned char>(input.Next() % 4)); break;
            case kFault: {
                const unsigned choice = input.Next();
                sim_fail(static_cast<SimOp>(choice % SIM_OP_COUNT), static_cast<int>(input.Next() % 3),
                         static_cast<int>(choice % 5) + 1, (choice & 0x80) != 0);
                break;
            }
            case kClearFaults: sim_clear_faults(); break;
            case kPoke: {
                const unsigned offset = input.Next() << 8 | input.Next();
                const unsigned value = input.Next();
                if (handle != nullptr) handle[offset % STAGEMARK_TEST_HANDLE_SIZE] = static_cast<unsigned char>(value);
                break;
            }
            default: break;
        }
    }
    fuzz::RequireWellFormedWrites();
    CloseTestHandle();
    return 0;
}
