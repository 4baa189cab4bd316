#include "CaseCatalogue.hpp"

#include <algorithm>
#include <cmath>

#include <Eigen/Geometry>

#include "sim/Noise.hpp"

namespace vorn::accuracy {

namespace {

constexpr double kMinMass = 0.2;
constexpr double kMaxMass = 3.0;
constexpr double kMaxComOffset = 0.15;
/// Step between the noise seeds of the draws of one repetition: beyond every key's seed.
constexpr std::uint64_t kDrawSeedStride = 1000003;
constexpr double kMaxForceBias = 2.0;   // N
constexpr double kMaxTorqueBias = 0.1;  // N·m

constexpr double kThinMinMass = 0.01;
constexpr double kThinMaxMass = 1.0;
constexpr double kHeavyMinMass = 5.0;
constexpr double kHeavyMaxMass = 10.0;

/// A random rotation (uniform axis, uniform angle).
Eigen::Matrix3d randomOrientation(sim::Rng& rng) {
  const double z = rng.uniform(-1.0, 1.0);
  const double phi = rng.uniform(0.0, 2.0 * M_PI);
  const double r = std::sqrt(1.0 - z * z);
  const Eigen::Vector3d axis(r * std::cos(phi), r * std::sin(phi), z);
  return Eigen::AngleAxisd(rng.uniform(0.0, M_PI), axis).toRotationMatrix();
}

/// Sum of two bodies (the inertial parameters about a common origin add).
sim::Payload joined(const sim::Payload& a, const sim::Payload& b) {
  return sim::Payload::fromInertialParameters(a.inertialParameters() + b.inertialParameters());
}

/// Bare tool `index`: its length grows with its mass; held at one end, the grip 1-2 cm from the
/// sensor origin.
sim::Payload thinTool(int index) {
  const double fraction = static_cast<double>(index) / (CaseCatalogue::kThinCount - 1);
  const double mass = kThinMinMass * std::pow(kThinMaxMass / kThinMinMass, fraction);
  sim::Rng rng(8100 + static_cast<std::uint64_t>(index));
  const Eigen::Matrix3d orientation = randomOrientation(rng);
  const double length = 0.12 + 0.23 * fraction + rng.uniform(0.0, 0.05);  // m
  const double grip = rng.uniform(0.01, 0.02);
  // Body frame: the tool points along +z from the grip.
  const auto place = [&](const Eigen::Vector3d& bodyCentre) {
    return Eigen::Vector3d(orientation * (bodyCentre + Eigen::Vector3d(0.0, 0.0, grip)));
  };
  switch (index % 3) {
    case 0: {  // a rod (screwdriver, file): radius a few mm
      const double radius = 0.003 + 0.006 * fraction;
      return sim::Payload::solidCylinder(mass, radius, length, place({0.0, 0.0, length / 2}),
                                         orientation);
    }
    case 1: {  // a flat plate (wrench, hacksaw blade): 2-4 mm thick
      const double width = 0.02 + 0.04 * fraction;
      const double thickness = 0.002 + 0.002 * fraction;
      return sim::Payload::solidBox(mass, {thickness, width, length},
                                    place({0.0, 0.0, length / 2}), orientation);
    }
    default: {  // an L of two flat bars (a hex key, a square), 1:3 to 1:2
      const double foot = length * rng.uniform(0.33, 0.5);
      const double width = 0.01 + 0.02 * fraction;
      const double thickness = 0.003 + 0.003 * fraction;
      const double stemMass = mass * length / (length + foot);
      const sim::Payload stem = sim::Payload::solidBox(
          stemMass, {thickness, width, length}, place({0.0, 0.0, length / 2}), orientation);
      const sim::Payload bar =
          sim::Payload::solidBox(mass - stemMass, {foot, width, thickness},
                                 place({foot / 2, 0.0, length - thickness / 2}), orientation);
      return joined(stem, bar);
    }
  }
}

}  // namespace

const char* toString(PayloadKind kind) {
  switch (kind) {
    case PayloadKind::Box:
      return "box";
    case PayloadKind::Thin:
      return "thin";
    case PayloadKind::Heavy:
      return "heavy";
  }
  return "?";
}

sim::Payload CaseCatalogue::payload(int index) {
  const double fraction = static_cast<double>(index) / (kPayloadCount - 1);
  sim::RandomPayloadOptions options;
  options.min_mass = kMinMass * std::pow(kMaxMass / kMinMass, fraction);
  options.max_mass = options.min_mass;
  options.max_com_offset = kMaxComOffset;
  return sim::randomPayload(7000 + static_cast<std::uint64_t>(index), options);
}

sim::Payload CaseCatalogue::payload(PayloadKind kind, int index) {
  switch (kind) {
    case PayloadKind::Box:
      break;
    case PayloadKind::Thin:
      return thinTool(index);
    case PayloadKind::Heavy: {
      const double fraction = static_cast<double>(index) / (kHeavyCount - 1);
      sim::RandomPayloadOptions options;
      options.min_mass = kHeavyMinMass * std::pow(kHeavyMaxMass / kHeavyMinMass, fraction);
      options.max_mass = options.min_mass;
      options.max_com_offset = kMaxComOffset;
      options.min_size = 0.08;
      options.max_size = 0.3;
      return sim::randomPayload(7500 + static_cast<std::uint64_t>(index), options);
    }
  }
  return payload(index);
}

int CaseCatalogue::count(PayloadKind kind) {
  switch (kind) {
    case PayloadKind::Box:
      return kPayloadCount;
    case PayloadKind::Thin:
      return kThinCount;
    case PayloadKind::Heavy:
      return kHeavyCount;
  }
  return 0;
}

std::vector<RunCase> CaseCatalogue::cases(const BenchmarkOptions& options) {
  std::vector<RunCase> list;
  for (const sim::MotionPreset profile : options.profiles) {
    for (const double rate : options.rates) {
      for (const double noise : options.noiseScales) {
        for (const PayloadKind kind : options.kinds) {
          const int available = count(kind);
          const int wanted = std::min(options.payloads, available);
          for (int i = 0; i < wanted; ++i) {
            const int p = wanted == 1 ? available / 2
                                      : static_cast<int>(std::lround(
                                            static_cast<double>(i) * (available - 1) / (wanted - 1)));
            for (int seed = 0; seed < options.seeds; ++seed) {
              for (int draw = 0; draw < options.draws; ++draw) {
              RunCase c;
              c.index = static_cast<int>(list.size());
              c.payloadIndex = p;
              c.kind = kind;
              c.profile = profile;
              c.rateHz = rate;
              c.noiseScale = noise;
              c.seed = seed;
              c.payload = payload(kind, p);
              // The boxes keep the keys they always had, so their runs stay the same.
              const auto key = static_cast<std::uint64_t>(100 * p + seed) +
                               10000 * static_cast<std::uint64_t>(kind);
              c.motionSeed = 1 + key;
              // Draw 0 keeps the seed's own noise; the others are far from every key's.
              c.draw = draw;
              c.noiseSeed = 50000 + key * 7 + static_cast<std::uint64_t>(noise * 10.0) +
                            kDrawSeedStride * static_cast<std::uint64_t>(draw);
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
              c.traceStep = options.traceStep;
              list.push_back(c);
              }
            }
          }
        }
      }
    }
  }
  return list;
}

}  // namespace vorn::accuracy
