// Tare requests from a second thread while the update thread runs flat out .
// The suite name contains "Threaded" so CI can select these tests for ThreadSanitizer.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <iostream>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/VornPayloadCompensator.hpp>

#include "compensator/Harness.hpp"
#include "support/RigidBodySamples.hpp"
#include "compensator/TestSupport.hpp"

namespace {

using namespace vorn::test;

struct UpdateStats {
  long samples = 0;
  long status0 = 0;
  long status1 = 0;
  long inconsistent = 0;  // outputs that are neither c, 0 (status 0) nor all zeros (status 1)
  long returnedToRawAfterTare = 0;  // a status-0 output of c after one of 0 had been seen
  std::string firstProblem;
};

// The payload and the sample are dyadic, so the compensated wrench c is exact and so is the mean
// of any number of copies of it: every tare sets the bias to exactly c.
const Payload kPayload = dyadicPayload();
const Vec3 kBiasF{1.5, -2.25, 0.5};
const Vec3 kBiasT{0.125, -0.75, 3.0};

TEST(CompensatorThreaded, TareFromASecondThreadWhileUpdatingFlatOut) {
  Kinematics rest;
  rest.linAcc = {0.0, 0.0, 9.75};
  const Sample in = sensorSample(kPayload, rest, kBiasF, kBiasT);
  const std::array<double, 6> c{kBiasF[0], kBiasF[1], kBiasF[2], kBiasT[0], kBiasT[1], kBiasT[2]};

  Harness h(kPayload, false);
  {
    // Sanity: the compensated wrench is exactly the bias for this sample.
    Sample out = sentinel();
    ASSERT_EQ(h.update(0.0, in, out), 0);
    for (std::size_t i = 0; i < 6; ++i) {
      ASSERT_EQ(out[i], c[i]);
    }
  }

  StdoutCapture capture;
  std::atomic<bool> stop{false};
  std::atomic<long> tareCalls{0};
  const auto runFor = std::chrono::seconds(2);

  auto updater = std::async(std::launch::async, [&]() {
    UpdateStats stats;
    bool zeroSeen = false;
    double t = 0.0;
    while (!stop.load()) {
      // 1 ms steps; every 5000 samples a 2 s gap collapses the window, so that tare requests
      // in the following 500 samples are deferred and completed by this thread.
      t += (stats.samples % 5000 == 4999) ? 2.0 : 0.001;
      Sample out = sentinel();
      const int status = h.update(t, in, out);
      ++stats.samples;
      bool ok = true;
      if (status == 1) {
        ++stats.status1;
        ok = out == Sample{};
      } else if (status == 0) {
        ++stats.status0;
        bool isC = true, isZero = true;
        for (std::size_t i = 0; i < 6; ++i) {
          isC = isC && out[i] == c[i];
          isZero = isZero && out[i] == 0.0;
        }
        for (std::size_t i = 6; i < 12; ++i) {
          ok = ok && out[i] == -777.0;
        }
        ok = ok && (isC || isZero);
        if (isZero) {
          zeroSeen = true;
        } else if (zeroSeen) {
          ++stats.returnedToRawAfterTare;
        }
      } else {
        ok = false;
      }
      if (!ok) {
        ++stats.inconsistent;
        if (stats.firstProblem.empty()) {
          stats.firstProblem = "status " + std::to_string(status) + " at t=" + std::to_string(t);
        }
      }
    }
    return stats;
  });

  auto tarer = std::async(std::launch::async, [&]() {
    const auto end = std::chrono::steady_clock::now() + runFor;
    unsigned seed = 12345;
    while (std::chrono::steady_clock::now() < end) {
      h.compensator->tareCompensatedWrench();
      tareCalls.fetch_add(1);
      seed = seed * 1103515245u + 12345u;
      std::this_thread::sleep_for(std::chrono::microseconds((seed >> 16) % 2000));
    }
  });

  // Watchdog: a deadlock must fail the test, not hang it.
  const auto limit = runFor + std::chrono::seconds(60);
  if (tarer.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "deadlock: the tare thread did not finish\n");
    std::_Exit(2);
  }
  stop.store(true);
  if (updater.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    std::fprintf(stderr, "deadlock: the update thread did not finish\n");
    std::_Exit(2);
  }
  const UpdateStats stats = updater.get();
  tarer.get();
  const std::string text = capture.text();

  EXPECT_EQ(stats.inconsistent, 0) << stats.firstProblem;
  EXPECT_EQ(stats.returnedToRawAfterTare, 0);
  EXPECT_GT(stats.samples, 10000);
  EXPECT_GT(stats.status1, 0) << "some tares were deferred";
  EXPECT_GT(tareCalls.load(), 100);

  // Every line is whole and one of the five tare lines; the bias is always exactly c.
  const std::string requested = info("Tare requested \u2014 waiting for sufficient data window...");
  const std::string immediate = info("Tare complete immediately (window already sufficient).");
  const std::string deferred =
      info("Tare deferred \u2014 outputting zeros until window is collected.");
  const std::string deferredDone = info("Deferred tare complete. Bias computed from window.");
  const std::string bias =
      info("Tare bias set to: [1.500000, -2.250000, 0.500000, 0.125000, -0.750000, 3.000000]");
  long nRequested = 0, nImmediate = 0, nDeferred = 0, nDone = 0, nBias = 0;
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  for (const std::string& line : plainLines(text)) {
    if (line == requested) {
      ++nRequested;
    } else if (line == immediate) {
      ++nImmediate;
    } else if (line == deferred) {
      ++nDeferred;
    } else if (line == deferredDone) {
      ++nDone;
    } else if (line == bias) {
      ++nBias;
    } else {
      ADD_FAILURE() << "unexpected or torn line: " << line;
    }
  }
  EXPECT_EQ(nRequested, tareCalls.load());
  EXPECT_EQ(nImmediate + nDeferred, nRequested);
  EXPECT_EQ(nBias, nImmediate + nDone);
  EXPECT_GT(nImmediate, 0);
  EXPECT_GT(nDeferred, 0);
  EXPECT_GT(nDone, 0);
  EXPECT_LE(nDone, nDeferred);
}

