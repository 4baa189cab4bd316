#pragma once

#include <string>

namespace vorn::tools {

/// Number and text formatting for the tool's own output. It never touches the formatting
/// state of std::cout, which the libraries change while they run.
class TextFormat {
 public:
  TextFormat() = delete;

  /// Shortest text that reads back as the same double ("0.001", "1e-05", "-11.772").
  static std::string shortest(double value);

  /// Fixed notation with `decimals` digits after the point ("1.2000").
  static std::string fixed(double value, int decimals);

  /// Fixed notation with an explicit sign ("+0.12").
  static std::string signedFixed(double value, int decimals);

  /// `text` padded with spaces on the left (right-aligned) or right to `width` characters.
  static std::string padLeft(const std::string& text, std::size_t width);
  static std::string padRight(const std::string& text, std::size_t width);

  /// The text of the current errno ("No such file or directory").
  static std::string systemErrorText();
};

}  // namespace vorn::tools
