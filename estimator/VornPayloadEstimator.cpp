#include "vorn/VornPayloadEstimator.hpp"

#include "VornPayloadEstimatorImpl.hpp"

namespace vorn {

VornPayloadEstimator::VornPayloadEstimator(const std::string& configPath)
    : impl_(std::make_unique<VornPayloadEstimatorImpl>(configPath)) {}

VornPayloadEstimator::~VornPayloadEstimator() = default;

int VornPayloadEstimator::update(double stamp, std::array<double, 12> sample) {
  return impl_->update(sample, stamp);
}

bool VornPayloadEstimator::startPayloadEstimation() { return impl_->startPayloadEstimation(); }

bool VornPayloadEstimator::isEstimatorRunning() const { return impl_->isEstimatorRunning(); }

bool VornPayloadEstimator::isEstimationSuccessful() const {
  return impl_->isEstimationSuccessful();
}

PayloadEstimate VornPayloadEstimator::currentEstimate() const { return impl_->currentEstimate(); }

}  // namespace vorn
