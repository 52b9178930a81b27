#include "text/output.h"

#include "text/text.h"

#include <cstdio>
#include <string>

namespace {

// Set once by SelectOutput; a null writer is the byte path.
HANDLE console_handle = nullptr;              // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
ConsoleWriteFunction console_write = nullptr;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

// Older consoles refuse a single write much beyond 64 KiB.
constexpr std::size_t kConsoleChunkUnits = 8192;

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// A console that fails to take the text is no reason to stop the listing or
// change its status, and there is nowhere else to say so: the rest of this
// text is dropped.
void WriteToConsole(std::wstring_view text) {
  while (!text.empty()) {
    std::size_t units = text.size() < kConsoleChunkUnits ? text.size() : kConsoleChunkUnits;
    // Both halves of a surrogate pair go in the same write.
    if (units < text.size() && units > 1 && IsHighSurrogate(text[units - 1])) {
      --units;
    }
    DWORD written = 0;
    if (console_write(console_handle, text.data(), static_cast<DWORD>(units), &written, nullptr) == FALSE ||
        written == 0) {
      return;
    }
    text.remove_prefix(written < units ? written : units);
  }
}

void WriteBytes(std::string_view bytes) {
  // A short write could only be reported on the very stream that failed.
  static_cast<void>(std::fwrite(bytes.data(), 1, bytes.size(), stdout));
  static_cast<void>(std::fflush(stdout));
}

}  // namespace

void SelectOutput() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  const bool console =
      output != nullptr && output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode) != FALSE;
  SelectOutput(output, console ? WriteConsoleW : nullptr);
}

void SelectOutput(HANDLE console, ConsoleWriteFunction write) {
  console_handle = console;
  console_write = write;
}

bool OutputIsConsole() { return console_write != nullptr; }

void WriteLine(std::string_view text) {
  std::string line(text);
  line += '\n';
  WriteUtf8(line);
}

void WriteUtf8(std::string_view text) {
  if (console_write == nullptr) {
    WriteBytes(text);
    return;
  }
  WriteToConsole(Utf8ToWide(text));
}

void WriteWide(std::wstring_view text) {
  if (console_write == nullptr) {
    WriteBytes(WideToLocale(text));
    return;
  }
  WriteToConsole(text);
}
