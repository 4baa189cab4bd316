// Reading and writing CSV recordings, and writing files without leaving half-written ones.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "files/AtomicFileWriter.hpp"
#include "files/Recording.hpp"
#include "support/TempDir.hpp"
#include "console/ToolError.hpp"

namespace vorn::tools {
namespace {

using vorn::test::TempDir;
using vorn::test::readFile;

const std::string kHeader = "t,fx,fy,fz,tx,ty,tz,ax,ay,az,wx,wy,wz\n";

Recording parse(const std::string& text) {
  std::istringstream in(text);
  return Recording::parseCsv(in, "log.csv");
}

/// The message of the ToolError that parsing `text` throws ("" when it does not throw).
std::string parseError(const std::string& text) {
  try {
    parse(text);
  } catch (const ToolError& e) {
    EXPECT_EQ(e.exitCode(), kExitBadInput);
    return e.what();
  }
  return "";
}

TEST(RecordingCsv, ReadsEveryColumnInTheLibrariesOrder) {
  const Recording r = parse(kHeader + "0.5,1,2,3,4,5,6,7,8,9,10,11,12\n");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r.samples()[0].t, 0.5);
  for (std::size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(r.samples()[0].values[i], static_cast<double>(i + 1)) << "column " << i;
  }
}

TEST(RecordingCsv, ToleratesSpacesSignsCommentsBlankLinesAndWindowsLineEnds) {
  const Recording r = parse(
      "# recorded on the bench\r\n"
      " t, fx, fy, fz, tx, ty, tz, ax, ay, az, wx, wy, wz \r\n"
      "\r\n"
      "0, +1.5, -2e-3, 3, 0, 0, 0, 0, 0, 9.81, 0, 0, 0\r\n"
      "# a pause\n"
      "0.001,1,2,3,4,5,6,7,8,9,10,11,12");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r.samples()[0].values[0], 1.5);
  EXPECT_EQ(r.samples()[0].values[1], -2e-3);
  EXPECT_EQ(r.samples()[0].values[8], 9.81);
  EXPECT_EQ(r.samples()[1].t, 0.001);
  EXPECT_DOUBLE_EQ(r.duration(), 0.001);
  EXPECT_NEAR(r.meanRate(), 1000.0, 1e-9);
}

TEST(RecordingCsv, ErrorsNameTheFileTheLineAndTheProblem) {
  const std::string good = "0,1,2,3,4,5,6,7,8,9,10,11,12\n";
  EXPECT_EQ(parseError(kHeader + good + "0.1,1,2,3,4,5,6,7,8,9,10,11\n"),
            "log.csv:3: expected 13 numbers, found 12");
  EXPECT_EQ(parseError(kHeader + good + "0.1,1,2,3,4,5,6,7,8,9,10,11,12,13\n"),
            "log.csv:3: expected 13 numbers, found 14");
  EXPECT_EQ(parseError(kHeader + "0,1,2,3,abc,5,6,7,8,9,10,11,12\n"),
            "log.csv:2: column 5 (tx) is 'abc', not a number");
  EXPECT_EQ(parseError(kHeader + "0,1,2,3,4,5,6,7,8,9,nan,11,12\n"),
            "log.csv:2: column 11 (wx) is 'nan', not a finite number");
  EXPECT_EQ(parseError(kHeader + "0,1,2,,4,5,6,7,8,9,10,11,12\n"),
            "log.csv:2: column 4 (fz) is empty");
  EXPECT_EQ(parseError(kHeader + "0,1.2.3,2,3,4,5,6,7,8,9,10,11,12\n"),
            "log.csv:2: column 2 (fx) is '1.2.3', not a number");
}

TEST(RecordingCsv, TimeStampsMustIncrease) {
  const std::string line = ",1,2,3,4,5,6,7,8,9,10,11,12\n";
  EXPECT_EQ(parseError(kHeader + "0.002" + line + "0.002" + line),
            "log.csv:3: time stamp 0.002 does not come after the previous one (0.002)");
  EXPECT_EQ(parseError(kHeader + "1" + line + "\n0.5" + line),
            "log.csv:4: time stamp 0.5 does not come after the previous one (1)");
}

