// Feeds arbitrary sample streams (any numbers, stamps in any order, stops and restarts
// interleaved) to one estimator per input. Only std::runtime_error may leave update(); status
// codes must be 0 or 5.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include <vorn/VornPayloadEstimator.hpp>

#include "FuzzInput.hpp"

namespace {

std::string writeConfig() {
  const std::string dir = "/tmp/vorn-fuzz-estimator-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/estimator.json";
  std::ofstream file(path);
  file << R"({"payload_estimator_config": {"output_config_file_name": "payload.json",)"
       << R"( "min_time": 0.0, "max_time": 1000.0,)"
       << R"( "prior_payload_properties": {"mass": 1.0, "com": {"x": 0, "y": 0, "z": 0.05},)"
       << R"( "inertia": {"Ixx": 0.01, "Ixy": 0, "Ixz": 0, "Iyy": 0.01, "Iyz": 0, "Izz": 0.01}},)"
       << R"( "measurement_noise_covariance": {"force": {"x": 0.0025, "y": 0.0025, "z": 0.0025},)"
       << R"( "torque": {"x": 1e-5, "y": 1e-5, "z": 1e-5},)"
       << R"( "linear_acc": {"x": 4e-4, "y": 4e-4, "z": 4e-4},)"
       << R"( "angular_vel": {"x": 1e-5, "y": 1e-5, "z": 1e-5},)"
       << R"( "angular_acc": {"x": 0.04, "y": 0.04, "z": 0.04}},)"
       << R"( "estimation_covariance_convergence_threshold": {"mass": 0.01, "com": 0.01,)"
       << R"( "inertia": 0.01, "wrench_bias": 0.1},)"
       << R"( "runtime_verbosity": false, "output_bias_estimate": true}})";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string config = writeConfig();
  vorn::fuzz::FuzzInput input(data, size);
  vorn::VornPayloadEstimator estimator(config);
  estimator.startPayloadEstimation();
  int samples = 0;
  while (!input.empty() && samples < 2048) {
    const uint8_t control = input.byte();
    if (control == 0xFFU) {
      estimator.startPayloadEstimation();
    }
    const double stamp = input.number();
    std::array<double, 12> sample{};
    for (double& value : sample) {
      value = input.number();
    }
    try {
      const int status = estimator.update(stamp, sample);
      if (status != 0 && status != 5) {
        std::abort();
      }
    } catch (const std::runtime_error&) {
    }
    (void)estimator.isEstimatorRunning();
    (void)estimator.isEstimationSuccessful();
    ++samples;
  }
  return 0;
}
