#include "text/text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

double ShortestDecimal(float value) {
  if (!std::isfinite(value)) {
    return static_cast<double>(value);
  }
  // A float carries at most nine significant digits; the first rounding that
  // reads back as the same float is the one a person would write.
  double scale = 1.0;
  for (int digits = 0; digits <= 9; ++digits) {
    const double candidate = std::round(static_cast<double>(value) * scale) / scale;
    if (static_cast<float>(candidate) == value) {
      return candidate;
    }
    scale *= 10.0;
  }
  return static_cast<double>(value);
}

// By hand rather than through printf: the C library's decimal point follows
// the locale taken from the environment, and a German one writes a comma.
std::string FixedDecimal(double value, int digits) {  // NOLINT(bugprone-easily-swappable-parameters)
  if (!std::isfinite(value)) {
    return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
  }
  double scale = 1.0;
  for (int digit = 0; digit < digits; ++digit) {
    scale *= 10.0;
  }
  const double scaled = std::round(std::fabs(value) * scale);
  // Beyond 2^63 the integer part would not fit; no value shown here comes near.
  if (scaled >= 9.2e18) {
    return value < 0 ? "-inf" : "inf";
  }
  auto units = static_cast<std::uint64_t>(scaled);
  std::string fraction;
  for (int digit = 0; digit < digits; ++digit) {
    fraction.insert(fraction.begin(), static_cast<char>('0' + units % 10));
    units /= 10;
  }
  std::string text = (value < 0 && scaled != 0.0 ? "-" : "") + std::to_string(units);
  if (digits > 0) {
    text += '.';
    text += fraction;
  }
  return text;
}

std::string FormatGuid(const GUID& guid) {
  std::string text = "{";
  const auto hex = [&text](std::uint64_t value, int digits) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
      text += kDigits[(value >> static_cast<unsigned>(shift)) & 0xF];
    }
  };
  hex(guid.Data1, 8);
  text += '-';
  hex(guid.Data2, 4);
  text += '-';
  hex(guid.Data3, 4);
  text += '-';
  for (std::size_t at = 0; at < sizeof guid.Data4; ++at) {
    if (at == 2) {
      text += '-';
    }
    hex(guid.Data4[at], 2);
  }
  text += '}';
  return text;
}
