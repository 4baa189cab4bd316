#pragma once

namespace vorn {

/// Base of every time-stamped record: one stamp in seconds on the host's clock.
class StampedMeasurement {
public:
  StampedMeasurement() = default;
  explicit StampedMeasurement(double stamp) : stamp_(stamp) {}

  /// Time stamp in seconds.
  double stamp() const { return stamp_; }
  /// True when this record is strictly earlier than `other`.
  bool isBefore(const StampedMeasurement& other) const { return stamp_ < other.stamp_; }
  /// True when this record is strictly later than `other`.
  bool isAfter(const StampedMeasurement& other) const { return stamp_ > other.stamp_; }

protected:
  double stamp_ = 0.0;
};

}  // namespace vorn
