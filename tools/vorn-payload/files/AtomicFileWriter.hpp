#pragma once

#include <memory>
#include <ostream>
#include <string>

namespace vorn {
class AtomicFile;
}

namespace vorn::tools {

/// The tool's view of the core's AtomicFile: readers see either the old file or the complete new
/// one, never a half-written one; failures are thrown as ToolError with the path in the message.
/// Without commit() (an error, an exception) the temporary file is removed and the target is
/// left as it was.
class AtomicFileWriter {
 public:
  /// Creates the temporary file; throws ToolError when the directory is not writable.
  explicit AtomicFileWriter(std::string path);
  ~AtomicFileWriter();

  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  std::ostream& stream();

  /// Flushes, closes and renames the temporary file to the target path; throws ToolError
  /// when any of that fails (the temporary file is then removed).
  void commit();

  /// Writes `text` as the whole file at `path` (atomically); throws ToolError.
  static void writeText(const std::string& path, const std::string& text);

  const std::string& path() const { return path_; }

  /// Path of the temporary file (for messages and tests).
  const std::string& temporaryPath() const { return tempPath_; }

 private:
  static std::string checkedPath(std::string path);

  std::string path_;
  std::unique_ptr<AtomicFile> file_;
  std::string tempPath_;
};

}  // namespace vorn::tools
