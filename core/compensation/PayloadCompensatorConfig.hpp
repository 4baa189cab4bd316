#pragma once

#include <string>

#include <Eigen/Core>

namespace vorn {

/// The parsed compensator configuration file : the payload's mass, centre of mass and
/// inertia, and whether inertial effects are compensated in addition to gravity.
///
/// File format (JSON; keys not listed, including the estimator's optional "bias" object, are
/// ignored):
///
///     { "payload_compensator_config": {
///         "payload_properties": {
///           "mass": <kg>,
///           "com": { "x": <m>, "y": <m>, "z": <m> },
///           "inertia": { "Ixx": .., "Ixy": .., "Ixz": .., "Iyy": .., "Iyz": .., "Izz": .. } },
///         "enable_dynamic_compensation": <true|false> } }
///
/// The inertia is taken about the sensor-frame origin, in the sensor frame. A record exists only
/// if every required key was read: the constructor throws std::runtime_error otherwise.
class PayloadCompensatorConfig {
 public:
  /// Stores the path, then loads the file; exceptions of the load leave the constructor.
  explicit PayloadCompensatorConfig(const std::string& configPath);

  /// Opens, parses and stores the file at `configPath`.
  /// Throws std::runtime_error("Failed to open configuration file: " + path) when the file cannot
  /// be opened or read (a directory included), and std::runtime_error("Error parsing configuration
  /// file: " + the JSON library's what() text) for syntax errors, missing keys and wrong types.
  /// Prints "Configuration file has been parsed successfully" on success.
  void loadConfigFromFile(const std::string& configPath);

  /// The path exactly as passed to the constructor.
  std::string getConfigPath() const { return configPath_; }

  /// Payload mass in kg.
  double mass = 0.0;
  /// Centre of mass (x, y, z) in the sensor frame, in m.
  Eigen::Vector3d com = Eigen::Vector3d::Zero();
  /// Inertia about the sensor-frame origin (Ixx, Ixy, Ixz, Iyy, Iyz, Izz), in kg·m².
  Eigen::Matrix<double, 6, 1> inertia = Eigen::Matrix<double, 6, 1>::Zero();
  /// 1.0 when the file's enable_dynamic_compensation was true, 0.0 when it was false.
  double enable_dynamic_compensation = 0.0;

 private:
  std::string configPath_;
};

}  // namespace vorn
