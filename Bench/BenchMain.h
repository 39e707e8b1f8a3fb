// Read ahead of every benchmark program's own source (grindlow_benchmark): the benchmarks run with a display
// reporter that notes each run that stopped with an error, and a program whose run had one exits with status 1, so
// that whatever runs it alone is told; the table of scripts/bench.sh still marks the rows from the JSON.
#pragma once

#include <benchmark/benchmark.h>

// The console reporter that notes errors; every run of the program shows through it.
benchmark::BenchmarkReporter* benchErrorWatch();
// 1 when a run of the benchmarks stopped with an error, else 0: what a program's main returns.
int benchExitStatus();
// BENCHMARK_MAIN's work with benchExitStatus() as the exit status.
int benchMain(int argc, char** argv);

// A program's run of the benchmarks (BENCHMARK_MAIN's or its own main's) shows through the reporter above.
#define RunSpecifiedBenchmarks() RunSpecifiedBenchmarks(::benchErrorWatch())
#undef BENCHMARK_MAIN
#define BENCHMARK_MAIN()                                           \
  int main(int argc, char** argv) { return benchMain(argc, argv); } \
  int main(int, char**)
