#include "VornPayloadEstimatorImpl.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <iomanip>
#include <iostream>
#include <limits>
#include <mutex>
#include <stdexcept>

#include <Eigen/Eigenvalues>

#include "data/Vec3dStamped.hpp"
#include "estimation/ParameterFileWriter.hpp"
#include "identification/EstimateIndex.hpp"
#include "identification/InertialParameters.hpp"
#include "VornVersion.hpp"
#include "logging/VornLogger.hpp"

namespace vorn {
namespace {

constexpr int kStatusOk = 0;
constexpr int kStatusRejected = 5;

constexpr const char* kGrey = "\033[90m";
constexpr const char* kReset = "\033[0m";

Vec3dStamped stampedVector(const std::array<double, 12>& sample, int first, double stamp) {
  return Vec3dStamped(stamp, Eigen::Vector3d(sample[first], sample[first + 1], sample[first + 2]));
}

// Values `first` .. `last` of `values`, each in fixed notation in a field of `width`, joined
// by ", ". Field widths pad on the left and never truncate.
void printFixedList(std::ostream& out, const Eigen::VectorXd& values, int first, int last,
                    int width) {
  out << std::fixed << std::setprecision(4);
  for (int i = first; i <= last; ++i) {
    if (i > first) {
      out << ", ";
    }
    out << std::setw(width) << values[i];
  }
}

// Values `first` .. `last` in scientific notation with 4 decimals, no field width.
void printScientificList(std::ostream& out, const Eigen::VectorXd& values, int first, int last) {
  out << std::scientific << std::setprecision(4);
  for (int i = first; i <= last; ++i) {
    if (i > first) {
      out << ", ";
    }
    out << values[i];
  }
}

}  // namespace

VornPayloadEstimator::VornPayloadEstimatorImpl::VornPayloadEstimatorImpl(
    const std::string& configPath)
    : version_printer_([] {
        VornLogger::INFO("VornPayloadEstimator version: V" + std::to_string(kVersionMajor) + "." +
                         std::to_string(kVersionMinor) + "." + std::to_string(kVersionPatch));
        return 0;
      }()),
      config_(configPath),
      inertia_estimator_(config_) {
  VornLogger::INFO("Vorn Payload Estimator has been initialized successfully");
}

VornPayloadEstimator::VornPayloadEstimatorImpl::~VornPayloadEstimatorImpl() = default;

void VornPayloadEstimator::VornPayloadEstimatorImpl::initEstimator() {
  VornLogger::INFO("Initializing estimator");
  try {
    inertia_estimator_.setConfig(config_);
    initialized_ = true;
    VornLogger::INFO("Estimator initialized");
  } catch (const std::exception&) {
    initialized_ = false;
    throw;
  }
}

bool VornPayloadEstimator::VornPayloadEstimatorImpl::startPayloadEstimation() {
  initEstimator();
  if (!initialized_) {
    VornLogger::ERROR_LOG("Cannot start payload estimation - estimator not properly initialized");
    return false;
  }
  lastRunConverged_ = false;
  if (state_ == EstimatorState::Running) {
    state_ = EstimatorState::Stopped;
    runState_ = EstimationRunState::StoppedByHost;
    endedRunSeconds_ = elapsedRunTime();
    // The pipeline was re-initialised above: this asks the fresh estimate.
    if (inertia_estimator_.isConverged()) {
      return true;
    }
    std::cout << "[InertialWrenchCompensation] stopped estimator before convergence." << std::endl;
    return true;
  }
  state_ = EstimatorState::Running;
  runState_ = EstimationRunState::Running;
  run_start_time_ = std::chrono::steady_clock::now();
  VornLogger::INFO("Payload estimation has started successfully");
  VornLogger::INFO("Tool should not be in contact while estimator is running!");
  return true;
}

int VornPayloadEstimator::VornPayloadEstimatorImpl::update(std::array<double, 12> sample,
                                                           double stamp) {
  if (sample[6] == 0.0 && sample[7] == 0.0 && sample[8] == 0.0 && sample[9] == 0.0 &&
      sample[10] == 0.0 && sample[11] == 0.0) {
    throw std::runtime_error(
        "IMU data is not available \u2014 make sure the IMU is enabled (Rev K: appmode should be "
        "2)");
  }
  if (state_ != EstimatorState::Running) {
    return kStatusOk;
  }
  if (!initialized_) {
    VornLogger::ERROR_LOG("Estimator is running but not properly initialized");
    return kStatusRejected;
  }
  bool finite = std::isfinite(stamp);
  for (const double value : sample) {
    finite = finite && std::isfinite(value);
  }
  if (!finite) {
    VornLogger::ERROR_LOG("Failed to process sample in estimator: non-finite value.");
    return kStatusRejected;
  }
  try {
    processRunningSample(sample, stamp);
  } catch (const std::exception& e) {
    state_ = EstimatorState::Stopped;
    lastRunConverged_ = false;
    runState_ = EstimationRunState::Failed;
    endedRunSeconds_ = elapsedRunTime();
    VornLogger::ERROR_LOG(std::string("Payload estimation stopped: ") + e.what());
    throw;
  }
  return kStatusOk;
}

void VornPayloadEstimator::VornPayloadEstimatorImpl::processRunningSample(
    const std::array<double, 12>& sample, double stamp) {
  // An out-of-order sample is dropped whole, like a duplicate; a restarted clock restarts the
  // series inside admitSample.
  if (!inertia_estimator_.admitSample(stamp)) {
    return;
  }
  inertia_estimator_.setCalibratedImu(stampedVector(sample, 6, stamp),
                                      stampedVector(sample, 9, stamp));
  inertia_estimator_.setCalibratedWrench(stampedVector(sample, 0, stamp),
                                         stampedVector(sample, 3, stamp));
  inertia_estimator_.update();

  const double elapsed = elapsedRunTime();
  if (elapsed > config_.min_time && inertia_estimator_.isConverged()) {
    VornLogger::INFO("Estimator converged in " + std::to_string(elapsed) + " seconds.");
    writeInertialParametersToFile();
    const Eigen::VectorXd solution = inertia_estimator_.getConsistentSolution();
    const Eigen::VectorXd stdDev = inertia_estimator_.getParamsSolutionCovariance().cwiseSqrt();
    printEstimationMetrics(solution, stdDev, elapsed);
    state_ = EstimatorState::Stopped;
    lastRunConverged_ = true;
    runState_ = EstimationRunState::Converged;
    endedRunSeconds_ = elapsed;
  } else if (elapsed > config_.max_time) {
    VornLogger::ERROR_LOG("Estimator did not converge within the maximum time limit of " +
                          std::to_string(config_.max_time) + " seconds.");
    state_ = EstimatorState::Stopped;
    runState_ = EstimationRunState::TimeLimitReached;
    endedRunSeconds_ = elapsed;
  }
}

double VornPayloadEstimator::VornPayloadEstimatorImpl::elapsedRunTime() const {
  const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now() - run_start_time_)
                         .count();
  return static_cast<double>(ticks) / 1e9;
}

