#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include <Eigen/Core>

#include "data/DynamicsStamped.hpp"
#include "estimation/PayloadEstimatorConfig.hpp"
#include "identification/EstimationAlgorithm.hpp"

namespace vorn {

/// Owner of the recursive estimator: creates and initialises it from the configuration's prior
/// payload and measurement noise (always without forgetting), feeds it synchronised samples and
/// forwards its read-outs, answering with zeros while no estimator exists.
class EstimationTool {
 public:
  /// A tool without configuration: `init` only warns until `setConfig` is called.
  EstimationTool();
  /// Copies the configuration; the estimator is created by `init`.
  explicit EstimationTool(const PayloadEstimatorConfig& config);
  ~EstimationTool();

  EstimationTool(const EstimationTool&) = delete;
  EstimationTool& operator=(const EstimationTool&) = delete;

  /// Replaces the stored configuration; a running estimator keeps its prior and noise until the
  /// next `init`.
  void setConfig(const PayloadEstimatorConfig& config);

  /// (Re)creates the estimator and initialises it from the stored configuration. Without a
  /// configuration it writes a warning to standard output and changes nothing.
  void init();

  /// Environment variable that switches the estimator's row weighting at `init` ("0" off, "1"
  /// on; unset or anything else: `EstimationAlgorithm::kRowWeightingByDefault`). Read once per
  /// `init`, never on the per-sample path.
  static constexpr const char* kRowWeightingVariable = "VORN_ROW_WEIGHTING";
  /// The row weighting `init` gives a new estimator.
  static bool rowWeightingFromEnvironment();
  /// Environment variable that switches the wrench-noise weighting of the rows at `init`, read
  /// as `kRowWeightingVariable` is (fallback `EstimationAlgorithm::kWrenchNoiseWeightingByDefault`).
  static constexpr const char* kWrenchNoiseWeightingVariable = "VORN_WRENCH_WEIGHTS";
  /// Environment variable that switches the inertia holdout at `init`, read the same way
  /// (fallback `EstimationAlgorithm::kInertiaHoldoutByDefault`).
  static constexpr const char* kInertiaHoldoutVariable = "VORN_INERTIA_HOLDOUT";
  /// Environment variable that switches the count of the angular acceleration's noise shared
  /// between samples at `init`, read the same way (fallback
  /// `EstimationAlgorithm::kAlphaCorrelationByDefault`).
  static constexpr const char* kAlphaCorrelationVariable = "VORN_ALPHA_CORRELATION";
  /// "0" false, "1" true, anything else or unset `fallback`.
  static bool switchFromEnvironment(const char* variable, bool fallback);

  /// Prior (m, m·cx, m·cy, m·cz, Ixx, Ixy, Ixz, Iyy, Iyz, Izz) in kg, kg·m, kg·m².
  /// Precondition: a configuration has been given (zeros otherwise).
  Eigen::Matrix<double, 10, 1> loadPrior() const;
  /// Noise variances in the estimator's order: linear acceleration, angular velocity, angular
  /// acceleration, force, torque (x, y, z each). Precondition as for `loadPrior`.
  Eigen::Matrix<double, 15, 1> loadSensorCov() const;

  /// The derivative window of the angular acceleration in the samples to come: `side` records on
  /// either side of the middle, a polynomial of `degree` (see `CentredDifferentiator`). The
  /// estimator then counts the noise the samples share; kept for later `init`s. Allocates;
  /// call it when the window changes, not per sample.
  void setDerivativeWindow(std::size_t side, int degree);
  /// A synchronised sample the caller leaves out (see `EstimationAlgorithm::skipSample`).
  void skipSample();
  /// The samples to come follow no earlier one (see `EstimationAlgorithm::breakSampleSequence`).
  void breakSampleSequence();

  /// Feeds one synchronised sample. False, with a warning on standard output, before `init`.
  /// The estimator's NaN exception passes through.
  bool update(const DynamicsStamped& dynamics);

  /// (m, cx, cy, cz, Ixx, Ixy, Ixz, Iyy, Iyz, Izz); zeros before `init`.
  Eigen::Matrix<double, 10, 1> getInertia() const;
  Eigen::Matrix<double, 10, 1> getPreviousInertia() const;
  /// Covariance of `getInertia`; zeros before `init`.
  Eigen::Matrix<double, 10, 10> getInertiaCovariance() const;
  /// Covariance of the wrench bias (Fx, Fy, Fz, Tx, Ty, Tz); zeros before `init`.
  Eigen::Matrix<double, 6, 6> getWrenchBiasCovariance() const;
  /// Mean squared normalised residual of the samples of the last half second (see
  /// `EstimationAlgorithm::getRecentNormalisedResidual`); NaN before `init`.
  double getRecentNormalisedResidual() const;
  /// True once the estimator has absorbed half a second of samples; false before `init`.
  bool hasFullResidualWindow() const;
  /// True once the estimator whitens the samples' rows; false before `init`.
  bool whitensRows() const { return algorithm && algorithm->whitensRows(); }
  /// The estimated wrench bias as a record; a default record before `init`.
  DynamicsStamped getEstimatedBias() const;
  /// Covariance of the 16 physical parameters (m, m·c, inertia about the sensor origin, bias);
  /// zeros before `init`. Allocates nothing.
  Eigen::Matrix<double, 16, 16> getFixedParameterCovariance() const;
  /// Variances of the 16 solution values (the diagonals of `getInertiaCovariance` and
  /// `getWrenchBiasCovariance`); zeros before `init`. Allocates nothing.
  Eigen::Matrix<double, 16, 1> getSolutionVariances() const;

  /// Samples absorbed since the last `init`.
  std::int64_t absorbedSamples() const { return absorbedSamples_; }
  /// Seconds of data absorbed since the last `init`: the sum of the forward steps between the
  /// stamps of consecutive samples fed (a clock that restarts adds nothing for its jump).
  double absorbedDataSeconds() const { return dataSeconds_; }

 private:
  std::unique_ptr<EstimationAlgorithm> algorithm;
  std::optional<PayloadEstimatorConfig> config;
  bool configured = false;
  std::size_t derivativeSide_ = 0;
  int derivativeDegree_ = 0;
  std::int64_t absorbedSamples_ = 0;
  double latestStamp_ = 0.0;
  double dataSeconds_ = 0.0;
};

}  // namespace vorn
