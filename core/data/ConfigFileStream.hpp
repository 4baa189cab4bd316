#pragma once

#include <fstream>
#include <string>

namespace vorn {

/// Opens a JSON configuration file for reading.
class ConfigFileStream {
public:
  /// An input stream positioned at the start of the file at `path`. Throws std::runtime_error
  /// "Failed to open configuration file: <path>" when the file is missing, is a directory or
  /// cannot be read.
  static std::ifstream open(const std::string& path);
};

}  // namespace vorn
