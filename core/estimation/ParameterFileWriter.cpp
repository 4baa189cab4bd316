#include "estimation/ParameterFileWriter.hpp"

#include <cmath>
#include <cstdint>
#include <exception>
#include <fstream>
#include <locale>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

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

// A hidden name beside the target that no other writer uses.
fs::path temporaryPath(const fs::path& target) {
  std::random_device device;
  const std::uint64_t token = (static_cast<std::uint64_t>(device()) << 32U) ^ device();
  std::ostringstream name;
  name << '.' << target.filename().string() << ".tmp-" << std::hex << token;
  return target.parent_path() / name.str();
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
  fs::path temporary;
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

    temporary = temporaryPath(target);
    std::ofstream out(temporary, std::ios::out | std::ios::trunc);
    if (!out.is_open()) {
      temporary.clear();
      VornLogger::ERROR_LOG("Failed to open file for writing: " + target.string());
      return false;
    }
    // JSON numbers need the classic form whatever the host's global locale is.
    out.imbue(std::locale::classic());
    writeText(out, solution, withBias);
    out.close();
    if (out.fail()) {
      throw std::runtime_error("writing " + temporary.string() + " failed");
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
      throw std::runtime_error("cannot replace " + target.string() + ": " + ec.message());
    }
    temporary.clear();
  } catch (const std::exception& e) {
    if (!temporary.empty()) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
    }
    logFailure(e.what());
    return false;
  }
  VornLogger::INFO("Inertial parameters written to file: " + target.filename().string());
  return true;
}

}  // namespace vorn
