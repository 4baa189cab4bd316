#pragma once

// Temporary folders and whole-file text for the tests. Standard library only, so that tests of the
// public API can use it as well as tests of the core.

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace vorn::test {

/// The bytes of the file at `path`; empty when it cannot be read.
inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Replaces the file at `path` with `text`, byte for byte.
inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

/// A fresh folder of its own under the system's temporary directory (created with mkdtemp, so two
/// processes or two objects never share one), removed with its contents at the end, also when a
/// test has taken away the owner's permissions.
class TempDir {
 public:
  TempDir() {
    // A fixed buffer: test programs that replace operator new include this header too.
    const std::string pattern =
        (std::filesystem::temp_directory_path() / "vorn-test-XXXXXX").string();
    char buffer[4096] = {};
    if (pattern.size() < sizeof(buffer)) {
      pattern.copy(buffer, pattern.size());
      if (::mkdtemp(buffer) != nullptr) {
        path_ = buffer;
      }
    }
  }
  ~TempDir() {
    if (path_.empty()) {
      return;
    }
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  /// The path of `name` in this folder.
  std::string file(const std::string& name) const { return (path_ / name).string(); }

  /// Writes `text` to `name` in this folder and returns its path.
  std::string write(const std::string& name, const std::string& text) const {
    const std::string target = file(name);
    writeFile(target, text);
    return target;
  }

  /// Names of the entries in the folder, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace vorn::test
