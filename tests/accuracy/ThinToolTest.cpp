// Bare thin tools through the public estimator API: a rod and a flat plate at the edge of the
// physically possible set must converge, and the file written for them must describe a body
// that can exist.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "AccuracyRun.hpp"
#include "CaseCatalogue.hpp"

namespace vorn::accuracy {
namespace {

RunCase thinCase(int payloadIndex, int seed) {
  BenchmarkOptions options;
  options.profiles = {sim::MotionPreset::Brisk};
  options.rates = {250.0};
  options.kinds = {PayloadKind::Thin};
  options.noiseScales = {1.0};
  options.payloads = CaseCatalogue::kThinCount;
  options.seeds = seed + 1;
  options.dataTimeCap = 12.0;
  for (const RunCase& c : CaseCatalogue::cases(options)) {
    if (c.payloadIndex == payloadIndex && c.seed == seed) {
      return c;
    }
  }
  ADD_FAILURE() << "no such case";
  return {};
}

TEST(ThinTools, RodAndPlateConvergeAndTheFileDescribesAPossibleBody) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("vorn-thin-tools-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  // Payload 9 is a 0.43 kg rod, payload 7 a 0.19 kg plate; their noisy estimates leave the
  // consistent set at most samples.
  for (const auto& [payload, seed] : {std::pair{9, 1}, std::pair{7, 1}}) {
    const RunCase c = thinCase(payload, seed);
    const RunResult r = AccuracyRun(dir).execute(c);
    EXPECT_EQ(r.end, RunEnd::Converged) << "payload " << payload;
    EXPECT_TRUE(r.fileConsistent) << "payload " << payload;
    EXPECT_LT(std::abs(r.massErrorPercent), 1.0) << "payload " << payload;
    EXPECT_LT(r.comErrorMm, 6.0) << "payload " << payload;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vorn::accuracy
