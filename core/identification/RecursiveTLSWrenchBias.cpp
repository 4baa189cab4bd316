#include "identification/RecursiveTLSWrenchBias.hpp"

#include <iostream>

#include "identification/ErrorModelTLSWrenchBias.hpp"
#include "identification/EstimateIndex.hpp"
#include "identification/ObservationModelTLSWrenchBias.hpp"

namespace vorn {

RecursiveTLSWrenchBias::RecursiveTLSWrenchBias() {
  observationModel = std::make_unique<ObservationModelTLSWrenchBias>();
  errorModel = std::make_unique<ErrorModelTLSWrenchBias>();
}

RecursiveTLSWrenchBias::~RecursiveTLSWrenchBias() = default;

int RecursiveTLSWrenchBias::getNumberOfEstimatedParameters() const {
  return estimate_index::kCount;
}

bool RecursiveTLSWrenchBias::update(const DynamicsStamped& dynamics) {
  // Outside the contract before `initialize`: the state is empty, nothing can be absorbed.
  if (parameterVector.size() != parameterCount) {
    return false;
  }
  return inversePowerIteration(dynamics, observationModel.get(), errorModel.get());
}

DynamicsStamped RecursiveTLSWrenchBias::getEstimatedBias() const {
  const Eigen::VectorXd p = getParameterVector();
  const WrenchStamped bias(0.0, p.segment<3>(estimate_index::kForceBias),
                           p.segment<3>(estimate_index::kTorqueBias));
  return DynamicsStamped(KinematicsStamped(), bias);
}

DynamicsStamped RecursiveTLSWrenchBias::getBiasVariance() const {
  std::cout << "RecursiveTLSWrenchBias Bias Variance not implemented!" << std::endl;
  return DynamicsStamped(KinematicsStamped(), WrenchStamped());
}

}  // namespace vorn
