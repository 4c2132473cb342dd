#include "link_calls.hpp"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "call_log.hpp"
#include "desk_call.hpp"
#include "port_hold.hpp"
#include "port_name.hpp"
#include "process_ids.hpp"
#include "station_state.hpp"

namespace desk {
namespace {

// Windows numbers its serial ports from 1: the name COM0 is well formed but no device has it.
constexpr int kNoDevicePort = 0;

thread_local bool tls_allocated = false;

std::string Com(int port) { return "COM" + std::to_string(port); }

// Takes the port's hold for the link; false with the reason kept for the station's tool.
bool HoldForLink(DeskCall& call, int port) {
    const Folder* folder = call.folder();
    PortState& state = Port(port);
    state.open_problem.clear();
    // A desk named by a relative path is no desk at all: the link is refused at once, as a
    // port that does not exist, and the tool says why.
    if (folder != nullptr && !folder->Usable()) {
        if (std::string refusal = DeskPathRefusal(); !refusal.empty()) {
            state.open_problem = std::move(refusal);
            return false;
        }
    }
    if (folder == nullptr || !folder->Usable()) return true;  // nothing to hold against: the read will say why
    HoldAttempt attempt = TakePort(*folder, port, Holder::Link, kLinkWaitForCommandMs);
    if (attempt.result == LockResult::Busy) {
        state.open_problem = "COM" + std::to_string(port) + " is in use by another program" +
                             (attempt.holder > 0 ? " (process " + std::to_string(attempt.holder) + ")" : "") +
                             ": it stays held until that program calls ExitTat or ends; wait until then, and run "
                             "the command again";
    } else if (attempt.result == LockResult::Failed) {
        state.open_problem = "the port's hold file " + attempt.problem +
                             ", so the port cannot be held against other programs; " + HoldFileRemedy(attempt);
    }
    if (!state.open_problem.empty()) {
        call.Note(port, state.open_problem);
        return false;
    }
    if (attempt.left_open_by != 0) NoteLeftOpen(*folder, port, attempt.left_open_by);
    state.hold = std::move(attempt.lock);
    state.folder = call.shared_folder();
    return true;
}

}  // namespace

bool OnLinkThread(DeskCall& call, const char* what) {
    const int port = CurrentPort();
    if (port < 0 || ThreadId() == State().link_thread) return true;
    call.Note(port, std::string(what) + " was called on thread " + std::to_string(ThreadId()) + ", but the link on " +
                        Com(port) + " was opened on thread " + std::to_string(State().link_thread) +
                        ": the link library keeps its storage per thread, so the call fails; make InitTat, every "
                        "call on the phone and ExitTat from one thread (in LabVIEW, run the Call Library Function "
                        "Nodes in the UI thread)");
    return false;
}

int TlsAllocate() {
    DeskCall call(SIM_TLS_ALLOCATE, -1);
    if (const int fault = call.Fault()) return call.Finish(fault);
    tls_allocated = true;
    return call.Finish(0);
}

int OpenLink(const char* port_name, const int settings[7]) {
    const int port = port_name != nullptr ? ParsePortName(port_name).value_or(-1) : -1;
    DeskCall call(SIM_INIT_SL, port);
    std::memcpy(call.call().args + 1, settings, 7 * sizeof(int));
    if (port_name != nullptr) std::strncpy(call.call().port_name, port_name, sizeof call.call().port_name - 1);
    if (ValidPort(port)) State().last_port = port;
    if (const int fault = call.Fault()) return call.Finish(fault);
    if (const int open = CurrentPort(); open >= 0) {
        call.Note(open, "InitTat for " + (ValidPort(port) ? Com(port) : std::string("another port")) +
                            " was called while the link on " + Com(open) +
                            " is open: one link at a time; call ExitTat with its port first");
    }
    if (!tls_allocated || !ValidPort(port) || port == kNoDevicePort || Port(port).open) return call.Finish(kFailure);
    if (!HoldForLink(call, port)) return call.Finish(kFailure);
    Port(port).open = true;
    Port(port).has_seen = false;
    State().opened_order.push_back(port);
    State().link_thread = ThreadId();
    return call.Finish(0);
}

int CloseLink(int port) {
    DeskCall call(SIM_CLOSE_SL, port);
    call.call().args[0] = port;
    if (const int fault = call.Fault()) return call.Finish(fault);
    if (!OnLinkThread(call, "ExitTat")) return call.Finish(kFailure);
    if (!ValidPort(port) || !Port(port).open) {
        if (const int open = CurrentPort(); open >= 0) {
            call.Note(open, "ExitTat for port " + std::to_string(port) + " closed no link: the link is open on " +
                                Com(open) + "; call ExitTat with the port that InitTat opened");
        }
        return call.Finish(kFailure);
    }
    PortState& state = Port(port);
    state.open = false;
    state.has_seen = false;
    ReleasePort(state.hold);
    state.folder.reset();
    std::erase(State().opened_order, port);
    return call.Finish(0);
}

int TlsFree() {
    DeskCall call(SIM_TLS_FREE, CurrentPort() >= 0 ? CurrentPort() : State().last_port);
    if (const int fault = call.Fault()) return call.Finish(fault);
    if (!tls_allocated) return call.Finish(kFailure);
    tls_allocated = false;
    return call.Finish(0);
}

}  // namespace desk

extern "C" {

void SIM_CALL sim_link_reset(void) {
    desk::ResetStation();
    desk::SetDeskOn(false);
    desk::tls_allocated = false;
    desk::ResetCallLog();
}

void SIM_CALL sim_link_use_desk(int on) { desk::SetDeskOn(on != 0); }

int SIM_CALL sim_link_is_open(int port) { return desk::ValidPort(port) && desk::Port(port).open ? 1 : 0; }

int SIM_CALL sim_link_current_port(void) { return desk::CurrentPort(); }

int SIM_CALL sim_link_tls_allocated(void) { return desk::tls_allocated ? 1 : 0; }

}  // extern "C"
