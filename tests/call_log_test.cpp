// The stand-ins' call log on a long desk session: it keeps the most recent calls in
// order, its memory stays flat, and the per-operation counts stay exact.
#include "phone_fixture.hpp"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <fstream>
#include <unistd.h>
#endif

namespace {

// Memory the process holds: private bytes on Windows, resident bytes elsewhere.
std::size_t ProcessMemory() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS_EX counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage;
#else
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

using CallLogTest = PhoneTest;

TEST_F(CallLogTest, KeepsTheMostRecentCallsInOrder) {
    constexpr unsigned long kResults = SIM_CALL_LOG_CAPACITY;  // two calls each: the log wraps
    for (unsigned long i = 0; i < kResults; ++i) ASSERT_EQ(i % 2 ? R_FT_Pass() : R_FT_Fail(), 1);

    ASSERT_EQ(sim_call_count(), SIM_CALL_LOG_CAPACITY);
    EXPECT_EQ(sim_op_count(SIM_READ_RECORD), kResults);
    EXPECT_EQ(sim_op_count(SIM_WRITE_RECORD), kResults);
    const std::vector<SimCall> calls = AllCalls();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].op, i % 2 ? SIM_WRITE_RECORD : SIM_READ_RECORD) << "call " << i;
    }
    // The newest write is the last result recorded: a pass of FT.
    const std::vector<std::vector<unsigned char>> writes = Writes();
    ASSERT_EQ(writes.size(), SIM_CALL_LOG_CAPACITY / 2);
    EXPECT_EQ(writes.back().at(kRecordPassFlags) & 0x08, 0x08);
    EXPECT_EQ(writes[writes.size() - 2].at(kRecordPassFlags) & 0x08, 0x00);
}

TEST_F(CallLogTest, MemoryStaysFlatOverAMillionCallsWithLoggingOn) {
    for (int i = 0; i < SIM_CALL_LOG_CAPACITY; ++i) ASSERT_EQ(R_FT_Pass(), 1);  // the log is full
    const std::size_t before = ProcessMemory();
    constexpr unsigned long kResults = 500'000;  // a read and a write each: a million calls
    for (unsigned long i = 0; i < kResults; ++i) ASSERT_EQ(R_FT_Pass(), 1);
    const std::size_t after = ProcessMemory();

    EXPECT_EQ(sim_op_count(SIM_READ_RECORD), kResults + SIM_CALL_LOG_CAPACITY);
    EXPECT_EQ(sim_call_count(), SIM_CALL_LOG_CAPACITY);
    // A log that kept every call would have grown by over a gigabyte.
    constexpr std::size_t kCeiling = 64u << 20;
    EXPECT_LT(after > before ? after - before : 0, kCeiling) << before << " -> " << after << " bytes";
}

}  // namespace
