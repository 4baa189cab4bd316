#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vorn::tools {

/// Runs gnuplot (from the PATH) on a script fed through a pipe. The script writes each image to
/// a temporary name; only when gnuplot succeeds are the images renamed to their final names,
/// so a failed plot leaves no half-written PNG.
class GnuplotRunner {
 public:
  /// Full path of the gnuplot program, or nothing when it is not installed.
  static std::optional<std::string> findExecutable();

  explicit GnuplotRunner(std::string executable);

  /// Temporary name to use in the script's `set output` for the image `finalPath`.
  std::string temporaryNameFor(const std::string& finalPath);

  /// Runs `script`. On success renames every temporary image to its final name and returns
  /// true; on failure removes them, sets `error` and returns false.
  bool run(const std::string& script, std::string& error);

  /// `text` quoted for a gnuplot string literal (single quotes).
  static std::string quote(const std::string& text);

 private:
  std::string executable_;
  std::vector<std::pair<std::string, std::string>> images_;  ///< temporary, final
};

}  // namespace vorn::tools
