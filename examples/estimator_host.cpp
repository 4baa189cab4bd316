// Example host of libVornPayloadEstimator: identifies a payload from a recording, or from a
// built-in demonstration stream, and reports where the compensator file went.
//
//   estimator_host <estimator-config.json> [samples.csv]
//
// samples.csv: one sample per line, 13 comma-separated numbers: time stamp (s), force x y z
// (N), torque x y z (N·m), accelerometer x y z (m/s², gravity included), gyro x y z (rad/s),
// all in the sensor frame. Lines starting with '#' are skipped. Without a file, a 1.2 kg tool
// turned slowly by hand is simulated at 1 kHz.
//
// Exit status: 0 when the estimation converged, 1 when it did not, 2 on bad arguments or
// configuration.

#include <array>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include "vorn/VornPayloadEstimator.hpp"

namespace {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;  // rows

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vec3 times(const Mat3& m, const Vec3& v) {
  return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2],
          m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
          m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}

// Demonstration stream: a tool of 1.2 kg, centre of mass (0.02, -0.01, 0.08) m, turned with a
// slowly varying angular velocity; the orientation follows by integration. Sensor bias and
// white noise of a typical sensor are added.
class DemoStream {
 public:
  std::array<double, 12> next(double t) {
    const double dt = 0.001;
    const Vec3 w = angularVelocity(t);
    const Vec3 alpha = {(angularVelocity(t + 1e-4)[0] - angularVelocity(t - 1e-4)[0]) / 2e-4,
                        (angularVelocity(t + 1e-4)[1] - angularVelocity(t - 1e-4)[1]) / 2e-4,
                        (angularVelocity(t + 1e-4)[2] - angularVelocity(t - 1e-4)[2]) / 2e-4};
    // Specific force at rest: gravity's opposite expressed in the sensor frame (third row of
    // the sensor-to-world rotation times 9.81).
    const Vec3 a = {9.81 * rotation_[2][0], 9.81 * rotation_[2][1], 9.81 * rotation_[2][2]};
    const Vec3 h = {mass_ * com_[0], mass_ * com_[1], mass_ * com_[2]};
    const Vec3 wxh = cross(w, h);
    const Vec3 wxwxh = cross(w, wxh);
    const Vec3 axh = cross(alpha, h);
    const Vec3 Iw = times(inertia_, w);
    const Vec3 wxIw = cross(w, Iw);
    const Vec3 Ia = times(inertia_, alpha);
    const Vec3 hxa = cross(h, a);
    std::array<double, 12> s{};
    for (int i = 0; i < 3; ++i) {
      s[i] = bias_[i] - (mass_ * a[i] + axh[i] + wxwxh[i]) + 0.05 * noise_(rng_);
      s[3 + i] = bias_[3 + i] - (hxa[i] + Ia[i] + wxIw[i]) + 0.003 * noise_(rng_);
      s[6 + i] = a[i] + 0.02 * noise_(rng_);
      s[9 + i] = w[i] + 0.003 * noise_(rng_);
    }
    integrate(w, dt);
    return s;
  }

 private:
  static Vec3 angularVelocity(double t) {
    return {0.6 * std::sin(0.45 * t) + 0.2 * std::sin(1.1 * t + 1.0),
            0.5 * std::sin(0.33 * t + 0.4) + 0.2 * std::cos(0.9 * t),
            0.4 * std::sin(0.27 * t + 2.0)};
  }

  // R ← R·(I + skew(w)·dt), then Gram-Schmidt on the rows to stay a rotation.
  void integrate(const Vec3& w, double dt) {
    Mat3 next{};
    for (int r = 0; r < 3; ++r) {
      const Vec3& row = rotation_[r];
      const Vec3 d = cross(w, row);  // row·skew(w) = −(w × row)
      for (int c = 0; c < 3; ++c) {
        next[r][c] = row[c] - d[c] * dt;
      }
    }
    auto normalise = [](Vec3& v) {
      const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
      for (double& x : v) {
        x /= n;
      }
    };
    normalise(next[0]);
    const double d01 = next[0][0] * next[1][0] + next[0][1] * next[1][1] + next[0][2] * next[1][2];
    for (int c = 0; c < 3; ++c) {
      next[1][c] -= d01 * next[0][c];
    }
    normalise(next[1]);
    next[2] = cross(next[0], next[1]);
    rotation_ = next;
  }

  double mass_ = 1.2;
  Vec3 com_{0.02, -0.01, 0.08};
  Mat3 inertia_{
      {{0.0096, 0.00024, -0.00192}, {0.00024, 0.01024, 0.00096}, {-0.00192, 0.00096, 0.0016}}};
  std::array<double, 6> bias_{2.0, -1.5, 0.8, 0.05, -0.03, 0.02};
  Mat3 rotation_{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};  // sensor to world
  std::mt19937_64 rng_{42};
  std::normal_distribution<double> noise_{0.0, 1.0};
};

bool parseLine(const std::string& line, double& stamp, std::array<double, 12>& sample) {
  std::istringstream in(line);
  std::string field;
  double values[13];
  int count = 0;
  while (std::getline(in, field, ',')) {
    if (count == 13) {
      return false;
    }
    try {
      values[count++] = std::stod(field);
    } catch (const std::exception&) {
      return false;
    }
  }
  if (count != 13) {
    return false;
  }
  stamp = values[0];
  for (int i = 0; i < 12; ++i) {
    sample[static_cast<std::size_t>(i)] = values[i + 1];
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: " << argv[0] << " <estimator-config.json> [samples.csv]\n";
    return 2;
  }
  try {
    vorn::VornPayloadEstimator estimator(argv[1]);
    if (!estimator.startPayloadEstimation()) {
      return 2;
    }
    long fed = 0;
    if (argc == 3) {
      std::ifstream csv(argv[2]);
      if (!csv) {
        std::cerr << "cannot read " << argv[2] << "\n";
        return 2;
      }
      std::string line;
      long lineNumber = 0;
      while (estimator.isEstimatorRunning() && std::getline(csv, line)) {
        ++lineNumber;
        if (line.empty() || line[0] == '#') {
          continue;
        }
        double stamp = 0.0;
        std::array<double, 12> sample{};
        if (!parseLine(line, stamp, sample)) {
          std::cerr << argv[2] << ":" << lineNumber << ": expected 13 numbers\n";
          continue;
        }
        estimator.update(stamp, sample);
        ++fed;
      }
    } else {
      DemoStream demo;
      // At most ten minutes of demonstration samples.
      for (long i = 0; estimator.isEstimatorRunning() && i < 600000; ++i) {
        const double t = 0.001 * static_cast<double>(i);
        estimator.update(t, demo.next(t));
        ++fed;
      }
    }
    if (estimator.isEstimatorRunning()) {
      estimator.startPayloadEstimation();  // a second start stops the run
    }
    std::cout << "\nsamples fed: " << fed << ", estimation "
              << (estimator.isEstimationSuccessful() ? "converged" : "did not converge") << "\n";
    return estimator.isEstimationSuccessful() ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "error: " << e.what() << "\n";
    return 2;
  }
}
