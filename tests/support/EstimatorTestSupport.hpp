#pragma once

// Helpers shared by the estimator tests: estimator configuration files built from dotted keys and
// synthetic sensor samples of a rigid payload, beside the common temporary folders, capture of
// standard output and logger lines.
// Standard library only, so that public-API tests can use it too.

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/LogLines.hpp"
#include "support/RigidBodySamples.hpp"
#include "support/StdoutCapture.hpp"
#include "support/TempDir.hpp"

namespace vorn::test {

/// Runs a block with another working directory and restores the previous one.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& dir)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~WorkingDirectory() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

/// `text` without the estimator's once-a-second progress lines, which may appear in any test
/// that runs the estimation for more than a second of process time.
inline std::string withoutProgress(const std::string& text) {
  std::istringstream in(text);
  std::string kept;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("[ESTIMATOR] Estimating, keep moving the payload...") == std::string::npos) {
      kept += line + "\n";
    }
  }
  return kept;
}

/// The message of the std::runtime_error that constructing a T from the file at `path` throws,
/// or "(no exception)" when it loads.
template <typename T>
std::string constructionError(const std::string& path) {
  try {
    T loaded(path);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no exception)";
}

/// A number as a JSON literal that reads back as the same double (17 significant digits).
inline std::string literal(double value) {
  std::ostringstream text;
  text.precision(17);
  text << value;
  return text.str();
}

/// Estimator configuration as dotted key -> JSON literal below "payload_estimator_config",
/// e.g. "prior_payload_properties.com.x" -> "0.01". Defaults: a 1.5 kg prior, the noise of a
/// typical sensor, thresholds so loose that the prior alone counts as converged, min_time 0.
class ConfigText {
 public:
  ConfigText() {
    set("output_config_file_name", "\"payload.json\"");
    set("min_time", "0");
    set("max_time", "100");
    set("prior_payload_properties.mass", "1.5");
    set("prior_payload_properties.com.x", "0.01");
    set("prior_payload_properties.com.y", "-0.02");
    set("prior_payload_properties.com.z", "0.05");
    const char* inertia[] = {"Ixx", "Ixy", "Ixz", "Iyy", "Iyz", "Izz"};
    const char* inertiaValues[] = {"0.01", "0", "0", "0.02", "0", "0.03"};
    for (int i = 0; i < 6; ++i) {
      set(std::string("prior_payload_properties.inertia.") + inertia[i], inertiaValues[i]);
    }
    setNoise("force", "0.0025");
    setNoise("torque", "9e-06");
    setNoise("linear_acc", "0.0004");
    setNoise("angular_vel", "9e-06");
    setNoise("angular_acc", "0.01");
    setThresholds("1000000");
    set("runtime_verbosity", "false");
    set("output_bias_estimate", "false");
  }

  ConfigText& set(const std::string& key, const std::string& literal) {
    values_[key] = literal;
    return *this;
  }
  ConfigText& erase(const std::string& key) {
    values_.erase(key);
    return *this;
  }
  ConfigText& setNoise(const std::string& group, const std::string& literal) {
    for (const char* axis : {"x", "y", "z"}) {
      set("measurement_noise_covariance." + group + "." + axis, literal);
    }
    return *this;
  }
  /// The five noise groups from a sensor's standard deviations: force (N), torque (N·m),
  /// accelerometer (m/s²), gyro (rad/s); the angular acceleration's variance is
  /// `angularAccFactor` times the gyro's.
  ConfigText& setSensorNoise(double forceStd, double torqueStd, double accelStd, double gyroStd,
                             double angularAccFactor) {
    setNoise("force", literal(forceStd * forceStd));
    setNoise("torque", literal(torqueStd * torqueStd));
    setNoise("linear_acc", literal(accelStd * accelStd));
    setNoise("angular_vel", literal(gyroStd * gyroStd));
    return setNoise("angular_acc", literal(angularAccFactor * gyroStd * gyroStd));
  }
  ConfigText& setThresholds(const std::string& literal) {
    for (const char* group : {"mass", "com", "inertia", "wrench_bias"}) {
      set(std::string("estimation_covariance_convergence_threshold.") + group, literal);
    }
    return *this;
  }

