// A robot's stop-and-go motion through the public estimator API, rows whitened by default.
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

TEST(RobotMotion, WhitenedRunStopsWithinThreeDeviationsOnAHeavyPayload) {
  // Robot 1000 Hz, 10 kg payload 3, seed 1: with the samples around a move's start absorbed,
  // all six inertia entries fell five whitened deviations within 50 ms and the run stopped
  // there 11.6 deviations off.
  BenchmarkOptions options;
  options.profiles = {sim::MotionPreset::Robot};
  options.kinds = {PayloadKind::Heavy};
  options.noiseScales = {1.0};
  options.payloads = 4;
  options.seeds = 2;
  options.dataTimeCap = 20.0;
  const RunCase c = CaseCatalogue::cases(options).back();
  ASSERT_EQ(c.payloadIndex * 10 + c.seed, 31);
  const auto dir =
      std::filesystem::temp_directory_path() / ("vorn-robot-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const RunResult r = AccuracyRun(dir).execute(c);
  std::filesystem::remove_all(dir);
  ASSERT_EQ(r.end, RunEnd::Converged);
  for (const double z : r.normalisedErrors) {
    EXPECT_LE(std::abs(z), 3.0);
  }
}

}  // namespace
}  // namespace vorn::accuracy
