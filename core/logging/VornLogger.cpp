#include "logging/VornLogger.hpp"

#include <iostream>
#include <mutex>

namespace vorn {
namespace {

constexpr const char* kTagColour = "\033[38;2;255;127;0m";
constexpr const char* kReset = "\033[0m";

void writeLine(const char* colour, const char* label, const std::string& message) {
  std::string line;
  line.reserve(64 + message.size());
  line += "[";
  line += kTagColour;
  line += "vrn";
  line += kReset;
  line += "_";
  line += colour;
  line += label;
  line += kReset;
  line += "] ";
  line += message;
  line += '\n';
  const std::lock_guard<std::mutex> lock(VornLogger::consoleMutex());
  std::cout << line << std::flush;
}

}  // namespace

std::mutex& VornLogger::consoleMutex() {
  static std::mutex mutex;
  return mutex;
}

void VornLogger::INFO(const std::string& message) {
  writeLine("\033[38;2;135;206;250m", "INFO", message);
}

void VornLogger::INFO_RUNTIME(const std::string& message) {
  writeLine("\033[38;2;61;104;245m", "INFO_RUNTIME", message);
}

void VornLogger::WARN(const std::string& message) {
  writeLine("\033[38;2;255;255;0m", "WARN", message);
}

void VornLogger::ERROR_LOG(const std::string& message) {
  writeLine("\033[38;2;255;0;0m", "ERROR", message);
}

}  // namespace vorn