void VornPayloadEstimator::VornPayloadEstimatorImpl::writeInertialParametersToFile() {
  VornLogger::INFO("Writing estimated payload parameters to file...");
  try {
    const bool withBias = config_.output_bias_estimate;
    // Thin and flat tools are estimated at the edge of the physically possible set, often just
    // beyond it; the file must describe a body that can exist.
    const Eigen::VectorXd raw = inertia_estimator_.getParamsSolution();
    const Eigen::VectorXd solution = inertia_estimator_.getConsistentSolution();
    const double change = (solution - raw).cwiseAbs().maxCoeff();
    if (change >
        1e-9 * std::max(1e-12, raw.segment<6>(estimate_index::kInertia).cwiseAbs().maxCoeff())) {
      char text[48];
      std::snprintf(text, sizeof text, "%.3g", change);
      VornLogger::INFO("Estimated inertia lies outside the physically possible set, within its "
                       "uncertainty; writing the nearest consistent inertia (largest change " +
                       std::string(text) + " kg*m^2)");
    }
    const auto target =
        ParameterFileWriter::outputPath(config_.getConfigPath(), config_.output_config_file_name);
    ParameterFileWriter::write(target, config_.getConfigPath(), solution, withBias);
  } catch (const std::exception& e) {
    VornLogger::ERROR_LOG(std::string("Failed to write inertial parameters to file: ") + e.what());
  }
}

