#include "filters/ConstantBiasCalibration.hpp"

namespace vorn {

ConstantBiasCalibration::ConstantBiasCalibration()
    : linAccOffset_(Eigen::Vector3d::Zero()),
      angVelOffset_(Eigen::Vector3d::Zero()),
      forceOffset_(Eigen::Vector3d::Zero()),
      torqueOffset_(Eigen::Vector3d::Zero()) {}

void ConstantBiasCalibration::setImuBias(const Eigen::Vector3d& linAccOffset,
                                         const Eigen::Vector3d& angVelOffset) {
  linAccOffset_ = linAccOffset;
  angVelOffset_ = angVelOffset;
}

void ConstantBiasCalibration::setWrenchBias(const Eigen::Vector3d& forceOffset,
                                            const Eigen::Vector3d& torqueOffset) {
  forceOffset_ = forceOffset;
  torqueOffset_ = torqueOffset;
}

Eigen::VectorXd ConstantBiasCalibration::getBiasVector() const {
  Eigen::VectorXd bias(12);
  bias << forceOffset_, torqueOffset_, linAccOffset_, angVelOffset_;
  return bias;
}

}  // namespace vorn
