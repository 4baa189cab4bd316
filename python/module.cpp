// vorn_payload._core: Python bindings of libVornPayloadEstimator and libVornPayloadCompensator,
// plus the sensor simulator and the CSV recording code of the vorn-payload tool.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include <vorn/VornPayloadCompensator.hpp>
#include <vorn/VornPayloadEstimator.hpp>

#include "files/PayloadDescription.hpp"
#include "files/Recording.hpp"
#include "demo/SimulatedSensor.hpp"

namespace py = pybind11;

namespace {

constexpr py::ssize_t kColumns = 13;  ///< t, fx, fy, fz, tx, ty, tz, ax, ay, az, wx, wy, wz
constexpr int kStatusRejected = 5;
constexpr int kStatusNotFed = -1;

using Samples = py::array_t<double, py::array::c_style>;

/// Checks an (N, 13) float64 array of samples and returns it C-contiguous. Raises TypeError
/// for another dtype, ValueError for another shape or a row holding NaN or infinity (the
/// first such row is named), before anything is fed, so the object keeps its state.
Samples checkedSamples(const py::array& samples) {
  if (!samples.dtype().is(py::dtype::of<double>())) {
    throw py::type_error("samples must be a float64 array, got dtype " +
                         std::string(py::str(samples.dtype())));
  }
  if (samples.ndim() != 2 || samples.shape(1) != kColumns) {
    std::string shape = "(";
    for (py::ssize_t d = 0; d < samples.ndim(); ++d) {
      shape += (d ? ", " : "") + std::to_string(samples.shape(d));
    }
    shape += samples.ndim() == 1 ? ",)" : ")";
    throw py::value_error(
        "samples must have shape (N, 13): t, fx, fy, fz, tx, ty, tz, ax, ay, az, wx, wy, wz; "
        "got " + shape);
  }
  Samples data = Samples::ensure(samples);
  const double* p = data.data();
  const py::ssize_t rows = data.shape(0);
  for (py::ssize_t r = 0; r < rows; ++r) {
    for (py::ssize_t c = 0; c < kColumns; ++c) {
      if (!std::isfinite(p[r * kColumns + c])) {
        throw py::value_error("samples row " + std::to_string(r) +
                              " holds a non-finite value (NaN or infinity); nothing was fed");
      }
    }
  }
  return data;
}

std::array<double, 12> sampleValues(const std::vector<double>& values) {
  if (values.size() != 12) {
    throw py::value_error("a sample holds 12 values (fx, fy, fz, tx, ty, tz, ax, ay, az, wx, wy, "
                          "wz), got " + std::to_string(values.size()));
  }
  std::array<double, 12> a{};
  for (std::size_t i = 0; i < 12; ++i) a[i] = values[i];
  return a;
}

/// Runs `fn(row)` for every row with the GIL released; an exception from the library stops the
/// loop and is raised again as RuntimeError naming the row.
template <typename Fn>
void forEachRow(py::ssize_t rows, Fn&& fn) {
  std::string error;
  py::ssize_t failedRow = -1;
  {
    py::gil_scoped_release release;
    for (py::ssize_t r = 0; r < rows; ++r) {
      try {
        if (!fn(r)) break;
      } catch (const std::exception& e) {
        error = e.what();
        failedRow = r;
        break;
      }
    }
  }
  if (failedRow >= 0) {
    throw std::runtime_error("samples row " + std::to_string(failedRow) + ": " + error);
  }
}

const char* stateName(vorn::EstimationRunState s) {
  switch (s) {
    case vorn::EstimationRunState::NotStarted: return "NotStarted";
    case vorn::EstimationRunState::Running: return "Running";
    case vorn::EstimationRunState::Converged: return "Converged";
    case vorn::EstimationRunState::TimeLimitReached: return "TimeLimitReached";
    case vorn::EstimationRunState::StoppedByHost: return "StoppedByHost";
    case vorn::EstimationRunState::Failed: return "Failed";
  }
  return "Unknown";
}

const char* conditionName(vorn::ConvergenceCondition c) {
  switch (c) {
    case vorn::ConvergenceCondition::None: return "None";
    case vorn::ConvergenceCondition::MassStdDev: return "MassStdDev";
    case vorn::ConvergenceCondition::CenterOfMassStdDev: return "CenterOfMassStdDev";
    case vorn::ConvergenceCondition::InertiaStdDev: return "InertiaStdDev";
    case vorn::ConvergenceCondition::WrenchBiasStdDev: return "WrenchBiasStdDev";
    case vorn::ConvergenceCondition::ResidualWindow: return "ResidualWindow";
    case vorn::ConvergenceCondition::Residual: return "Residual";
    case vorn::ConvergenceCondition::PhysicalConsistency: return "PhysicalConsistency";
    case vorn::ConvergenceCondition::MinimumTime: return "MinimumTime";
  }
  return "Unknown";
}

const char* moveName(vorn::ExcitationHint::Move m) {
  using Move = vorn::ExcitationHint::Move;
  switch (m) {
    case Move::Start: return "Start";
    case Move::RotateAbout: return "RotateAbout";
    case Move::TiltAxisDown: return "TiltAxisDown";
    case Move::HoldStill: return "HoldStill";
    case Move::KeepGoing: return "KeepGoing";
    case Move::Done: return "Done";
  }
  return "Unknown";
}

py::dict groupDict(const vorn::ThresholdGroupState& g) {
  py::dict d;
  d["worst_std_dev"] = g.worstStdDev;
  d["threshold"] = g.threshold;
  d["worst_ratio"] = g.worstRatio;
  d["worst_index"] = g.worstIndex;
  d["met"] = g.met;
  return d;
}

py::dict estimateDict(const vorn::PayloadEstimate& e) {
  py::dict d;
  d["state"] = stateName(e.state);
  d["data_seconds"] = e.dataSeconds;
  d["samples_absorbed"] = e.samplesAbsorbed;
  d["solution"] = py::array_t<double>(16, e.solution.data());
  d["std_dev"] = py::array_t<double>(16, e.stdDev.data());
  d["mass"] = groupDict(e.mass);
  d["center_of_mass"] = groupDict(e.centerOfMass);
  d["inertia"] = groupDict(e.inertia);
  d["wrench_bias"] = groupDict(e.wrenchBias);
  py::dict rt;
  rt["run_seconds"] = e.runTime.runSeconds;
  rt["min_time"] = e.runTime.minTime;
  rt["max_time"] = e.runTime.maxTime;
  rt["met"] = e.runTime.met;
  d["run_time"] = rt;
  py::dict res;
  res["value"] = e.residual.value;
  res["limit"] = e.residual.limit;
  res["window_full"] = e.residual.windowFull;
  res["met"] = e.residual.met;
  d["residual"] = res;
  py::dict pc;
  pc["principal_moments"] = std::vector<double>(e.physicalConsistency.principalMoments.begin(),
                                                e.physicalConsistency.principalMoments.end());
  pc["met"] = e.physicalConsistency.met;
  d["physical_consistency"] = pc;
  d["blocking"] = conditionName(e.blocking);
  py::dict hint;
  hint["move"] = moveName(e.hint.move);
  hint["axis"] = std::vector<double>(e.hint.axis.begin(), e.hint.axis.end());
  hint["serves"] = conditionName(e.hint.serves);
  hint["text"] = std::string(e.hint.text.data());
  d["hint"] = hint;
  return d;
}

/// Copies the (N, 13) layout into a recording.
vorn::tools::Recording toRecording(const Samples& data) {
  vorn::tools::Recording rec;
  const py::ssize_t rows = data.shape(0);
  rec.reserve(static_cast<std::size_t>(rows));
  const double* p = data.data();
  for (py::ssize_t r = 0; r < rows; ++r) {
    vorn::tools::StampedSample s;
    s.t = p[r * kColumns];
    for (std::size_t i = 0; i < 12; ++i) s.values[i] = p[r * kColumns + 1 + static_cast<py::ssize_t>(i)];
    rec.append(s);
  }
  return rec;
}

py::array_t<double> toArray(const vorn::tools::Recording& rec) {
  const auto rows = static_cast<py::ssize_t>(rec.size());
  py::array_t<double> out({rows, kColumns});
  double* p = out.mutable_data();
  for (py::ssize_t r = 0; r < rows; ++r) {
    const auto& s = rec.samples()[static_cast<std::size_t>(r)];
    p[r * kColumns] = s.t;
    for (std::size_t i = 0; i < 12; ++i) p[r * kColumns + 1 + static_cast<py::ssize_t>(i)] = s.values[i];
  }
  return out;
}

template <std::size_t N>
std::array<double, N> fixedList(const py::handle& value, const char* key) {
  const auto v = value.cast<std::vector<double>>();
  if (v.size() != N) {
    throw py::value_error(std::string("payload '") + key + "' needs " + std::to_string(N) +
                          " numbers, got " + std::to_string(v.size()));
  }
  std::array<double, N> a{};
  for (std::size_t i = 0; i < N; ++i) a[i] = v[i];
  return a;
}

vorn::tools::PayloadDescription payloadFromDict(const py::dict& d) {
  vorn::tools::PayloadDescription p;
  p.mass = 0.0;
  for (const auto& item : d) {
    const auto key = item.first.cast<std::string>();
    if (key == "mass") {
      p.mass = item.second.cast<double>();
    } else if (key == "com") {
      p.com = fixedList<3>(item.second, "com");
    } else if (key == "inertia_about_com") {
      p.inertiaAboutCom = fixedList<6>(item.second, "inertia_about_com");
    } else if (key == "bias") {
      p.bias = fixedList<6>(item.second, "bias");
    } else {
      throw py::value_error("unknown payload key '" + key +
                            "' (mass, com, inertia_about_com, bias)");
    }
  }
  if (!d.contains("mass")) throw py::value_error("payload needs a 'mass' (kg)");
  return p;
}

py::dict payloadToDict(const vorn::tools::PayloadDescription& p) {
  py::dict d;
  d["mass"] = p.mass;
  d["com"] = std::vector<double>(p.com.begin(), p.com.end());
  d["inertia_about_com"] = std::vector<double>(p.inertiaAboutCom.begin(), p.inertiaAboutCom.end());
  d["bias"] = std::vector<double>(p.bias.begin(), p.bias.end());
  return d;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Bindings of libVornPayloadEstimator and libVornPayloadCompensator.";

  py::class_<vorn::VornPayloadEstimator>(m, "PayloadEstimator")
      .def(py::init<const std::string&>(), py::arg("config_path"),
           "Loads an estimator configuration file; RuntimeError with the library's message when "
           "it is missing or invalid.")
      .def("start", &vorn::VornPayloadEstimator::startPayloadEstimation,
           "Starts an identification run (stops a running one); True when started.")
      .def(
          "update",
          [](vorn::VornPayloadEstimator& e, double t, const std::vector<double>& values) {
            const auto sample = sampleValues(values);
            return e.update(t, sample);
          },
          py::arg("t"), py::arg("sample"),
          "Feeds one sample: t in s; sample = fx, fy, fz (N), tx, ty, tz (N·m), ax, ay, az (m/s², "
          "gravity included), wx, wy, wz (rad/s), sensor frame. Returns the library's status "
          "(0 accepted, 5 rejected: non-finite, duplicate or out-of-order).")
      .def(
          "feed",
          [](vorn::VornPayloadEstimator& e, const py::array& samples) {
            const Samples data = checkedSamples(samples);
            const py::ssize_t rows = data.shape(0);
            py::array_t<std::int32_t> status(rows);
            std::int32_t* st = status.mutable_data();
            for (py::ssize_t r = 0; r < rows; ++r) st[r] = kStatusNotFed;
            const double* p = data.data();
            forEachRow(rows, [&](py::ssize_t r) {
              if (!e.isEstimatorRunning()) return false;
              std::array<double, 12> s{};
              const double* row = p + r * kColumns;
              for (std::size_t i = 0; i < 12; ++i) s[i] = row[1 + i];
              st[r] = e.update(row[0], s);
              return true;
            });
            return status;
          },
          py::arg("samples"),
          "Feeds an (N, 13) float64 array (t, fx..tz, ax..az, wx..wz) row by row while a run is "
          "going, without the GIL. Returns the (N,) int32 statuses; -1 marks rows not fed "
          "because the run had ended. Non-finite rows raise ValueError before anything is fed.")
      .def_property_readonly("running", &vorn::VornPayloadEstimator::isEstimatorRunning,
                             "True while a run is in progress.")
      .def_property_readonly("successful", &vorn::VornPayloadEstimator::isEstimationSuccessful,
                             "True when the last run converged and wrote its compensator file.")
      .def(
          "current_estimate",
          [](const vorn::VornPayloadEstimator& e) { return estimateDict(e.currentEstimate()); },
          "Snapshot of the run as a dict: solution/std_dev (16: m kg, m·c kg·m, inertia about "
          "the origin kg·m², force bias N, torque bias N·m), state, convergence groups, hint.");

  py::class_<vorn::VornPayloadCompensator>(m, "PayloadCompensator")
      .def(py::init<const std::string&>(), py::arg("config_path"),
           "Loads a compensator configuration file (as written by the estimator).")
      .def(
          "update",
          [](vorn::VornPayloadCompensator& c, double t, const std::vector<double>& values) {
            const auto in = sampleValues(values);
            std::array<double, 12> out = in;
            const int status = c.update(t, in, out);
            py::array_t<double> wrench(6);
            double* w = wrench.mutable_data();
            for (std::size_t i = 0; i < 6; ++i) w[i] = status == kStatusRejected ? NAN : out[i];
            return py::make_tuple(status, wrench);
          },
          py::arg("t"), py::arg("sample"),
          "Compensates one sample (layout as PayloadEstimator.update). Returns (status, wrench): "
          "status 0 compensated, 1 tare collecting (zero wrench), 5 rejected (NaN wrench); wrench "
          "= fx, fy, fz (N), tx, ty, tz (N·m). RuntimeError when the IMU values are all zero.")
      .def(
          "compensate",
          [](vorn::VornPayloadCompensator& c, const py::array& samples) {
            const Samples data = checkedSamples(samples);
            const py::ssize_t rows = data.shape(0);
            py::array_t<double> wrench({rows, py::ssize_t{6}});
            py::array_t<std::int32_t> status(rows);
            double* w = wrench.mutable_data();
            std::int32_t* st = status.mutable_data();
            for (py::ssize_t r = 0; r < rows * 6; ++r) w[r] = NAN;
            for (py::ssize_t r = 0; r < rows; ++r) st[r] = kStatusNotFed;
            const double* p = data.data();
            forEachRow(rows, [&](py::ssize_t r) {
              std::array<double, 12> in;
              const double* row = p + r * kColumns;
              for (std::size_t i = 0; i < 12; ++i) in[i] = row[1 + i];
              std::array<double, 12> out = in;
              const int s = c.update(row[0], in, out);
              st[r] = s;
              if (s != kStatusRejected) {
                for (std::size_t i = 0; i < 6; ++i) w[r * 6 + static_cast<py::ssize_t>(i)] = out[i];
              }
              return true;
            });
            return py::make_tuple(wrench, status);
          },
          py::arg("samples"),
          "Compensates an (N, 13) float64 array row by row without the GIL. Returns the (N, 6) "
          "wrench (N, N·m; NaN on rejected rows) and the (N,) int32 statuses. Non-finite rows "
          "raise ValueError before anything is fed; a library error raises RuntimeError naming "
          "the row (rows before it were compensated).")
      .def("tare", &vorn::VornPayloadCompensator::tareCompensatedWrench,
           "Zeroes the output against the last second's mean compensated wrench (thread-safe).");

  m.def(
      "simulate",
      [](double seconds, const std::string& profile, const py::object& payload, double rateHz,
         double noiseScale, std::uint64_t seed, double startStamp, bool withTruth) -> py::object {
        vorn::tools::SimulationSettings settings;
        if (!payload.is_none()) settings.payload = payloadFromDict(payload.cast<py::dict>());
        settings.profile = profile;
        settings.rateHz = rateHz;
        settings.noiseScale = noiseScale;
        settings.seed = seed;
        settings.startStamp = startStamp;
        if (!std::isfinite(seconds) || seconds < 0.0) {
          throw py::value_error("seconds must be finite and not negative");
        }
        vorn::tools::Recording rec;
        std::vector<std::array<double, 6>> truth;
        {
          py::gil_scoped_release release;
          vorn::tools::SimulatedSensor sensor(settings);
          sensor.record(seconds, rec, withTruth ? &truth : nullptr);
        }
        py::array_t<double> samples = toArray(rec);
        if (!withTruth) return std::move(samples);
        py::array_t<double> t({static_cast<py::ssize_t>(truth.size()), py::ssize_t{6}});
        double* p = t.mutable_data();
        for (std::size_t r = 0; r < truth.size(); ++r)
          for (std::size_t i = 0; i < 6; ++i) p[r * 6 + i] = truth[r][i];
        return py::make_tuple(samples, t);
      },
      py::arg("seconds"), py::arg("profile") = "tilt", py::arg("payload") = py::none(),
      py::arg("rate_hz") = 1000.0, py::arg("noise_scale") = 1.0, py::arg("seed") = 1,
      py::arg("start_stamp") = 0.0, py::arg("with_truth") = false,
      "Simulates a sensor with IMU carrying `payload` (dict: mass kg, com m, inertia_about_com "
      "kg·m² Ixx Ixy Ixz Iyy Iyz Izz, bias N/N·m Fx..Tz; demo gripper when None) along a motion "
      "profile (static, slow, tilt, brisk, fast). Returns the (N, 13) samples, and with "
      "with_truth also the (N, 6) true payload wrench (no bias, no noise).");

  m.def(
      "demo_payload", [] { return payloadToDict(vorn::tools::PayloadDescription::demoGripper()); },
      "The demo's payload as a dict (a 1.2 kg gripper with a sensor bias).");

  m.def(
      "read_csv",
      [](const std::string& path) { return toArray(vorn::tools::Recording::readCsv(path)); },
      py::arg("path"),
      "Reads a recording CSV (t,fx,fy,fz,tx,ty,tz,ax,ay,az,wx,wy,wz) into an (N, 13) array.");

  m.def(
      "write_csv",
      [](const std::string& path, const py::array& samples) {
        toRecording(checkedSamples(samples)).writeCsv(path);
      },
      py::arg("path"), py::arg("samples"),
      "Writes an (N, 13) float64 array as a recording CSV (atomically: the file is complete or "
      "keeps its old content).");
}
