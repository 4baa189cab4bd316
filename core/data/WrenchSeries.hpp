#pragma once

#include <cstdint>

#include "data/Vec3dSeries.hpp"
#include "data/WrenchStamped.hpp"

namespace vorn {

/// Series of wrenches kept as two aligned component series (force, torque).
class WrenchSeries {
public:
  WrenchSeries() = default;

  bool empty() const { return force_.empty(); }
  uint32_t size() const { return force_.size(); }
  // Defined here so that the per-sample calls inline.
  WrenchStamped earliest() const { return WrenchStamped(force_.earliest(), torque_.earliest()); }
  WrenchStamped latest() const { return WrenchStamped(force_.latest(), torque_.latest()); }
  WrenchStamped at(unsigned int index) {
    const Vec3dStamped force = force_.at(index);
    const Vec3dStamped torque = torque_.at(index);
    return WrenchStamped(force, torque);
  }
  WrenchStamped atTime(const StampedMeasurement& time) {
    const Vec3dStamped force = force_.atTime(time);
    const Vec3dStamped torque = torque_.atTime(time);
    return WrenchStamped(force, torque);
  }
  void emplaceBack(const WrenchStamped& wrench) {
    force_.emplaceBack(wrench.forceStamped());
    torque_.emplaceBack(wrench.torqueStamped());
  }
  void clear() {
    force_.clear();
    torque_.clear();
  }
  void shrink() {
    force_.shrink();
    torque_.shrink();
  }

  const Vec3dSeries& forceSeries() const { return force_; }
  const Vec3dSeries& torqueSeries() const { return torque_; }

private:
  Vec3dSeries force_;
  Vec3dSeries torque_;
};

}  // namespace vorn
