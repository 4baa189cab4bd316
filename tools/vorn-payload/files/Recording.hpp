#pragma once

#include <array>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace vorn::tools {

/// One sensor sample: time stamp (s) and the twelve values in the libraries' order, force (N)
/// 0-2, torque (N·m) 3-5, accelerometer (m/s², gravity included) 6-8, gyro (rad/s) 9-11, all in
/// the sensor frame.
struct StampedSample {
  double t = 0.0;
  std::array<double, 12> values{};
};

/// A sensor recording, kept in memory, read from and written to CSV:
///
///   t,fx,fy,fz,tx,ty,tz,ax,ay,az,wx,wy,wz
///   0,1.52,-0.31,-11.7,...
///
/// one sample per line, SI units, strictly increasing time stamps. Blank lines and lines
/// starting with '#' are skipped; spaces around the numbers are allowed.
class Recording {
 public:
  /// The header line (without line end).
  static const char* csvHeader();

  /// Reads a whole CSV file. Throws ToolError naming the file and the line of the first
  /// problem ("LOG.csv:17: expected 13 numbers, found 12").
  static Recording readCsv(const std::string& path);

  /// Parses CSV text; `name` is used in error messages.
  static Recording parseCsv(std::istream& in, const std::string& name);

  /// Writes the recording as CSV through a temporary file, so that `path` either keeps its old
  /// content or receives the complete new one. Throws ToolError.
  void writeCsv(const std::string& path) const;

  /// Writes the header line and the samples.
  void writeCsv(std::ostream& out) const;

  /// Writes the samples only, for recordings written piece by piece.
  void writeCsvRows(std::ostream& out) const;

  void append(const StampedSample& sample) { samples_.push_back(sample); }
  void reserve(std::size_t count) { samples_.reserve(count); }

  const std::vector<StampedSample>& samples() const { return samples_; }
  std::size_t size() const { return samples_.size(); }
  bool empty() const { return samples_.empty(); }

  /// Time from the first to the last sample (s); 0 for fewer than two samples.
  double duration() const;

  /// Mean sample rate (Hz) over the recording; 0 for fewer than two samples.
  double meanRate() const;

 private:
  std::vector<StampedSample> samples_;
};

}  // namespace vorn::tools
