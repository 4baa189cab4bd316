#include "RunResult.hpp"

#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <vector>

namespace vorn::accuracy {

std::string RunResult::serialise() const {
  std::ostringstream out;
  out << std::setprecision(17) << caseIndex << ' ' << static_cast<int>(end) << ' ' << dataSeconds
      << ' ' << massErrorPercent << ' ' << comErrorMm << ' ' << inertiaOriginPercent << ' '
      << inertiaComPercent << ' ' << forceBiasError << ' ' << torqueBiasError;
  for (const double z : normalisedErrors) {
    out << ' ' << z;
  }
  out << ' ' << (boundFeasible ? 1 : 0) << ' ' << boundSeconds << ' ' << (fileConsistent ? 1 : 0);
  for (const double e : efficiency) {
    out << ' ' << e;
  }
  for (const double ratio : endRatios) {
    out << ' ' << ratio;
  }
  out << ' ' << endResidual << ' ' << (endResidualWindowFull ? 1 : 0) << ' '
      << (endResidualMet ? 1 : 0) << ' ' << (endConsistent ? 1 : 0) << ' ' << endBlocking;
  return out.str();
}

bool RunResult::parse(const std::string& line, RunResult& result) {
  // strtod rather than stream extraction: it reads "nan" and "inf" too.
  std::istringstream in(line);
  std::vector<double> values;
  std::string token;
  while (in >> token) {
    char* end = nullptr;
    values.push_back(std::strtod(token.c_str(), &end));
    if (end == token.c_str() || *end != '\0') {
      return false;
    }
  }
  const std::size_t errors = result.normalisedErrors.size();
  const std::size_t conditions = 12 + errors + result.efficiency.size();
  if (values.size() != conditions + result.endRatios.size() + 5) {
    return false;
  }
  const int end = static_cast<int>(values[1]);
  if (end < 0 || end > 2) {
    return false;
  }
  result.caseIndex = static_cast<int>(values[0]);
  result.end = static_cast<RunEnd>(end);
  result.dataSeconds = values[2];
  result.massErrorPercent = values[3];
  result.comErrorMm = values[4];
  result.inertiaOriginPercent = values[5];
  result.inertiaComPercent = values[6];
  result.forceBiasError = values[7];
  result.torqueBiasError = values[8];
  for (std::size_t i = 0; i < result.normalisedErrors.size(); ++i) {
    result.normalisedErrors[i] = values[9 + i];
  }
  result.boundFeasible = values[9 + errors] != 0.0;
  result.boundSeconds = values[10 + errors];
  result.fileConsistent = values[11 + errors] != 0.0;
  for (std::size_t i = 0; i < result.efficiency.size(); ++i) {
    result.efficiency[i] = values[12 + errors + i];
  }
  for (std::size_t i = 0; i < result.endRatios.size(); ++i) {
    result.endRatios[i] = values[conditions + i];
  }
  const std::size_t rest = conditions + result.endRatios.size();
  result.endResidual = values[rest];
  result.endResidualWindowFull = values[rest + 1] != 0.0;
  result.endResidualMet = values[rest + 2] != 0.0;
  result.endConsistent = values[rest + 3] != 0.0;
  result.endBlocking = static_cast<int>(values[rest + 4]);
  return true;
}

}  // namespace vorn::accuracy
