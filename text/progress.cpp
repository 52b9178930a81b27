#include "text/progress.h"

#include <string>

namespace {

// Set once by SelectProgress; a null writer shows nothing.
bool selected = false;                          // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
HANDLE progress_console = nullptr;              // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
ConsoleWriteFunction progress_write = nullptr;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
// Characters the line shows now.
std::size_t shown = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

// Progress is no reason to stop the listing: a console that refuses it is let be.
void Write(const std::wstring& text) {
  DWORD written = 0;
  static_cast<void>(progress_write(progress_console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
}

void SelectStandardError() {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  const bool console = error != nullptr && error != INVALID_HANDLE_VALUE && GetConsoleMode(error, &mode) != FALSE;
  SelectProgress(error, console ? WriteConsoleW : nullptr);
}

}  // namespace

void SelectProgress(HANDLE console, ConsoleWriteFunction write) {
  selected = true;
  progress_console = console;
  progress_write = write;
  shown = 0;
}

void ShowProbingProgress(std::size_t position, std::size_t count) {
  if (!selected) {
    SelectStandardError();
  }
  if (progress_write == nullptr) {
    return;
  }
  std::wstring text = L"Probing formats: endpoint " + std::to_wstring(position) + L" of " + std::to_wstring(count);
  // Spaces cover the rest of a longer text shown before.
  if (text.size() < shown) {
    text.append(shown - text.size(), L' ');
  }
  shown = text.size();
  Write(L"\r" + text);
}

void EraseProgress() {
  if (progress_write == nullptr || shown == 0) {
    return;
  }
  Write(L"\r" + std::wstring(shown, L' ') + L"\r");
  shown = 0;
}
