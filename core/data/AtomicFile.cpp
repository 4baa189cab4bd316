#include "data/AtomicFile.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace vorn {

namespace fs = std::filesystem;

AtomicFile::AtomicFile(fs::path target) : target_(std::move(target)) {
  const std::string pattern =
      (directory() / ("." + target_.filename().string() + ".tmp.XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) {
    fail(Failure::CannotCreate, std::strerror(errno));
    return;
  }
  // mkstemp creates the file readable by its owner only; give it the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  (void)::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  temporary_ = buffer.data();
  out_.open(temporary_, std::ios::out | std::ios::trunc);
  if (!out_) {
    const std::string reason = std::strerror(errno);
    discard();
    fail(Failure::CannotOpen, reason);
  }
}

AtomicFile::~AtomicFile() {
  if (!committed_) {
    discard();
  }
}

fs::path AtomicFile::directory() const {
  const fs::path parent = target_.parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

bool AtomicFile::commit() {
  if (committed_) {
    return true;
  }
  if (failure_ != Failure::None) {
    return false;
  }
  out_.flush();
  const bool written = static_cast<bool>(out_);
  out_.close();
  if (!written || out_.fail()) {
    discard();
    fail(Failure::WriteFailed, "");
    return false;
  }
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    discard();
    fail(Failure::CannotReplace, reason);
    return false;
  }
  committed_ = true;
  return true;
}

void AtomicFile::fail(Failure failure, std::string reason) {
  failure_ = failure;
  reason_ = std::move(reason);
}

void AtomicFile::discard() {
  if (out_.is_open()) {
    out_.close();
  }
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
  }
}

}  // namespace vorn
