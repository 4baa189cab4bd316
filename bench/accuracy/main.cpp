// vorn-accuracy: how well the estimator identifies simulated payloads, and whether the
// standard deviations it reports can be trusted. Every run goes through the public
// estimator API as a host would drive it; see README-section.md.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

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
  if (options.rowWeighting >= 0) {
    setenv("VORN_ROW_WEIGHTING", options.rowWeighting == 1 ? "1" : "0", 1);
  }
  if (options.wrenchWeights >= 0) {
    setenv("VORN_WRENCH_WEIGHTS", options.wrenchWeights == 1 ? "1" : "0", 1);
  }
  if (options.inertiaHoldout >= 0) {
    setenv("VORN_INERTIA_HOLDOUT", options.inertiaHoldout == 1 ? "1" : "0", 1);
  }
  const std::vector<RunCase> cases = CaseCatalogue::cases(options);
  const auto workDir =
      std::filesystem::temp_directory_path() / ("vorn-accuracy-" + std::to_string(getpid()));
  std::filesystem::create_directories(workDir);

  std::cout << "vorn-accuracy: " << cases.size() << " runs, " << options.jobs
            << " worker(s), at most " << options.dataTimeCap << " s of samples each"
            << (options.rowWeighting == 1   ? ", row weighting on"
                : options.rowWeighting == 0 ? ", row weighting off"
                                            : "")
            << (options.wrenchWeights == 1   ? ", wrench-noise weights on"
                : options.wrenchWeights == 0 ? ", wrench-noise weights off"
                                             : "")
            << (options.inertiaHoldout == 1   ? ", inertia holdout on"
                : options.inertiaHoldout == 0 ? ", inertia holdout off"
                                              : "")
            << "\n"
            << std::flush;
  const auto start = std::chrono::steady_clock::now();
  const std::vector<RunResult> results = ParallelRunner(workDir, options.jobs).run(cases);
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
  std::printf("(%.0f s wall time)\n", wall);
  std::error_code ignored;
  std::filesystem::remove_all(workDir, ignored);
  return 0;
}
