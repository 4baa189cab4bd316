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
  WrenchStamped earliest() const;
  WrenchStamped latest() const;
  WrenchStamped at(unsigned int index);
  WrenchStamped atTime(const StampedMeasurement& time);
  void emplaceBack(const WrenchStamped& wrench);
  void clear();
  void shrink();

  const Vec3dSeries& forceSeries() const { return force_; }
  const Vec3dSeries& torqueSeries() const { return torque_; }

private:
  Vec3dSeries force_;
  Vec3dSeries torque_;
};

}  // namespace vorn
