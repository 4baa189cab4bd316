#pragma once

// A full disk for the duration of a scope: the process may not grow any regular file beyond a
// number of bytes (RLIMIT_FSIZE), so a write past it fails part-way with EFBIG. The signal the
// kernel sends then (SIGXFSZ) is ignored so that the failure reaches the writer as an error.

#include <signal.h>
#include <sys/resource.h>

namespace vorn::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &previousLimit_);
    previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previousLimit_;
    limited.rlim_cur = bytes;
    active_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previousLimit_);
    ::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  /// False when the limit could not be set (the test should then be skipped).
  bool active() const { return active_; }

 private:
  rlimit previousLimit_{};
  void (*previousHandler_)(int) = nullptr;
  bool active_ = false;
};

}  // namespace vorn::test
