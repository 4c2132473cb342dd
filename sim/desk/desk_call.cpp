#include "desk_call.hpp"

#include "call_log.hpp"
#include "desk_faults.hpp"
#include "desk_trace.hpp"
#include "op_names.hpp"
#include "station_state.hpp"

namespace desk {
namespace {

std::string Detail(const SimCall& call) {
    switch (call.op) {
        case SIM_INIT_SL: return std::string(call.port_name) + " " + std::to_string(call.args[1]) + " 8N1";
        case SIM_BACKGROUND_LOOP: return "value " + std::to_string(call.args[0]);
        case SIM_READ_RECORD:
        case SIM_WRITE_RECORD:
            return "record " + std::to_string(call.args[0]) + ", " + std::to_string(call.length) + " bytes";
        case SIM_CLOSE_SL: return "port " + std::to_string(call.args[0]);
        default: return "";
    }
}

}  // namespace

DeskCall::DeskCall(SimOp op, int port) : port_(port) {
    call_.op = op;
    if (!DeskOn()) return;
    if (const int open = CurrentPort(); open >= 0 && Port(open).folder) {
        folder_ = Port(open).folder;
    } else {
        folder_ = std::make_shared<const Folder>(Folder::Open());
    }
}

int DeskCall::Fault() {
    if (const int result = TakeProcessFault(call_.op)) return result;
    if (!folder_ || !folder_->Usable() || (port_ < 0 && call_.op != SIM_TLS_ALLOCATE)) return 0;
    std::string problem;
    switch (TakeFault(*folder_, port_, call_.op, problem)) {
        case FaultMet::No: return 0;
        case FaultMet::Yes: return kFailure;
        case FaultMet::Unreadable:
            Note(port_, "a call of " + std::string(kOpNames[call_.op]) +
                            " failed as if a fault were planned: the desk's planned faults cannot be read or "
                            "consumed (" + problem + "); clear them with 'stagemark-phone fault --port " +
                            std::to_string(port_ < 0 ? 0 : port_) + " --clear'");
            return kFailure;
    }
    return 0;
}

void DeskCall::Note(int port, const std::string& text) const {
    if (!folder_ || !folder_->Usable()) return;
    TraceLine line = NewTraceLine(port, "check");
    line.detail = text;
    AppendTrace(*folder_, line);
}

int DeskCall::Finish(int result, const unsigned char* bytes, std::size_t count, unsigned traced_bytes) {
    call_.result = result;
    LogCall(call_, bytes, count);
    if (folder_ && folder_->Usable()) {
        TraceLine line = NewTraceLine(port_, kOpNames[call_.op]);
        line.result = result;
        line.detail = Detail(call_);
        line.bytes = result == 0 ? traced_bytes : 0;
        AppendTrace(*folder_, line);
    }
    return result;
}

}  // namespace desk
