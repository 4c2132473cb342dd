// Stand-in serial-link library: per-thread storage and one open link per port.
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "stagemark_sim.h"
#define DRIVER_API SIM_EXPORT
#include "call_log.hpp"
#include "desk_link.hpp"
#include "no_throw.hpp"
#include "port_name.hpp"
#include "serial_link.h"

namespace {

constexpr int kFailure = -1;
constexpr int kPortCount = 256;
// Windows numbers its serial ports from 1: the name COM0 is well formed but no device has it.
constexpr int kNoDevicePort = 0;

thread_local bool tls_allocated = false;

struct Links {
    std::array<bool, kPortCount> open{};
    std::vector<int> opened_order;  // most recent last
};

Links& State() {
    static Links links;
    return links;
}

bool ValidPort(int port) { return port >= 0 && port < kPortCount; }

// Only for a valid port.
bool& IsOpen(int port) { return State().open[static_cast<std::size_t>(port)]; }

SimCall NewCall(SimOp op) {
    SimCall call{};
    call.op = op;
    return call;
}

int Finish(SimCall& call, int result) {
    call.result = result;
    sim_log_call(&call, nullptr, 0);
    return result;
}

}  // namespace

extern "C" {

int DRIVER_CALL _SL1_12TLSAllocate(void) {
    SimCall call = NewCall(SIM_TLS_ALLOCATE);
    if (const int fault = sim::TakeFault(SIM_TLS_ALLOCATE, -1)) return Finish(call, fault);
    tls_allocated = true;
    return Finish(call, 0);
}

int DRIVER_CALL _SL3_02InitSL(char* port_name, int baud, int a, int b, int c, int d, int e, int f) {
    return sim::NoThrow(kFailure, [&] {
        SimCall call = NewCall(SIM_INIT_SL);
        const int settings[] = {baud, a, b, c, d, e, f};
        std::memcpy(call.args + 1, settings, sizeof settings);
        if (port_name != nullptr) std::strncpy(call.port_name, port_name, sizeof call.port_name - 1);
        const int port = port_name != nullptr ? sim::ParsePortName(port_name).value_or(-1) : -1;
        if (const int fault = sim::TakeFault(SIM_INIT_SL, port)) return Finish(call, fault);
        if (!tls_allocated || !ValidPort(port) || port == kNoDevicePort || IsOpen(port)) return Finish(call, kFailure);
        // Another process's open link holds the port, as the operating system holds a COM port.
        long holder = 0;
        if (!sim::HoldPort(port, holder)) {
            const std::string note = "COM" + std::to_string(port) + " is in use by process " + std::to_string(holder) +
                                     ": it stays held until that process calls ExitTat or ends";
            sim_desk_note(port, note.c_str());
            return Finish(call, kFailure);
        }
        IsOpen(port) = true;
        State().opened_order.push_back(port);
        return Finish(call, 0);
    });
}

int DRIVER_CALL _SL3_04CloseSL(int port) {
    SimCall call = NewCall(SIM_CLOSE_SL);
    call.args[0] = port;
    if (const int fault = sim::TakeFault(SIM_CLOSE_SL, port)) return Finish(call, fault);
    if (!ValidPort(port) || !IsOpen(port)) return Finish(call, kFailure);
    IsOpen(port) = false;
    sim::ReleasePort(port);
    std::erase(State().opened_order, port);
    return Finish(call, 0);
}

int DRIVER_CALL _SL1_13TLSFree(void) {
    SimCall call = NewCall(SIM_TLS_FREE);
    if (const int fault = sim::TakeFault(SIM_TLS_FREE, sim_link_current_port())) return Finish(call, fault);
    if (!tls_allocated) return Finish(call, kFailure);
    tls_allocated = false;
    return Finish(call, 0);
}

void SIM_CALL sim_link_reset(void) {
    State() = Links{};
    sim::SetDeskOn(false);
    tls_allocated = false;
    sim_clear_faults();
    sim_clear_calls();
    sim::ResetCounting();
}

int SIM_CALL sim_link_is_open(int port) { return ValidPort(port) && IsOpen(port) ? 1 : 0; }

int SIM_CALL sim_link_current_port(void) { return State().opened_order.empty() ? -1 : State().opened_order.back(); }

int SIM_CALL sim_link_tls_allocated(void) { return tls_allocated ? 1 : 0; }

}  // extern "C"
