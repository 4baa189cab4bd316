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

  /// The escape sequences of a line: "[" kTagColour "vrn" kResetColour "_" <level colour> LEVEL
  /// kResetColour "] " message "\n". Exposed so that hosts and tests can recognise the bytes.
  static constexpr const char* kTagColour = "\033[38;2;255;127;0m";
  static constexpr const char* kResetColour = "\033[0m";
  static constexpr const char* kInfoColour = "\033[38;2;135;206;250m";
  static constexpr const char* kInfoRuntimeColour = "\033[38;2;61;104;245m";
  static constexpr const char* kWarnColour = "\033[38;2;255;255;0m";
  static constexpr const char* kErrorColour = "\033[38;2;255;0;0m";
};

}  // namespace vorn
