#include "estimation/EstimationTool.hpp"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>

#include "filters/CentredDifferentiator.hpp"
#include "identification/EstimateIndex.hpp"
#include "logging/VornLogger.hpp"

namespace vorn {

EstimationTool::EstimationTool() = default;

EstimationTool::EstimationTool(const PayloadEstimatorConfig& config)
    : config(config), configured(true) {}

EstimationTool::~EstimationTool() = default;

void EstimationTool::setConfig(const PayloadEstimatorConfig& newConfig) {
  config = newConfig;
  configured = true;
}

void EstimationTool::init() {
  if (!configured) {
    std::cout << "Warning: EstimationTool::init() called without config" << std::endl;
    return;
  }
  algorithm.reset(EstimationAlgorithm::create());
  algorithm->setRowWeighting(rowWeightingFromEnvironment());
  algorithm->setWrenchNoiseWeighting(switchFromEnvironment(
      kWrenchNoiseWeightingVariable, EstimationAlgorithm::kWrenchNoiseWeightingByDefault));
  algorithm->setInertiaHoldout(
      switchFromEnvironment(kInertiaHoldoutVariable, EstimationAlgorithm::kInertiaHoldoutByDefault));
  algorithm->setAngularAccelerationCorrelationEnabled(switchFromEnvironment(
      kAlphaCorrelationVariable, EstimationAlgorithm::kAlphaCorrelationByDefault));
  absorbedSamples_ = 0;
  latestStamp_ = 0.0;
  dataSeconds_ = 0.0;
  const Eigen::VectorXd prior = loadPrior();
  algorithm->initialize(prior, loadSensorCov(), 1.0);
  if (derivativeSide_ > 0) {
    algorithm->setAngularAccelerationCorrelation(
        CentredDifferentiator::noiseCorrelation(derivativeSide_, derivativeDegree_));
  }
  VornLogger::INFO("Estimation tool has been initialized");
}

bool EstimationTool::rowWeightingFromEnvironment() {
  return switchFromEnvironment(kRowWeightingVariable, EstimationAlgorithm::kRowWeightingByDefault);
}

bool EstimationTool::switchFromEnvironment(const char* variable, bool fallback) {
  // A development switch for the accuracy benchmark, which runs the estimator through the
  // facade: "0" or "1" overrides the estimator's default, anything else (or unset) keeps it.
  const char* value = std::getenv(variable);
  if (value != nullptr && std::strcmp(value, "0") == 0) {
    return false;
  }
  if (value != nullptr && std::strcmp(value, "1") == 0) {
    return true;
  }
  return fallback;
}

Eigen::Matrix<double, 10, 1> EstimationTool::loadPrior() const {
  Eigen::Matrix<double, 10, 1> prior = Eigen::Matrix<double, 10, 1>::Zero();
  if (!config) {
    return prior;
  }
  const double mass = config->prior_mass;
  prior[estimate_index::kMass] = mass;
  prior.segment<3>(estimate_index::kCentreOfMass) = mass * config->prior_com;
  prior.segment<6>(estimate_index::kInertia) = config->prior_inertia;
  return prior;
}

Eigen::Matrix<double, 15, 1> EstimationTool::loadSensorCov() const {
  Eigen::Matrix<double, 15, 1> noise = Eigen::Matrix<double, 15, 1>::Zero();
  if (!config) {
    return noise;
  }
  noise << config->linear_acc_noise, config->angular_vel_noise, config->angular_acc_noise,
      config->force_noise, config->torque_noise;
  return noise;
}

void EstimationTool::setDerivativeWindow(std::size_t side, int degree) {
  derivativeSide_ = side;
  derivativeDegree_ = degree;
  if (algorithm && side > 0) {
    algorithm->setAngularAccelerationCorrelation(
        CentredDifferentiator::noiseCorrelation(side, degree));
  }
}

void EstimationTool::skipSample() {
  if (algorithm) {
    algorithm->skipSample();
  }
}

void EstimationTool::breakSampleSequence() {
  if (algorithm) {
    algorithm->breakSampleSequence();
  }
}

bool EstimationTool::update(const DynamicsStamped& dynamics) {
  if (!algorithm) {
    std::cout << "Warning: EstimationTool::update() called without initialized algorithm"
              << std::endl;
    return false;
  }
  const bool absorbed = algorithm->update(dynamics);
  const double step = dynamics.stamp() - latestStamp_;
  if (absorbedSamples_ > 0 && step > 0.0) {
    dataSeconds_ += step;
  }
  latestStamp_ = dynamics.stamp();
  ++absorbedSamples_;
  return absorbed;
}

Eigen::Matrix<double, 10, 1> EstimationTool::getInertia() const {
  return algorithm ? algorithm->getInertia() : Eigen::Matrix<double, 10, 1>::Zero().eval();
}

Eigen::Matrix<double, 10, 1> EstimationTool::getPreviousInertia() const {
  return algorithm ? algorithm->getPreviousInertia() : Eigen::Matrix<double, 10, 1>::Zero().eval();
}

Eigen::Matrix<double, 10, 10> EstimationTool::getInertiaCovariance() const {
  return algorithm ? algorithm->getInertiaCovariance()
                   : Eigen::Matrix<double, 10, 10>::Zero().eval();
}

Eigen::Matrix<double, 6, 6> EstimationTool::getWrenchBiasCovariance() const {
  return algorithm ? algorithm->getWrenchBiasCovariance()
                   : Eigen::Matrix<double, 6, 6>::Zero().eval();
}

DynamicsStamped EstimationTool::getEstimatedBias() const {
  return algorithm ? algorithm->getEstimatedBias() : DynamicsStamped();
}

Eigen::Matrix<double, 16, 16> EstimationTool::getFixedParameterCovariance() const {
  return algorithm ? algorithm->getFixedParameterCovariance()
                   : Eigen::Matrix<double, 16, 16>::Zero().eval();
}

Eigen::Matrix<double, 16, 1> EstimationTool::getSolutionVariances() const {
  return algorithm ? algorithm->getSolutionVariances()
                   : Eigen::Matrix<double, 16, 1>::Zero().eval();
}

double EstimationTool::getRecentNormalisedResidual() const {
  return algorithm ? algorithm->getRecentNormalisedResidual()
                   : std::numeric_limits<double>::quiet_NaN();
}

bool EstimationTool::hasFullResidualWindow() const {
  return algorithm ? algorithm->hasFullResidualWindow() : false;
}

}  // namespace vorn
