#include "StdoutSilencer.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace vorn::tools {

StdoutSilencer::StdoutSilencer() {
  std::cout.flush();
  std::fflush(stdout);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0) {
    return;  // nothing to silence with; output stays visible
  }
  savedFd_ = ::dup(STDOUT_FILENO);
  if (savedFd_ >= 0 && ::dup2(null, STDOUT_FILENO) < 0) {
    ::close(savedFd_);
    savedFd_ = -1;
  }
  ::close(null);
}

StdoutSilencer::~StdoutSilencer() {
  if (savedFd_ < 0) {
    return;
  }
  std::cout.flush();
  std::fflush(stdout);
  ::dup2(savedFd_, STDOUT_FILENO);
  ::close(savedFd_);
}

}  // namespace vorn::tools
