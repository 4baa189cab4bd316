#include "ProgressDisplay.hpp"

#include <unistd.h>

#include <cstdio>

namespace vorn::tools {

ProgressDisplay::ProgressDisplay(std::string label)
    : ProgressDisplay(std::move(label), stderrIsTerminal()) {}

ProgressDisplay::ProgressDisplay(std::string label, bool enabled)
    : label_(std::move(label)), enabled_(enabled) {}

ProgressDisplay::~ProgressDisplay() { finish(); }

bool ProgressDisplay::stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void ProgressDisplay::update(double done, double total) {
  if (!enabled_) {
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - lastDraw_ < std::chrono::milliseconds(100)) {
    return;
  }
  lastDraw_ = now;
  shown_ = true;
  const double fraction = total > 0.0 ? done / total : 1.0;
  // Clear the line, draw, and return the cursor to its start: a line the libraries print to
  // the same terminal then overwrites the indicator instead of running on after it.
  std::fprintf(stderr, "\r\033[K%s: %.1f of %.1f s of data (%3.0f %%)\r", label_.c_str(), done,
               total, 100.0 * fraction);
  std::fflush(stderr);
}

void ProgressDisplay::finish() {
  if (enabled_ && shown_) {
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
  }
}

}  // namespace vorn::tools
