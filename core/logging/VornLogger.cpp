#include "logging/VornLogger.hpp"

#include <iostream>
#include <mutex>

namespace vorn {
namespace {

void writeLine(const char* colour, const char* label, const std::string& message) {
  std::string line;
  line.reserve(64 + message.size());
  line += "[";
  line += VornLogger::kTagColour;
  line += "vrn";
  line += VornLogger::kResetColour;
  line += "_";
  line += colour;
  line += label;
  line += VornLogger::kResetColour;
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
  writeLine(kInfoColour, "INFO", message);
}

void VornLogger::INFO_RUNTIME(const std::string& message) {
  writeLine(kInfoRuntimeColour, "INFO_RUNTIME", message);
}

void VornLogger::WARN(const std::string& message) {
  writeLine(kWarnColour, "WARN", message);
}

void VornLogger::ERROR_LOG(const std::string& message) {
  writeLine(kErrorColour, "ERROR", message);
}

}  // namespace vorn
