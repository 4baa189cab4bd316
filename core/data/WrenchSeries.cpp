#include "data/WrenchSeries.hpp"

namespace vorn {

WrenchStamped WrenchSeries::earliest() const {
  return WrenchStamped(force_.earliest(), torque_.earliest());
}

WrenchStamped WrenchSeries::latest() const {
  return WrenchStamped(force_.latest(), torque_.latest());
}

WrenchStamped WrenchSeries::at(unsigned int index) {
  const Vec3dStamped force = force_.at(index);
  const Vec3dStamped torque = torque_.at(index);
  return WrenchStamped(force, torque);
}

WrenchStamped WrenchSeries::atTime(const StampedMeasurement& time) {
  const Vec3dStamped force = force_.atTime(time);
  const Vec3dStamped torque = torque_.atTime(time);
  return WrenchStamped(force, torque);
}

void WrenchSeries::emplaceBack(const WrenchStamped& wrench) {
  force_.emplaceBack(wrench.forceStamped());
  torque_.emplaceBack(wrench.torqueStamped());
}

void WrenchSeries::clear() {
  force_.clear();
  torque_.clear();
}

void WrenchSeries::shrink() {
  force_.shrink();
  torque_.shrink();
}

}  // namespace vorn
