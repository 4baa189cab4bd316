#include "QuietFolder.hpp"

#include <unistd.h>

#include <system_error>

namespace vorn::bench {

QuietFolder::QuietFolder(const std::string& prefix)
    : dir_(std::filesystem::temp_directory_path() /
           (prefix + "-" + std::to_string(::getpid()))) {
  std::filesystem::create_directories(dir_);
}

QuietFolder::~QuietFolder() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

}  // namespace vorn::bench
