#include "files/PayloadDescription.hpp"

#include <cmath>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "files/AtomicFileWriter.hpp"
#include "console/TextFormat.hpp"
#include "console/ToolError.hpp"
#include "core/identification/InertialParameters.hpp"

namespace vorn::tools {

namespace {

using nlohmann::json;

constexpr const char* kInertiaKeys[6] = {"Ixx", "Ixy", "Ixz", "Iyy", "Iyz", "Izz"};
constexpr const char* kBiasKeys[6] = {"Fx", "Fy", "Fz", "Tx", "Ty", "Tz"};
constexpr const char* kAxisKeys[3] = {"x", "y", "z"};

/// Reads named numbers from a JSON object with messages that name the file and the key.
class JsonReader {
 public:
  explicit JsonReader(std::string name) : name_(std::move(name)) {}

  const json& object(const json& parent, const std::string& key, const std::string& where) const {
    if (!parent.contains(key)) {
      fail(where + "\"" + key + "\" is missing");
    }
    const json& value = parent.at(key);
    if (!value.is_object()) {
      fail(where + "\"" + key + "\" must be an object");
    }
    return value;
  }

  double number(const json& parent, const std::string& key, const std::string& where) const {
    if (!parent.contains(key)) {
      fail(where + "\"" + key + "\" is missing");
    }
    const json& value = parent.at(key);
    if (!value.is_number()) {
      fail(where + "\"" + key + "\" must be a number, found " + value.type_name());
    }
    const double number = value.get<double>();
    if (!std::isfinite(number)) {
      fail(where + "\"" + key + "\" must be a finite number");
    }
    return number;
  }

  [[noreturn]] void fail(const std::string& message) const {
    throw ToolError(name_ + ": " + message);
  }

 private:
  std::string name_;
};

Eigen::Vector3d vector3(const std::array<double, 3>& a) { return {a[0], a[1], a[2]}; }

/// The upper-triangle entries (Ixx, Ixy, Ixz, Iyy, Iyz, Izz) of a symmetric matrix.
std::array<double, 6> entries(const Eigen::Matrix3d& m) {
  const InertialParameters::Vector6 v = InertialParameters::vech(m);
  return {v[0], v[1], v[2], v[3], v[4], v[5]};
}

/// The inertia of a point mass m at offset d from the reference point, as the demo's payload was
/// first composed. InertialParameters::parallelAxisTerm is the same quantity rounded in another
/// order: this one stays so that the demo's true-payload.json keeps its last digits.
std::array<double, 6> demoShift(double m, const std::array<double, 3>& d) {
  const double x = d[0], y = d[1], z = d[2];
  return {m * (y * y + z * z), -m * x * y, -m * x * z,
          m * (x * x + z * z), -m * y * z, m * (x * x + y * y)};
}

}  // namespace

PayloadDescription PayloadDescription::readJson(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    throw ToolError("cannot open payload description " + path + ": " +
                    TextFormat::systemErrorText());
  }
  std::stringstream text;
  text << in.rdbuf();
  return parseJson(text.str(), path);
}

PayloadDescription PayloadDescription::parseJson(const std::string& text, const std::string& name) {
  const JsonReader reader(name);
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {
    reader.fail(std::string("not valid JSON: ") + e.what());
  }
  if (!root.is_object()) {
    reader.fail("expected a JSON object with \"mass\" and \"com\"");
  }
  PayloadDescription payload;
  payload.mass = reader.number(root, "mass", "");
  if (!(payload.mass > 0.0)) {
    reader.fail("\"mass\" must be positive");
  }
  const json& com = reader.object(root, "com", "");
  for (int i = 0; i < 3; ++i) {
    payload.com[i] = reader.number(com, kAxisKeys[i], "in \"com\": ");
  }
  if (root.contains("inertia_about_com")) {
    const json& inertia = reader.object(root, "inertia_about_com", "");
    for (int i = 0; i < 6; ++i) {
      payload.inertiaAboutCom[i] =
          reader.number(inertia, kInertiaKeys[i], "in \"inertia_about_com\": ");
    }
  }
  if (root.contains("bias")) {
    const json& bias = reader.object(root, "bias", "");
    for (int i = 0; i < 6; ++i) {
      payload.bias[i] = reader.number(bias, kBiasKeys[i], "in \"bias\": ");
    }
  }
  return payload;
}

