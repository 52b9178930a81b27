#include "text/text.h"

#include <cstdint>

namespace {

// The platform's clock counts 100 ns from 1601; the C++ system clock counts
// from 1970 on every compiler the tool is built with.
constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;

SYSTEMTIME UtcTime(std::chrono::system_clock::time_point time) {
  using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;
  const auto ticks = static_cast<std::uint64_t>(
      std::chrono::duration_cast<Ticks>(time.time_since_epoch()).count() + kTicksFrom1601To1970);
  const FILETIME file{static_cast<DWORD>(ticks & 0xFFFFFFFFU), static_cast<DWORD>(ticks >> 32U)};
  SYSTEMTIME utc{};
  static_cast<void>(FileTimeToSystemTime(&file, &utc));
  return utc;
}

template <std::size_t Width>
std::string Digits(unsigned value) {
  std::string text = std::to_string(value);
  return text.size() < Width ? std::string(Width - text.size(), '0') + text : text;
}

std::string ClockText(const SYSTEMTIME& time) {
  return Digits<2>(time.wHour) + ":" + Digits<2>(time.wMinute) + ":" + Digits<2>(time.wSecond) + "." +
         Digits<3>(time.wMilliseconds);
}

}  // namespace

std::string UtcText(std::chrono::system_clock::time_point time) {
  const SYSTEMTIME utc = UtcTime(time);
  return Digits<4>(utc.wYear) + "-" + Digits<2>(utc.wMonth) + "-" + Digits<2>(utc.wDay) + "T" + ClockText(utc) + "Z";
}

std::string LocalClockText(std::chrono::system_clock::time_point time, const TIME_ZONE_INFORMATION* zone) {
  const SYSTEMTIME utc = UtcTime(time);
  SYSTEMTIME local{};
  return ClockText(SystemTimeToTzSpecificLocalTime(zone, &utc, &local) != FALSE ? local : utc);
}
