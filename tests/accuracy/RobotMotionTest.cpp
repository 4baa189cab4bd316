// A robot's stop-and-go motion through the public estimator API, rows whitened by default:
// where a move starts or stops the derived angular acceleration misses, and the run must not
// stop on an estimate those samples pulled away.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "AccuracyRun.hpp"
#include "CaseCatalogue.hpp"

namespace vorn::accuracy {
namespace {

RunCase robotCase(PayloadKind kind, int payloadIndex, int seed) {
  BenchmarkOptions options;
  options.profiles = {sim::MotionPreset::Robot};
  options.rates = {1000.0};
  options.kinds = {kind};
  options.noiseScales = {1.0};
  options.payloads = CaseCatalogue::count(kind);
  options.seeds = seed + 1;
  options.dataTimeCap = 20.0;
  for (const RunCase& c : CaseCatalogue::cases(options)) {
    if (c.payloadIndex == payloadIndex && c.seed == seed) {
      return c;
    }
  }
  ADD_FAILURE() << "no such case";
  return {};
}

TEST(RobotMotion, WhitenedRunStopsWithinThreeDeviationsOnAHeavyPayload) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("vorn-robot-motion-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  // A 10 kg payload: 50 ms after a move's start all six inertia entries had fallen by five
  // whitened deviations, and the run stopped there 11.6 deviations off (2.5 s of data) while
  // the samples around the move's start were absorbed with the rest.
  const RunResult r = AccuracyRun(dir).execute(robotCase(PayloadKind::Heavy, 3, 1));
  std::filesystem::remove_all(dir);
  ASSERT_EQ(r.end, RunEnd::Converged);
  double largest = 0.0;
  for (const double z : r.normalisedErrors) {
    largest = std::max(largest, std::abs(z));
  }
  EXPECT_LE(largest, 3.0);
  EXPECT_TRUE(r.fileConsistent);
}

}  // namespace
}  // namespace vorn::accuracy
