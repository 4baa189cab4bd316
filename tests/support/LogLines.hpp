#pragma once

// The logger's lines as the tests expect them: the exact bytes, built from the escape sequences the
// logger exposes, and the plain "[vrn_LEVEL] message" form with the colours removed.

#include <cctype>
#include <cstddef>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "logging/VornLogger.hpp"

namespace vorn::test {

/// The exact bytes VornLogger writes for `message` at `level` ("INFO", "INFO_RUNTIME", "WARN",
/// "ERROR"), line feed included.
inline std::string logLine(const std::string& level, const std::string& message) {
  const char* colour = level == "INFO"           ? VornLogger::kInfoColour
                       : level == "INFO_RUNTIME" ? VornLogger::kInfoRuntimeColour
                       : level == "WARN"         ? VornLogger::kWarnColour
                       : level == "ERROR"        ? VornLogger::kErrorColour
                                                 : nullptr;
  if (colour == nullptr) {
    throw std::invalid_argument("no logger level " + level);
  }
  return std::string("[") + VornLogger::kTagColour + "vrn" + VornLogger::kResetColour + "_" +
         colour + level + VornLogger::kResetColour + "] " + message + "\n";
}

/// `text` without ANSI colour sequences: "[vrn_INFO] message".
inline std::string stripAnsi(const std::string& text) {
  // ESC '[' digits-and-semicolons 'm'; written out by hand (std::regex trips GCC 12's
  // -Wmaybe-uninitialized in sanitizer builds).
  std::string plain;
  plain.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\x1b' && i + 1 < text.size() && text[i + 1] == '[') {
      std::size_t j = i + 2;
      while (j < text.size() &&
             (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == ';')) {
        ++j;
      }
      if (j < text.size() && text[j] == 'm') {
        i = j;
        continue;
      }
    }
    plain += text[i];
  }
  return plain;
}

/// The lines of `text` (without their line feeds), colours removed.
inline std::vector<std::string> plainLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(stripAnsi(text));
  std::string line;
  while (std::getline(in, line)) {
    lines.push_back(line);
  }
  return lines;
}

/// Splits text at '\n'; a trailing piece without newline is returned as the last element (so an
/// input that ends in '\n' yields an empty last element).
inline std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

/// Plain forms of a line, as `plainLines` returns them.
inline std::string info(const std::string& message) { return "[vrn_INFO] " + message; }
inline std::string warn(const std::string& message) { return "[vrn_WARN] " + message; }
inline std::string error(const std::string& message) { return "[vrn_ERROR] " + message; }

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace vorn::test
