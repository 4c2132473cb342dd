// What one station call costs on the Windows target, timed with the performance
// counter. Prints the same cost table as the native benchmark, from the median of five
// timed runs; exits 1 when a count or the ceiling is missed.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "allocation_counter.hpp"
#include "cost_table.hpp"
#include "operations.hpp"
#include "phone_under_test.hpp"

namespace {

constexpr int kRepetitions = 5;
constexpr double kRunSeconds = 0.02;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double TimeCalls(const bench::Operation& operation, long calls) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (long i = 0; i < calls; ++i) operation.call();
    QueryPerformanceCounter(&end);
    return Seconds(start, end);
}

bench::Measured Measure(const bench::Operation& operation) {
    bench::Prepare(operation);
    long calls = 1;
    while (TimeCalls(operation, calls) < kRunSeconds && calls < (1L << 26)) calls *= 2;

    std::vector<double> nanoseconds;
    nanoseconds.reserve(kRepetitions);  // before counting: the program's own allocation
    const std::size_t allocations = bench::AllocationCount();
    const unsigned long reads = bench::DriverReads();
    const unsigned long writes = bench::DriverWrites();
    for (int i = 0; i < kRepetitions; ++i) nanoseconds.push_back(TimeCalls(operation, calls) * 1e9 / static_cast<double>(calls));
    const double total = static_cast<double>(calls) * kRepetitions;
    bench::Measured measured{0, static_cast<double>(bench::AllocationCount() - allocations) / total,
                             static_cast<double>(bench::DriverReads() - reads) / total,
                             static_cast<double>(bench::DriverWrites() - writes) / total};
    std::sort(nanoseconds.begin(), nanoseconds.end());
    measured.nanoseconds = nanoseconds[kRepetitions / 2];
    bench::Finish(operation);
    return measured;
}

}  // namespace

int main() {
    bench::CountAllocationsIn(STAGEMARK_LIBRARY_MODULE);
    bench::Measurements measured;
    for (const bench::Operation& operation : bench::kOperations) measured[operation.key] = Measure(operation);
    return bench::ReportCosts(bench::PhoneDescription(), measured) ? 0 : 1;
}
