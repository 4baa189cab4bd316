#include "files/Recording.hpp"

#include <charconv>
#include <cmath>
#include <fstream>
#include <istream>
#include <ostream>
#include <string_view>

#include "files/AtomicFileWriter.hpp"
#include "console/TextFormat.hpp"
#include "console/ToolError.hpp"

namespace vorn::tools {

namespace {

constexpr std::size_t kColumns = 13;
constexpr const char* kColumnNames[kColumns] = {"t",  "fx", "fy", "fz", "tx", "ty", "tz",
                                                "ax", "ay", "az", "wx", "wy", "wz"};

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

/// Parses a whole field as a finite double; false when it is not exactly one number.
bool parseNumber(std::string_view field, double& value) {
  if (!field.empty() && field.front() == '+') {
    field.remove_prefix(1);
  }
  if (field.empty()) {
    return false;
  }
  const char* begin = field.data();
  const char* end = field.data() + field.size();
  const auto result = std::from_chars(begin, end, value);
  return result.ec == std::errc() && result.ptr == end;
}

std::string quoted(std::string_view text) {
  constexpr std::size_t kMaxShown = 24;
  std::string shown(text.substr(0, kMaxShown));
  if (text.size() > kMaxShown) {
    shown += "...";
  }
  return "'" + shown + "'";
}

class LineError {
 public:
  LineError(const std::string& name, std::size_t line)
      : prefix_(name + ":" + std::to_string(line) + ": ") {}
  [[noreturn]] void raise(const std::string& message) const { throw ToolError(prefix_ + message); }

 private:
  std::string prefix_;
};

bool isHeader(std::string_view line) {
  std::size_t column = 0;
  while (true) {
    const auto comma = line.find(',');
    const std::string_view field = trim(line.substr(0, comma));
    if (column >= kColumns || field != kColumnNames[column]) {
      return false;
    }
    ++column;
    if (comma == std::string_view::npos) {
      break;
    }
    line.remove_prefix(comma + 1);
  }
  return column == kColumns;
}

}  // namespace

const char* Recording::csvHeader() { return "t,fx,fy,fz,tx,ty,tz,ax,ay,az,wx,wy,wz"; }

Recording Recording::readCsv(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    throw ToolError("cannot open " + path + ": " + TextFormat::systemErrorText());
  }
  Recording recording = parseCsv(in, path);
  if (in.bad()) {
    throw ToolError("cannot read " + path + ": read error");
  }
  return recording;
}

Recording Recording::parseCsv(std::istream& in, const std::string& name) {
  Recording recording;
  std::string text;
  std::size_t lineNumber = 0;
  bool haveHeader = false;
  std::array<double, kColumns> numbers{};
  while (std::getline(in, text)) {
    ++lineNumber;
    std::string_view line(text);
    if (lineNumber == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") {
      line.remove_prefix(3);  // byte-order mark written by some spreadsheet programs
    }
    line = trim(line);
    if (line.empty() || line.front() == '#') {
      continue;
    }
    const LineError error(name, lineNumber);
    if (!haveHeader) {
      if (!isHeader(line)) {
        error.raise(std::string("expected the header line ") + csvHeader() + ", found " +
                    quoted(line));
      }
      haveHeader = true;
      continue;
    }
    std::size_t count = 0;
    std::size_t firstBad = 0;
    std::string_view badField;
    bool bad = false;
    std::string_view rest = line;
    while (true) {
      const auto comma = rest.find(',');
      const std::string_view field = trim(rest.substr(0, comma));
      double value = 0.0;
      if (!parseNumber(field, value) || !std::isfinite(value)) {
        if (!bad) {
          bad = true;
          firstBad = count;
          badField = field;
        }
      } else if (count < kColumns) {
        numbers[count] = value;
      }
      ++count;
      if (comma == std::string_view::npos) {
        break;
      }
      rest.remove_prefix(comma + 1);
    }
    if (count != kColumns) {
      error.raise("expected " + std::to_string(kColumns) + " numbers, found " +
                  std::to_string(count));
    }
    if (bad) {
      const std::string column = kColumnNames[firstBad];
      if (badField.empty()) {
        error.raise("column " + std::to_string(firstBad + 1) + " (" + column + ") is empty");
      }
      double value = 0.0;
      if (parseNumber(badField, value)) {
        error.raise("column " + std::to_string(firstBad + 1) + " (" + column + ") is " +
                    quoted(badField) + ", not a finite number");
      }
      error.raise("column " + std::to_string(firstBad + 1) + " (" + column + ") is " +
                  quoted(badField) + ", not a number");
    }
    StampedSample sample;
    sample.t = numbers[0];
    for (std::size_t i = 0; i < 12; ++i) {
      sample.values[i] = numbers[i + 1];
    }
    if (!recording.samples_.empty() && !(sample.t > recording.samples_.back().t)) {
      error.raise("time stamp " + TextFormat::shortest(sample.t) +
                  " does not come after the previous one (" +
                  TextFormat::shortest(recording.samples_.back().t) + ")");
    }
    recording.samples_.push_back(sample);
  }
  if (!haveHeader) {
    throw ToolError(name + ":" + std::to_string(lineNumber + 1) + ": expected the header line " +
                    csvHeader() + ", found the end of the file");
  }
  if (recording.samples_.empty()) {
    throw ToolError(name + ": the recording holds no samples");
  }
  return recording;
}

void Recording::writeCsv(const std::string& path) const {
  AtomicFileWriter writer(path);
  writeCsv(writer.stream());
  writer.commit();
}

void Recording::writeCsv(std::ostream& out) const {
  out << csvHeader() << '\n';
  writeCsvRows(out);
}

void Recording::writeCsvRows(std::ostream& out) const {
  std::string line;
  for (const StampedSample& sample : samples_) {
    line.clear();
    line += TextFormat::shortest(sample.t);
    for (double value : sample.values) {
      line += ',';
      line += TextFormat::shortest(value);
    }
    line += '\n';
    out << line;
  }
}

double Recording::duration() const {
  return samples_.size() < 2 ? 0.0 : samples_.back().t - samples_.front().t;
}

double Recording::meanRate() const {
  const double span = duration();
  return span > 0.0 ? static_cast<double>(samples_.size() - 1) / span : 0.0;
}

}  // namespace vorn::tools
