// What one station call costs on the native build, with Google Benchmark. Prints the
// cost table after the run; exits 1 when a count or the ceiling is missed. With
// --benchmark_repetitions the table takes each operation's median.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "allocation_counter.hpp"
#include "cost_table.hpp"
#include "operations.hpp"
#include "phone_under_test.hpp"

namespace {

void Measure(benchmark::State& state, const bench::Operation& operation) {
    bench::Prepare(operation);
    const std::size_t allocations = bench::AllocationCount();
    const unsigned long reads = bench::DriverReads();
    const unsigned long writes = bench::DriverWrites();
    for (auto _ : state) operation.call();
    const auto per_call = benchmark::Counter::kAvgIterations;
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(bench::AllocationCount() - allocations), per_call);
    state.counters["reads"] = benchmark::Counter(static_cast<double>(bench::DriverReads() - reads), per_call);
    state.counters["writes"] = benchmark::Counter(static_cast<double>(bench::DriverWrites() - writes), per_call);
    bench::Finish(operation);
}

double CounterOf(const benchmark::BenchmarkReporter::Run& run, const char* name) {
    const auto found = run.counters.find(name);
    return found == run.counters.end() ? 0 : static_cast<double>(found->second);
}

// Keeps each operation's figures: the median when there are repetitions, else its run.
class Collector : public benchmark::ConsoleReporter {
  public:
    bench::Measurements measured;

    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (run.error_occurred || !(median || single)) continue;
            measured[run.run_name.function_name] = bench::Measured{
                run.GetAdjustedRealTime(), CounterOf(run, "allocs"), CounterOf(run, "reads"), CounterOf(run, "writes")};
        }
        ConsoleReporter::ReportRuns(reports);
    }
};

}  // namespace

int main(int argc, char** argv) {
    bench::CountAllocationsIn(nullptr);
    for (const bench::Operation& operation : bench::kOperations) {
        benchmark::RegisterBenchmark(operation.key, Measure, operation);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    return bench::ReportCosts(bench::PhoneDescription(), collector.measured) ? 0 : 1;
}
