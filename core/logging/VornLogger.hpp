#pragma once

#include <mutex>
#include <string>

namespace vorn {

/// The one console channel of both libraries: one coloured line per call on standard output,
/// "[vrn_LEVEL] message", followed by a flush. Every call prints.
///
/// Each line is assembled first and written with a single insertion under a lock, so lines
/// logged at the same moment from two threads never interleave inside a line.
class VornLogger {
 public:
  VornLogger() = delete;

  static void INFO(const std::string& message);
  static void INFO_RUNTIME(const std::string& message);
  static void WARN(const std::string& message);
  static void ERROR_LOG(const std::string& message);

  /// The lock that serialises console output. Hold it (and log nothing meanwhile) to change
  /// std::cout's number formatting from a thread that may run beside another logging thread.
  static std::mutex& consoleMutex();
};

}  // namespace vorn
