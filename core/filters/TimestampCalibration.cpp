#include "filters/TimestampCalibration.hpp"

namespace vorn {

void TimestampCalibration::setImuDelays(double linAccDelay, double angVelDelay) {
  linAccDelay_ = linAccDelay;
  angVelDelay_ = angVelDelay;
}

}  // namespace vorn
