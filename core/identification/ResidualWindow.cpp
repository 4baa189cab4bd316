#include "identification/ResidualWindow.hpp"

#include <limits>

namespace vorn {

namespace {

/// Tolerance on the covered time (s), so that rounding of the stamps does not delay a full window.
constexpr double kSpanTolerance = 1e-9;

}  // namespace

ResidualWindow::ResidualWindow(double span) : span_(span), ring_(64) {}

void ResidualWindow::add(double stamp, double value) {
  if (!started_) {
    firstStamp_ = stamp;
    started_ = true;
  }
  if (count_ == ring_.size()) {
    std::vector<Entry> larger(2 * ring_.size());
    for (std::size_t i = 0; i < count_; ++i) {
      larger[i] = ring_[(first_ + i) % ring_.size()];
    }
    ring_.swap(larger);
    first_ = 0;
  }
  ring_[(first_ + count_) % ring_.size()] = Entry{stamp, value};
  ++count_;
  sum_ += value;
  newestStamp_ = stamp;
  while (count_ > 1 && ring_[first_].stamp < stamp - span_) {
    sum_ -= ring_[first_].value;
    first_ = (first_ + 1) % ring_.size();
    --count_;
  }
  if (count_ == 1) {
    sum_ = value;  // no drift of the running sum across a full turnover
  }
}

double ResidualWindow::mean() const {
  if (count_ == 0) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  return sum_ / static_cast<double>(count_);
}

double ResidualWindow::coveredTime() const {
  return count_ == 0 ? 0.0 : newestStamp_ - firstStamp_;
}

bool ResidualWindow::isFull() const { return coveredTime() >= span_ - kSpanTolerance; }

void ResidualWindow::clear() {
  first_ = 0;
  count_ = 0;
  sum_ = 0.0;
  firstStamp_ = 0.0;
  newestStamp_ = 0.0;
  started_ = false;
}

}  // namespace vorn
