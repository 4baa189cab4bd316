#include "vorn/VornPayloadCompensator.hpp"

#include "VornPayloadCompensatorImpl.hpp"

namespace vorn {

VornPayloadCompensator::VornPayloadCompensator(const std::string& configPath)
    : impl_(std::make_unique<VornPayloadCompensatorImpl>(configPath, this)) {}

VornPayloadCompensator::~VornPayloadCompensator() {
  // Detach the pointer first, then destroy the implementation through its virtual destructor.
  delete impl_.release();
}

int VornPayloadCompensator::update(double stamp, const std::array<double, 12>& in,
                                   std::array<double, 12>& out) {
  return impl_->update(in, stamp, out);
}

bool VornPayloadCompensator::tareCompensatedWrench() { return impl_->tareCompensatedWrench(); }

}  // namespace vorn
