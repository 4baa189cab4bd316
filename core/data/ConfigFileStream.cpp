#include "data/ConfigFileStream.hpp"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace vorn {

std::ifstream ConfigFileStream::open(const std::string& path) {
  const std::string openError = "Failed to open configuration file: " + path;
  // std::ifstream opens a directory without complaint and fails only while reading it, which
  // would surface as a parse error: test for it explicitly.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    throw std::runtime_error(openError);
  }
  std::ifstream file(path, std::ios::in);
  if (!file.is_open()) {
    throw std::runtime_error(openError);
  }
  // Any other read failure (badbit on the first read) is an unreadable file, not a syntax error.
  file.peek();
  if (file.bad()) {
    throw std::runtime_error(openError);
  }
  file.clear();
  return file;
}

}  // namespace vorn
