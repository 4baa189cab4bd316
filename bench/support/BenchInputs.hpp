#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace vorn::bench {

/// One sensor sample as the libraries take it: force (N), torque (N m), linear acceleration
/// (m/s^2), angular velocity (rad/s), all in the sensor frame.
using Sample = std::array<double, 12>;

/// Ten seconds of a 1.2 kg gripper turned about by hand (brisk motion, seed 5), at 1 kHz with
/// sensor noise and a constant wrench bias, from the simulator; replay it in a loop with stamps
/// that keep increasing.
std::vector<Sample> gripperRecording();

/// `gripperRecording` turned slowly (slow motion, seed 5) with three times the sensor noise the
/// endless configuration states: the estimate never explains the samples within the stated
/// noise, so the estimator keeps the inertia held out of its metric throughout.
std::vector<Sample> heldInertiaRecording();

/// Writes `dir`/estimator.json: an estimator configuration whose run never ends (convergence
/// thresholds of zero, tested from the start, no practical time limit), without verbose output.
/// Returns the file's path.
std::string writeEndlessEstimatorConfig(const std::filesystem::path& dir);

/// Writes a compensator configuration to `path`: a 1.2 kg payload with its centre of mass at
/// `com` (m, sensor frame) and a fixed inertia, with dynamic compensation on or off. Returns
/// `path` as a string.
std::string writeCompensatorConfig(const std::filesystem::path& path, bool dynamic,
                                   const std::array<double, 3>& com);

/// Resident set size of this process now (kB).
long residentKilobytes();

/// Largest resident set size of this process so far (kB).
long peakResidentKilobytes();

}  // namespace vorn::bench
