#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include <Eigen/Core>

namespace vorn {

/// Writes an estimated payload as a compensator configuration file (static compensation, the
/// estimated bias optionally included), safely: the text goes to a temporary file beside the
/// target, which replaces the target only once it has been written completely. The solution
/// vector holds mass (kg), centre of mass x, y, z (m), inertia Ixx, Ixy, Ixz, Iyy, Iyz, Izz about
/// the sensor origin (kg·m²), force bias x, y, z (N) and torque bias x, y, z (N·m).
class ParameterFileWriter {
 public:
  ParameterFileWriter() = delete;

  /// The file `fileName` in the directory of `configPath`: an absolute `fileName` is used as it
  /// is, and a `configPath` without a directory gives the bare `fileName` (working directory).
  static std::filesystem::path outputPath(const std::string& configPath,
                                          const std::string& fileName);

  /// Writes the file text for `solution` (16 entries) to `out` with the stream's formatting;
  /// the "bias" object is included when `withBias` is true.
  static void writeText(std::ostream& out, const Eigen::VectorXd& solution, bool withBias);

  /// Writes `solution` to `target` and logs the outcome. Refuses (ERROR "Failed to write inertial
  /// parameters to file: " + reason) a solution with a non-finite value among those written, a
  /// target without a file name and a target that is the file at `configPath`; logs ERROR
  /// "Failed to open file for writing: " + target when the file cannot be created, and the same
  /// "Failed to write ..." line when writing or replacing fails. On any failure existing files are
  /// left untouched. On success logs INFO "Inertial parameters written to file: " + file name.
  /// Returns true on success; never throws std::exception.
  static bool write(const std::filesystem::path& target, const std::string& configPath,
                    const Eigen::VectorXd& solution, bool withBias);
};

}  // namespace vorn
