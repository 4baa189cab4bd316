#include "commands/EstimatorSettings.hpp"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "files/AtomicFileWriter.hpp"
#include "filters/CentredDifferentiator.hpp"

namespace vorn::tools {

namespace {

using nlohmann::ordered_json;

ordered_json axes(const std::array<double, 3>& v) {
  return ordered_json{{"x", v[0]}, {"y", v[1]}, {"z", v[2]}};
}

std::array<double, 3> same(double value) { return {value, value, value}; }

}  // namespace

EstimatorSettings EstimatorSettings::recommendedFor(const NoiseLevels& sensorNoise, double rateHz) {
  // The estimator weighs its equations by the ratios of the variances and judges the residuals
  // by their size, so a noise-free recording is configured as for a typical sensor; the floors
  // only keep a single silent channel from a zero variance.
  const NoiseLevels typical = SimulatedSensor::typicalNoise();
  const NoiseLevels noise = sensorNoise.force_std > 0.0 ? sensorNoise : typical;
  const auto variance = [](double std, double floor) { return std::max(std * std, floor); };
  EstimatorSettings settings;
  settings.minTime = 0.0;
  settings.maxTime = 600.0;
  settings.priorMass = 1.0;
  settings.forceVariance = same(variance(noise.force_std, 1e-8));
  settings.torqueVariance = same(variance(noise.torque_std, 1e-10));
  settings.linearAccVariance = same(variance(noise.accel_std, 1e-10));
  settings.angularVelVariance = same(variance(noise.gyro_std, 1e-12));
  // The angular acceleration is derived inside the library, by a centred slope of the angular
  // velocity: its error is the gyro noise passed through that slope.
  settings.angularAccVariance =
      same(std::max(derivedAngularAccVariance(noise.gyro_std, rateHz), 1e-10));
  // The reported standard deviations describe the actual errors: the thresholds are simply the
  // precision wanted. These end a run of large, lively motion after about 5-15 s, with the mass
  // typically within 0.5 % and the centre of mass within 1-2 mm.
  settings.massThreshold = kMassThreshold;
  settings.comThreshold = kComThreshold;
  settings.inertiaThreshold = kInertiaThreshold;
  settings.wrenchBiasThreshold = kWrenchBiasThreshold;
  settings.outputBiasEstimate = true;
  return settings;
}

double EstimatorSettings::derivedAngularAccVariance(double gyroStd, double rateHz) {
  // The figure of the library's own differentiator, with the window its pipeline uses.
  return CentredDifferentiator::slopeVariance(gyroStd * gyroStd, rateHz);
}

std::string EstimatorSettings::toJsonText() const {
  ordered_json config;
  config["output_config_file_name"] = outputFileName;
  config["min_time"] = minTime;
  config["max_time"] = maxTime;
  config["prior_payload_properties"] = {{"mass", priorMass},
                                        {"com", axes(priorCom)},
                                        {"inertia",
                                         {{"Ixx", priorInertia[0]},
                                          {"Ixy", priorInertia[1]},
                                          {"Ixz", priorInertia[2]},
                                          {"Iyy", priorInertia[3]},
                                          {"Iyz", priorInertia[4]},
                                          {"Izz", priorInertia[5]}}}};
  config["measurement_noise_covariance"] = {{"force", axes(forceVariance)},
                                            {"torque", axes(torqueVariance)},
                                            {"linear_acc", axes(linearAccVariance)},
                                            {"angular_vel", axes(angularVelVariance)},
                                            {"angular_acc", axes(angularAccVariance)}};
  config["estimation_covariance_convergence_threshold"] = {{"mass", massThreshold},
                                                           {"com", comThreshold},
                                                           {"inertia", inertiaThreshold},
                                                           {"wrench_bias", wrenchBiasThreshold}};
  config["runtime_verbosity"] = false;
  config["output_bias_estimate"] = outputBiasEstimate;
  ordered_json root;
  root["payload_estimator_config"] = config;
  return root.dump(2) + "\n";
}

void EstimatorSettings::writeJson(const std::string& path) const {
  AtomicFileWriter::writeText(path, toJsonText());
}

}  // namespace vorn::tools
