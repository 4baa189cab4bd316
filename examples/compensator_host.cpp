// A minimal host of libVornPayloadCompensator: it links the shared library only and includes
// only its public header.
//
//   compensator_host [config.json]
//
// Without an argument it writes an example configuration file (a 1.2 kg tool, static
// compensation) into the system's temporary directory and uses that. It then feeds a few
// samples of the tool at rest and tilting, tares, and prints what the library returns.

#include <array>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include <vorn/VornPayloadCompensator.hpp>

namespace {

// The format libVornPayloadEstimator writes; "enable_dynamic_compensation": true would remove
// the tool's inertial forces and torques as well.
const char* const kExampleConfig = R"({
  "payload_compensator_config": {
    "payload_properties": {
      "mass": 1.2,
      "com": { "x": 0.0, "y": 0.01, "z": 0.06 },
      "inertia": { "Ixx": 0.0062, "Ixy": 0.0, "Ixz": 0.0, "Iyy": 0.0061, "Iyz": -0.0007,
                   "Izz": 0.0015 }
    },
    "enable_dynamic_compensation": false
  }
}
)";

std::string writeExampleConfig() {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / "vorn_compensator_example.json";
  std::ofstream file(path);
  file << kExampleConfig;
  return path.string();
}

// What the sensor reports for the example tool tilted by `tilt` rad about x, plus a sensor offset:
// F = offset − m·a, T = offset − (m·c) × a, with a the accelerometer reading.
std::array<double, 12> simulatedSample(double tilt) {
  const double m = 1.2, cy = 0.01, cz = 0.06;
  const double ax = 0.0, ay = 9.81 * std::sin(tilt), az = 9.81 * std::cos(tilt);
  const double hx = 0.0, hy = m * cy, hz = m * cz;
  const std::array<double, 6> offset{0.4, -0.3, 1.1, 0.02, -0.01, 0.005};
  return {offset[0] - m * ax,
          offset[1] - m * ay,
          offset[2] - m * az,
          offset[3] - (hy * az - hz * ay),
          offset[4] - (hz * ax - hx * az),
          offset[5] - (hx * ay - hy * ax),
          ax,
          ay,
          az,
          0.0,
          0.0,
          0.001};  // a gyro value: an all-zero IMU block means the IMU is off and throws
}

void print(double stamp, int status, const std::array<double, 12>& out) {
  std::printf("t=%.3f s  status %d  F = [%8.4f %8.4f %8.4f] N  T = [%8.4f %8.4f %8.4f] N*m\n",
              stamp, status, out[0], out[1], out[2], out[3], out[4], out[5]);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string config = argc > 1 ? argv[1] : writeExampleConfig();
    std::cout << "Configuration: " << config << std::endl;
    vorn::VornPayloadCompensator compensator(config);

    std::array<double, 12> out{};
    double stamp = 0.0;
    // 1. The tool's weight is removed: what is left is the sensor's own offset.
    for (int k = 0; k < 600; ++k, stamp += 0.001) {
      const int status = compensator.update(stamp, simulatedSample(0.3 * std::sin(stamp)), out);
      if (k % 200 == 0) {
        print(stamp, status, out);
      }
    }
    // 2. Tare: the offset is measured over the last second and subtracted from now on.
    compensator.tareCompensatedWrench();
    for (int k = 0; k < 3; ++k, stamp += 0.001) {
      const int status = compensator.update(stamp, simulatedSample(0.3 * std::sin(stamp)), out);
      print(stamp, status, out);
    }
    // 3. A repeated time stamp is rejected with status 5 and leaves `out` as it was.
    const int status = compensator.update(stamp - 0.001, simulatedSample(0.0), out);
    std::printf("repeated stamp: status %d\n", status);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "compensator_host: " << e.what() << std::endl;
    return 1;
  }
}
