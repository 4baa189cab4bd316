// vorn-accuracy: how well the estimator identifies simulated payloads, and whether the
// standard deviations it reports can be trusted. Every run goes through the public
// estimator API as a host would drive it; see README-section.md.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "AccuracyRun.hpp"
#include "BenchmarkOptions.hpp"
#include "CaseCatalogue.hpp"
#include "ParallelRunner.hpp"
#include "ResultTable.hpp"

int main(int argc, char** argv) {
  using namespace vorn::accuracy;
  BenchmarkOptions options;
  try {
    options = BenchmarkOptions::parse(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "vorn-accuracy: " << e.what() << "\n" << BenchmarkOptions::usage();
    return 2;
  }
  if (options.help) {
    std::cout << BenchmarkOptions::usage();
    return 0;
  }
  // The estimator's development switches, passed to the workers through their environment.
  struct Switch {
    int state;  // -1 the estimator's default, 0 off, 1 on
    const char* variable;
    const char* name;
  };
  const Switch switches[] = {{options.rowWeighting, "VORN_ROW_WEIGHTING", "row weighting"},
                             {options.wrenchWeights, "VORN_WRENCH_WEIGHTS", "wrench-noise weights"},
                             {options.inertiaHoldout, "VORN_INERTIA_HOLDOUT", "inertia holdout"}};
  std::string switchText;
  for (const Switch& s : switches) {
    if (s.state >= 0) {
      setenv(s.variable, s.state == 1 ? "1" : "0", 1);
      switchText += std::string(", ") + s.name + (s.state == 1 ? " on" : " off");
    }
  }
  const std::vector<RunCase> cases = CaseCatalogue::cases(options);
  const auto workDir =
      std::filesystem::temp_directory_path() / ("vorn-accuracy-" + std::to_string(getpid()));
  std::filesystem::create_directories(workDir);

  std::cout << "vorn-accuracy: " << cases.size() << " runs, " << options.jobs
            << " worker(s), at most " << options.dataTimeCap << " s of samples each"
            << switchText << "\n"
            << std::flush;
  const auto start = std::chrono::steady_clock::now();
  const ParallelRunner runner(workDir, options.jobs);
  const std::vector<RunResult> results = runner.run(cases);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  if (options.printRuns) {
    ResultTable::printRuns(std::cout, cases, results);
    ResultTable::printDiagnosis(std::cout, cases, results);
  }
  ResultTable::printSummary(std::cout, cases, results);
  if (!options.csvPath.empty()) {
    ResultTable::writeCsv(options.csvPath, cases, results);
  }
  if (!options.tracePath.empty()) {
    // Each worker traced its runs in its own folder; the file takes them in the order of the runs.
    std::ofstream trace(options.tracePath);
    trace << AccuracyRun::traceHeader() << '\n';
    for (const RunCase& c : cases) {
      for (const auto& folder : runner.jobFolders()) {
        std::ifstream part(folder / AccuracyRun::traceFileName(c.index));
        if (part) {
          trace << part.rdbuf();
          break;
        }
      }
    }
  }
  std::printf("(%.0f s wall time)\n", wall);
  std::error_code ignored;
  std::filesystem::remove_all(workDir, ignored);
  return 0;
}
