#include "EstimatorSettings.hpp"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "AtomicFileWriter.hpp"

namespace vorn::tools {

namespace {

using nlohmann::ordered_json;

ordered_json axes(const std::array<double, 3>& v) {
  return ordered_json{{"x", v[0]}, {"y", v[1]}, {"z", v[2]}};
}

std::array<double, 3> same(double value) { return {value, value, value}; }

}  // namespace

EstimatorSettings EstimatorSettings::recommendedFor(const NoiseLevels& sensorNoise, double rateHz) {
  // The estimator weighs its equations by the ratios of the variances, so a noise-free
  // recording is configured as for a typical sensor; the floors only keep a single silent
  // channel from a zero variance.
  const NoiseLevels typical = SimulatedSensor::typicalNoise();
  const NoiseLevels noise = sensorNoise.force > 0.0 ? sensorNoise : typical;
  const auto variance = [](double std, double floor) { return std::max(std * std, floor); };
  const double noiseFactor = noise.force / typical.force;
  EstimatorSettings settings;
  settings.minTime = 0.0;
  settings.maxTime = 600.0;
  settings.priorMass = 1.0;
  settings.forceVariance = same(variance(noise.force, 1e-8));
  settings.torqueVariance = same(variance(noise.torque, 1e-10));
  settings.linearAccVariance = same(variance(noise.accel, 1e-10));
  settings.angularVelVariance = same(variance(noise.gyro, 1e-12));
  // The angular acceleration is derived inside the library. Its variance is deliberately given
  // small, (0.02 rad/s²)² for a typical sensor: with (0.2 rad/s²)², closer to the error of the
  // derived signal, the estimator lets the inertia run away and drags the centre of mass
  // centimetres off.
  const double angularAccStd = kAngularAccStd * noiseFactor;
  settings.angularAccVariance = same(angularAccStd * angularAccStd);
  // The estimator reports standard deviations hundreds of times smaller than its actual
  // errors. These bounds end a run after about 20 s of tilting at 500 Hz, when the mass is
  // typically within 0.1 % and the centre of mass within 2 mm. The reported deviations shrink
  // with more samples per second (the bias ones about in proportion, the others with the
  // square root) and grow with the noise.
  const double rate = std::max(rateHz, 1.0);
  const double perRoot = std::sqrt(kReferenceRateHz / rate) * noiseFactor;
  settings.massThreshold = kMassThreshold * perRoot;
  settings.comThreshold = kComThreshold * perRoot;
  settings.inertiaThreshold = kInertiaThreshold * perRoot;
  settings.wrenchBiasThreshold = kWrenchBiasThreshold * (kReferenceRateHz / rate) * noiseFactor;
  settings.outputBiasEstimate = true;
  return settings;
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
  AtomicFileWriter writer(path);
  writer.stream() << toJsonText();
  writer.commit();
}

}  // namespace vorn::tools
