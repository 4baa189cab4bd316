#pragma once

#include <fstream>
#include <string>

namespace vorn::tools {

/// Writes a file so that readers see either the old file or the complete new one, never a
/// half-written one: the text goes to a temporary file in the same directory, which commit()
/// renames over the target. Without commit() (an error, an exception) the temporary file is
/// removed and the target is left as it was.
class AtomicFileWriter {
 public:
  /// Creates the temporary file; throws ToolError when the directory is not writable.
  explicit AtomicFileWriter(std::string path);
  ~AtomicFileWriter();

  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  std::ostream& stream() { return out_; }

  /// Flushes, closes and renames the temporary file to the target path; throws ToolError
  /// when any of that fails (the temporary file is then removed).
  void commit();

  const std::string& path() const { return path_; }

  /// Path of the temporary file (for messages and tests).
  const std::string& temporaryPath() const { return tempPath_; }

 private:
  void discard();

  std::string path_;
  std::string tempPath_;
  std::ofstream out_;
  bool committed_ = false;
};

}  // namespace vorn::tools
