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
// text is dropped, and the caller told.
bool WriteToConsole(std::wstring_view text) {
  while (!text.empty()) {
    std::size_t units = text.size() < kConsoleChunkUnits ? text.size() : kConsoleChunkUnits;
    // Both halves of a surrogate pair go in the same write.
    if (units < text.size() && units > 1 && IsHighSurrogate(text[units - 1])) {
      --units;
    }
    DWORD written = 0;
    if (console_write(console_handle, text.data(), static_cast<DWORD>(units), &written, nullptr) == FALSE ||
        written == 0) {
      return false;
    }
    text.remove_prefix(written < units ? written : units);
  }
  return true;
}

// A short write could only be reported on the very stream that failed, so
// it is only answered; a pipe whose reader has gone fails here.
bool WriteBytes(std::string_view bytes) {
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  return std::fflush(stdout) == 0 && written;
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

bool WriteLine(std::string_view text) {
  std::string line(text);
  line += '\n';
  return WriteUtf8(line);
}

bool WriteUtf8(std::string_view text) {
  if (console_write == nullptr) {
    return WriteBytes(text);
  }
  return WriteToConsole(Utf8ToWide(text));
}

bool WriteWide(std::wstring_view text) {
  if (console_write == nullptr) {
    return WriteBytes(WideToLocale(text));
  }
  return WriteToConsole(text);
}
