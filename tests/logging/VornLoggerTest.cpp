// Console logger. Output is captured by redirecting std::cout's buffer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <iomanip>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "logging/VornLogger.hpp"
#include "support/LogLines.hpp"
#include "support/StdoutCapture.hpp"

namespace vorn {
namespace {

using vorn::test::StdoutCapture;

// The literal bytes of each level, written out independently of the implementation.
const std::string kEsc = "\x1b";
const std::string kOrange = kEsc + "[38;2;255;127;0m";
const std::string kReset = kEsc + "[0m";

struct Level {
  const char* name;
  void (*log)(const std::string&);
  const char* label;
  std::string colour;
};

const Level kLevels[] = {
    {"INFO", &VornLogger::INFO, "INFO", kEsc + "[38;2;135;206;250m"},
    {"INFO_RUNTIME", &VornLogger::INFO_RUNTIME, "INFO_RUNTIME", kEsc + "[38;2;61;104;245m"},
    {"WARN", &VornLogger::WARN, "WARN", kEsc + "[38;2;255;255;0m"},
    {"ERROR_LOG", &VornLogger::ERROR_LOG, "ERROR", kEsc + "[38;2;255;0;0m"},
};

std::string prefix(const Level& level) {
  return "[" + kOrange + "vrn" + kReset + "_" + level.colour + level.label + kReset + "] ";
}

class VornLoggerLevel : public ::testing::TestWithParam<Level> {};

TEST_P(VornLoggerLevel, PrintsPrefixMessageAndNewline) {
  const Level& level = GetParam();
  StdoutCapture capture;
  level.log("x");
  EXPECT_EQ(capture.text(), prefix(level) + "x\n");
}

TEST_P(VornLoggerLevel, EmptyMessageKeepsTheBlankAfterTheBracket) {
  const Level& level = GetParam();
  StdoutCapture capture;
  level.log("");
  EXPECT_EQ(capture.text(), prefix(level) + "\n");
}

TEST_P(VornLoggerLevel, MessageIsPrintedByteForByte) {
  const Level& level = GetParam();
  // Escapes, a percent sign, a backslash, UTF-8 (an em dash), trailing blanks, an embedded NUL.
  const std::string message = std::string("a%sb\\n \xe2\x80\x94 ") + kEsc + "[1m" +
                              std::string(1, '\0') + "tail  ";
  StdoutCapture capture;
  level.log(message);
  EXPECT_EQ(capture.text(), prefix(level) + message + "\n");
}

TEST_P(VornLoggerLevel, EmbeddedNewlinesGiveSeveralLinesWithOnePrefix) {
  const Level& level = GetParam();
  StdoutCapture capture;
  level.log("first\nsecond\n");
  EXPECT_EQ(capture.text(), prefix(level) + "first\nsecond\n\n");
}

TEST_P(VornLoggerLevel, EveryCallFlushesACompleteLine) {
  const Level& level = GetParam();
  vorn::test::SyncRecordingBuffer buffer;
  std::streambuf* const old = std::cout.rdbuf(&buffer);
  level.log("one");
  const std::size_t syncsAfterFirst = buffer.snapshots().size();
  level.log("two");
  std::cout.rdbuf(old);
  const std::string expected = prefix(level) + "one\n" + prefix(level) + "two\n";
  EXPECT_EQ(buffer.str(), expected);
  ASSERT_GE(syncsAfterFirst, 1U) << "the first call did not flush";
  ASSERT_GT(buffer.snapshots().size(), syncsAfterFirst) << "the second call did not flush";
  EXPECT_EQ(buffer.snapshots()[syncsAfterFirst - 1], prefix(level) + "one\n");
  EXPECT_EQ(buffer.snapshots().back(), expected);
  for (const std::string& snapshot : buffer.snapshots()) {
    EXPECT_TRUE(snapshot.empty() || snapshot.back() == '\n')
        << "a flush exposed a partial line: " << snapshot;
  }
}

INSTANTIATE_TEST_SUITE_P(Part1_4, VornLoggerLevel, ::testing::ValuesIn(kLevels),
                         [](const ::testing::TestParamInfo<Level>& info) {
                           return std::string(info.param.name);
                         });

TEST(VornLogger, ErrorLogPrintsTheLabelErrorInRed) {
  StdoutCapture capture;
  VornLogger::ERROR_LOG("failed");
  const std::string out = capture.text();
  EXPECT_EQ(out, "[" + kOrange + "vrn" + kReset + "_" + kEsc + "[38;2;255;0;0mERROR" + kReset +
                     "] failed\n");
  EXPECT_EQ(out.find("ERROR_LOG"), std::string::npos);
}

TEST(VornLogger, InfoLineExactBytes) {
  StdoutCapture capture;
  VornLogger::INFO("x");
  EXPECT_EQ(capture.text(), "[\033[38;2;255;127;0mvrn\033[0m_\033[38;2;135;206;250mINFO\033[0m] x\n");
}

TEST(VornLogger, LinesFollowOneAnotherInCallOrder) {
  StdoutCapture capture;
  VornLogger::WARN("a");
  VornLogger::INFO("b");
  VornLogger::ERROR_LOG("c");
  VornLogger::INFO_RUNTIME("d");
  EXPECT_EQ(capture.text(), prefix(kLevels[2]) + "a\n" + prefix(kLevels[0]) + "b\n" +
                               prefix(kLevels[3]) + "c\n" + prefix(kLevels[1]) + "d\n");
}

TEST(VornLogger, NeitherSavesNorRestoresStreamFormatting) {
  StdoutCapture capture;
  std::cout << std::fixed << std::setprecision(4);
  VornLogger::INFO_RUNTIME("progress");
  std::cout << 1.5 << '\n';
  EXPECT_TRUE((std::cout.flags() & std::ios_base::fixed) != 0);
  EXPECT_EQ(std::cout.precision(), 4);
  EXPECT_EQ(capture.text(), prefix(kLevels[1]) + "progress\n1.5000\n");
}

TEST(VornLogger, AFailedStreamIsNotReportedNorThrown) {
  StdoutCapture capture;
  std::cout.setstate(std::ios_base::badbit);
  EXPECT_NO_THROW(VornLogger::ERROR_LOG("lost"));
  EXPECT_TRUE(std::cout.bad());
  std::cout.clear();
  EXPECT_EQ(capture.text(), "");
}

// Two threads log many lines at once. Each line is assembled and written in one insertion under
// a lock, so every captured line must be one complete line of one of the two threads, and every
// message must arrive exactly once. The capture buffer invites a thread switch before every
// insertion, so a logger that wrote a line piece by piece would be caught.
TEST(VornLoggerConcurrency, TwoThreadsNeverTearALine) {
  constexpr int kLinesPerThread = 3000;
  vorn::test::InterleavingBuffer buffer;
  {
    const vorn::test::CoutRedirect redirect(&buffer);
    std::atomic<int> ready{0};
    auto worker = [&ready](void (*log)(const std::string&), const std::string& name) {
      ready.fetch_add(1);
      while (ready.load() < 2) {
        std::this_thread::yield();
      }
      for (int i = 0; i < kLinesPerThread; ++i) {
        log(name + " line " + std::to_string(i) + " with some padding to make it longer");
      }
    };
    std::thread first(worker, &VornLogger::INFO, std::string("update"));
    std::thread second(worker, &VornLogger::WARN, std::string("tare"));
    first.join();
    second.join();
  }
  const std::vector<std::string> lines = vorn::test::splitLines(buffer.str());

  ASSERT_EQ(lines.size(), 2U * kLinesPerThread + 1U);
  EXPECT_EQ(lines.back(), "") << "output does not end with a newline";

  std::map<std::string, int> seen;
  int nextInfo = 0;
  int nextWarn = 0;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const std::string& line = lines[i];
    ++seen[line];
    // Each thread's lines keep their order.
    const std::string info = prefix(kLevels[0]) + "update line " + std::to_string(nextInfo) +
                             " with some padding to make it longer";
    const std::string warn = prefix(kLevels[2]) + "tare line " + std::to_string(nextWarn) +
                             " with some padding to make it longer";
    if (line == info) {
      ++nextInfo;
    } else if (line == warn) {
      ++nextWarn;
    } else {
      ADD_FAILURE() << "torn or unexpected line " << i << ": " << line;
      break;
    }
  }
  EXPECT_EQ(nextInfo, kLinesPerThread);
  EXPECT_EQ(nextWarn, kLinesPerThread);
  for (const auto& entry : seen) {
    EXPECT_EQ(entry.second, 1) << entry.first;
  }
}

}  // namespace
}  // namespace vorn
