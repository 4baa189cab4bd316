#include "files/AtomicFileWriter.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "console/ToolError.hpp"

namespace vorn::tools {

namespace {

std::string systemError() { return std::strerror(errno); }

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string path) : path_(std::move(path)) {
  if (path_.empty()) {
    throw ToolError("cannot write a file with an empty name");
  }
  const std::filesystem::path target(path_);
  if (std::filesystem::is_directory(target)) {
    throw ToolError("cannot write " + path_ + ": it is a directory");
  }
  const std::filesystem::path directory = target.parent_path();
  const std::string name = target.filename().string();
  std::string pattern =
      (directory.empty() ? std::filesystem::path(".") : directory) / ("." + name + ".tmp.XXXXXX");
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) {
    const std::string shown = directory.empty() ? std::string(".") : directory.string();
    throw ToolError("cannot write " + path_ + ": cannot create a file in " + shown + ": " +
                    systemError());
  }
  // mkstemp creates the file readable by its owner only; give it the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  (void)::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  tempPath_ = buffer.data();
  out_.open(tempPath_, std::ios::out | std::ios::trunc);
  if (!out_) {
    const std::string reason = systemError();
    std::remove(tempPath_.c_str());
    throw ToolError("cannot write " + path_ + ": " + reason);
  }
}

AtomicFileWriter::~AtomicFileWriter() {
  if (!committed_) {
    discard();
  }
}

void AtomicFileWriter::discard() {
  if (out_.is_open()) {
    out_.close();
  }
  if (!tempPath_.empty()) {
    std::remove(tempPath_.c_str());
  }
}

void AtomicFileWriter::commit() {
  if (committed_) {
    return;
  }
  out_.flush();
  const bool written = static_cast<bool>(out_);
  out_.close();
  if (!written || out_.fail()) {
    discard();
    throw ToolError("cannot write " + path_ + ": write error (disk full?)");
  }
  if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    const std::string reason = systemError();
    discard();
    throw ToolError("cannot write " + path_ + ": " + reason);
  }
  committed_ = true;
}

}  // namespace vorn::tools
