// Text helpers: result codes, GUIDs, times and numbers as text, UTF-8 <-> UTF-16,
// wide text in the console's multibyte encoding, and letter case.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// The code as exactly eight upper-case hexadecimal digits: 0x8007000E gives "8007000E".
std::string FormatCode(std::uint32_t code);

using MultiByteToWideFunction = int(WINAPI*)(UINT, DWORD, LPCCH, int, LPWSTR, int);
using WideToMultiByteFunction = int(WINAPI*)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);

// Empty when the input is empty, too long for the platform's count, or not
// convertible. The second forms take the platform call, so tests can fake it.
std::wstring Utf8ToWide(std::string_view utf8);
std::wstring Utf8ToWide(std::string_view utf8, MultiByteToWideFunction convert);
std::string WideToUtf8(std::wstring_view wide);
std::string WideToUtf8(std::wstring_view wide, WideToMultiByteFunction convert);

// The text with each UTF-16 surrogate that has no partner replaced by U+FFFD,
// so that it converts to UTF-8 instead of failing as a whole.
std::wstring ReplaceLoneSurrogates(std::wstring_view wide);

// The columns the text takes on a console: two for a character of the East
// Asian wide and fullwidth blocks (CJK, kana, Hangul, emoji), one for any
// other, a surrogate pair being one character.
std::size_t DisplayWidth(std::wstring_view wide);

// The columns the text takes once written in the multibyte encoding of the C
// library's current locale: as on a console, but one for each "?" that
// stands for a character the encoding lacks.
std::size_t WrittenWidth(std::wstring_view wide);

// The wide text in the multibyte encoding of the C library's current locale.
// A character that the locale cannot represent becomes "?", and the rest of
// the text is converted as usual.
std::string WideToLocale(std::wstring_view wide);

// "{0F8D8A52-6C2E-4B4D-9B48-54A1C1B3E6D7}": upper case, as the platform writes them.
std::string FormatGuid(const GUID& guid);

// The value with exactly `digits` decimals and a point whatever the locale:
// FixedDecimal(-6.25, 1) is "-6.3".
std::string FixedDecimal(double value, int digits);

// The decimal with the fewest digits that is still the same float, as a
// double: 0.1f gives 0.1, not 0.10000000149011612.
double ShortestDecimal(float value);

// "2025-03-01T09:15:02.250Z": UTC, with milliseconds.
std::string UtcText(std::chrono::system_clock::time_point time);
// "10:15:02.250" in the time zone given, or in the user's with its daylight
// saving at that time; in UTC should the conversion fail.
std::string LocalClockText(std::chrono::system_clock::time_point time, const TIME_ZONE_INFORMATION* zone = nullptr);

// Letter case ignored by the platform's Unicode tables, not just for ASCII.
bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b);
bool ContainsIgnoringCase(std::wstring_view text, std::wstring_view part);
