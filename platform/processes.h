// What the system says of the programs behind an audio session.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The image file name of a running process, "firefox.exe", from the process
// opened with query-limited rights; nothing when it is gone or cannot be opened.
std::optional<std::wstring> ProcessImageName(DWORD process_id);

// An indirect string, "@%SystemRoot%\System32\AudioSrv.Dll,-202", resolved
// through the shell's loader as the Sound panel resolves session names;
// nothing when it cannot be.
std::optional<std::wstring> LoadIndirectString(const std::wstring& text);

// The two lookups a session reading makes, so that tests can hand in their own.
struct SessionLookups {
  std::optional<std::wstring> (*image_name)(DWORD process_id) = ProcessImageName;
  std::optional<std::wstring> (*indirect_string)(const std::wstring& text) = LoadIndirectString;
};
