// Files a run reads or writes whole: a saved setup read in one piece, and a
// document that replaces its file whole or not at all.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The file's bytes, or the platform's error (a Win32 code) and nothing.
DWORD ReadWholeFile(const std::wstring& path, std::string& bytes);

// Writes the bytes to a new file in the same folder, flushes it, then moves
// it over the path. On any failure the file at the path is as it was, the new
// one is removed, and the Win32 code says why.
DWORD ReplaceFileWhole(const std::wstring& path, std::string_view bytes);

// The system's own text for a Win32 code, in the user's language, without
// the line end: "Access is denied."; the code in hexadecimal when it has none.
std::wstring SystemMessage(DWORD code);
