#pragma once

// Helpers shared by the compensator tests: the compensator file as the estimator writes it and a
// few fixed payloads and samples, beside the common temporary folders, capture of standard output
// and logger lines.

#include <unistd.h>

#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/RigidBodySamples.hpp"
#include "support/LogLines.hpp"
#include "support/StdoutCapture.hpp"
#include "support/TempDir.hpp"

namespace vorn::test {

/// The compensator configuration file exactly as the estimator writes it , with or
/// without its bias object, and enable_dynamic_compensation set as asked.
inline std::string estimatorStyleConfig(const Payload& p, bool dynamic, bool withBias,
                                        const std::array<double, 6>& bias = {}) {
  std::ostringstream o;
  o << "{\n"
    << "  \"payload_compensator_config\": {\n"
    << "    \"payload_properties\": {\n"
    << "      \"mass\": " << p.mass << ",\n"
    << "      \"com\": {\n"
    << "        \"x\": " << p.com[0] << ",\n"
    << "        \"y\": " << p.com[1] << ",\n"
    << "        \"z\": " << p.com[2] << "\n"
    << "      },\n"
    << "      \"inertia\": {\n"
    << "        \"Ixx\": " << p.inertia[0] << ",\n"
    << "        \"Ixy\": " << p.inertia[1] << ",\n"
    << "        \"Ixz\": " << p.inertia[2] << ",\n"
    << "        \"Iyy\": " << p.inertia[3] << ",\n"
    << "        \"Iyz\": " << p.inertia[4] << ",\n"
    << "        \"Izz\": " << p.inertia[5] << "\n";
  if (withBias) {
    o << "      },\n"
      << "      \"bias\": {\n"
      << "        \"Fx\": " << bias[0] << ",\n"
      << "        \"Fy\": " << bias[1] << ",\n"
      << "        \"Fz\": " << bias[2] << ",\n"
      << "        \"Tx\": " << bias[3] << ",\n"
      << "        \"Ty\": " << bias[4] << ",\n"
      << "        \"Tz\": " << bias[5] << "\n";
  }
  o << "      }\n"
    << "    },\n"
    << "    \"enable_dynamic_compensation\": " << (dynamic ? "true" : "false") << " \n"
    << "  }\n"
    << "}\n";
  return o.str();
}

/// A payload whose parameters are exactly representable in binary (sums and means of the values
/// it produces stay exact).
inline Payload dyadicPayload() {
  Payload p;
  p.mass = 2.0;
  p.com = {0.25, -0.125, 0.5};
  p.inertia = {0.5, 0.0625, -0.03125, 0.75, 0.015625, 0.625};
  return p;
}

/// A massless payload: the compensated wrench equals the measured one.
inline Payload nullPayload() { return Payload{}; }

/// A sample with the given wrench and a fixed, non-zero IMU block.
inline Sample wrenchSample(const std::array<double, 6>& wrench) {
  return {wrench[0], wrench[1], wrench[2], wrench[3], wrench[4], wrench[5],
          0.0,       0.0,       9.81,      0.0,       0.0,       0.0};
}

}  // namespace vorn::test
