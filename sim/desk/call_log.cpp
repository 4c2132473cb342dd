// The one log of the calls the stand-ins take, and the faults planned for them in this process.
#include <array>
#include <vector>

#include "call_log.hpp"

namespace {

struct LoggedCall {
    SimCall call;
    std::vector<unsigned char> bytes;  // reused when the entry is overwritten
};

// The last SIM_CALL_LOG_CAPACITY calls, oldest first from `oldest`.
struct Ring {
    std::vector<LoggedCall> entries;
    std::size_t oldest = 0;

    LoggedCall& Next() {
        if (entries.size() < SIM_CALL_LOG_CAPACITY) return entries.emplace_back();
        LoggedCall& reused = entries[oldest];
        oldest = (oldest + 1) % entries.size();
        return reused;
    }
    const LoggedCall* At(std::size_t index) const {
        if (index >= entries.size()) return nullptr;
        return &entries[(oldest + index) % entries.size()];
    }
};

struct Fault {
    bool planned = false;
    int skip = 0;
    int result = 0;
    bool sticky = false;
};

Ring& Log() {
    static Ring log;
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


namespace desk {

void ResetCallLog() {
    Counts() = Counting{};
    Log() = Ring{};
    Faults().fill(Fault{});
}

int TakeProcessFault(SimOp op) {
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

void LogCall(const SimCall& call, const unsigned char* bytes, std::size_t count) {
    if (call.op >= 0 && call.op < SIM_OP_COUNT) ++Counts().counts[call.op];
    if (!Counts().logging) return;
    try {
        LoggedCall& entry = Log().Next();
        entry.call = call;
        entry.bytes.assign(bytes, bytes == nullptr ? bytes : bytes + count);
    } catch (...) {
        // Out of memory: the call goes unlogged rather than taking the station down.
    }
}

}  // namespace desk

extern "C" {

void SIM_CALL sim_fail(SimOp op, int skip, int result, int sticky) {
    if (op < 0 || op >= SIM_OP_COUNT) return;
    Faults()[op] = Fault{true, skip, result, sticky != 0};
}

void SIM_CALL sim_clear_faults(void) { Faults().fill(Fault{}); }

size_t SIM_CALL sim_call_count(void) { return Log().entries.size(); }

int SIM_CALL sim_call(size_t index, SimCall* out) {
    const LoggedCall* entry = Log().At(index);
    if (entry == nullptr || out == nullptr) return 0;
    *out = entry->call;
    return 1;
}

size_t SIM_CALL sim_call_bytes(size_t index, unsigned char* out, size_t capacity) {
    const LoggedCall* entry = Log().At(index);
    if (entry == nullptr || out == nullptr || capacity < entry->bytes.size()) return 0;
    std::copy(entry->bytes.begin(), entry->bytes.end(), out);
    return entry->bytes.size();
}

void SIM_CALL sim_clear_calls(void) { Log() = Ring{}; }

unsigned long SIM_CALL sim_op_count(SimOp op) { return op >= 0 && op < SIM_OP_COUNT ? Counts().counts[op] : 0; }

void SIM_CALL sim_set_logging(int on) { Counts().logging = on != 0; }

}  // extern "C"
