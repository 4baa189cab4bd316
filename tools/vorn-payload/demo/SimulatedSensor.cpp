#include "demo/SimulatedSensor.hpp"

#include <cmath>
#include <stdexcept>

#include "core/identification/InertialParameters.hpp"
#include "sim/Motion.hpp"
#include "sim/Noise.hpp"
#include "sim/Payload.hpp"
#include "sim/Simulator.hpp"

#include "console/ToolError.hpp"

namespace vorn::tools {

namespace {

sim::Payload toSimPayload(const PayloadDescription& description) {
  const InertialParameters body = description.inertialParameters();
  return sim::Payload{body.mass, body.com, body.inertiaAboutCom};
}

constexpr double kPi = 3.14159265358979323846;

/// A sum of three sines with random weights, frequencies and phases whose amplitudes add up to
/// `amplitude`.
sim::SumOfSines randomSines(sim::Rng& rng, double amplitude, double minHz, double maxHz) {
  sim::SumOfSines signal;
  signal.terms.resize(3);
  double total = 0.0;
  for (sim::SineTerm& term : signal.terms) {
    term.amplitude = rng.uniform(0.5, 1.5);
    total += term.amplitude;
  }
  for (sim::SineTerm& term : signal.terms) {
    term.amplitude *= amplitude / total;
    term.frequency = rng.uniform(minHz, maxHz);
    term.phase = rng.uniform(0.0, 2.0 * kPi);
  }
  return signal;
}

/// The identification motion: the sensor held in place and tilted slowly through large angles
/// (up to 1.5 rad about x and y, 2.25 rad about z, at 0.1-0.3 Hz), so that gravity sweeps
/// through most directions of the sensor frame while the angular acceleration stays small.
sim::MotionProfile tiltMotion(std::uint64_t seed) {
  sim::Rng rng(seed);
  sim::MotionProfile motion;
  motion.yaw = randomSines(rng, 2.25, 0.1, 0.3);
  motion.yaw.offset = rng.uniform(-kPi, kPi);
  motion.pitch = randomSines(rng, 1.5, 0.1, 0.3);
  motion.roll = randomSines(rng, 1.5, 0.1, 0.3);
  return motion;
}

/// Noise seeds are kept apart from motion seeds so that neighbouring seeds give unrelated
/// recordings.
std::uint64_t noiseSeedFor(std::uint64_t seed) { return seed * 0x9E3779B97F4A7C15ull + 17u; }

}  // namespace

SimulatedSensor::SimulatedSensor(const SimulationSettings& settings) : rateHz_(settings.rateHz) {
  const auto preset = sim::parseMotionPreset(settings.profile);
  if (!preset && settings.profile != "tilt") {
    throw ToolError("unknown motion profile '" + settings.profile +
                        "' (choose static, slow, tilt, brisk or fast)",
                    kExitUsage);
  }
  if (!std::isfinite(settings.rateHz) || settings.rateHz <= 0.0) {
    throw ToolError("the sample rate must be a positive number of Hz", kExitUsage);
  }
  if (!std::isfinite(settings.noiseScale) || settings.noiseScale < 0.0) {
    throw ToolError("the noise scale must be zero or positive", kExitUsage);
  }
  sim::SimulatorConfig config;
  config.payload = toSimPayload(settings.payload);
  if (!config.payload.isPhysicallyConsistent(1e-9)) {
    throw ToolError(
        "the payload is not physically possible: its mass must be positive and its principal "
        "moments of inertia about the centre of mass non-negative, each at most the sum of the "
        "other two");
  }
  config.motion = preset ? sim::makeMotion(*preset, settings.seed) : tiltMotion(settings.seed);
  config.noise = sim::NoiseConfig().scaled(settings.noiseScale);
  for (int k = 0; k < 6; ++k) {
    config.bias[k] = settings.payload.bias[static_cast<std::size_t>(k)];
  }
  config.rate_hz = settings.rateHz;
  config.start_stamp = settings.startStamp;
  config.noise_seed = noiseSeedFor(settings.seed);
  try {
    simulator_ = std::make_unique<sim::Simulator>(config);
  } catch (const std::invalid_argument& e) {
    throw ToolError(std::string("cannot simulate: ") + e.what(), kExitUsage);
  }
}

SimulatedSensor::~SimulatedSensor() = default;

std::size_t SimulatedSensor::samplesIn(double seconds) const {
  return static_cast<std::size_t>(std::ceil(std::max(0.0, seconds) * rateHz_ - 1e-9));
}

void SimulatedSensor::record(double seconds, Recording& recording,
                             std::vector<std::array<double, 6>>* payloadWrench) {
  recordSamples(samplesIn(seconds), recording, payloadWrench);
}

void SimulatedSensor::recordSamples(std::size_t count, Recording& recording,
                                    std::vector<std::array<double, 6>>* payloadWrench) {
  recording.reserve(recording.size() + count);
  if (payloadWrench != nullptr) {
    payloadWrench->reserve(payloadWrench->size() + count);
  }
  for (std::size_t k = 0; k < count; ++k) {
    const sim::Sample sample = simulator_->next();
    StampedSample stamped;
    stamped.t = sample.stamp;
    stamped.values = sample.values;
    recording.append(stamped);
    if (payloadWrench != nullptr) {
      const sim::Vector6d w = sample.truth.payloadWrench();
      payloadWrench->push_back({w[0], w[1], w[2], w[3], w[4], w[5]});
    }
  }
}

NoiseLevels SimulatedSensor::noise() const { return simulator_->config().noise; }

NoiseLevels SimulatedSensor::typicalNoise() { return sim::NoiseConfig{}; }

bool SimulatedSensor::isKnownProfile(const std::string& name) {
  return name == "tilt" || sim::parseMotionPreset(name).has_value();
}

}  // namespace vorn::tools