TEST(RecordingCsv, HeaderIsRequiredAndSamplesToo) {
  EXPECT_EQ(parseError("0,1,2,3,4,5,6,7,8,9,10,11,12\n"),
            "log.csv:1: expected the header line t,fx,fy,fz,tx,ty,tz,ax,ay,az,wx,wy,wz, found "
            "'0,1,2,3,4,5,6,7,8,9,10,1...'");
  EXPECT_EQ(parseError("t,fx,fy,fz,tx,ty,tz,ax,ay,az,wx,wy\n"),
            "log.csv:1: expected the header line t,fx,fy,fz,tx,ty,tz,ax,ay,az,wx,wy,wz, found "
            "'t,fx,fy,fz,tx,ty,tz,ax,a...'");
  EXPECT_EQ(parseError(""),
            "log.csv:1: expected the header line t,fx,fy,fz,tx,ty,tz,ax,ay,az,wx,wy,wz, found the "
            "end of the file");
  EXPECT_EQ(parseError(kHeader), "log.csv: the recording holds no samples");
}

TEST(RecordingCsv, WriteThenReadGivesBackEveryBit) {
  Recording original;
  StampedSample sample;
  sample.t = 1234567.0009765625;
  sample.values = {0.1,  -1.0 / 3.0,       2e-300, -9.81, 1e21, 0.0,
                   -0.0, 3.14159265358979, 7.0,    -8.5,  1e-7, 42.0};
  original.append(sample);
  sample.t += 0.001;
  sample.values[0] = -0.30000000000000004;
  original.append(sample);

  TempDir dir;
  const std::string path = dir.file("round.csv");
  original.writeCsv(path);
  const std::string text = readFile(path);
  EXPECT_EQ(text.substr(0, kHeader.size()), kHeader);
  const Recording back = Recording::readCsv(path);
  ASSERT_EQ(back.size(), original.size());
  for (std::size_t k = 0; k < back.size(); ++k) {
    EXPECT_EQ(back.samples()[k].t, original.samples()[k].t);
    for (std::size_t i = 0; i < 12; ++i) {
      EXPECT_EQ(back.samples()[k].values[i], original.samples()[k].values[i]);
    }
  }
}

TEST(RecordingCsv, MissingFileIsReportedWithItsPath) {
  try {
    Recording::readCsv("/nonexistent/dir/log.csv");
    FAIL() << "no error";
  } catch (const ToolError& e) {
    EXPECT_EQ(std::string(e.what()),
              "cannot open /nonexistent/dir/log.csv: No such file or directory");
    EXPECT_EQ(e.exitCode(), kExitBadInput);
  }
}

TEST(AtomicFile, TargetChangesOnlyOnCommit) {
  TempDir dir;
  const std::string target = dir.write("out.csv", "old content\n");
  {
    AtomicFileWriter writer(target);
    writer.stream() << "new content\n";
    EXPECT_EQ(readFile(target), "old content\n");
    EXPECT_EQ(dir.entries().size(), 2u);  // the target and the temporary file beside it
  }
  EXPECT_EQ(readFile(target), "old content\n");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.csv"});

  AtomicFileWriter writer(target);
  writer.stream() << "new content\n";
  writer.commit();
  EXPECT_EQ(readFile(target), "new content\n");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.csv"});
}

TEST(AtomicFile, UnwritablePlacesAreReported) {
  TempDir dir;
  EXPECT_THROW(AtomicFileWriter(dir.file("missing/out.csv")), ToolError);
  EXPECT_THROW(AtomicFileWriter(dir.path()), ToolError);
  try {
    AtomicFileWriter writer(dir.file("missing/out.csv"));
  } catch (const ToolError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("cannot write " + dir.file("missing/out.csv")), std::string::npos)
        << message;
    EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace vorn::tools
