#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <unistd.h>

namespace vorn {
namespace fuzz {

/// Reads doubles and bytes from the fuzzer's input; returns zeros once the input is used up.
class FuzzInput {
public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return offset_ >= size_; }

  uint8_t byte() {
    if (offset_ >= size_) {
      return 0;
    }
    return data_[offset_++];
  }

  double number() {
    double value = 0.0;
    if (offset_ + sizeof(double) <= size_) {
      std::memcpy(&value, data_ + offset_, sizeof(double));
      offset_ += sizeof(double);
    } else {
      offset_ = size_;
    }
    return value;
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

/// Writes `text` to a per-process scratch file and returns its path.
inline std::string writeScratchFile(const std::string& stem, const uint8_t* data, size_t size) {
  const std::string path = "/tmp/vorn-fuzz-" + stem + "-" + std::to_string(getpid()) + ".json";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file != nullptr) {
    if (size > 0) {
      std::fwrite(data, 1, size, file);
    }
    std::fclose(file);
  }
  return path;
}

}  // namespace fuzz
}  // namespace vorn
