#pragma once

#include <filesystem>
#include <string>

#include "StdoutSilencer.hpp"

namespace vorn::bench {

/// A private temporary folder `<temp>/<prefix>-<pid>` for configuration and output files, removed
/// with everything in it at the end; standard output is silenced while it exists.
class QuietFolder {
 public:
  explicit QuietFolder(const std::string& prefix);
  ~QuietFolder();

  QuietFolder(const QuietFolder&) = delete;
  QuietFolder& operator=(const QuietFolder&) = delete;

  const std::filesystem::path& path() const { return dir_; }

 private:
  StdoutSilencer quiet_;
  std::filesystem::path dir_;
};

}  // namespace vorn::bench
