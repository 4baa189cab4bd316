// Cost of compensating a million-sample array from Python (vorn_payload, run in an embedded
// interpreter) against the same samples through VornPayloadCompensator::update in a C++ loop,
// in the same run.
//
//   vorn_bench_python_compensate --benchmark_repetitions=5 --benchmark_report_aggregates_only
//
// Compare the medians of BM_CppLoop and BM_PythonArray (time per million samples, dynamic
// compensation). The libraries' start-up lines go to standard output between the rows.

#include <pybind11/embed.h>
#include <pybind11/numpy.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <vorn/VornPayloadCompensator.hpp>

namespace py = pybind11;

namespace {

constexpr py::ssize_t kSamples = 1000000;

std::string writeConfig() {
  const auto path = std::filesystem::temp_directory_path() /
                    ("vorn_bench_python_" + std::to_string(::getpid()) + ".json");
  std::ofstream(path) << R"({"payload_compensator_config": {
    "payload_properties": {"mass": 1.2, "com": {"x": 0.016, "y": 0.0015, "z": 0.075},
      "inertia": {"Ixx": 0.0092, "Ixy": -0.0001, "Ixz": -0.0021, "Iyy": 0.0109, "Iyz": -0.0003,
                  "Izz": 0.0024}},
    "enable_dynamic_compensation": true}})";
  return path.string();
}

/// The interpreter, the module and a simulated million-sample brisk recording.
struct Fixture {
  py::scoped_interpreter interpreter;
  py::module_ vp;
  py::array_t<double> samples;
  std::string config = writeConfig();

  Fixture() {
    py::module_::import("sys").attr("path").attr("insert")(0, VORN_PYTHON_BUILD_DIR);
    vp = py::module_::import("vorn_payload");
    samples = vp.attr("simulate")(static_cast<double>(kSamples) / 1000.0, "brisk")
                  .cast<py::array_t<double>>();
  }
  ~Fixture() { std::filesystem::remove(config); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_CppLoop(benchmark::State& state) {
  Fixture& f = fixture();
  const double* p = f.samples.data();
  const py::ssize_t rows = f.samples.shape(0);
  for (auto _ : state) {
    state.PauseTiming();
    auto comp = std::make_unique<vorn::VornPayloadCompensator>(f.config);
    state.ResumeTiming();
    int sum = 0;
    double acc = 0.0;
    for (py::ssize_t r = 0; r < rows; ++r) {
      std::array<double, 12> in;
      for (std::size_t i = 0; i < 12; ++i) in[i] = p[r * 13 + 1 + static_cast<py::ssize_t>(i)];
      std::array<double, 12> out = in;
      sum += comp->update(p[r * 13], in, out);
      acc += out[2];
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(acc);
  }
}

void BM_PythonArray(benchmark::State& state) {
  Fixture& f = fixture();
  const py::object cls = f.vp.attr("PayloadCompensator");
  for (auto _ : state) {
    state.PauseTiming();
    py::object comp = cls(f.config);
    state.ResumeTiming();
    py::object result = comp.attr("compensate")(f.samples);
    benchmark::DoNotOptimize(result.ptr());
  }
}

}  // namespace

BENCHMARK(BM_CppLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PythonArray)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  fixture();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
