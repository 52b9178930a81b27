#include "platform/files.h"

#include "platform/handles.h"
#include "text/text.h"

#include <string>

namespace {

constexpr DWORD kMostBytes = 64U * 1024U * 1024U;  // no document of trelmo's comes near this

// The folder part of a path, with its separator, or empty for a bare name.
std::wstring FolderOf(const std::wstring& path) {
  const std::size_t last = path.find_last_of(L"\\/:");
  return last == std::wstring::npos ? std::wstring() : path.substr(0, last + 1);
}

// CreateFile answers a failure with INVALID_HANDLE_VALUE, which a handle owner must not close.
HANDLE Opened(HANDLE file) { return file == INVALID_HANDLE_VALUE ? nullptr : file; }

DWORD WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > kMostBytes ? kMostBytes : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (WriteFile(file, bytes.data(), chunk, &written, nullptr) == FALSE) {
      return GetLastError();
    }
    bytes.remove_prefix(written);
  }
  return FlushFileBuffers(file) != FALSE ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

DWORD ReadWholeFile(const std::wstring& path, std::string& bytes) {
  const KernelHandle file(Opened(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!file) {
    return GetLastError();
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file.Get(), &size) == FALSE) {
    return GetLastError();
  }
  if (size.QuadPart > kMostBytes) {
    return ERROR_FILE_TOO_LARGE;
  }
  bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() && ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) == FALSE) {
    return GetLastError();
  }
  bytes.resize(read);
  return ERROR_SUCCESS;
}

DWORD ReplaceFileWhole(const std::wstring& path, std::string_view bytes) {
  const std::wstring folder = FolderOf(path);
  std::wstring temporary(MAX_PATH + 1, L'\0');
  if (GetTempFileNameW(folder.empty() ? L"." : folder.c_str(), L"trm", 0, temporary.data()) == 0) {
    return GetLastError();
  }
  temporary.resize(wcslen(temporary.c_str()));
  DWORD result = ERROR_SUCCESS;
  {
    const KernelHandle file(Opened(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr)));
    result = file ? WriteAll(file.Get(), bytes) : GetLastError();
  }
  if (result == ERROR_SUCCESS &&
      MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
    result = GetLastError();
  }
  if (result != ERROR_SUCCESS) {
    DeleteFileW(temporary.c_str());
  }
  return result;
}

std::wstring SystemMessage(DWORD code) {
  wchar_t* allocated = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&allocated), 0, nullptr);
  const LocalMemHandle<wchar_t> text(allocated);
  if (length == 0 || !text) {
    const std::string hex = "error 0x" + FormatCode(code);
    return {hex.begin(), hex.end()};
  }
  std::wstring message(text.Get(), length);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
    message.pop_back();
  }
  return message;
}
