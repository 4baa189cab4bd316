#pragma once

#include <cstdint>
#include <string>

#include "sim/Motion.hpp"
#include "sim/Payload.hpp"
#include "sim/Types.hpp"

namespace vorn::accuracy {

/// Convergence thresholds of one run: bounds on the reported standard deviations.
struct Thresholds {
  double mass = 0.0;        ///< kg
  double com = 0.0;         ///< m
  double inertia = 0.0;     ///< kg·m²
  double wrenchBias = 0.0;  ///< N and N·m
};

/// What kind of body a run carries.
enum class PayloadKind {
  Box,    ///< a cuboid tool in a gripper, 0.2-3 kg, the centre of mass up to 0.15 m away
  Thin,   ///< a bare tool: rod, flat plate or L-shape, 10 g - 1 kg, held at one end
  Heavy,  ///< a 5-10 kg cuboid
};

const char* toString(PayloadKind kind);

/// One identification run: a payload on a simulated sensor, a motion, a noise level and the
/// estimator settings a host would write for that sensor.
struct RunCase {
  int index = 0;         ///< position in the benchmark's list of runs
  int payloadIndex = 0;  ///< which of the benchmark payloads of its kind
  PayloadKind kind = PayloadKind::Box;
  double rateHz = 1000.0;  ///< sample rate of the simulated sensor
  sim::MotionPreset profile = sim::MotionPreset::Brisk;
  double noiseScale = 1.0;  ///< factor on the typical sensor noise
  int seed = 0;             ///< repetition: chooses the motion, the bias and the noise
  int draw = 0;             ///< noise realisation of the same motion and bias (0: the seed's own)
  sim::Payload payload;
  sim::Vector6d bias = sim::Vector6d::Zero();
  std::uint64_t motionSeed = 0;
  std::uint64_t noiseSeed = 0;
  Thresholds thresholds;
  double dataTimeCap = 60.0;  ///< s of samples after which the host gives up
  /// Configured standard deviation of the angular acceleration at noise factor 1 (rad/s²);
  /// negative: that of the derived signal for the simulated gyro.
  double angularAccStd = -1.0;
  double minTime = 0.0;  ///< "min_time" of the configuration (run clock, wall seconds)
  /// Data seconds between the rows of the run's trace (see `AccuracyRun::traceFileName`); 0
  /// for none.
  double traceStep = 0.0;
};

}  // namespace vorn::accuracy
