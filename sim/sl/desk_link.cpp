#include "desk_link.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>

#include "desk_faults.hpp"
#include "desk_folder.hpp"
#include "desk_ops.hpp"
#include "desk_trace.hpp"
#include "file_lock.hpp"
#include "no_throw.hpp"
#include "port_name.hpp"
#include "regular_file.hpp"

namespace sim {
namespace {

constexpr int kPortCount = 256;

// A station process meets the desk a user set up; tests in memory turn it off. Kept
// apart from the rest so that every call asks it cheaply.
bool g_desk_on = true;

struct Desk {
    std::array<std::unique_ptr<FileLock>, kPortCount> holds;
    // Who held the port when this process last failed to open it: the holder may have let
    // go before the station asks why.
    std::array<long, kPortCount> refused_by{};

    // A process that ends with a link open has skipped ExitTat: say so in the trace.
    ~Desk() {
        NoThrow(false, [&] {
            for (int port = 0; port < kPortCount; ++port) {
                if (!g_desk_on || !holds[static_cast<std::size_t>(port)]) continue;
                TraceLine line = NewTraceLine(port, "check");
                line.detail = "the process ended with its link on COM" + std::to_string(port) +
                              " open: call ExitTat with the port before the program ends, on every path";
                AppendTrace(line);
            }
            return true;
        });
    }
};

Desk& State() {
    static Desk desk;
    return desk;
}

std::filesystem::path HoldFile(int port) { return PortFile(port, ".link"); }

long ReadHolder(int port) {
    const TextRead read = ReadTextFile(HoldFile(port), 64);
    return read.status == FileRead::Ok ? std::strtol(read.text.c_str(), nullptr, 10) : 0;
}

}  // namespace

bool DeskOn() { return g_desk_on; }

void SetDeskOn(bool on) {
    g_desk_on = on;
    if (!on) State().holds = {};
}

bool HoldPort(int port, long& holder) {
    holder = 0;
    if (!DeskOn() || port < 0 || port >= kPortCount) return true;
    if (!PrepareDeskFolder().empty()) return true;  // nothing to hold against: the read will say why
    std::unique_ptr<FileLock> hold = FileLock::TryTake(HoldFile(port));
    if (!hold) {
        holder = std::max(ReadHolder(port), 1L);
        State().refused_by[static_cast<std::size_t>(port)] = holder;
        return false;
    }
    State().refused_by[static_cast<std::size_t>(port)] = 0;
    hold->Write(std::to_string(ProcessId()) + "\n");
    State().holds[static_cast<std::size_t>(port)] = std::move(hold);
    return true;
}

void ReleasePort(int port) {
    if (port >= 0 && port < kPortCount) State().holds[static_cast<std::size_t>(port)].reset();
}

int PortOfCall(const SimCall& call) {
    if (call.op == SIM_INIT_SL) return ParsePortName(call.port_name).value_or(-1);
    if (call.op == SIM_CLOSE_SL) return call.args[0];
    return sim_link_current_port();
}

void TraceCall(const SimCall& call) {
    if (!DeskOn() || call.op < 0 || call.op >= SIM_OP_COUNT) return;
    TraceLine line = NewTraceLine(PortOfCall(call), kOpNames[call.op]);
    line.result = call.result;
    switch (call.op) {
        case SIM_INIT_SL:
            line.detail = std::string(call.port_name) + " " + std::to_string(call.args[1]) + " 8N1";
            break;
        case SIM_BACKGROUND_LOOP: line.detail = "value " + std::to_string(call.args[0]); break;
        case SIM_READ_RECORD:
        case SIM_WRITE_RECORD:
            line.detail = "record " + std::to_string(call.args[0]) + ", " + std::to_string(call.length) + " bytes";
            if (call.result == 0) line.bytes = call.length;
            break;
        case SIM_CLOSE_SL: line.detail = "port " + std::to_string(call.args[0]); break;
        default: break;
    }
    AppendTrace(line);
}

bool DeskFaultMeets(SimOp op, int port) { return DeskOn() && TakeDeskFault(port, op); }

}  // namespace sim

extern "C" {

void SIM_CALL sim_link_use_desk(int on) { sim::SetDeskOn(on != 0); }

void SIM_CALL sim_desk_note(int port, const char* text) {
    sim::NoThrow(false, [&] {
        if (!sim::DeskOn() || text == nullptr) return false;
        sim::TraceLine line = sim::NewTraceLine(port, "check");
        line.detail = text;
        return sim::AppendTrace(line);
    });
}

long SIM_CALL sim_port_holder(int port) {
    return sim::NoThrow(0L, [&] {
        if (port < 0 || port >= sim::kPortCount || !sim::PrepareDeskFolder().empty()) return 0L;
        const auto index = static_cast<std::size_t>(port);
        if (sim::State().holds[index]) return sim::ProcessId();
        if (sim::State().refused_by[index] != 0) return sim::State().refused_by[index];
        if (sim::FileLock::TryTake(sim::HoldFile(port))) return 0L;  // nobody holds it
        return std::max(sim::ReadHolder(port), 1L);
    });
}

}  // extern "C"
