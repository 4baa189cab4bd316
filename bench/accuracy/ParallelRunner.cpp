#include "ParallelRunner.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>

#include "AccuracyRun.hpp"

namespace vorn::accuracy {

ParallelRunner::ParallelRunner(std::filesystem::path workDir, int jobs)
    : workDir_(std::move(workDir)), jobs_(jobs) {}

void ParallelRunner::runShare(const std::vector<RunCase>& cases, std::size_t first,
                              std::size_t stride, const std::filesystem::path& folder,
                              const std::filesystem::path& resultFile) {
  std::filesystem::create_directories(folder);
  const AccuracyRun runner(folder);
  std::ofstream out(resultFile);
  for (std::size_t i = first; i < cases.size(); i += stride) {
    const RunResult result = runner.execute(cases[i]);
    out << result.serialise() << '\n' << std::flush;
    std::fprintf(stderr, "\r  run %zu of %zu done   ", i + 1, cases.size());
  }
}

std::vector<std::filesystem::path> ParallelRunner::jobFolders() const {
  std::vector<std::filesystem::path> folders;
  for (int k = 0; k < (jobs_ > 0 ? jobs_ : 1); ++k) {
    folders.push_back(workDir_ / ("job-" + std::to_string(k)));
  }
  return folders;
}

std::vector<RunResult> ParallelRunner::run(const std::vector<RunCase>& cases) const {
  const auto jobs = static_cast<std::size_t>(jobs_ > 0 ? jobs_ : 1);
  std::vector<std::filesystem::path> files;
  std::vector<pid_t> children;
  const std::vector<std::filesystem::path> folders = jobFolders();
  for (std::size_t k = 0; k < jobs; ++k) {
    const auto& folder = folders[k];
    const auto file = workDir_ / ("results-" + std::to_string(k) + ".txt");
    files.push_back(file);
    if (jobs == 1) {
      runShare(cases, k, jobs, folder, file);
      continue;
    }
    std::cout.flush();
    const pid_t pid = fork();
    if (pid == 0) {
      int status = 0;
      try {
        runShare(cases, k, jobs, folder, file);
      } catch (...) {
        status = 1;
      }
      std::_Exit(status);
    }
    if (pid > 0) {
      children.push_back(pid);
    }
  }
  for (const pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
  }
  std::fprintf(stderr, "\n");

  std::vector<RunResult> results(cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    results[i].caseIndex = cases[i].index;
    results[i].end = RunEnd::Failed;
  }
  for (const auto& file : files) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      RunResult r;
      if (RunResult::parse(line, r) && r.caseIndex >= 0 &&
          static_cast<std::size_t>(r.caseIndex) < results.size()) {
        results[static_cast<std::size_t>(r.caseIndex)] = r;
      }
    }
  }
  return results;
}

}  // namespace vorn::accuracy
