#pragma once

// Helpers shared by the compensator tests: configuration files in a private temporary folder,
// capture of standard output, and log-line handling. Standard library only.

#include <unistd.h>

#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "compensator/RigidBodyMotion.hpp"

namespace vorn_test {

/// A fresh folder under the system's temporary directory, removed with its contents at the end.
class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ =
        std::filesystem::temp_directory_path() /
        ("vorn_compensator_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  /// Writes `text` to the file `name` in this folder and returns its path.
  std::string write(const std::string& name, const std::string& text) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

/// Redirects std::cout into a string while alive.
class CoutCapture {
 public:
  CoutCapture() : old_(std::cout.rdbuf(buffer_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(old_); }
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;

  std::string text() const { return buffer_.str(); }
  void clear() { buffer_.str(""); }

 private:
  std::ostringstream buffer_;
  std::streambuf* old_;
};

/// `text` without ANSI colour sequences: "[vrn_INFO] message".
inline std::string stripAnsi(const std::string& text) {
  // ESC '[' digits-and-semicolons 'm'; written out by hand (std::regex trips GCC 12's
  // -Wmaybe-uninitialized in sanitizer builds).
  std::string plain;
  plain.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\x1b' && i + 1 < text.size() && text[i + 1] == '[') {
      std::size_t j = i + 2;
      while (j < text.size() &&
             (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == ';')) {
        ++j;
      }
      if (j < text.size() && text[j] == 'm') {
        i = j;
        continue;
      }
    }
    plain += text[i];
  }
  return plain;
}

/// The lines of `text` (without their line feeds), colours removed.
inline std::vector<std::string> plainLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(stripAnsi(text));
  std::string line;
  while (std::getline(in, line)) {
    lines.push_back(line);
  }
  return lines;
}

/// The exact bytes VornLogger::INFO writes for `message`, line feed included.
inline std::string rawInfoLine(const std::string& message) {
  return "[\x1b[38;2;255;127;0mvrn\x1b[0m_\x1b[38;2;135;206;250mINFO\x1b[0m] " + message + "\n";
}

inline std::string info(const std::string& message) { return "[vrn_INFO] " + message; }
inline std::string warn(const std::string& message) { return "[vrn_WARN] " + message; }
inline std::string error(const std::string& message) { return "[vrn_ERROR] " + message; }

/// The compensator configuration file exactly as the estimator writes it , with or
/// without its bias object, and enable_dynamic_compensation set as asked.
inline std::string estimatorStyleConfig(const Payload& p, bool dynamic, bool withBias,
                                        const std::array<double, 6>& bias = {}) {
  std::ostringstream o;
  o << "{\n"
    << "  \"payload_compensator_config\": {\n"
    << "    \"payload_properties\": {\n"
    << "      \"mass\": " << p.mass << ",\n"
    << "      \"com\": {\n"
    << "        \"x\": " << p.com[0] << ",\n"
    << "        \"y\": " << p.com[1] << ",\n"
    << "        \"z\": " << p.com[2] << "\n"
    << "      },\n"
    << "      \"inertia\": {\n"
    << "        \"Ixx\": " << p.inertia[0] << ",\n"
    << "        \"Ixy\": " << p.inertia[1] << ",\n"
    << "        \"Ixz\": " << p.inertia[2] << ",\n"
    << "        \"Iyy\": " << p.inertia[3] << ",\n"
    << "        \"Iyz\": " << p.inertia[4] << ",\n"
    << "        \"Izz\": " << p.inertia[5] << "\n";
  if (withBias) {
    o << "      },\n"
      << "      \"bias\": {\n"
      << "        \"Fx\": " << bias[0] << ",\n"
      << "        \"Fy\": " << bias[1] << ",\n"
      << "        \"Fz\": " << bias[2] << ",\n"
      << "        \"Tx\": " << bias[3] << ",\n"
      << "        \"Ty\": " << bias[4] << ",\n"
      << "        \"Tz\": " << bias[5] << "\n";
  }
  o << "      }\n"
    << "    },\n"
    << "    \"enable_dynamic_compensation\": " << (dynamic ? "true" : "false") << " \n"
    << "  }\n"
    << "}\n";
  return o.str();
}

/// A payload whose parameters are exactly representable in binary (sums and means of the values
/// it produces stay exact).
inline Payload dyadicPayload() {
  Payload p;
  p.mass = 2.0;
  p.com = {0.25, -0.125, 0.5};
  p.inertia = {0.5, 0.0625, -0.03125, 0.75, 0.015625, 0.625};
  return p;
}

/// A massless payload: the compensated wrench equals the measured one.
inline Payload nullPayload() { return Payload{}; }

/// A sample with the given wrench and a fixed, non-zero IMU block.
inline Sample wrenchSample(const std::array<double, 6>& wrench) {
  return {wrench[0], wrench[1], wrench[2], wrench[3], wrench[4], wrench[5],
          0.0,       0.0,       9.81,      0.0,       0.0,       0.0};
}

}  // namespace vorn_test
