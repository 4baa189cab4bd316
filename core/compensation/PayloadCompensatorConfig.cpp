#include "compensation/PayloadCompensatorConfig.hpp"

#include <exception>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include <nlohmann/json.hpp>

#include "data/ConfigFileStream.hpp"
#include "logging/VornLogger.hpp"

namespace vorn {

PayloadCompensatorConfig::PayloadCompensatorConfig(const std::string& configPath)
    : configPath_(configPath) {
  loadConfigFromFile(configPath);
}

void PayloadCompensatorConfig::loadConfigFromFile(const std::string& configPath) {
  std::ifstream file = ConfigFileStream::open(configPath);

  double mass = 0.0;
  Eigen::Vector3d com;
  Eigen::Matrix<double, 6, 1> inertia;
  bool dynamic = false;
  try {
    nlohmann::json json;
    // Stream extraction, as the file format specifies: text after the first value is not read.
    file >> json;
    const nlohmann::json& config = json.at("payload_compensator_config");
    const nlohmann::json& properties = config.at("payload_properties");

    mass = properties.at("mass").get<double>();

    const nlohmann::json& comJson = properties.at("com");
    const double cx = comJson.at("x").get<double>();
    const double cy = comJson.at("y").get<double>();
    const double cz = comJson.at("z").get<double>();
    com << cx, cy, cz;

    const nlohmann::json& inertiaJson = properties.at("inertia");
    const double ixx = inertiaJson.at("Ixx").get<double>();
    const double ixy = inertiaJson.at("Ixy").get<double>();
    const double ixz = inertiaJson.at("Ixz").get<double>();
    const double iyy = inertiaJson.at("Iyy").get<double>();
    const double iyz = inertiaJson.at("Iyz").get<double>();
    const double izz = inertiaJson.at("Izz").get<double>();
    inertia << ixx, ixy, ixz, iyy, iyz, izz;

    dynamic = config.at("enable_dynamic_compensation").get<bool>();
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("Error parsing configuration file: ") + e.what());
  }

  this->mass = mass;
  this->com = com;
  this->inertia = inertia;
  this->enable_dynamic_compensation = dynamic ? 1.0 : 0.0;
  VornLogger::INFO("Configuration file has been parsed successfully");
}

}  // namespace vorn