void VornPayloadEstimator::VornPayloadEstimatorImpl::printEstimationMetrics(
    const Eigen::VectorXd& solution, const Eigen::VectorXd& stdDev, double elapsedSeconds) {
  // The report is many insertions and changes std::cout's formatting: keep other threads' log
  // lines out of it.
  const std::lock_guard<std::mutex> lock(VornLogger::consoleMutex());
  std::ostream& out = std::cout;
  const std::string heavyRule(100, '=');
  out << std::endl;
  out << heavyRule << std::endl;
  out << "PAYLOAD ESTIMATION RESULTS" << std::endl;
  out << "Time: " << std::fixed << std::setprecision(2) << elapsedSeconds << "s (CONVERGED)"
      << std::endl;
  out << std::string(100, '-') << std::endl;

  out << "Mass: " << std::fixed << std::setprecision(4) << std::setw(7) << solution[0] << " kg"
      << std::endl;
  out << kGrey << "       std: " << std::scientific << std::setprecision(4) << stdDev[0] << kReset
      << std::endl;

  out << "CoM:  [";
  printFixedList(out, solution, 1, 3, 6);
  out << "] m [cx, cy, cz]" << std::endl;
  // The centre-of-mass deviations arrive already propagated to metres.
  out << kGrey << "       std: [";
  printScientificList(out, stdDev, 1, 3);
  out << "]" << kReset << std::endl;

  out << "Inertia: [";
  printFixedList(out, solution, 4, 9, 6);
  out << "] kg*m\u00b2 [Ixx, Ixy, Ixz, Iyy, Iyz, Izz]" << std::endl;
  out << kGrey << "          std: [";
  printScientificList(out, stdDev, 4, 9);
  out << "]" << kReset << std::endl;

  out << "Wrench Bias: [";
  printFixedList(out, solution, 10, 15, 5);
  out << "] N, N*m [Fx, Fy, Fz, Mx, My, Mz]" << std::endl;
  out << kGrey << "              std: [";
  printScientificList(out, stdDev, 10, 15);
  out << "]" << kReset << std::endl;

  out << heavyRule << std::endl;
  out << std::endl;
  out << std::scientific << std::setprecision(4);
}

namespace {

// The public form of one threshold group of the estimator's convergence test.
ThresholdGroupState groupState(const InertiaEstimator::GroupCheck& check) {
  ThresholdGroupState group;
  group.worstStdDev = check.worstStdDev;
  group.threshold = check.threshold;
  group.worstRatio = check.worstRatio;
  group.worstIndex = check.worstIndex;
  group.met = check.met;
  return group;
}

ExcitationHint::Move publicMove(ExcitationMove move) {
  switch (move) {
    case ExcitationMove::Start:
      return ExcitationHint::Move::Start;
    case ExcitationMove::RotateAbout:
      return ExcitationHint::Move::RotateAbout;
    case ExcitationMove::TiltAxisDown:
      return ExcitationHint::Move::TiltAxisDown;
    case ExcitationMove::HoldStill:
      return ExcitationHint::Move::HoldStill;
    case ExcitationMove::KeepGoing:
      return ExcitationHint::Move::KeepGoing;
    case ExcitationMove::Done:
      break;
  }
  return ExcitationHint::Move::Done;
}

constexpr ConvergenceCondition kGroupConditions[4] = {
    ConvergenceCondition::MassStdDev, ConvergenceCondition::CenterOfMassStdDev,
    ConvergenceCondition::InertiaStdDev, ConvergenceCondition::WrenchBiasStdDev};

/// Data time between two refreshes of the excitation advice (s).
constexpr double kAdviceRefreshSeconds = 0.25;

}  // namespace

