// Feeds arbitrary sample streams (any numbers, stamps in any order, tare requests interleaved) to
// one compensator per input, in static or dynamic mode. Only the documented "IMU data is not
// available" exception may leave update(); status codes must be 0, 1 or 5.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include <vorn/VornPayloadCompensator.hpp>

#include "FuzzInput.hpp"

namespace {

std::string writeConfig(bool dynamic) {
  const std::string path = "/tmp/vorn-fuzz-compensator-update-" + std::to_string(dynamic) + "-" +
                           std::to_string(getpid()) + ".json";
  std::ofstream file(path);
  file << R"({"payload_compensator_config": {"payload_properties": {"mass": 1.2,)"
       << R"( "com": {"x": 0.01, "y": -0.02, "z": 0.08},)"
       << R"( "inertia": {"Ixx": 0.012, "Ixy": 0.0, "Ixz": 0.001, "Iyy": 0.011, "Iyz": 0.0,)"
       << R"( "Izz": 0.004}}, "enable_dynamic_compensation": )" << (dynamic ? "true" : "false")
       << "}}";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string staticConfig = writeConfig(false);
  static const std::string dynamicConfig = writeConfig(true);
  vorn::fuzz::FuzzInput input(data, size);
  vorn::VornPayloadCompensator compensator((input.byte() & 1U) ? dynamicConfig : staticConfig);
  int samples = 0;
  while (!input.empty() && samples < 4096) {
    const uint8_t control = input.byte();
    if ((control & 0x0FU) == 0x0FU) {
      compensator.tareCompensatedWrench();
    }
    const double stamp = input.number();
    std::array<double, 12> in{};
    for (double& value : in) {
      value = input.number();
    }
    std::array<double, 12> out{};
    try {
      const int status = compensator.update(stamp, in, out);
      if (status != 0 && status != 1 && status != 5) {
        std::abort();
      }
    } catch (const std::runtime_error&) {
    }
    ++samples;
  }
  return 0;
}
