#pragma once

#include <array>
#include <string>

namespace vorn {
struct InertialParameters;
}

namespace vorn::tools {

/// A payload for the simulator, as a user writes it in a small JSON file:
///
///   {
///     "mass": 1.2,
///     "com": {"x": 0.012, "y": 0.001, "z": 0.086},
///     "inertia_about_com": {"Ixx": 0.0021, "Ixy": 0, "Ixz": 0.0001,
///                           "Iyy": 0.0024, "Iyz": 0, "Izz": 0.0009},
///     "bias": {"Fx": 1.5, "Fy": -0.8, "Fz": 2.0, "Tx": 0.05, "Ty": -0.03, "Tz": 0.02}
///   }
///
/// Mass in kg, centre of mass in m (sensor frame), inertia in kg·m² about the centre of mass
/// with axes parallel to the sensor frame, bias the sensor's constant wrench offset in N and
/// N·m. "inertia_about_com" (a point mass when absent) and "bias" (zero when absent) are
/// optional; other keys are ignored.
struct PayloadDescription {
  double mass = 0.0;
  std::array<double, 3> com{};
  std::array<double, 6> inertiaAboutCom{};  ///< Ixx, Ixy, Ixz, Iyy, Iyz, Izz
  std::array<double, 6> bias{};             ///< Fx, Fy, Fz, Tx, Ty, Tz

  /// Reads a payload file; throws ToolError naming the file and the offending key.
  static PayloadDescription readJson(const std::string& path);

  /// Parses payload JSON text; `name` is used in error messages.
  static PayloadDescription parseJson(const std::string& text, const std::string& name);

  /// Writes the file (atomically); throws ToolError.
  void writeJson(const std::string& path) const;

  /// JSON text of the description, as writeJson writes it.
  std::string toJsonText() const;

  /// The inertia about the sensor origin (parallel-axis theorem), the convention of the
  /// compensator configuration file: Ixx, Ixy, Ixz, Iyy, Iyz, Izz.
  std::array<double, 6> inertiaAboutOrigin() const;

  /// The body alone: mass, centre of mass and the inertia about it as a symmetric matrix.
  InertialParameters inertialParameters() const;

  /// The demo's payload: a parallel gripper holding a slim tool, 1.2 kg, off-centre.
  static PayloadDescription demoGripper();
};

}  // namespace vorn::tools
