#include "data/WrenchStamped.hpp"

namespace vorn {

WrenchStamped::WrenchStamped()
    : StampedMeasurement(0.0), force_(Eigen::Vector3d::Zero()), torque_(Eigen::Vector3d::Zero()) {}

WrenchStamped::WrenchStamped(const Vec3dStamped& force, const Vec3dStamped& torque)
    : StampedMeasurement(force.stamp()), force_(force.vec()), torque_(torque.vec()) {}

WrenchStamped::WrenchStamped(double stamp, const Eigen::Vector3d& force,
                             const Eigen::Vector3d& torque)
    : StampedMeasurement(stamp), force_(force), torque_(torque) {}

}  // namespace vorn
