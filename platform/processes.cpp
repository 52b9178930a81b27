#include "platform/processes.h"

#include "platform/handles.h"

#include <shlwapi.h>

namespace {

// Longer than any name the Sound panel shows; a longer one is cut.
constexpr DWORD kLongestText = 1024;

// The longest path the system can hand back (a UNICODE_STRING's), so that an
// image in a deeply nested folder still has its name.
constexpr DWORD kLongestPath = 32767;

}  // namespace

std::optional<std::wstring> ProcessImageName(DWORD process_id) {
  const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process) {
    return std::nullopt;
  }
  std::wstring path(kLongestPath, L'\0');
  DWORD length = kLongestPath;
  if (QueryFullProcessImageNameW(process.Get(), 0, path.data(), &length) == FALSE) {
    return std::nullopt;
  }
  path.resize(length);
  const std::size_t folder_end = path.find_last_of(L"\\/");
  return folder_end == std::wstring::npos ? path : path.substr(folder_end + 1);
}

std::optional<std::wstring> LoadIndirectString(const std::wstring& text) {
  std::wstring resolved(kLongestText, L'\0');
  if (FAILED(SHLoadIndirectString(text.c_str(), resolved.data(), kLongestText, nullptr))) {
    return std::nullopt;
  }
  resolved.resize(std::wcslen(resolved.c_str()));
  return resolved;
}