std::string PayloadDescription::toJsonText() const {
  json root = json::object();
  root["mass"] = mass;
  root["com"] = {{"x", com[0]}, {"y", com[1]}, {"z", com[2]}};
  json inertia = json::object();
  json offsets = json::object();
  for (int i = 0; i < 6; ++i) {
    inertia[kInertiaKeys[i]] = inertiaAboutCom[i];
    offsets[kBiasKeys[i]] = bias[i];
  }
  root["inertia_about_com"] = inertia;
  root["bias"] = offsets;
  return root.dump(2) + "\n";
}

void PayloadDescription::writeJson(const std::string& path) const {
  AtomicFileWriter::writeText(path, toJsonText());
}

std::array<double, 6> PayloadDescription::inertiaAboutOrigin() const {
  return entries(inertialParameters().inertiaAboutOrigin());
}

InertialParameters PayloadDescription::inertialParameters() const {
  const std::array<double, 6>& i = inertiaAboutCom;
  return {mass, vector3(com),
          InertialParameters::symmetricFromVech(
              (InertialParameters::Vector6() << i[0], i[1], i[2], i[3], i[4], i[5]).finished())};
}

PayloadDescription PayloadDescription::demoGripper() {
  // Gripper body: a 0.85 kg block, 90 x 70 x 110 mm, its centre 55 mm above the sensor and a
  // few millimetres off the axis.
  const double bodyMass = 0.85;
  const std::array<double, 3> bodyCentre{0.004, -0.002, 0.055};
  const double a = 0.09, b = 0.07, c = 0.11;
  const std::array<double, 6> bodyInertia{
      bodyMass * (b * b + c * c) / 12.0, 0.0, 0.0,
      bodyMass * (a * a + c * c) / 12.0, 0.0, bodyMass * (a * a + b * b) / 12.0};
  // Tool held in the fingers: a 0.35 kg rod, 24 mm across and 160 mm long, lying along the
  // sensor x axis, 125 mm above the sensor and pushed 45 mm sideways.
  const double toolMass = 0.35;
  const std::array<double, 3> toolCentre{0.045, 0.010, 0.125};
  const double r = 0.012, length = 0.16;
  const double across = toolMass * (3.0 * r * r + length * length) / 12.0;
  const std::array<double, 6> toolInertia{0.5 * toolMass * r * r, 0.0, 0.0, across, 0.0, across};

  PayloadDescription payload;
  payload.mass = bodyMass + toolMass;
  for (int i = 0; i < 3; ++i) {
    payload.com[i] = (bodyMass * bodyCentre[i] + toolMass * toolCentre[i]) / payload.mass;
  }
  std::array<double, 3> bodyOffset{}, toolOffset{};
  for (int i = 0; i < 3; ++i) {
    bodyOffset[i] = bodyCentre[i] - payload.com[i];
    toolOffset[i] = toolCentre[i] - payload.com[i];
  }
  const std::array<double, 6> bodyShift = demoShift(bodyMass, bodyOffset);
  const std::array<double, 6> toolShift = demoShift(toolMass, toolOffset);
  for (int i = 0; i < 6; ++i) {
    payload.inertiaAboutCom[i] = bodyInertia[i] + bodyShift[i] + toolInertia[i] + toolShift[i];
  }
  payload.bias = {1.5, -0.8, 2.0, 0.05, -0.03, 0.02};
  return payload;
}

}  // namespace vorn::tools
