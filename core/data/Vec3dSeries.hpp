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
///
/// The samples live in a ring whose storage only grows (doubling when full): dropping old
/// samples moves nothing, and once the ring has held the longest history the series needs,
/// appending and shrinking allocate nothing.
class Vec3dSeries {
public:
  /// Empty; room for the few samples a series read near its newest sample keeps is reserved.
  Vec3dSeries() : ring_(kReservedSamples), mask_(kReservedSamples - 1) {}

  /// Samples reserved at construction (a power of two; a shrunk series holds about seven).
  static constexpr std::size_t kReservedSamples = 16;

  bool empty() const { return count_ == 0; }
  uint32_t size() const { return static_cast<uint32_t>(count_); }
  /// Oldest sample. Precondition: not empty (a default record is returned otherwise).
  Vec3dStamped earliest() const { return count_ == 0 ? Vec3dStamped() : ring_[first_]; }
  /// Newest sample. Precondition: not empty (a default record is returned otherwise).
  Vec3dStamped latest() const { return count_ == 0 ? Vec3dStamped() : newest(); }
  /// Sample at `index`; lowers the mark to `index`. Throws std::out_of_range("vector") past the end.
  Vec3dStamped at(unsigned int index) {
    if (index < oldestUsedIndex_) {
      oldestUsedIndex_ = index;
    }
    if (index >= count_) {
      throwOutOfRange();
    }
    return slot(index);
  }
  /// Value at the stamp of `time`: linear interpolation between the bracketing samples, held
  /// constant outside the stored span. Only interpolation lowers the mark.
  /// Precondition: not empty (a default record at the query stamp is returned otherwise).
  Vec3dStamped atTime(const StampedMeasurement& time);
  void emplaceBack(const Vec3dStamped& sample) {
    if (count_ == ring_.size()) {
      grow();
    }
    ring_[(first_ + count_) & mask_] = sample;
    ++count_;
  }
  void clear();
  /// Drops the samples older than five before the mark and moves the mark to the newest index.
  void shrink();

  /// The mark of the oldest sample read since the previous shrink.
  uint32_t oldestUsedIndex() const { return oldestUsedIndex_; }
  /// Samples the ring holds before it has to grow.
  std::size_t capacity() const { return ring_.size(); }

private:
  const Vec3dStamped& slot(std::size_t index) const { return ring_[(first_ + index) & mask_]; }
  const Vec3dStamped& newest() const { return slot(count_ - 1); }
  void grow();
  [[noreturn]] static void throwOutOfRange();

  uint32_t oldestUsedIndex_ = 0;
  std::vector<Vec3dStamped> ring_;
  std::size_t mask_;
  std::size_t first_ = 0;
  std::size_t count_ = 0;
};

}  // namespace vorn
