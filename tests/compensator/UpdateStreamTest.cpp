// The compensator over a long irregular stream, both modes: statuses, outputs and every printed
// line, pinned to what the library gave before its per-sample path was made cheaper. The stream
// holds jitter, gaps, duplicate and out-of-order stamps, clock resets, non-finite values and tare
// requests at random moments (immediate and deferred).

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "compensator/Harness.hpp"

namespace {

using vorn::test::Harness;
using vorn::test::Sample;
using vorn::test::StdoutCapture;

/// FNV-1a over the bytes fed to it.
class Fingerprint {
 public:
  void addBytes(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
      hash_ = (hash_ ^ bytes[i]) * 1099511628211ULL;
    }
  }
  template <typename T>
  void add(const T& value) {
    addBytes(&value, sizeof(T));
  }
  std::uint64_t value() const { return hash_; }

 private:
  std::uint64_t hash_ = 14695981039346656037ULL;
};

struct StreamFigures {
  std::uint64_t statuses = 0;  ///< fingerprint of the statuses
  std::uint64_t lines = 0;     ///< fingerprint of everything printed
  double outputSum = 0.0;      ///< sum of every output entry of status-0 samples
  std::size_t zeroOutputs = 0;
  std::size_t rejected = 0;
};

StreamFigures runStream(bool dynamic, std::uint64_t seed, std::size_t steps) {
  Harness h(vorn::test::dyadicPayload(), dynamic);
  std::mt19937_64 rng(seed);
  const auto below = [&rng](std::uint64_t n) { return rng() % n; };
  // A multiple of 2^-10 in [-range, range].
  const auto value = [&below](int range) {
    const auto steps =
        static_cast<std::int64_t>(below(static_cast<std::uint64_t>(range) * 2048U + 1U));
    return static_cast<double>(steps - static_cast<std::int64_t>(range) * 1024) / 1024.0;
  };

  StreamFigures figures;
  Fingerprint statuses;
  StdoutCapture capture;
  double t = 100.0;
  Sample out{};
  for (std::size_t k = 0; k < steps; ++k) {
    const std::uint64_t event = below(1000);
    double stamp = t;
    if (event < 30) {  // gap up to 0.3 s
      t += static_cast<double>(1 + below(20)) / 64.0;
      stamp = t;
    } else if (event < 60) {  // stamped back by up to 3 ms
      stamp = t - static_cast<double>(1 + below(3000)) / 1048576.0;
    } else if (event < 80) {  // duplicate within 10 µs
      stamp = t + static_cast<double>(below(8)) / 1048576.0;
    } else if (event < 82) {  // the sensor's clock restarted
      t -= 1.5 + static_cast<double>(below(64)) / 16.0;
      stamp = t;
    } else {
      t += 0.0009765625 +
           static_cast<double>(static_cast<std::int64_t>(below(801)) - 400) / 1048576.0;
      stamp = t;
    }
    Sample in;
    for (std::size_t i = 0; i < 6; ++i) {
      in[i] = value(i < 3 ? 20 : 2);
    }
    in[6] = value(2);
    in[7] = value(2);
    in[8] = 9.8125 + value(2);
    for (std::size_t i = 9; i < 12; ++i) {
      in[i] = value(3);
    }
    const std::uint64_t fault = below(2000);
    if (fault == 0) {
      in[below(12)] = std::numeric_limits<double>::quiet_NaN();
    } else if (fault == 1) {
      in[below(6)] = std::numeric_limits<double>::infinity();
    } else if (fault == 2) {
      stamp = std::numeric_limits<double>::quiet_NaN();
    }
    if (below(5000) == 0) {
      h.compensator->tareCompensatedWrench();
    }
    const int status = h.update(stamp, in, out);
    statuses.add(status);
    if (status == 0) {
      for (const double v : out) {
        figures.outputSum += v;
      }
    }
    figures.zeroOutputs += status == 1 ? 1U : 0U;
    figures.rejected += status == 5 ? 1U : 0U;
  }
  const std::string text = capture.text();
  Fingerprint lines;
  lines.addBytes(text.data(), text.size());
  figures.statuses = statuses.value();
  figures.lines = lines.value();
  return figures;
}

TEST(CompensatorUpdateStream, IrregularStreamKeepsItsStatusesOutputsAndLines) {
  struct Case {
    bool dynamic;
    std::uint64_t statuses;
    std::uint64_t lines;
    double outputSum;
  };
  const Case cases[] = {
      {false, 18136530518604767684ULL, 17354351523550544560ULL, 38180.852295692872},
      {true, 18136530518604767684ULL, 12154430546207874203ULL, 151140.35470753248},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dynamic ? "static + dynamic" : "static");
    const StreamFigures figures = runStream(c.dynamic, 20261209U, 100000);
    // Every kind of status occurs.
    EXPECT_GT(figures.zeroOutputs, 100U);
    EXPECT_GT(figures.rejected, 1000U);
    EXPECT_EQ(figures.statuses, c.statuses) << figures.statuses;
    EXPECT_EQ(figures.lines, c.lines) << figures.lines;
    EXPECT_NEAR(figures.outputSum, c.outputSum, 1e-12 * std::abs(c.outputSum))
        << std::setprecision(17) << figures.outputSum;
  }
}

}  // namespace
