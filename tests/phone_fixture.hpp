// A station's view of one simulated phone: a fresh stand-in, a link open on it,
// and the driver's call log to see what reached the phone.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "stagemark.h"
#include "stagemark_sim.h"

using Record = std::array<unsigned char, SIM_RECORD_SIZE>;

inline constexpr int kRecordBsn = 789;
inline constexpr int kRecordPassFlags = 810;
inline constexpr int kRecordDoneFlags = 811;
inline constexpr int kRecordStamps = 838;

// Every byte different from its neighbours and from the record's constants,
// so a shifted or dropped field shows.
inline Record PatternedRecord(unsigned char pass_flags, unsigned char done_flags) {
    Record record;
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<unsigned char>(i * 31 + 7);
    record[kRecordPassFlags] = pass_flags;
    record[kRecordDoneFlags] = done_flags;
    return record;
}

// Names a table's test cases after the cases' own names.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

inline std::uint32_t StampAt(const unsigned char* stamp) {
    return std::uint32_t{stamp[0]} << 24 | std::uint32_t{stamp[1]} << 16 | std::uint32_t{stamp[2]} << 8 | stamp[3];
}

inline std::uint32_t ClockNow() { return static_cast<std::uint32_t>(std::time(nullptr)); }

inline void PutPhone(const Record& record) { sim_set_record(record.data()); }

inline Record PhoneRecord() {
    Record record{};
    EXPECT_EQ(sim_get_record(record.data()), 1);
    return record;
}

inline std::vector<SimCall> AllCalls() {
    std::vector<SimCall> calls(sim_call_count());
    for (std::size_t i = 0; i < calls.size(); ++i) sim_call(i, &calls[i]);
    return calls;
}

inline std::vector<SimCall> Calls(SimOp op) {
    std::vector<SimCall> calls;
    for (const SimCall& call : AllCalls()) {
        if (call.op == op) calls.push_back(call);
    }
    return calls;
}

// The bytes of every record write, in order.
inline std::vector<std::vector<unsigned char>> Writes() {
    std::vector<std::vector<unsigned char>> writes;
    for (std::size_t i = 0; i < sim_call_count(); ++i) {
        SimCall call{};
        sim_call(i, &call);
        if (call.op != SIM_WRITE_RECORD) continue;
        std::vector<unsigned char> bytes(call.length);
        bytes.resize(sim_call_bytes(i, bytes.data(), bytes.size()));
        writes.push_back(bytes);
    }
    return writes;
}

class PhoneTest : public ::testing::Test {
  protected:
    static constexpr int kPort = 3;

    void SetUp() override {
        sim_reset();
        ASSERT_EQ(InitTat(kPort), 1);
        sim_clear_calls();
    }

    void TearDown() override {
        ExitTat(kPort);
        sim_reset();
    }
};
