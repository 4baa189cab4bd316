#pragma once

namespace vorn::tools {

/// While alive, sends everything written to standard output (the libraries' log lines among
/// it) to /dev/null; the destructor restores the original standard output.
class StdoutSilencer {
 public:
  StdoutSilencer();
  ~StdoutSilencer();

  StdoutSilencer(const StdoutSilencer&) = delete;
  StdoutSilencer& operator=(const StdoutSilencer&) = delete;

 private:
  int savedFd_ = -1;
};

}  // namespace vorn::tools
