#include "CaseCatalogue.hpp"

#include <cmath>

#include "sim/Noise.hpp"

namespace vorn::accuracy {

namespace {

constexpr double kMinMass = 0.2;
constexpr double kMaxMass = 3.0;
constexpr double kMaxComOffset = 0.15;
constexpr double kMaxForceBias = 2.0;   // N
constexpr double kMaxTorqueBias = 0.1;  // N·m

}  // namespace

sim::Payload CaseCatalogue::payload(int index) {
  const double fraction = static_cast<double>(index) / (kPayloadCount - 1);
  sim::RandomPayloadOptions options;
  options.min_mass = kMinMass * std::pow(kMaxMass / kMinMass, fraction);
  options.max_mass = options.min_mass;
  options.max_com_offset = kMaxComOffset;
  return sim::randomPayload(7000 + static_cast<std::uint64_t>(index), options);
}

std::vector<RunCase> CaseCatalogue::cases(const BenchmarkOptions& options) {
  std::vector<int> payloadIndexes;
  for (int i = 0; i < options.payloads; ++i) {
    payloadIndexes.push_back(
        options.payloads == 1
            ? kPayloadCount / 2
            : static_cast<int>(std::lround(static_cast<double>(i) * (kPayloadCount - 1) /
                                           (options.payloads - 1))));
  }
  std::vector<RunCase> list;
  for (const sim::MotionPreset profile : options.profiles) {
    for (const double noise : options.noiseScales) {
      for (const int p : payloadIndexes) {
        for (int seed = 0; seed < options.seeds; ++seed) {
          RunCase c;
          c.index = static_cast<int>(list.size());
          c.payloadIndex = p;
          c.profile = profile;
          c.noiseScale = noise;
          c.seed = seed;
          c.payload = payload(p);
          const auto key = static_cast<std::uint64_t>(100 * p + seed);
          c.motionSeed = 1 + key;
          c.noiseSeed = 50000 + key * 7 + static_cast<std::uint64_t>(noise * 10.0);
          sim::Rng rng(90000 + key);
          for (int k = 0; k < 3; ++k) {
            c.bias[k] = rng.uniform(-kMaxForceBias, kMaxForceBias);
          }
          for (int k = 3; k < 6; ++k) {
            c.bias[k] = rng.uniform(-kMaxTorqueBias, kMaxTorqueBias);
          }
          c.thresholds = options.thresholds;
          if (profile == sim::MotionPreset::Slow) {
            c.thresholds.inertia = options.slowInertiaThreshold;
          }
          c.dataTimeCap = options.dataTimeCap;
          c.minTime = options.minTime;
          c.angularAccStd = options.angularAccStd;
          list.push_back(c);
        }
      }
    }
  }
  return list;
}

}  // namespace vorn::accuracy
