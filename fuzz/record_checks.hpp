// What every fuzz target demands of the records that reach the phone.
#pragma once

#include <cstddef>
#include <vector>

#include "stagemark_sim.h"

namespace fuzz {

// Stops the run with a crash report, so the fuzzer keeps the input.
[[noreturn]] inline void Violated() { __builtin_trap(); }

inline void Require(bool condition) {
    if (!condition) Violated();
}

// Every write in the call log is a whole record with its constant fields right.
inline void RequireWellFormedWrites() {
    static const unsigned char kHeader[9] = {0x00, 0x01, 0x00, 0xFF, '5', '8', '2', '7', 0x00};
    static const unsigned char kPairs[12] = {0x01, 0xD5, 0x02, 0xC5, 0x03, 0xCE, 0x04, 0xF7, 0x05, 0xB8, 0x06, 0xFC};
    std::vector<unsigned char> record(SIM_RECORD_SIZE + 1);
    for (std::size_t i = 0; i < sim_call_count(); ++i) {
        SimCall call{};
        sim_call(i, &call);
        if (call.op != SIM_WRITE_RECORD) continue;
        Require(call.args[0] == 1000 && call.length == SIM_RECORD_SIZE);
        Require(sim_call_bytes(i, record.data(), record.size()) == SIM_RECORD_SIZE);
        for (std::size_t b = 0; b < 9; ++b) Require(record[780 + b] == kHeader[b]);
        for (std::size_t b = 794; b < 810; ++b) Require(record[b] == 0xFF);
        for (std::size_t b = 812; b < 826; ++b) Require(record[b] == 0x00);
        for (std::size_t b = 0; b < 12; ++b) Require(record[826 + b] == kPairs[b]);
        for (std::size_t b = 870; b < SIM_RECORD_SIZE; ++b) Require(record[b] == 0x00);
    }
}

inline std::size_t WriteCount() {
    return static_cast<std::size_t>(sim_op_count(SIM_WRITE_RECORD));
}

}  // namespace fuzz
