// The benchmark programs' shared main and the reporter that notes errors (Bench/BenchMain.h).
#include "Bench/BenchMain.h"

#include <unistd.h>

#include <ostream>
#include <vector>

namespace {

// Google Benchmark's console output, noting every run that stopped with an error (a check that failed).
class CBenchErrorWatch : public benchmark::ConsoleReporter {
 public:
  CBenchErrorWatch() : benchmark::ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Color : OO_None) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) ++m_iErrors;
    }
    benchmark::ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    benchmark::ConsoleReporter::Finalize();
    if (m_iErrors > 0) {
      GetErrorStream() << m_iErrors << (m_iErrors == 1 ? " run" : " runs") << " stopped with an error\n";
    }
  }
  int errors() const { return m_iErrors; }

 private:
  int m_iErrors = 0;
};

CBenchErrorWatch& watch() {
  static CBenchErrorWatch s_watch;
  return s_watch;
}

}  // namespace

benchmark::BenchmarkReporter* benchErrorWatch() { return &watch(); }

int benchExitStatus() { return watch().errors() > 0 ? 1 : 0; }

int benchMain(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return benchExitStatus();
}
