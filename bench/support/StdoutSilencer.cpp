#include "StdoutSilencer.hpp"

#include <iostream>

namespace vorn::bench {

StdoutSilencer::StdoutSilencer()
    : previous_(std::cout.rdbuf(&sink_)),
      flags_(std::cout.flags()),
      precision_(std::cout.precision()) {}

StdoutSilencer::~StdoutSilencer() {
  std::cout.rdbuf(previous_);
  std::cout.flags(flags_);
  std::cout.precision(precision_);
}

StdoutSilencer::NullBuffer::int_type StdoutSilencer::NullBuffer::overflow(int_type ch) {
  return traits_type::not_eof(ch);
}

std::streamsize StdoutSilencer::NullBuffer::xsputn(const char* /*text*/, std::streamsize count) {
  return count;
}

}  // namespace vorn::bench
