#include "estimation/ParameterFileWriter.hpp"

#include <cmath>
#include <exception>
#include <locale>
#include <system_error>

#include "data/AtomicFile.hpp"
#include "logging/VornLogger.hpp"

namespace vorn {
namespace {

namespace fs = std::filesystem;

const char* const kNames[16] = {"mass", "com.x", "com.y", "com.z", "Ixx", "Ixy", "Ixz", "Iyy",
                                "Iyz",  "Izz",   "Fx",    "Fy",    "Fz",  "Tx",  "Ty",  "Tz"};

void logFailure(const std::string& reason) {
  VornLogger::ERROR_LOG("Failed to write inertial parameters to file: " + reason);
}

// True when both paths name the same file: the same location after resolving ".", ".." and
// symbolic links, or two links to one file.
bool sameFile(const fs::path& a, const fs::path& b) {
  std::error_code ecA;
  std::error_code ecB;
  const fs::path canonicalA = fs::weakly_canonical(a, ecA);
  const fs::path canonicalB = fs::weakly_canonical(b, ecB);
  if (!ecA && !ecB && canonicalA == canonicalB) {
    return true;
  }
  std::error_code ecEq;
  return fs::equivalent(a, b, ecEq) && !ecEq;
}

}  // namespace

fs::path ParameterFileWriter::outputPath(const std::string& configPath,
                                         const std::string& fileName) {
  return fs::path(configPath).parent_path() / fs::path(fileName);
}

void ParameterFileWriter::writeText(std::ostream& out, const Eigen::VectorXd& s, bool withBias) {
  out << "{\n";
  out << "  \"payload_compensator_config\": {\n";
  out << "    \"payload_properties\": {\n";
  out << "      \"mass\": " << s[0] << ",\n";
  out << "      \"com\": {\n";
  out << "        \"x\": " << s[1] << ",\n";
  out << "        \"y\": " << s[2] << ",\n";
  out << "        \"z\": " << s[3] << "\n";
  out << "      },\n";
  out << "      \"inertia\": {\n";
  out << "        \"Ixx\": " << s[4] << ",\n";
  out << "        \"Ixy\": " << s[5] << ",\n";
  out << "        \"Ixz\": " << s[6] << ",\n";
  out << "        \"Iyy\": " << s[7] << ",\n";
  out << "        \"Iyz\": " << s[8] << ",\n";
  out << "        \"Izz\": " << s[9] << "\n";
  if (withBias) {
    out << "      },\n";
    out << "      \"bias\": {\n";
    out << "        \"Fx\": " << s[10] << ",\n";
    out << "        \"Fy\": " << s[11] << ",\n";
    out << "        \"Fz\": " << s[12] << ",\n";
    out << "        \"Tx\": " << s[13] << ",\n";
    out << "        \"Ty\": " << s[14] << ",\n";
    out << "        \"Tz\": " << s[15] << "\n";
  }
  out << "      }\n";
  out << "    },\n";
  out << "    \"enable_dynamic_compensation\": false \n";
  out << "  }\n";
  out << "}\n";
}

bool ParameterFileWriter::write(const fs::path& target, const std::string& configPath,
                                const Eigen::VectorXd& solution, bool withBias) {
  try {
    const int written = withBias ? 16 : 10;
    if (solution.size() < written) {
      logFailure("the solution has " + std::to_string(solution.size()) + " values, " +
                 std::to_string(written) + " are needed");
      return false;
    }
    for (int i = 0; i < written; ++i) {
      if (!std::isfinite(solution[i])) {
        logFailure(std::string("the estimated ") + kNames[i] + " is not finite (" +
                   std::to_string(solution[i]) + ")");
        return false;
      }
    }
    if (!target.has_filename()) {
      logFailure("the output file name is empty (" + target.string() + ")");
      return false;
    }
    if (sameFile(target, configPath)) {
      logFailure(target.string() + " is the estimator configuration file itself");
      return false;
    }

    AtomicFile file(target);
    if (!file.isOpen()) {
      VornLogger::ERROR_LOG("Failed to open file for writing: " + target.string());
      return false;
    }
    // JSON numbers need the classic form whatever the host's global locale is.
    file.stream().imbue(std::locale::classic());
    writeText(file.stream(), solution, withBias);
    if (!file.commit()) {
      logFailure(file.failure() == AtomicFile::Failure::WriteFailed
                     ? "writing " + file.temporaryPath().string() + " failed"
                     : "cannot replace " + target.string() + ": " + file.reason());
      return false;
    }
  } catch (const std::exception& e) {
    logFailure(e.what());
    return false;
  }
  VornLogger::INFO("Inertial parameters written to file: " + target.filename().string());
  return true;
}

}  // namespace vorn
