#pragma once

#include <cstddef>
#include <vector>

namespace vorn {

/// Mean of a per-sample value over the most recent `span` seconds of samples, for the
/// normalised residuals of the identification: how well the current estimate explains what the
/// sensor has just measured.
///
/// Holds its samples in a ring that grows only while the sample interval shrinks.
class ResidualWindow {
 public:
  explicit ResidualWindow(double span = 1.0);

  /// Adds the value of the sample stamped `stamp` (stamps increasing) and drops the samples
  /// older than `span` before it.
  void add(double stamp, double value);

  /// Mean over the window; NaN while it is empty.
  double mean() const;
  /// Seconds from the first sample since `clear` to the newest one; 0 while empty.
  double coveredTime() const;
  /// True once the samples since `clear` cover the whole span.
  bool isFull() const;

  void clear();

  double span() const { return span_; }
  std::size_t size() const { return count_; }

 private:
  struct Entry {
    double stamp;
    double value;
  };

  double span_;
  std::vector<Entry> ring_;
  std::size_t first_ = 0;
  std::size_t count_ = 0;
  double sum_ = 0.0;
  double firstStamp_ = 0.0;
  double newestStamp_ = 0.0;
  bool started_ = false;
};

}  // namespace vorn