TEST(CompensatorThreaded, ConcurrentTareRequestsAreSerialised) {
  Harness h(nullPayload(), false);
  for (int k = 0; k <= 600; ++k) {
    Sample out = sentinel();
    ASSERT_EQ(h.update(k * 0.001, wrenchSample({1, 2, 3, 4, 5, 6}), out), 0);
  }
  StdoutCapture capture;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&]() {
      for (int k = 0; k < 200; ++k) {
        EXPECT_TRUE(h.compensator->tareCompensatedWrench());
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  const auto lines = plainLines(capture.text());
  ASSERT_EQ(lines.size(), 3U * 800U);
  long biasLines = 0;
  for (const auto& line : lines) {
    if (line.rfind("[vrn_INFO] Tare bias set to: [", 0) == 0) {
      ++biasLines;
      EXPECT_EQ(line, info("Tare bias set to: [1.000000, 2.000000, 3.000000, 4.000000, 5.000000, "
                           "6.000000]"));
    }
  }
  EXPECT_EQ(biasLines, 800);
  Sample out = sentinel();
  EXPECT_EQ(h.update(0.601, wrenchSample({1, 2, 3, 4, 5, 6}), out), 0);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(out[i], 0.0);
  }
}

// Standard output that, at the end of every line, runs one update on a helper thread and waits for
// it: an update that cannot finish within the limit means the line was printed while the
// compensator held its window mutex.
class LockProbeBuffer : public std::streambuf {
 public:
  explicit LockProbeBuffer(Harness& h) : h_(h) {}
  std::vector<std::string> lines;
  std::vector<std::string> printedUnderLock;
  /// Stamp of the previous probing update (s); later probes follow it 1 ms apart.
  double stamp = 10.0;

  /// Waits for the probes that were still blocked (they finish once the mutex is released).
  void finish() {
    for (auto& blocked : blocked_) {
      blocked.get();
    }
    blocked_.clear();
  }

 protected:
  int_type overflow(int_type ch) override {
    if (ch == traits_type::eof()) {
      return traits_type::not_eof(ch);
    }
    current_ += static_cast<char>(ch);
    if (ch == '\n') {
      probe();
    }
    return ch;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) {
      overflow(traits_type::to_int_type(s[i]));
    }
    return n;
  }

 private:
  void probe() {
    const std::string line = current_;
    current_.clear();
    lines.push_back(line);
    stamp += 0.001;
    const double at = stamp;
    auto probe = std::async(std::launch::async, [this, at]() {
      Sample out = sentinel();
      return h_.update(at, wrenchSample({1, 2, 3, 4, 5, 6}), out);
    });
    if (probe.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
      printedUnderLock.push_back(line);
      blocked_.push_back(std::move(probe));  // waiting here would never end
      return;
    }
    probe.get();
  }

  Harness& h_;
  std::string current_;
  std::vector<std::future<int>> blocked_;
};

TEST(CompensatorThreaded, TareLinesArePrintedWithoutHoldingTheWindow) {
  Harness h(nullPayload(), false);
  LockProbeBuffer probe(h);
  // Deferred: an empty window. The probing updates add samples 1 ms apart.
  std::streambuf* previous = std::cout.rdbuf(&probe);
  const bool deferred = h.compensator->tareCompensatedWrench();
  std::cout.rdbuf(previous);
  probe.finish();
  EXPECT_TRUE(deferred);
  ASSERT_EQ(probe.lines.size(), 2U);
  EXPECT_NE(plainLines(probe.lines[1])[0].find("Tare deferred"), std::string::npos);

  // Fill the window past 500 ms, completing the deferred tare on the way.
  {
    std::ostringstream quiet;
    previous = std::cout.rdbuf(quiet.rdbuf());
    for (int k = 0; k <= 600; ++k) {
      Sample out = sentinel();
      h.update(20.0 + k * 0.001, wrenchSample({1, 2, 3, 4, 5, 6}), out);
    }
    std::cout.rdbuf(previous);
  }
  probe.lines.clear();
  probe.stamp = 21.0;
  previous = std::cout.rdbuf(&probe);
  const bool immediate = h.compensator->tareCompensatedWrench();
  std::cout.rdbuf(previous);
  probe.finish();
  EXPECT_TRUE(immediate);
  ASSERT_EQ(probe.lines.size(), 3U);
  EXPECT_EQ(plainLines(probe.lines[1])[0],
            info("Tare bias set to: [1.000000, 2.000000, 3.000000, 4.000000, 5.000000, 6.000000]"));
  EXPECT_EQ(plainLines(probe.lines[2])[0],
            info("Tare complete immediately (window already sufficient)."));
  EXPECT_TRUE(probe.printedUnderLock.empty()) << probe.printedUnderLock.front();
}

}  // namespace
