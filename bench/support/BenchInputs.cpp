#include "BenchInputs.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include "sim/Simulator.hpp"

namespace vorn::bench {

namespace {

std::vector<Sample> recording(sim::MotionPreset preset, double noiseScale) {
  sim::SimulatorConfig config;
  config.payload = sim::Payload::solidBox(1.2, {0.08, 0.06, 0.12}, {0.02, -0.01, 0.08});
  config.motion = sim::makeMotion(preset, 5);
  config.noise = config.noise.scaled(noiseScale);
  config.bias << 2.0, -1.5, 0.8, 0.05, -0.03, 0.02;
  sim::Simulator simulator(config);
  std::vector<Sample> samples;
  for (const auto& sample : simulator.generate(10000)) {
    samples.push_back(sample.values);
  }
  return samples;
}

}  // namespace

std::vector<Sample> gripperRecording() { return recording(sim::MotionPreset::Brisk, 1.0); }

std::vector<Sample> heldInertiaRecording() { return recording(sim::MotionPreset::Slow, 3.0); }

std::string writeEndlessEstimatorConfig(const std::filesystem::path& dir) {
  const std::string path = (dir / "estimator.json").string();
  std::ofstream out(path);
  out << R"({"payload_estimator_config": {
    "output_config_file_name": "payload.json", "min_time": 0, "max_time": 1e9,
    "prior_payload_properties": {"mass": 1.0, "com": {"x": 0, "y": 0, "z": 0},
      "inertia": {"Ixx": 0.01, "Ixy": 0, "Ixz": 0, "Iyy": 0.01, "Iyz": 0, "Izz": 0.01}},
    "measurement_noise_covariance": {
      "force": {"x": 0.0025, "y": 0.0025, "z": 0.0025},
      "torque": {"x": 9e-6, "y": 9e-6, "z": 9e-6},
      "linear_acc": {"x": 4e-4, "y": 4e-4, "z": 4e-4},
      "angular_vel": {"x": 9e-6, "y": 9e-6, "z": 9e-6},
      "angular_acc": {"x": 1e-4, "y": 1e-4, "z": 1e-4}},
    "estimation_covariance_convergence_threshold":
      {"mass": 0, "com": 0, "inertia": 0, "wrench_bias": 0},
    "runtime_verbosity": false, "output_bias_estimate": false}})";
  return path;
}

std::string writeCompensatorConfig(const std::filesystem::path& path, bool dynamic,
                                   const std::array<double, 3>& com) {
  std::ofstream file(path);
  file << R"({ "payload_compensator_config": {
    "payload_properties": {
      "mass": 1.2, "com": { "x": )"
       << com[0] << R"(, "y": )" << com[1] << R"(, "z": )" << com[2] << R"( },
      "inertia": { "Ixx": 0.0062, "Ixy": 0.0001, "Ixz": 0.0, "Iyy": 0.0061, "Iyz": -0.0007,
                   "Izz": 0.0015 } },
    "enable_dynamic_compensation": )"
       << (dynamic ? "true" : "false") << " } }\n";
  return path.string();
}

long residentKilobytes() {
  long pages = 0;
  long resident = 0;
  std::ifstream statm("/proc/self/statm");
  statm >> pages >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

long peakResidentKilobytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // kB on Linux
}

}  // namespace vorn::bench
