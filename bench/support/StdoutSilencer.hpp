#pragma once

#include <ios>
#include <streambuf>

namespace vorn::bench {

/// While alive, std::cout (where both libraries write their log lines) writes into a buffer that
/// keeps nothing, so a timed loop neither prints to the terminal nor grows a string; the
/// destructor gives std::cout its previous buffer back, and the number format it had (the
/// estimator's log sets fixed notation and a precision of its own). The benchmark's own report, written after
/// the silenced set-up and loop, stays visible.
class StdoutSilencer {
 public:
  StdoutSilencer();
  ~StdoutSilencer();

  StdoutSilencer(const StdoutSilencer&) = delete;
  StdoutSilencer& operator=(const StdoutSilencer&) = delete;

 private:
  /// Accepts every character and keeps none.
  class NullBuffer : public std::streambuf {
   protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
  };

  NullBuffer sink_;
  std::streambuf* previous_ = nullptr;
  std::ios::fmtflags flags_;
  std::streamsize precision_;
};

}  // namespace vorn::bench
