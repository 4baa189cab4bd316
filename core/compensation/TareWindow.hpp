#pragma once

#include <cstddef>
#include <vector>

#include <Eigen/Core>

namespace vorn {

/// The compensated wrenches of the most recent samples, oldest first, in a ring whose storage is
/// reserved up front and only ever grows: appending at the back and dropping from the front
/// allocate nothing once the ring has held its longest window. At 1 kHz a one-second window
/// fits the initial reservation.
class TareWindow {
 public:
  using Wrench = Eigen::Matrix<double, 6, 1>;

  /// One entry: the stamp passed to update (s) and the compensated wrench of that sample
  /// (force x, y, z, torque x, y, z) before the tare bias is subtracted.
  struct Entry {
    double stamp = 0.0;
    Wrench wrench = Wrench::Zero();
  };

  /// Reserves room for `initialCapacity` entries (rounded up to a power of two).
  explicit TareWindow(std::size_t initialCapacity = 2048);

  bool empty() const { return count_ == 0; }
  std::size_t size() const { return count_; }
  /// Entries the ring holds before it has to grow.
  std::size_t capacity() const { return ring_.size(); }

  /// Oldest entry. Precondition: not empty.
  const Entry& front() const { return ring_[first_]; }
  /// Newest entry. Precondition: not empty.
  const Entry& back() const { return ring_[(first_ + count_ - 1) & mask_]; }
  /// Entry `index` counted from the oldest. Precondition: index < size().
  const Entry& at(std::size_t index) const { return ring_[(first_ + index) & mask_]; }

  /// Appends at the back; doubles the ring (the only allocation) when it is full.
  void pushBack(double stamp, const Wrench& wrench) {
    if (count_ == ring_.size()) {
      grow();
    }
    Entry& slot = ring_[(first_ + count_) & mask_];
    slot.stamp = stamp;
    slot.wrench = wrench;
    ++count_;
  }
  /// Drops the oldest entry. Precondition: not empty.
  void popFront() {
    if (count_ == 0) {
      return;
    }
    first_ = (first_ + 1) & mask_;
    --count_;
  }
  /// Removes every entry; the storage is kept.
  void clear();

  /// Mean wrench: a zero vector to which the entries are added from the oldest to the newest,
  /// divided by their number. Precondition: not empty.
  Wrench mean() const;

 private:
  void grow();

  std::vector<Entry> ring_;
  std::size_t mask_ = 0;
  std::size_t first_ = 0;
  std::size_t count_ = 0;
};

}  // namespace vorn
