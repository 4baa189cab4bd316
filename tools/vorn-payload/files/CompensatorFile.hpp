#pragma once

#include <array>
#include <string>

namespace vorn::tools {

/// The payload as a compensator configuration file ("payload_compensator_config") holds it,
/// read back with the tool's own JSON reader: what the estimator identified.
struct CompensatorFile {
  double mass = 0.0;
  std::array<double, 3> com{};
  std::array<double, 6> inertia{};  ///< Ixx, Ixy, Ixz, Iyy, Iyz, Izz about the sensor origin
  bool hasBias = false;             ///< the estimator wrote its wrench-bias estimate too
  std::array<double, 6> bias{};     ///< Fx, Fy, Fz, Tx, Ty, Tz
  bool dynamicCompensation = false;

  /// Throws ToolError naming the file and the problem.
  static CompensatorFile readJson(const std::string& path);

  /// Writes a copy of the file at `source` to `destination` (atomically) with
  /// "enable_dynamic_compensation" set to `enable`; everything else is kept.
  static void writeCopy(const std::string& source, const std::string& destination, bool enable);
};

}  // namespace vorn::tools
