// What one station call costs in the library, next to copying the bytes that a
// read-modify-write of the record moves. The phone is the stand-in, kept in memory,
// with its call log off; heap allocations and driver calls are counted per operation.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "allocation_counter.hpp"
#include "stagemark.h"
#include "stagemark_sim.h"

namespace {

constexpr unsigned char kPort = 1;
constexpr std::size_t kReadModifyWriteBytes = 2 * 1036;

// Per-iteration allocations and driver calls around the timed loop.
class Counted {
  public:
    explicit Counted(benchmark::State& state)
        : state_(state), allocations_(bench::AllocationCount()), reads_(sim_op_count(SIM_READ_RECORD)),
          writes_(sim_op_count(SIM_WRITE_RECORD)) {}
    ~Counted() {
        const auto per_op = benchmark::Counter::kAvgIterations;
        state_.counters["allocs"] = benchmark::Counter(static_cast<double>(bench::AllocationCount() - allocations_), per_op);
        state_.counters["reads"] = benchmark::Counter(static_cast<double>(sim_op_count(SIM_READ_RECORD) - reads_), per_op);
        state_.counters["writes"] = benchmark::Counter(static_cast<double>(sim_op_count(SIM_WRITE_RECORD) - writes_), per_op);
    }

  private:
    benchmark::State& state_;
    std::size_t allocations_;
    unsigned long reads_;
    unsigned long writes_;
};

// A fresh phone in memory on an open link, with one record read and written
// beforehand so the stand-in's own buffers exist before anything is counted.
void OpenLink() {
    CloseTestHandle();
    sim_reset();
    sim_set_logging(0);
    InitTat(kPort);
    R_RES2_Pass();
}

void BM_BaselineMemcpy(benchmark::State& state) {
    std::vector<unsigned char> from(kReadModifyWriteBytes, 0x5A);
    std::vector<unsigned char> to(kReadModifyWriteBytes);
    Counted counted(state);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

void BM_DirectResult(benchmark::State& state) {
    OpenLink();
    Counted counted(state);
    for (auto _ : state) benchmark::DoNotOptimize(R_FT_Pass());
}

// Times one call against an open test handle.
template <class Call>
void TimeWithHandle(benchmark::State& state, Call call) {
    OpenLink();
    OpenTestHandle();
    {
        Counted counted(state);
        for (auto _ : state) call();
    }
    CloseTestHandle();
}

void BM_CachedResult(benchmark::State& state) {
    TimeWithHandle(state, [] { benchmark::DoNotOptimize(FT_Pass()); });
}

void BM_StatusQuery(benchmark::State& state) {
    TimeWithHandle(state, [] { benchmark::DoNotOptimize(FT_Status()); });
}

void BM_BsnText(benchmark::State& state) {
    char bsn[STAGEMARK_BSN_TEXT_SIZE];
    TimeWithHandle(state, [&bsn] {
        benchmark::DoNotOptimize(GetBsnStr(bsn));
        benchmark::ClobberMemory();
    });
}

void BM_OpenClose(benchmark::State& state) {
    OpenLink();
    Counted counted(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(OpenTestHandle());
        CloseTestHandle();
    }
}

BENCHMARK(BM_BaselineMemcpy);
BENCHMARK(BM_DirectResult);
BENCHMARK(BM_CachedResult);
BENCHMARK(BM_StatusQuery);
BENCHMARK(BM_BsnText);
BENCHMARK(BM_OpenClose);

struct Measured {
    double nanoseconds = 0;
    double allocs = 0, reads = 0, writes = 0;
};

// Keeps every run's figures for the table printed after the run.
class Collector : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, Measured> runs;

    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            Measured& m = runs[run.benchmark_name()];
            m.nanoseconds = run.GetAdjustedRealTime();
            m.allocs = run.counters.at("allocs");
            m.reads = run.counters.at("reads");
            m.writes = run.counters.at("writes");
        }
        ConsoleReporter::ReportRuns(reports);
    }
};

struct Target {
    const char* name;
    const char* label;
    double allocs, reads, writes;
    double max_ratio;  // 0: no time target
};

const Target kTargets[] = {
    {"BM_BaselineMemcpy", "memcpy of 2072 bytes (baseline)", 0, 0, 0, 0},
    {"BM_DirectResult", "direct result (R_FT_Pass)", 0, 1, 1, 10},
    {"BM_CachedResult", "cached result (FT_Pass)", 0, 0, 1, 0},
    {"BM_StatusQuery", "status query (FT_Status)", 0, 0, 0, 0},
    {"BM_BsnText", "GetBsnStr", 0, 0, 0, 0},
    {"BM_OpenClose", "OpenTestHandle + CloseTestHandle", 1, 1, 0, 0},
};

// Prints the table; false when a target is missed.
bool Report(const std::map<std::string, Measured>& runs) {
    const double baseline = runs.at("BM_BaselineMemcpy").nanoseconds;
    bool met = true;
    std::printf("\n| operation | ns/op | x baseline | allocs/op | reads/op | writes/op | target |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---|\n");
    for (const Target& t : kTargets) {
        const Measured& m = runs.at(t.name);
        const double ratio = m.nanoseconds / baseline;
        const bool ok = m.allocs == t.allocs && m.reads == t.reads && m.writes == t.writes &&
                        (t.max_ratio == 0 || ratio <= t.max_ratio);
        met = met && ok;
        std::string target = "allocs " + std::to_string(static_cast<int>(t.allocs)) + ", reads " +
                             std::to_string(static_cast<int>(t.reads)) + ", writes " +
                             std::to_string(static_cast<int>(t.writes));
        if (t.max_ratio != 0) target += ", <= " + std::to_string(static_cast<int>(t.max_ratio)) + "x";
        std::printf("| %s | %.1f | %.2f | %.2f | %.2f | %.2f | %s: %s |\n", t.label, m.nanoseconds, ratio, m.allocs,
                    m.reads, m.writes, target.c_str(), ok ? "met" : "MISSED");
    }
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    return Report(collector.runs) ? 0 : 1;
}
