#include "estimation/InertiaEstimator.hpp"

#include <atomic>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>

#include <Eigen/Eigenvalues>

#include "data/Sync.hpp"
#include "identification/EstimateIndex.hpp"
#include "identification/InertialParameters.hpp"
#include "logging/VornLogger.hpp"

namespace vorn {
namespace {

// Synchronised records of every estimator in the process. The series are shrunk from the tenth
// one on; once the counter saturates they are shrunk after every record.
std::atomic<std::int64_t> sample_count{0};

// Reads the counter and increments it unless it has saturated; returns the value read.
std::int64_t readAndIncrementSampleCount() {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t previous = sample_count.load(std::memory_order_relaxed);
  while (previous < kMax &&
         !sample_count.compare_exchange_weak(previous, previous + 1, std::memory_order_relaxed)) {
  }
  return previous;
}

// The standard deviation test of one diagonal entry.
bool stdDevBelow(double variance, double threshold) {
  // A negative variance is no small uncertainty but a covariance that does not describe the
  // estimate (the noise correction exceeds the information in some direction): it fails.
  if (!std::isfinite(variance) || variance < 0.0) {
    return false;
  }
  return std::sqrt(variance) < threshold;
}

}  // namespace

InertiaEstimator::InertiaEstimator(const PayloadEstimatorConfig& config)
    : estimationTool(std::make_unique<EstimationTool>(config)), config(config) {}

InertiaEstimator::~InertiaEstimator() = default;

void InertiaEstimator::setConfig(const PayloadEstimatorConfig& newConfig) {
  config = newConfig;
  estimationTool = std::make_unique<EstimationTool>(newConfig);
  massThreshold = newConfig.mass_threshold;
  comThreshold = newConfig.com_threshold;
  inertiaThreshold = newConfig.inertia_threshold;
  wrenchBiasThreshold = newConfig.wrench_bias_threshold;
  steadyCheck = kSteadyCheckByDefault;
  // A development switch for the accuracy benchmark, which runs the estimator through the
  // facade: "0" or "1" overrides the default, anything else (or unset) keeps it.
  if (const char* value = std::getenv(kSteadyCheckVariable)) {
    if (std::strcmp(value, "0") == 0) {
      steadyCheck = false;
    } else if (std::strcmp(value, "1") == 0) {
      steadyCheck = true;
    }
  }
  init();
}

void InertiaEstimator::init() {
  clearSeriesAndFilters();
  estimationTool->init();
  olderAnchor = Anchor();
  newerAnchor = Anchor();
  VornLogger::INFO("Estimator has been initialized");
}

void InertiaEstimator::clearSeriesAndFilters() {
  linAccRaw.clear();
  angVelRaw.clear();
  forceRaw.clear();
  torqueRaw.clear();
  linAccFiltered.clear();
  angVelFiltered.clear();
  angAcc.clear();
  kinematics.clear();
  wrenches.clear();
  initFilters();
  // A new run (or a restarted clock) must not differentiate against the previous run's last
  // angular velocity, nor hand the estimator the previous run's last record.
  angAccFilter.reset();
  latestDynamics = DynamicsStamped();
  newDynamics = false;
  centredDifferentiator.reset();
  latestStraddlesRest = false;
  estimationTool->breakSampleSequence();
  // The rest test judges stillness by the configured gyro noise (the largest axis).
  centredDifferentiator.setRestDeviation(
      config ? std::sqrt(std::max(config->angular_vel_noise.maxCoeff(), 0.0)) : 0.0);
}

void InertiaEstimator::initFilters() {
  imuFilter.readCoeffs("filter", "coeffs", "smoothing", "imu", false);
  ftFilter.readCoeffs("filter", "coeffs", "smoothing", "ft", false);
  angVelDiffFilter.readCoeffs("filter", "coeffs", "differentiation", "ang_vel", true);
  angAccFilter.setTimeConstant(0.1);
}

bool InertiaEstimator::admitSample(double stamp) {
  if (linAccRaw.empty()) {
    return true;
  }
  const double jumpBack = linAccRaw.latest().stamp() - stamp;
  if (jumpBack > kClockResetJump) {
    VornLogger::WARN("Sample time stamp jumped back by " + std::to_string(jumpBack) +
                     " seconds; restarting the estimator's series and filters, the estimate is "
                     "kept");
    clearSeriesAndFilters();
    return true;
  }
  return !(jumpBack > kDuplicateTolerance);
}

bool InertiaEstimator::isDuplicateImuMsg(double stamp) const {
  if (linAccRaw.empty()) {
    return false;
  }
  return std::abs(stamp - linAccRaw.latest().stamp()) < kDuplicateTolerance;
}

void InertiaEstimator::setCalibratedImu(const Vec3dStamped& linAcc, const Vec3dStamped& angVel) {
  if (isDuplicateImuMsg(linAcc.stamp())) {
    return;
  }
  linAccRaw.emplaceBack(linAcc);
  angVelRaw.emplaceBack(angVel);
  if (linAccRaw.size() < imuFilter.size()) {
    return;
  }
  linAccFiltered.emplaceBack(imuFilter.filter(linAccRaw));
  angVelFiltered.emplaceBack(imuFilter.filter(angVelRaw));
  if (angVelFiltered.size() < angAccFilter.size()) {
    return;
  }
  angAcc.emplaceBack(angAccFilter.filterAndDifferentiate(angVelFiltered));
  if (!sync::kinematicsIsSyncable(linAccFiltered, angVelFiltered, angAcc)) {
    std::cout << "IMU Callback: Can't sync linAcc, angVel and angAcc, wait for more data..."
              << std::endl;
    return;
  }
  kinematics.emplaceBack(sync::syncKinematics(linAccFiltered, angVelFiltered, angAcc));
}

void InertiaEstimator::setCalibratedWrench(const Vec3dStamped& force, const Vec3dStamped& torque) {
  forceRaw.emplaceBack(force);
  torqueRaw.emplaceBack(torque);
  if (forceRaw.size() < ftFilter.size()) {
    return;
  }
  const Vec3dStamped filteredForce = ftFilter.filter(forceRaw);
  const Vec3dStamped filteredTorque = ftFilter.filter(torqueRaw);
  wrenches.emplaceBack(WrenchStamped(filteredForce, filteredTorque));
  if (kinematics.empty()) {
    return;
  }
  if (!sync::dynamicsIsSyncable(kinematics, wrenches)) {
    return;
  }
  // The exponential filter's derivative lags the other channels by about its time constant; an
  // estimate fitted to it is biased (inertia by tens of percent, the mass and centre of mass
  // beyond their noise). The estimator is fed records whose angular acceleration is centred on
  // the record's own instant instead.
  if (centredDifferentiator.push(sync::syncDynamics(kinematics, wrenches))) {
    latestDynamics = centredDifferentiator.centred();
    latestStraddlesRest = centredDifferentiator.windowStraddlesRest();
    newDynamics = true;
  }
  if (readAndIncrementSampleCount() < 9) {
    return;
  }
  shrinkAllSeries();
}

void InertiaEstimator::shrinkAllSeries() {
  linAccRaw.shrink();
  angVelRaw.shrink();
  forceRaw.shrink();
  torqueRaw.shrink();
  linAccFiltered.shrink();
  angVelFiltered.shrink();
  angAcc.shrink();
  kinematics.shrink();
  wrenches.shrink();
}

bool InertiaEstimator::update() {
  if (newDynamics) {
    // Cleared first: a record that made the estimator throw is not offered again.
    newDynamics = false;
    // Whitened rows weigh each sample by the noise its rows should have, and the rows of
    // samples near rest should have the least (the regressor responds little to the IMU's noise
    // there). Where a move starts or stops the derived angular acceleration misses by far more
    // than its noise (see `CentredDifferentiator::windowStraddlesRest`), so these samples would
    // pull the estimate most where they are wrong: on a robot's stop-and-go motion the inertia
    // lurched by five of its deviations within 50 ms of a move's start. They are left out once
    // the rows are whitened; the unweighted rows, which weigh them like any other, take them.
    const std::size_t side = centredDifferentiator.side();
    if (side != derivativeSide) {
      estimationTool->setDerivativeWindow(side, centredDifferentiator.degree());
      // A window that grows by a record on either side passes over one middle record.
      for (std::size_t k = derivativeSide; derivativeSide > 0 && k < side; ++k) {
        estimationTool->skipSample();
      }
      derivativeSide = side;
    }
    if (latestStraddlesRest && estimationTool->whitensRows()) {
      estimationTool->skipSample();
      return true;
    }
    estimationTool->update(latestDynamics);
    if (steadyCheck) {
      advanceAnchors(latestDynamics.stamp());
    }
  }
  return true;
}

Eigen::Matrix<double, 16, 1> InertiaEstimator::fixedSolution() const {
  Eigen::Matrix<double, 16, 1> solution;
  solution.head<estimate_index::kInertialCount>() = estimationTool->getInertia();
  const DynamicsStamped bias = estimationTool->getEstimatedBias();
  solution.segment<3>(estimate_index::kForceBias) = bias.force();
  solution.segment<3>(estimate_index::kTorqueBias) = bias.torque();
  return solution;
}

void InertiaEstimator::advanceAnchors(double stamp) {
  if (newerAnchor.set && stamp < newerAnchor.stamp) {
    olderAnchor = Anchor();
    newerAnchor = Anchor();
  }
  if (newerAnchor.set && stamp - newerAnchor.stamp < kSteadySeconds) {
    return;
  }
  olderAnchor = newerAnchor;
  newerAnchor.solution = fixedSolution();
  newerAnchor.stamp = stamp;
  newerAnchor.set = true;
}

bool InertiaEstimator::isSteady(const Eigen::Matrix<double, 16, 1>& variances) const {
  if (!steadyCheck) {
    return true;
  }
  // The newer anchor is less than kSteadySeconds old, the older one at least that: compare
  // with the older one, so that the estimate is judged over a full stretch of data.
  if (!olderAnchor.set) {
    return false;
  }
  const Eigen::Matrix<double, 16, 1> now = fixedSolution();
  for (int i = 0; i < 16; ++i) {
    const double moved = std::abs(now[i] - olderAnchor.solution[i]);
    if (!(moved <= kSteadySigmas * std::sqrt(std::max(variances[i], 0.0)))) {
      return false;
    }
  }
  return true;
}

Eigen::VectorXd InertiaEstimator::getParamsSolution() const {
  Eigen::VectorXd solution(16);
  solution.head<estimate_index::kInertialCount>() = estimationTool->getInertia();
  const DynamicsStamped bias = estimationTool->getEstimatedBias();
  solution.segment<3>(estimate_index::kForceBias) = bias.force();
  solution.segment<3>(estimate_index::kTorqueBias) = bias.torque();
  return solution;
}

Eigen::VectorXd InertiaEstimator::getStdDevInertialParameters() const {
  return estimationTool->getInertiaCovariance().diagonal().cwiseSqrt();
}

Eigen::VectorXd InertiaEstimator::getStdDevWrenchBias() const {
  return estimationTool->getWrenchBiasCovariance().diagonal().cwiseSqrt();
}

Eigen::VectorXd InertiaEstimator::getParamsSolutionCovariance() const {
  Eigen::VectorXd variances(16);
  variances.head<estimate_index::kInertialCount>() =
      estimationTool->getInertiaCovariance().diagonal();
  variances.segment<estimate_index::kWrenchBiasCount>(estimate_index::kWrenchBias) =
      estimationTool->getWrenchBiasCovariance().diagonal();
  return variances;
}

bool InertiaEstimator::isConverged() const { return checkConvergence(false).converged(); }

InertiaEstimator::ConvergenceCheck InertiaEstimator::checkConvergence(bool everyCondition) const {
  ConvergenceCheck check;
  const Eigen::Matrix<double, 10, 10> inertia = estimationTool->getInertiaCovariance();
  const Eigen::Matrix<double, 6, 6> bias = estimationTool->getWrenchBiasCovariance();
  check.variances.head<estimate_index::kInertialCount>() = inertia.diagonal();
  check.variances.segment<estimate_index::kWrenchBiasCount>(estimate_index::kWrenchBias) =
      bias.diagonal();
  const int first[4] = {estimate_index::kMass, estimate_index::kCentreOfMass,
                        estimate_index::kInertia, estimate_index::kWrenchBias};
  const int count[4] = {estimate_index::kCentreOfMass - estimate_index::kMass,
                        estimate_index::kInertia - estimate_index::kCentreOfMass,
                        estimate_index::kWrenchBias - estimate_index::kInertia,
                        estimate_index::kWrenchBiasCount};
  const double bounds[4] = {massThreshold, comThreshold, inertiaThreshold, wrenchBiasThreshold};
  check.stdDevsMet = true;
  for (int g = 0; g < 4 && (everyCondition || check.stdDevsMet); ++g) {
    GroupCheck& group = check.groups[static_cast<std::size_t>(g)];
    group.threshold = bounds[g];
    group.met = true;
    group.worstRatio = -1.0;
    for (int k = 0; k < count[g]; ++k) {
      const int i = first[g] + k;
      const double v = check.variances[i];
      const bool valid = std::isfinite(v) && v >= 0.0;
      const double sigma = valid ? std::sqrt(v) : std::numeric_limits<double>::quiet_NaN();
      const bool below = stdDevBelow(v, bounds[g]);
      group.met = group.met && below;
      const double ratio =
          valid && bounds[g] > 0.0 ? sigma / bounds[g] : std::numeric_limits<double>::infinity();
      if (ratio > group.worstRatio || k == 0) {
        group.worstRatio = ratio;
        group.worstStdDev = sigma;
        group.worstIndex = i;
      }
      if (!below && !everyCondition) {
        break;
      }
    }
    check.stdDevsMet = check.stdDevsMet && group.met;
  }
  if (!check.stdDevsMet && !everyCondition) {
    return check;
  }
  // Small standard deviations alone do not make an estimate right: it must also explain the
  // samples of the last half second within a few times the configured noise, and describe a body
  // that can exist. A solution with a non-finite entry is never accepted.
  check.residualWindowFull = estimationTool->hasFullResidualWindow();
  check.residualMeanSquare = estimationTool->getRecentNormalisedResidual();
  check.residualMet = check.residualWindowFull &&
                      check.residualMeanSquare <= kResidualLimit * kResidualLimit;
  if (!check.residualMet && !everyCondition) {
    return check;
  }
  const Eigen::Matrix<double, 10, 1> stdDev = inertia.diagonal().cwiseSqrt();
  check.consistent = isConsistentWithinUncertainty(estimationTool->getInertia(), stdDev);
  if (!check.consistent && !everyCondition) {
    return check;
  }
  check.steady = isSteady(check.variances);
  return check;
}

namespace {

Eigen::Matrix3d symmetricFromVech(const Eigen::Matrix<double, 6, 1>& v) {
  return InertialParameters::symmetricFromVech(v);
}

/// m·(|c|²·1 − c·cᵀ): the parallel-axis term between the centre of mass and the origin.
Eigen::Matrix3d parallelAxis(double mass, const Eigen::Vector3d& com) {
  return InertialParameters::parallelAxisTerm(mass, com);
}

/// The nearest principal moments (Euclidean) with λ_i + λ_j − λ_k ≥ margin for every ordering,
/// which also makes each moment at least the margin: with μ = λ − margin·(1, 1, 1) the
/// least-squares projection of μ onto the cone a_k·μ ≥ 0, solved by trying every set of active
/// constraints, and the margin added back (a_k·(1, 1, 1) = 1).
Eigen::Vector3d nearestFeasibleMoments(const Eigen::Vector3d& moments, double margin) {
  Eigen::Matrix3d a;  // row k: the triangle inequality with moment k on the far side
  a << -1.0, 1.0, 1.0, 1.0, -1.0, 1.0, 1.0, 1.0, -1.0;
  const Eigen::Vector3d shifted = moments - Eigen::Vector3d::Constant(margin);
  Eigen::Vector3d best = Eigen::Vector3d::Zero();  // all three active: the apex
  double bestDistance = shifted.squaredNorm();
  for (int set = 0; set < 7; ++set) {
    Eigen::Matrix3d active = Eigen::Matrix3d::Zero();
    int count = 0;
    for (int k = 0; k < 3; ++k) {
      if (set & (1 << k)) {
        active.row(count++) = a.row(k);
      }
    }
    Eigen::Vector3d candidate = shifted;
    if (count > 0) {
      const Eigen::Matrix3d gram = active * active.transpose();
      Eigen::Vector3d multipliers = Eigen::Vector3d::Zero();
      multipliers.head(count) =
          gram.topLeftCorner(count, count).ldlt().solve((active * shifted).head(count));
      candidate -= active.transpose() * multipliers;
    }
    if ((a * candidate).minCoeff() >= -1e-12 * shifted.cwiseAbs().maxCoeff()) {
      const double distance = (candidate - shifted).squaredNorm();
      if (distance < bestDistance) {
        bestDistance = distance;
        best = candidate;
      }
    }
  }
  return best + Eigen::Vector3d::Constant(margin);
}

/// Smallest triangle margin (and moment) a written body keeps, relative to the size of its
/// inertia about the origin: the parameter file holds six significant digits, and a body at the
/// very edge of the consistent set would leave it after rounding.
constexpr double kRelativeMargin = 1e-5;

}  // namespace

Eigen::Matrix<double, 10, 1> InertiaEstimator::nearestConsistentBody(
    const Eigen::Matrix<double, 10, 1>& inertial) {
  if (!inertial.allFinite() || !(inertial[estimate_index::kMass] > 0.0)) {
    return inertial;
  }
  const double mass = inertial[estimate_index::kMass];
  const Eigen::Vector3d com = inertial.segment<3>(estimate_index::kCentreOfMass);
  const Eigen::Matrix3d shift = parallelAxis(mass, com);
  const Eigen::Matrix3d aboutCom =
      symmetricFromVech(inertial.segment<6>(estimate_index::kInertia)) - shift;
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(aboutCom);
  const Eigen::Vector3d raw = solver.eigenvalues();  // ascending
  const double margin =
      kRelativeMargin *
      (inertial.segment<6>(estimate_index::kInertia).cwiseAbs().maxCoeff() + shift.trace());
  if (raw[0] >= margin && raw[0] + raw[1] - raw[2] >= margin) {
    return inertial;
  }
  const Eigen::Vector3d moments = nearestFeasibleMoments(raw, margin);
  const Eigen::Matrix3d consistent =
      solver.eigenvectors() * moments.asDiagonal() * solver.eigenvectors().transpose() + shift;
  Eigen::Matrix<double, 10, 1> result = inertial;
  result.segment<6>(estimate_index::kInertia) = InertialParameters::vech(consistent);
  return result;
}

bool InertiaEstimator::isConsistentWithinUncertainty(const Eigen::Matrix<double, 10, 1>& inertial,
                                                     const Eigen::Matrix<double, 10, 1>& stdDev) {
  if (!inertial.allFinite() || !(inertial[estimate_index::kMass] > 0.0)) {
    return false;
  }
  const Eigen::Matrix<double, 10, 1> nearest = nearestConsistentBody(inertial);
  for (int i = estimate_index::kInertia; i < estimate_index::kInertialCount; ++i) {
    if (!(std::abs(nearest[i] - inertial[i]) <= kConsistencySigmas * stdDev[i])) {
      return false;
    }
  }
  return true;
}

Eigen::VectorXd InertiaEstimator::getConsistentSolution() const {
  Eigen::VectorXd solution = getParamsSolution();
  solution.head<estimate_index::kInertialCount>() =
      nearestConsistentBody(solution.head<estimate_index::kInertialCount>());
  return solution;
}

bool InertiaEstimator::isPhysicallyConsistent(const Eigen::Ref<const Eigen::VectorXd>& solution) {
  if (solution.size() < estimate_index::kInertialCount || !solution.allFinite() ||
      !(solution[estimate_index::kMass] > 0.0)) {
    return false;
  }
  const double mass = solution[estimate_index::kMass];
  const Eigen::Vector3d com = solution.segment<3>(estimate_index::kCentreOfMass);
  const Eigen::Matrix3d origin = symmetricFromVech(solution.segment<6>(estimate_index::kInertia));
  // Parallel-axis theorem: I_c = I_o − m·(|c|²·1 − c·cᵀ).
  const Eigen::Matrix3d aboutCom = origin - InertialParameters::parallelAxisTerm(mass, com);
  const Eigen::Vector3d moments =
      Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d>(aboutCom, Eigen::EigenvaluesOnly)
          .eigenvalues();  // ascending
  return moments[0] > 0.0 && moments[2] <= moments[0] + moments[1];
}

bool InertiaEstimator::covarianceWithinThresholds(const Eigen::Matrix<double, 10, 10>& inertia,
                                                  const Eigen::Matrix<double, 6, 6>& bias) const {
  if (!stdDevBelow(inertia(estimate_index::kMass, estimate_index::kMass), massThreshold)) {
    return false;
  }
  for (int i = estimate_index::kCentreOfMass; i < estimate_index::kInertia; ++i) {
    if (!stdDevBelow(inertia(i, i), comThreshold)) {
      return false;
    }
  }
  for (int i = estimate_index::kInertia; i < estimate_index::kInertialCount; ++i) {
    if (!stdDevBelow(inertia(i, i), inertiaThreshold)) {
      return false;
    }
  }
  for (int i = 0; i < 6; ++i) {
    if (!stdDevBelow(bias(i, i), wrenchBiasThreshold)) {
      return false;
    }
  }
  return true;
}

std::array<std::uint32_t, InertiaEstimator::kSeriesCount> InertiaEstimator::seriesSizes() const {
  return {linAccRaw.size(), angVelRaw.size(),      forceRaw.size(),
          torqueRaw.size(), linAccFiltered.size(), angVelFiltered.size(),
          angAcc.size(),    kinematics.size(),     wrenches.size()};
}

std::int64_t InertiaEstimator::sampleCount() {
  return sample_count.load(std::memory_order_relaxed);
}

}  // namespace vorn
