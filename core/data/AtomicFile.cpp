#include "data/AtomicFile.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

namespace vorn {

namespace fs = std::filesystem;

namespace {

/// Creates `pattern` with its last six characters replaced by a fresh suffix, exclusively
/// (O_EXCL: never an existing file or a symbolic link) and with mode 0666, which the kernel
/// masks by the umask: the permissions any new file gets. mkstemp's file is its owner's only,
/// and widening it needs the umask, which can only be read by changing it for the whole
/// process, so that a file another thread creates meanwhile gets the wrong permissions. Returns
/// the descriptor, or −1 with errno set.
int createExclusive(std::string& pattern) {
  static std::atomic<std::uint64_t> counter{0};
  constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  constexpr std::uint64_t kBase = sizeof kDigits - 1;
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // Process, clock and a counter, so that neither other processes nor threads nor earlier
    // attempts of this one pick the same suffix; a clash is retried with the next one.
    std::uint64_t x = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ULL ^
                      static_cast<std::uint64_t>(
                          std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      (counter.fetch_add(1, std::memory_order_relaxed) * 0xBF58476D1CE4E5B9ULL);
    for (std::size_t i = pattern.size() - 6; i < pattern.size(); ++i) {
      pattern[i] = kDigits[x % kBase];
      x /= kBase;
    }
    const int fd = ::open(pattern.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      return fd;
    }
  }
  return -1;  // errno is EEXIST
}

}  // namespace

AtomicFile::AtomicFile(fs::path target) : target_(std::move(target)) {
  std::string name =
      (directory() / ("." + target_.filename().string() + ".tmp.XXXXXX")).string();
  const int fd = createExclusive(name);
  if (fd < 0) {
    fail(Failure::CannotCreate, std::strerror(errno));
    return;
  }
  ::close(fd);
  temporary_ = name;
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
