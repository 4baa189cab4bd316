#include "EstimatorReport.hpp"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace vorn::accuracy {

namespace {

constexpr const char* kReportTitle = "PAYLOAD ESTIMATION RESULTS";
constexpr const char* kStdLabel = "std:";

/// The numbers of one "std:" line: a single value or a bracketed, comma-separated list.
std::vector<double> numbersAfterLabel(const std::string& line) {
  std::vector<double> values;
  const std::size_t label = line.find(kStdLabel);
  if (label == std::string::npos) {
    return values;
  }
  const char* cursor = line.c_str() + label + std::string(kStdLabel).size();
  while (*cursor != '\0') {
    if (*cursor == ' ' || *cursor == '[' || *cursor == ']' || *cursor == ',') {
      ++cursor;
      continue;
    }
    char* end = nullptr;
    const double value = std::strtod(cursor, &end);
    if (end == cursor) {
      break;
    }
    values.push_back(value);
    cursor = end;
  }
  return values;
}

}  // namespace

std::string EstimatorReport::withoutColours(const std::string& text) {
  std::string plain;
  plain.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\033' && i + 1 < text.size() && text[i + 1] == '[') {
      std::size_t j = i + 2;
      while (j < text.size() && text[j] != 'm') {
        ++j;
      }
      i = j;
      continue;
    }
    plain += text[i];
  }
  return plain;
}

std::optional<std::array<double, 16>> EstimatorReport::standardDeviations(
    const std::string& consoleText) {
  const std::string plain = withoutColours(consoleText);
  const std::size_t title = plain.rfind(kReportTitle);
  if (title == std::string::npos) {
    return std::nullopt;
  }
  std::istringstream lines(plain.substr(title));
  std::vector<double> values;
  std::string line;
  while (std::getline(lines, line) && values.size() < 16) {
    for (const double v : numbersAfterLabel(line)) {
      values.push_back(v);
    }
  }
  if (values.size() != 16) {
    return std::nullopt;
  }
  std::array<double, 16> result{};
  for (std::size_t i = 0; i < 16; ++i) {
    result[i] = values[i];
  }
  return result;
}

}  // namespace vorn::accuracy
