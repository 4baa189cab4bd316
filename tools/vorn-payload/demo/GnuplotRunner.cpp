#include "demo/GnuplotRunner.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace vorn::tools {

std::optional<std::string> GnuplotRunner::findExecutable() {
  const char* path = std::getenv("PATH");
  if (path == nullptr) {
    return std::nullopt;
  }
  std::string directories(path);
  std::size_t start = 0;
  while (start <= directories.size()) {
    const std::size_t end = std::min(directories.find(':', start), directories.size());
    const std::string directory = directories.substr(start, end - start);
    const std::filesystem::path candidate =
        std::filesystem::path(directory.empty() ? "." : directory) / "gnuplot";
    std::error_code ignored;
    if (std::filesystem::is_regular_file(candidate, ignored) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate.string();
    }
    start = end + 1;
  }
  return std::nullopt;
}

GnuplotRunner::GnuplotRunner(std::string executable) : executable_(std::move(executable)) {}

std::string GnuplotRunner::temporaryNameFor(const std::string& finalPath) {
  const std::filesystem::path final(finalPath);
  const std::string temporary =
      (final.parent_path() / ("." + final.filename().string() + ".part")).string();
  images_.emplace_back(temporary, finalPath);
  return temporary;
}

std::string GnuplotRunner::quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

bool GnuplotRunner::run(const std::string& script, std::string& error) {
  const std::string command = "'" + executable_ + "'";  // a path from PATH, no quotes expected
  std::fflush(stdout);
  FILE* pipe = ::popen(command.c_str(), "w");
  bool ok = pipe != nullptr;
  if (!ok) {
    error = "cannot start " + executable_;
  } else {
    const bool written = std::fwrite(script.data(), 1, script.size(), pipe) == script.size();
    const int status = ::pclose(pipe);
    ok = written && status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok) {
      error = "gnuplot reported an error";
    }
  }
  for (const auto& [temporary, final] : images_) {
    std::error_code code;
    if (ok && std::filesystem::exists(temporary, code)) {
      std::filesystem::rename(temporary, final, code);
      if (code) {
        ok = false;
        error = "cannot rename " + temporary + ": " + code.message();
      }
    } else {
      std::filesystem::remove(temporary, code);
    }
  }
  images_.clear();
  return ok;
}

}  // namespace vorn::tools
