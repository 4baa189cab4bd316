#include "files/AtomicFileWriter.hpp"

#include <filesystem>
#include <utility>

#include "console/ToolError.hpp"
#include "data/AtomicFile.hpp"

namespace vorn::tools {

std::string AtomicFileWriter::checkedPath(std::string path) {
  if (path.empty()) {
    throw ToolError("cannot write a file with an empty name");
  }
  if (std::filesystem::is_directory(path)) {
    throw ToolError("cannot write " + path + ": it is a directory");
  }
  return path;
}

AtomicFileWriter::AtomicFileWriter(std::string path)
    : path_(checkedPath(std::move(path))), file_(std::make_unique<AtomicFile>(path_)) {
  switch (file_->failure()) {
    case AtomicFile::Failure::CannotCreate:
      throw ToolError("cannot write " + path_ + ": cannot create a file in " +
                      file_->directory().string() + ": " + file_->reason());
    case AtomicFile::Failure::CannotOpen:
      throw ToolError("cannot write " + path_ + ": " + file_->reason());
    default:
      break;
  }
  tempPath_ = file_->temporaryPath().string();
}

AtomicFileWriter::~AtomicFileWriter() = default;

std::ostream& AtomicFileWriter::stream() { return file_->stream(); }

void AtomicFileWriter::commit() {
  if (file_->commit()) {
    return;
  }
  if (file_->failure() == AtomicFile::Failure::WriteFailed) {
    throw ToolError("cannot write " + path_ + ": write error (disk full?)");
  }
  throw ToolError("cannot write " + path_ + ": " + file_->reason());
}

void AtomicFileWriter::writeText(const std::string& path, const std::string& text) {
  AtomicFileWriter writer(path);
  writer.stream() << text;
  writer.commit();
}

}  // namespace vorn::tools