PayloadEstimate VornPayloadEstimator::VornPayloadEstimatorImpl::currentEstimate() const {
  PayloadEstimate estimate;
  estimate.state = runState_;
  const EstimationTool& tool = inertia_estimator_.tool();
  estimate.samplesAbsorbed = tool.absorbedSamples();
  estimate.dataSeconds = tool.absorbedDataSeconds();

  const Eigen::Matrix<double, 10, 1> inertial = tool.getInertia();
  const DynamicsStamped bias = tool.getEstimatedBias();
  Eigen::Matrix<double, 16, 1> solution;
  solution.head<estimate_index::kInertialCount>() = inertial;
  solution.segment<3>(estimate_index::kForceBias) = bias.force();
  solution.segment<3>(estimate_index::kTorqueBias) = bias.torque();
  // One evaluation of every convergence condition, the one the gate makes: the snapshot cannot
  // tell a different story from the run.
  const InertiaEstimator::ConvergenceCheck check = inertia_estimator_.checkConvergence(true);
  for (int i = 0; i < 16; ++i) {
    estimate.solution[static_cast<std::size_t>(i)] = solution[i];
    const double v = check.variances[i];
    estimate.stdDev[static_cast<std::size_t>(i)] =
        v >= 0.0 ? std::sqrt(v) : std::numeric_limits<double>::quiet_NaN();
  }

  const std::array<double, 4> thresholds = inertia_estimator_.thresholds();
  using namespace estimate_index;
  estimate.mass = groupState(check.groups[0]);
  estimate.centerOfMass = groupState(check.groups[1]);
  estimate.inertia = groupState(check.groups[2]);
  estimate.wrenchBias = groupState(check.groups[3]);

  estimate.runTime.runSeconds =
      state_ == EstimatorState::Running ? elapsedRunTime() : endedRunSeconds_;
  estimate.runTime.minTime = config_.min_time;
  estimate.runTime.maxTime = config_.max_time;
  estimate.runTime.met = estimate.runTime.runSeconds > config_.min_time;

  estimate.residual.value = std::sqrt(check.residualMeanSquare);
  estimate.residual.limit = InertiaEstimator::kResidualLimit;
  estimate.residual.windowFull = check.residualWindowFull;
  estimate.residual.met = check.residualMet;
  estimate.physicalConsistency.met = check.consistent;
  {
    const Eigen::Matrix3d aboutCom =
        InertialParameters::fromEstimateVector(inertial).inertiaAboutCom;
    if (aboutCom.allFinite()) {
      Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver;
      solver.computeDirect(aboutCom, Eigen::EigenvaluesOnly);
      const Eigen::Vector3d moments = solver.eigenvalues();
      for (int i = 0; i < 3; ++i) {
        estimate.physicalConsistency.principalMoments[static_cast<std::size_t>(i)] = moments[i];
      }
    } else {
      estimate.physicalConsistency.principalMoments.fill(std::numeric_limits<double>::quiet_NaN());
    }
  }

  const bool stdDevsMet = estimate.mass.met && estimate.centerOfMass.met && estimate.inertia.met &&
                          estimate.wrenchBias.met;
  if (!estimate.mass.met) {
    estimate.blocking = ConvergenceCondition::MassStdDev;
  } else if (!estimate.centerOfMass.met) {
    estimate.blocking = ConvergenceCondition::CenterOfMassStdDev;
  } else if (!estimate.inertia.met) {
    estimate.blocking = ConvergenceCondition::InertiaStdDev;
  } else if (!estimate.wrenchBias.met) {
    estimate.blocking = ConvergenceCondition::WrenchBiasStdDev;
  } else if (!estimate.residual.windowFull) {
    estimate.blocking = ConvergenceCondition::ResidualWindow;
  } else if (!estimate.residual.met) {
    estimate.blocking = ConvergenceCondition::Residual;
  } else if (!estimate.physicalConsistency.met) {
    estimate.blocking = ConvergenceCondition::PhysicalConsistency;
  } else if (!estimate.runTime.met && runState_ != EstimationRunState::Converged) {
    estimate.blocking = ConvergenceCondition::MinimumTime;
  } else {
    estimate.blocking = ConvergenceCondition::None;
  }

  // The advice: refreshed when the conditions change or after a quarter second of new data.
  const int conditions = (stdDevsMet ? 1 : 0) | (estimate.residual.windowFull ? 2 : 0) |
                         (estimate.residual.met ? 4 : 0) |
                         (estimate.physicalConsistency.met ? 8 : 0);
  const double rate = estimate.dataSeconds > 0.0
                          ? static_cast<double>(estimate.samplesAbsorbed) / estimate.dataSeconds
                          : 0.0;
  const auto refreshSamples =
      std::max<std::int64_t>(1, static_cast<std::int64_t>(rate * kAdviceRefreshSeconds));
  AdviceCache& cache = adviceCache_;
  const bool stale = cache.samples < 0 || estimate.samplesAbsorbed < cache.samples ||
                     estimate.samplesAbsorbed - cache.samples >= refreshSamples ||
                     (cache.samples == 0) != (estimate.samplesAbsorbed == 0) ||
                     conditions != cache.conditions || runState_ != cache.state;
  if (stale) {
    ExcitationInput input;
    input.solution = solution;
    input.covariance = tool.getFixedParameterCovariance();
    input.thresholds = thresholds;
    input.noise = tool.loadSensorCov();
    input.specificForce = inertia_estimator_.getLatestDynamics().linAcc();
    input.sampleRate = rate;
    input.samplesAbsorbed =
        static_cast<std::size_t>(std::max<std::int64_t>(0, estimate.samplesAbsorbed));
    input.stdDevsWithinThresholds = stdDevsMet;
    input.residualWindowFull = estimate.residual.windowFull;
    input.residualWithinLimit = estimate.residual.met;
    input.physicallyConsistent = estimate.physicalConsistency.met;
    input.converged = runState_ == EstimationRunState::Converged;
    cache.advice = ExcitationAdvisor::advise(input);
    ExcitationAdvisor::describe(cache.advice, cache.text.data(), cache.text.size());
    cache.samples = estimate.samplesAbsorbed;
    cache.conditions = conditions;
    cache.state = runState_;
  }
  const ExcitationAdvice& advice = cache.advice;
  estimate.hint.move = publicMove(advice.move);
  for (int i = 0; i < 3; ++i) {
    estimate.hint.axis[static_cast<std::size_t>(i)] = advice.axis[i];
  }
  estimate.hint.serves = advice.group >= 0 && advice.group < 4 ? kGroupConditions[advice.group]
                                                               : ConvergenceCondition::None;
  estimate.hint.text = cache.text;
  return estimate;
}

}  // namespace vorn