  /// The whole file text.
  std::string render() const {
    Node root;
    for (const auto& [key, literal] : values_) {
      Node* node = &root;
      std::size_t start = 0;
      while (true) {
        const std::size_t dot = key.find('.', start);
        node = &node->children[key.substr(start, dot - start)];
        if (dot == std::string::npos) {
          break;
        }
        start = dot + 1;
      }
      node->literal = literal;
    }
    return "{\"payload_estimator_config\": " + renderNode(root) + "}\n";
  }

  /// Writes the file and returns its path.
  std::string writeTo(const std::string& path) const {
    writeFile(path, render());
    return path;
  }

 private:
  struct Node {
    std::string literal;
    std::map<std::string, Node> children;
  };

  static std::string renderNode(const Node& node) {
    if (node.children.empty()) {
      return node.literal;
    }
    std::string text = "{";
    bool first = true;
    for (const auto& [name, child] : node.children) {
      text += (first ? "\"" : ", \"") + name + "\": " + renderNode(child);
      first = false;
    }
    return text + "}";
  }

  std::map<std::string, std::string> values_;
};

/// The payload of the estimator tests: 1.5 kg, centre of mass (0.01, −0.02, 0.05) m and an
/// inertia about the origin (0.02, 0, 0, 0.02, 0, 0.03) kg·m² whose value about the centre of mass
/// is positive definite with principal moments that satisfy the triangle inequalities (a body that
/// can exist).
inline Payload swingPayload() {
  Payload p;
  p.mass = 1.5;
  p.com = {0.01, -0.02, 0.05};
  p.inertia = {0.02, 0.0, 0.0, 0.02, 0.0, 0.03};
  return p;
}

/// The twelve sensor values for specific force `a` (m/s², gravity included), angular velocity
/// `w` (rad/s) and angular acceleration `alpha` (rad/s²) with wrench bias `bias` (force, torque).
inline Sample rigidBodySample(const Payload& p, const Vec3& a, const Vec3& w, const Vec3& alpha,
                              const std::array<double, 6>& bias) {
  return sensorSample(p, Kinematics{a, w, alpha}, {bias[0], bias[1], bias[2]},
                      {bias[3], bias[4], bias[5]});
}

/// A payload at rest in one orientation: gravity seen by the accelerometer along −`down`
/// (specific force = −g·down), a tiny angular velocity so the IMU never reads all zeros.
inline Sample staticSample(const Payload& p, const Vec3& down,
                          const std::array<double, 6>& bias) {
  const Vec3 a = scale(-9.81, down);
  return rigidBodySample(p, a, {1e-4, 0.0, 0.0}, {0.0, 0.0, 0.0}, bias);
}

/// A payload swung about: angular velocity, angular acceleration and the direction of gravity
/// change from sample to sample; stamp `t` in seconds.
inline Sample swingSample(double t) {
  const Vec3 w{0.8 * std::sin(3.0 * t), 0.5 * std::cos(2.0 * t), 0.3};
  const Vec3 alpha{2.4 * std::cos(3.0 * t), -1.0 * std::sin(2.0 * t), 0.0};
  const Vec3 a{9.81 * std::sin(2.0 * t) * std::cos(1.3 * t) + 0.3 * std::sin(5.0 * t),
               9.81 * std::sin(1.3 * t), 9.81 * std::cos(2.0 * t) * std::cos(1.3 * t)};
  return rigidBodySample(swingPayload(), a, w, alpha, {0.3, -0.2, 0.1, 0.01, 0.0, 0.02});
}

}  // namespace vorn::test
