#pragma once

#include <filesystem>
#include <vector>

#include "RunCase.hpp"
#include "RunResult.hpp"

namespace vorn::accuracy {

/// Spreads the runs over worker processes. Processes rather than threads: each run captures
/// the process's standard output (where the estimator prints its report), which is one
/// stream per process.
class ParallelRunner {
 public:
  ParallelRunner(std::filesystem::path workDir, int jobs);

  /// Results in the order of `cases`; a run whose worker died is reported as failed.
  /// Progress goes to standard error.
  std::vector<RunResult> run(const std::vector<RunCase>& cases) const;

  /// The work folder of each worker, in which its runs write their files.
  std::vector<std::filesystem::path> jobFolders() const;

 private:
  /// Runs every `stride`-th case from `first` on, in a folder of its own, and writes one
  /// result line per run to `resultFile`.
  static void runShare(const std::vector<RunCase>& cases, std::size_t first, std::size_t stride,
                       const std::filesystem::path& folder,
                       const std::filesystem::path& resultFile);

  std::filesystem::path workDir_;
  int jobs_;
};

}  // namespace vorn::accuracy
