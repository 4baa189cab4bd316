#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/Vec3dStamped.hpp"

namespace vorn {

/// Short history of one measured 3-vector, oldest sample first, with time lookup.
///
/// Readers leave a mark (`oldestUsedIndex`) on the oldest index they used; `shrink` keeps five
/// samples before that mark and drops the rest. Samples must arrive in non-decreasing stamp order.
class Vec3dSeries {
public:
  /// Empty; room for the few samples a series read near its newest sample keeps is reserved, so
  /// that appending and shrinking in steady state allocate nothing.
  Vec3dSeries() { samples_.reserve(kReservedSamples); }

  /// Samples reserved at construction (a shrunk series holds about seven).
  static constexpr std::size_t kReservedSamples = 16;

  bool empty() const { return samples_.empty(); }
  uint32_t size() const { return static_cast<uint32_t>(samples_.size()); }
  /// Oldest sample. Precondition: not empty (a default record is returned otherwise).
  Vec3dStamped earliest() const;
  /// Newest sample. Precondition: not empty (a default record is returned otherwise).
  Vec3dStamped latest() const;
  /// Sample at `index`; lowers the mark to `index`. Throws std::out_of_range("vector") past the end.
  Vec3dStamped at(unsigned int index);
  /// Value at the stamp of `time`: linear interpolation between the bracketing samples, held
  /// constant outside the stored span. Only interpolation lowers the mark.
  /// Precondition: not empty (a default record at the query stamp is returned otherwise).
  Vec3dStamped atTime(const StampedMeasurement& time);
  void emplaceBack(const Vec3dStamped& sample) { samples_.push_back(sample); }
  void clear();
  /// Drops the samples older than five before the mark and moves the mark to the newest index.
  void shrink();

  /// The mark of the oldest sample read since the previous shrink.
  uint32_t oldestUsedIndex() const { return oldestUsedIndex_; }

private:
  uint32_t oldestUsedIndex_ = 0;
  std::vector<Vec3dStamped> samples_;
};

}  // namespace vorn
