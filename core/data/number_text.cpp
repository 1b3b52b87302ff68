#include "data/number_text.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace pilvo {
namespace {

// Sign, the 309 digits of the largest double and the point, before the decimals.
constexpr std::size_t kLongestWholeNumber = 311;

std::string Text(double value, std::chars_format format, int precision) {
  // A negative precision means six, as in printf.
  std::string text(kLongestWholeNumber + static_cast<std::size_t>(std::max(precision, 6)), '\0');
  const auto end = std::to_chars(text.data(), text.data() + text.size(), value, format, precision);
  text.resize(static_cast<std::size_t>(end.ptr - text.data()));
  return text;
}

}  // namespace

std::string FixedText(double value, int decimals) {
  return Text(value, std::chars_format::fixed, decimals);
}

std::string GeneralText(double value) {
  return Text(value, std::chars_format::general, 6);
}

double LeadingNumber(const char* text) {
  // The C locale is built in: asking for it loads nothing and cannot fail.
  static const locale_t classic = ::newlocale(LC_ALL_MASK, "C", locale_t{});
  return ::strtod_l(text, nullptr, classic);
}

std::optional<double> ParseLength(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value) || value < 0) {
    return std::nullopt;
  }
  return value;
}

}  // namespace pilvo
