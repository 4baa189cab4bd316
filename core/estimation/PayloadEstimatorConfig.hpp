#pragma once

#include <string>

#include <Eigen/Core>

namespace vorn {

/// The estimator's whole configuration: run limits, the name of the compensator file to write,
/// the prior payload, the measurement noise of the sensor channels, the convergence thresholds
/// and two flags. Read once from a JSON file whose root object holds "payload_estimator_config":
///
///     { "payload_estimator_config": {
///         "output_config_file_name": "<file name>",
///         "min_time": <s>, "max_time": <s>,
///         "prior_payload_properties": {
///           "mass": <kg>, "com": { "x": <m>, "y": <m>, "z": <m> },
///           "inertia": { "Ixx": .., "Ixy": .., "Ixz": .., "Iyy": .., "Iyz": .., "Izz": .. } },
///         "measurement_noise_covariance": {
///           "force": {"x","y","z"}, "torque": {..}, "linear_acc": {..}, "angular_vel": {..},
///           "angular_acc": {..} },
///         "estimation_covariance_convergence_threshold": {
///           "mass": .., "com": .., "inertia": .., "wrench_bias": .. },
///         "runtime_verbosity": <bool, optional>, "output_bias_estimate": <bool, optional> } }
///
/// Besides the JSON library's own checks, a load rejects non-finite numbers, negative times and
/// noise variances that are not strictly positive. A failed load leaves the record unchanged.
class PayloadEstimatorConfig {
 public:
  /// Stores the path, then loads the file; exceptions of the load leave the constructor.
  explicit PayloadEstimatorConfig(const std::string& configPath);

  /// Reads the file at `configPath` and fills every field except the configuration path.
  /// Throws std::runtime_error("Failed to open configuration file: " + path) when the file cannot
  /// be opened (a directory included), and std::runtime_error("Error parsing estimator
  /// configuration file: " + reason) for syntax errors, missing keys, wrong types and values out
  /// of range. Logs a WARN line for each absent optional flag, then an INFO line on success.
  void loadConfigFromFile(const std::string& configPath);

  /// The path exactly as given to the constructor.
  std::string getConfigPath() const { return configPath_; }

  /// Name of the compensator file written on convergence, relative to the directory of the
  /// configuration file (an absolute name is used as it is).
  std::string output_config_file_name;
  /// Run time (s, steady clock) before which convergence is not tested.
  double min_time = 0.0;
  /// Run time (s, steady clock) after which an unconverged run ends.
  double max_time = 0.0;

  /// Prior payload: mass (kg), centre of mass (m, sensor frame), inertia about the sensor origin
  /// (Ixx, Ixy, Ixz, Iyy, Iyz, Izz; kg·m²).
  double prior_mass = 0.0;
  Eigen::Vector3d prior_com = Eigen::Vector3d::Zero();
  Eigen::Matrix<double, 6, 1> prior_inertia = Eigen::Matrix<double, 6, 1>::Zero();

  /// Measurement-noise variances per axis (x, y, z), in the squared unit of each channel.
  Eigen::Vector3d force_noise = Eigen::Vector3d::Ones();        ///< N²
  Eigen::Vector3d torque_noise = Eigen::Vector3d::Ones();       ///< (N·m)²
  Eigen::Vector3d linear_acc_noise = Eigen::Vector3d::Ones();   ///< (m/s²)²
  Eigen::Vector3d angular_vel_noise = Eigen::Vector3d::Ones();  ///< (rad/s)²
  Eigen::Vector3d angular_acc_noise = Eigen::Vector3d::Ones();  ///< (rad/s²)²

  /// Bounds on the standard deviations of each parameter group; convergence needs every one of
  /// them strictly below its bound.
  double mass_threshold = 0.0;         ///< kg
  double com_threshold = 0.0;          ///< m
  double inertia_threshold = 0.0;      ///< kg·m²
  double wrench_bias_threshold = 0.0;  ///< N and N·m

  /// Stored only.
  bool runtime_verbosity = false;
  /// Whether the written compensator file carries the estimated wrench bias.
  bool output_bias_estimate = false;

 private:
  std::string configPath_;
};

}  // namespace vorn
