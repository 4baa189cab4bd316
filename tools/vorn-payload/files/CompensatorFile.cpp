#include "files/CompensatorFile.hpp"

#include <fstream>

#include <nlohmann/json.hpp>

#include "files/AtomicFileWriter.hpp"
#include "console/TextFormat.hpp"
#include "console/ToolError.hpp"

namespace vorn::tools {

namespace {

using nlohmann::ordered_json;

ordered_json load(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    throw ToolError("cannot open " + path + ": " + TextFormat::systemErrorText());
  }
  try {
    return ordered_json::parse(in);
  } catch (const ordered_json::exception& e) {
    throw ToolError(path + ": not valid JSON: " + e.what());
  }
}

}  // namespace

CompensatorFile CompensatorFile::readJson(const std::string& path) {
  const ordered_json root = load(path);
  CompensatorFile file;
  try {
    const ordered_json& config = root.at("payload_compensator_config");
    const ordered_json& properties = config.at("payload_properties");
    file.mass = properties.at("mass").get<double>();
    const char* axes[3] = {"x", "y", "z"};
    for (std::size_t i = 0; i < 3; ++i) {
      file.com[i] = properties.at("com").at(axes[i]).get<double>();
    }
    const char* entries[6] = {"Ixx", "Ixy", "Ixz", "Iyy", "Iyz", "Izz"};
    for (std::size_t i = 0; i < 6; ++i) {
      file.inertia[i] = properties.at("inertia").at(entries[i]).get<double>();
    }
    if (properties.contains("bias")) {
      const char* components[6] = {"Fx", "Fy", "Fz", "Tx", "Ty", "Tz"};
      for (std::size_t i = 0; i < 6; ++i) {
        file.bias[i] = properties.at("bias").at(components[i]).get<double>();
      }
      file.hasBias = true;
    }
    file.dynamicCompensation = config.at("enable_dynamic_compensation").get<bool>();
  } catch (const ordered_json::exception& e) {
    throw ToolError(path + ": not a compensator configuration: " + e.what());
  }
  return file;
}

void CompensatorFile::writeCopy(const std::string& source, const std::string& destination,
                                bool enable) {
  ordered_json root = load(source);
  if (!root.is_object() || !root.contains("payload_compensator_config") ||
      !root["payload_compensator_config"].is_object()) {
    throw ToolError(source + ": not a compensator configuration");
  }
  root["payload_compensator_config"]["enable_dynamic_compensation"] = enable;
  AtomicFileWriter::writeText(destination, root.dump(2) + "\n");
}

}  // namespace vorn::tools
