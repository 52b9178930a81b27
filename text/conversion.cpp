#include "text/text.h"

#include <algorithm>
#include <climits>
#include <clocale>
#include <cwchar>
#include <iterator>
#include <utility>

namespace {

// The platform counts in a 32-bit signed int, and reads a negative count as
// "up to the terminating zero": a longer text must never reach it.
bool FitsPlatformCount(std::size_t length) {
  return length > 0 && length <= static_cast<std::size_t>(INT_MAX);
}

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The main blocks of East Asian Width W and F.
bool IsWide(char32_t code) {
  constexpr std::pair<char32_t, char32_t> kWide[] = {
      {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
      {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F}, {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
  };
  return std::any_of(std::begin(kWide), std::end(kWide),
                     [code](const auto& range) { return code >= range.first && code <= range.second; });
}

}  // namespace

std::size_t DisplayWidth(std::wstring_view wide) {
  std::size_t width = 0;
  for (std::size_t at = 0; at < wide.size(); ++at) {
    auto code = static_cast<char32_t>(wide[at]);
    if (IsHighSurrogate(wide[at]) && at + 1 < wide.size() && IsLowSurrogate(wide[at + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10U) + (static_cast<char32_t>(wide[at + 1]) - 0xDC00);
      ++at;
    }
    width += IsWide(code) ? 2U : 1U;
  }
  return width;
}

std::wstring Utf8ToWide(std::string_view utf8) { return Utf8ToWide(utf8, MultiByteToWideChar); }

std::wstring Utf8ToWide(std::string_view utf8, MultiByteToWideFunction convert) {
  if (!FitsPlatformCount(utf8.size())) {
    return {};
  }
  const int length = static_cast<int>(utf8.size());
  const int needed = convert(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (needed <= 0) {
    return {};
  }
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  if (convert(CP_UTF8, 0, utf8.data(), length, wide.data(), needed) == 0) {
    return {};
  }
  return wide;
}

std::string WideToUtf8(std::wstring_view wide) { return WideToUtf8(wide, WideCharToMultiByte); }

std::string WideToUtf8(std::wstring_view wide, WideToMultiByteFunction convert) {
  if (!FitsPlatformCount(wide.size())) {
    return {};
  }
  const int length = static_cast<int>(wide.size());
  const int needed =
      convert(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) {
    return {};
  }
  std::string utf8(static_cast<std::size_t>(needed), '\0');
  if (convert(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, utf8.data(), needed, nullptr,
              nullptr) == 0) {
    return {};
  }
  return utf8;
}

std::wstring ReplaceLoneSurrogates(std::wstring_view wide) {
  std::wstring text(wide);
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
      ++at;
    } else if (IsHighSurrogate(text[at]) || IsLowSurrogate(text[at])) {
      text[at] = L'\xFFFD';
    }
  }
  return text;
}

// The C runtime's own wide output gives up on the rest of a value at the
// first character the locale's code page lacks; converting one character at
// a time lets the rest through.
std::string WideToLocale(std::wstring_view wide) {
  std::string text;
  text.reserve(wide.size());
  std::mbstate_t state{};
  char bytes[MB_LEN_MAX];
  for (std::size_t at = 0; at < wide.size(); ++at) {
    const std::size_t written = std::wcrtomb(bytes, wide[at], &state);
    if (written == static_cast<std::size_t>(-1)) {
      text.push_back('?');
      state = std::mbstate_t{};
      // A surrogate pair is one character: one "?" stands for both halves.
      if (IsHighSurrogate(wide[at]) && at + 1 < wide.size() && IsLowSurrogate(wide[at + 1])) {
        ++at;
      }
      continue;
    }
    text.append(bytes, written);
  }
  return text;
}

std::size_t WrittenWidth(std::wstring_view wide) {
  std::size_t width = 0;
  std::mbstate_t state{};
  char bytes[MB_LEN_MAX];
  for (std::size_t at = 0; at < wide.size(); ++at) {
    const bool pair = IsHighSurrogate(wide[at]) && at + 1 < wide.size() && IsLowSurrogate(wide[at + 1]);
    if (std::wcrtomb(bytes, wide[at], &state) == static_cast<std::size_t>(-1)) {
      // One "?", as WideToLocale writes it, for the pair too.
      ++width;
      state = std::mbstate_t{};
    } else {
      width += DisplayWidth(wide.substr(at, pair ? 2 : 1));
    }
    at += pair ? 1 : 0;
  }
  return width;
}
