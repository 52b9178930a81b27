// Text helpers: result codes as hexadecimal, UTF-8 <-> UTF-16, and wide text
// in the console's multibyte encoding.
#pragma once

#include <windows.h>

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

// The wide text in the multibyte encoding of the C library's current locale.
// A character that the locale cannot represent becomes "?", and the rest of
// the text is converted as usual.
std::string WideToLocale(std::wstring_view wide);
