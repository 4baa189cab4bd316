#include "replay/CompensationReplay.hpp"

#include <cmath>
#include <exception>
#include <limits>
#include <ostream>

#include <vorn/VornPayloadCompensator.hpp>

#include "files/AtomicFileWriter.hpp"
#include "console/ProgressDisplay.hpp"
#include "console/TextFormat.hpp"
#include "console/ToolError.hpp"

namespace vorn::tools {

CompensationReplay::CompensationReplay(const std::string& configPath) {
  try {
    compensator_ = std::make_unique<VornPayloadCompensator>(configPath);
  } catch (const std::exception& e) {
    throw ToolError(configPath + ": " + e.what());
  }
}

CompensationReplay::~CompensationReplay() = default;

std::vector<CompensatedSample> CompensationReplay::run(const Recording& recording,
                                                       std::optional<double> tareAt,
                                                       const std::string& progressLabel,
                                                       bool showProgress) {
  std::vector<CompensatedSample> result;
  result.reserve(recording.size());
  if (recording.empty()) {
    return result;
  }
  ProgressDisplay progress(progressLabel, showProgress && ProgressDisplay::stderrIsTerminal());
  const auto& samples = recording.samples();
  const double firstStamp = samples.front().t;
  const double total = recording.duration();
  bool tarePending = tareAt.has_value();
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const StampedSample& sample = samples[k];
    const double dataTime = sample.t - firstStamp;
    if (tarePending && dataTime >= *tareAt) {
      compensator_->tareCompensatedWrench();
      tarePending = false;
    }
    std::array<double, 12> out{};
    CompensatedSample compensated;
    compensated.t = sample.t;
    try {
      compensated.status = compensator_->update(sample.t, sample.values, out);
    } catch (const std::exception& e) {
      progress.finish();
      throw ToolError("sample " + std::to_string(k + 1) + " (t = " +
                      TextFormat::shortest(sample.t) + " s): the compensator failed: " + e.what());
    }
    for (std::size_t i = 0; i < 6; ++i) {
      compensated.wrench[i] = compensated.status == 5 ? kNaN : out[i];
    }
    result.push_back(compensated);
    progress.update(dataTime, total);
  }
  progress.finish();
  return result;
}

const char* CompensationReplay::csvHeader() { return "t,fx,fy,fz,tx,ty,tz,status"; }

void CompensationReplay::writeCsv(const std::vector<CompensatedSample>& samples,
                                  const std::string& path) {
  AtomicFileWriter writer(path);
  std::ostream& out = writer.stream();
  out << csvHeader() << '\n';
  std::string line;
  for (const CompensatedSample& sample : samples) {
    line = TextFormat::shortest(sample.t);
    for (double value : sample.wrench) {
      line += ',';
      line += std::isnan(value) ? std::string("nan") : TextFormat::shortest(value);
    }
    line += ',';
    line += std::to_string(sample.status);
    line += '\n';
    out << line;
  }
  writer.commit();
}

}  // namespace vorn::tools
