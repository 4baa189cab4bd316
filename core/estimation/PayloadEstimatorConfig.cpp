#include "estimation/PayloadEstimatorConfig.hpp"

#include <cmath>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include <nlohmann/json.hpp>

#include "data/ConfigFileStream.hpp"
#include "logging/VornLogger.hpp"

namespace vorn {
namespace {

using nlohmann::json;

// The load's own range checks throw this; the loader wraps it like the JSON library's errors.
std::runtime_error rangeError(const std::string& name, const std::string& requirement,
                              double value) {
  return std::runtime_error(name + " must be " + requirement + ", got " + std::to_string(value));
}

double readNumber(const json& object, const char* key, const std::string& name) {
  const double value = object.at(key).get<double>();
  if (!std::isfinite(value)) {
    throw rangeError(name, "a finite number", value);
  }
  return value;
}

// Times may be zero (test or stop at once) but never negative.
double readTime(const json& object, const char* key) {
  const double value = object.at(key).get<double>();
  if (!std::isfinite(value) || value < 0.0) {
    throw rangeError(key, "a non-negative finite time", value);
  }
  return value;
}

// A variance of zero would give the estimator an error covariance without weight on that
// channel; a negative one is meaningless.
double readVariance(const json& object, const char* key, const std::string& name) {
  const double value = object.at(key).get<double>();
  if (!std::isfinite(value) || !(value > 0.0)) {
    throw rangeError(name, "a positive finite variance", value);
  }
  return value;
}

Eigen::Vector3d readNoiseGroup(const json& noise, const char* group) {
  const json& axes = noise.at(group);
  const std::string prefix = std::string("measurement_noise_covariance.") + group + ".";
  const double x = readVariance(axes, "x", prefix + "x");
  const double y = readVariance(axes, "y", prefix + "y");
  const double z = readVariance(axes, "z", prefix + "z");
  return Eigen::Vector3d(x, y, z);
}

bool readOptionalFlag(const json& config, const char* key) {
  if (config.contains(key)) {
    return config.at(key).get<bool>();
  }
  VornLogger::WARN(std::string(key) + " not found in config, defaulting to false");
  return false;
}

}  // namespace

PayloadEstimatorConfig::PayloadEstimatorConfig(const std::string& configPath)
    : configPath_(configPath) {
  loadConfigFromFile(configPath);
}

void PayloadEstimatorConfig::loadConfigFromFile(const std::string& configPath) {
  std::ifstream file = ConfigFileStream::open(configPath);

  // Filled completely before it replaces this record, so a failed load changes nothing.
  PayloadEstimatorConfig parsed(*this);
  try {
    json root;
    file >> root;
    const json& config = root.at("payload_estimator_config");

    parsed.output_config_file_name = config.at("output_config_file_name").get<std::string>();
    parsed.min_time = readTime(config, "min_time");
    parsed.max_time = readTime(config, "max_time");

    const json& prior = config.at("prior_payload_properties");
    parsed.prior_mass = readNumber(prior, "mass", "prior_payload_properties.mass");
    const json& com = prior.at("com");
    for (int i = 0; i < 3; ++i) {
      static const char* const kAxes[] = {"x", "y", "z"};
      parsed.prior_com[i] =
          readNumber(com, kAxes[i], std::string("prior_payload_properties.com.") + kAxes[i]);
    }
    const json& inertia = prior.at("inertia");
    for (int i = 0; i < 6; ++i) {
      static const char* const kEntries[] = {"Ixx", "Ixy", "Ixz", "Iyy", "Iyz", "Izz"};
      parsed.prior_inertia[i] = readNumber(
          inertia, kEntries[i], std::string("prior_payload_properties.inertia.") + kEntries[i]);
    }

    const json& noise = config.at("measurement_noise_covariance");
    parsed.force_noise = readNoiseGroup(noise, "force");
    parsed.torque_noise = readNoiseGroup(noise, "torque");
    parsed.linear_acc_noise = readNoiseGroup(noise, "linear_acc");
    parsed.angular_vel_noise = readNoiseGroup(noise, "angular_vel");
    parsed.angular_acc_noise = readNoiseGroup(noise, "angular_acc");

    const json& thresholds = config.at("estimation_covariance_convergence_threshold");
    const std::string prefix = "estimation_covariance_convergence_threshold.";
    parsed.mass_threshold = readNumber(thresholds, "mass", prefix + "mass");
    parsed.com_threshold = readNumber(thresholds, "com", prefix + "com");
    parsed.inertia_threshold = readNumber(thresholds, "inertia", prefix + "inertia");
    parsed.wrench_bias_threshold = readNumber(thresholds, "wrench_bias", prefix + "wrench_bias");

    parsed.runtime_verbosity = readOptionalFlag(config, "runtime_verbosity");
    parsed.output_bias_estimate = readOptionalFlag(config, "output_bias_estimate");
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("Error parsing estimator configuration file: ") +
                             e.what());
  }

  parsed.configPath_ = configPath_;
  *this = std::move(parsed);
  VornLogger::INFO("Estimator configuration file has been parsed successfully");
}

}  // namespace vorn
