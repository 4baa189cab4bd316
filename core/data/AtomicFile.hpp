#pragma once

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

namespace vorn {

/// A file that replaces its target whole or not at all: the text goes to a hidden temporary
/// file beside the target (".name.tmp.XXXXXX", created exclusively, with the permissions a new
/// file gets under the umask), which commit() renames over the target. Without a successful
/// commit() (an error, an exception) the temporary file is removed and the target is left as it
/// was, so a reader sees the old file or the complete new one. Reports failures by value, so
/// that each caller words them its own way.
class AtomicFile {
 public:
  /// What went wrong, in the order the steps are taken.
  enum class Failure {
    None,           ///< nothing so far
    CannotCreate,   ///< the temporary file could not be created in the target's directory
    CannotOpen,     ///< the temporary file was created but could not be opened for writing
    WriteFailed,    ///< writing or closing the temporary file failed (a full disk, say)
    CannotReplace,  ///< renaming the temporary file over the target failed
  };

  /// Creates the temporary file in the directory of `target` (the working directory when
  /// `target` has none); check isOpen() before writing.
  explicit AtomicFile(std::filesystem::path target);
  ~AtomicFile();

  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  /// True while the temporary file is open and nothing has failed.
  bool isOpen() const { return failure_ == Failure::None && out_.is_open(); }

  /// The stream to the temporary file.
  std::ostream& stream() { return out_; }

  /// Flushes, closes and renames the temporary file to the target. Returns false on failure
  /// (failure() and reason() say why; the temporary file is then removed). A second call after
  /// a successful one does nothing and returns true.
  bool commit();

  Failure failure() const { return failure_; }

  /// The system's wording of the failure (strerror), empty when there is none or none applies.
  const std::string& reason() const { return reason_; }

  const std::filesystem::path& target() const { return target_; }

  /// The directory the temporary file is created in ("." for a target without one).
  std::filesystem::path directory() const;

  /// Path of the temporary file; empty when it could not be created.
  const std::filesystem::path& temporaryPath() const { return temporary_; }

 private:
  void fail(Failure failure, std::string reason);
  void discard();

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::ofstream out_;
  Failure failure_ = Failure::None;
  std::string reason_;
  bool committed_ = false;
};

}  // namespace vorn
