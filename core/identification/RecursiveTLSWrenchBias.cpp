#include "identification/RecursiveTLSWrenchBias.hpp"

#include <iostream>

#include "identification/ErrorModelTLSWrenchBias.hpp"
#include "identification/ObservationModelTLSWrenchBias.hpp"

namespace vorn {

RecursiveTLSWrenchBias::RecursiveTLSWrenchBias() {
  observationModel = std::make_unique<ObservationModelTLSWrenchBias>();
  errorModel = std::make_unique<ErrorModelTLSWrenchBias>();
}

RecursiveTLSWrenchBias::~RecursiveTLSWrenchBias() = default;

int RecursiveTLSWrenchBias::getNumberOfEstimatedParameters() const { return 16; }

bool RecursiveTLSWrenchBias::update(const DynamicsStamped& dynamics) {
  // Outside the contract before `initialize`: the state is empty, nothing can be absorbed.
  if (parameterVector.size() != parameterCount) {
    return false;
  }
  return inversePowerIteration(dynamics, observationModel.get(), errorModel.get());
}

DynamicsStamped RecursiveTLSWrenchBias::getEstimatedBias() const {
  const Eigen::VectorXd p = getParameterVector();
  const WrenchStamped bias(0.0, Eigen::Vector3d(p[10], p[11], p[12]),
                           Eigen::Vector3d(p[13], p[14], p[15]));
  return DynamicsStamped(KinematicsStamped(), bias);
}

DynamicsStamped RecursiveTLSWrenchBias::getBiasVariance() const {
  std::cout << "RecursiveTLSWrenchBias Bias Variance not implemented!" << std::endl;
  return DynamicsStamped(KinematicsStamped(), WrenchStamped());
}

}  // namespace vorn
