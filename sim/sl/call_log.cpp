// The one log of every call the stand-ins take, and the faults planned for them.
#include <array>
#include <vector>

#include "call_log.hpp"
#include "stagemark_sim.h"

namespace {

struct LoggedCall {
    SimCall call;
    std::vector<unsigned char> bytes;
};

struct Fault {
    bool planned = false;
    int skip = 0;
    int result = 0;
    bool sticky = false;
};

std::vector<LoggedCall>& Log() {
    static std::vector<LoggedCall> log;
    return log;
}

struct Counting {
    bool logging = true;
    std::array<unsigned long, SIM_OP_COUNT> counts{};
};

Counting& Counts() {
    static Counting counting;
    return counting;
}

std::array<Fault, SIM_OP_COUNT>& Faults() {
    static std::array<Fault, SIM_OP_COUNT> faults;
    return faults;
}

}  // namespace

void sim::ResetCounting() { Counts() = Counting{}; }

extern "C" {

void SIM_CALL sim_fail(SimOp op, int skip, int result, int sticky) {
    if (op < 0 || op >= SIM_OP_COUNT) return;
    Faults()[op] = Fault{true, skip, result, sticky != 0};
}

void SIM_CALL sim_clear_faults(void) { Faults().fill(Fault{}); }

int SIM_CALL sim_take_fault(SimOp op) {
    if (op < 0 || op >= SIM_OP_COUNT) return 0;
    Fault& fault = Faults()[op];
    if (!fault.planned) return 0;
    if (fault.skip > 0) {
        --fault.skip;
        return 0;
    }
    const int result = fault.result;
    if (!fault.sticky) fault = Fault{};
    return result;
}

void SIM_CALL sim_log_call(const SimCall* call, const unsigned char* bytes, size_t count) {
    if (call->op >= 0 && call->op < SIM_OP_COUNT) ++Counts().counts[call->op];
    if (!Counts().logging) return;
    LoggedCall entry{*call, {}};
    if (bytes != nullptr) entry.bytes.assign(bytes, bytes + count);
    Log().push_back(std::move(entry));
}

size_t SIM_CALL sim_call_count(void) { return Log().size(); }

int SIM_CALL sim_call(size_t index, SimCall* out) {
    if (index >= Log().size() || out == nullptr) return 0;
    *out = Log()[index].call;
    return 1;
}

size_t SIM_CALL sim_call_bytes(size_t index, unsigned char* out, size_t capacity) {
    if (index >= Log().size()) return 0;
    const std::vector<unsigned char>& bytes = Log()[index].bytes;
    if (out == nullptr || capacity < bytes.size()) return 0;
    std::copy(bytes.begin(), bytes.end(), out);
    return bytes.size();
}

void SIM_CALL sim_clear_calls(void) { Log().clear(); }

unsigned long SIM_CALL sim_op_count(SimOp op) { return op >= 0 && op < SIM_OP_COUNT ? Counts().counts[op] : 0; }

void SIM_CALL sim_set_logging(int on) { Counts().logging = on != 0; }

}  // extern "C"
