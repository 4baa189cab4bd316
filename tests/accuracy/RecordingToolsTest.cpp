// The benchmark's tools for one recording: the trace of a run (the estimate's course, row by
// row, up to the instant the run ended) and repeated noise draws of the same motion.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "AccuracyRun.hpp"
#include "BenchmarkOptions.hpp"
#include "CaseCatalogue.hpp"
#include "vorn/VornPayloadEstimator.hpp"

namespace vorn::accuracy {
namespace {

std::vector<double> fields(const std::string& line) {
  std::vector<double> values;
  std::stringstream in(line);
  std::string item;
  for (int column = 0; std::getline(in, item, ','); ++column) {
    if (column >= 7) {  // after the case's seven columns
      values.push_back(std::stod(item));
    }
  }
  return values;
}

TEST(RunTrace, RowsEveryStepUpToTheEndWithErrorsInReportedDeviations) {
  const BenchmarkOptions options = BenchmarkOptions::parse(
      {"--profiles", "brisk", "--payloads", "1", "--seeds", "1", "--noise", "1", "--cap", "5",
       "--trace", "unused.csv", "0.25"});
  RunCase c = CaseCatalogue::cases(options).front();
  ASSERT_DOUBLE_EQ(c.traceStep, 0.25);
  const auto dir =
      std::filesystem::temp_directory_path() / ("vorn-trace-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const RunResult r = AccuracyRun(dir).execute(c);
  std::ifstream in(dir / AccuracyRun::traceFileName(c.index));
  std::vector<std::vector<double>> rows;
  for (std::string line; std::getline(in, line);) {
    rows.push_back(fields(line));
  }
  std::filesystem::remove_all(dir);
  ASSERT_EQ(r.end, RunEnd::Converged);
  ASSERT_GE(rows.size(), 2U);
  const std::string header = AccuracyRun::traceHeader();
  const auto columns = static_cast<std::size_t>(std::count(header.begin(), header.end(), ',') - 6);
  for (std::size_t k = 0; k + 1 < rows.size(); ++k) {
    ASSERT_EQ(rows[k].size(), columns);
    EXPECT_NEAR(rows[k][0], 0.25 * static_cast<double>(k + 1), 1e-6);
  }
  // The last row is the instant the run converged, with the deviations it reported.
  const std::vector<double>& end = rows.back();
  EXPECT_DOUBLE_EQ(end[0], r.dataSeconds);
  EXPECT_EQ(static_cast<int>(end[1]), static_cast<int>(EstimationRunState::Converged));
  for (int i = 0; i < 16; ++i) {
    const double sigma = end[20 + i];
    EXPECT_GT(sigma, 0.0) << i;
    // The snapshot's solution is the raw estimate, the file's the nearest consistent body; their
    // errors in reported deviations agree where the two bodies do (mass, centre of mass, bias).
    if (i < 4 || i >= 10) {
      EXPECT_NEAR(end[4 + i], r.normalisedErrors[static_cast<std::size_t>(i)], 1e-2) << i;
    }
  }
  EXPECT_THROW(BenchmarkOptions::parse({"--trace", "t.csv", "0"}), std::invalid_argument);
}

TEST(NoiseDraws, RepeatTheRecordingWithOtherNoiseAndKeepTheFirstDrawAsBefore) {
  const std::vector<std::string> base{"--profiles", "fast", "--kinds", "heavy", "--payloads",
                                      "2",          "--seeds",    "2", "--noise", "1,3"};
  std::vector<std::string> withDraws = base;
  withDraws.insert(withDraws.end(), {"--draws", "3"});
  const std::vector<RunCase> single = CaseCatalogue::cases(BenchmarkOptions::parse(base));
  const std::vector<RunCase> drawn = CaseCatalogue::cases(BenchmarkOptions::parse(withDraws));
  ASSERT_EQ(drawn.size(), 3 * single.size());
  std::vector<std::uint64_t> seeds;
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const RunCase& d = drawn[i];
    const RunCase& s = single[i / 3];
    EXPECT_EQ(d.index, static_cast<int>(i));
    EXPECT_EQ(d.draw, static_cast<int>(i % 3));
    // The same recording: payload, motion and bias; the first draw also the same noise, so the
    // figures of earlier runs stay comparable.
    EXPECT_EQ(d.payloadIndex, s.payloadIndex);
    EXPECT_EQ(d.motionSeed, s.motionSeed);
    EXPECT_EQ(d.bias, s.bias);
    EXPECT_EQ(d.noiseSeed == s.noiseSeed, d.draw == 0);
    seeds.push_back(d.noiseSeed);
  }
  std::sort(seeds.begin(), seeds.end());
  EXPECT_EQ(std::adjacent_find(seeds.begin(), seeds.end()), seeds.end()) << "a noise seed repeats";
  EXPECT_THROW(BenchmarkOptions::parse({"--draws", "0"}), std::invalid_argument);
}

}  // namespace
}  // namespace vorn::accuracy
