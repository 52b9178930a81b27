#include "text/output.h"

#include "text/text.h"

#include <cstdio>
#include <string>

namespace {

// Where a stream's text goes: a null writer is the byte path.
struct Destination {
  bool standard_error = false;
  HANDLE console = nullptr;
  ConsoleWriteFunction write = nullptr;
  bool discard = false;  // nowhere a program without a console may write

  [[nodiscard]] FILE* Stream() const { return standard_error ? stderr : stdout; }
};

// Standard output's is set once by SelectOutput, standard error's at its first line.
Destination output;          // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
Destination error{true};     // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
bool error_selected = false;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
std::wstring* kept_errors = nullptr;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

// Older consoles refuse a single write much beyond 64 KiB.
constexpr std::size_t kConsoleChunkUnits = 8192;

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// A console that fails to take the text is no reason to stop the listing or
// change its status, and there is nowhere else to say so: the rest of this
// text is dropped, and the caller told.
bool WriteToConsole(const Destination& to, std::wstring_view text) {
  while (!text.empty()) {
    std::size_t units = text.size() < kConsoleChunkUnits ? text.size() : kConsoleChunkUnits;
    // Both halves of a surrogate pair go in the same write.
    if (units < text.size() && units > 1 && IsHighSurrogate(text[units - 1])) {
      --units;
    }
    DWORD written = 0;
    if (to.write(to.console, text.data(), static_cast<DWORD>(units), &written, nullptr) == FALSE ||
        written == 0) {
      return false;
    }
    text.remove_prefix(written < units ? written : units);
  }
  return true;
}

// A short write could only be reported on the very stream that failed, so
// it is only answered; a pipe whose reader has gone fails here.
bool WriteBytes(const Destination& to, std::string_view bytes) {
  if (to.discard) {
    return true;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), to.Stream()) == bytes.size();
  return std::fflush(to.Stream()) == 0 && written;
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != FALSE;
}

// A file or a pipe, and not a console (which a character device may be).
bool IsRedirected(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || IsConsole(handle)) {
    return false;
  }
  const DWORD type = GetFileType(handle);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

}  // namespace

void SelectOutput() {
  HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  SelectOutput(handle, IsConsole(handle) ? WriteConsoleW : nullptr);
}

void SelectOutput(HANDLE console, ConsoleWriteFunction write) {
  output.console = console;
  output.write = write;
  output.discard = false;
}

bool OutputIsConsole() { return output.write != nullptr; }

bool WriteLine(std::string_view text) {
  std::string line(text);
  line += '\n';
  return WriteUtf8(line);
}

bool WriteUtf8(std::string_view text) {
  if (output.write == nullptr) {
    return WriteBytes(output, text);
  }
  return WriteToConsole(output, Utf8ToWide(text));
}

bool WriteWide(std::wstring_view text) {
  if (output.write == nullptr) {
    return WriteBytes(output, WideToLocale(text));
  }
  return WriteToConsole(output, text);
}

std::size_t ConsoleColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (output.write == nullptr || GetConsoleScreenBufferInfo(output.console, &info) == FALSE ||
      info.srWindow.Right < info.srWindow.Left) {
    return 0;
  }
  return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left) + 1;
}

void SelectErrorOutput(HANDLE console, ConsoleWriteFunction write) {
  error_selected = true;
  error.console = console;
  error.write = write;
  error.discard = false;
}

void SelectWindowedOutput() {
  SelectOutput(nullptr, nullptr);
  output.discard = !IsRedirected(GetStdHandle(STD_OUTPUT_HANDLE));
  SelectErrorOutput(nullptr, nullptr);
  error.discard = !IsRedirected(GetStdHandle(STD_ERROR_HANDLE));
}

void KeepErrorLines(std::wstring* into) { kept_errors = into; }

bool WriteErrorLine(std::wstring_view text) {
  if (!error_selected) {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    SelectErrorOutput(handle, IsConsole(handle) ? WriteConsoleW : nullptr);
  }
  std::wstring line(text);
  line += L'\n';
  if (kept_errors != nullptr) {
    *kept_errors += line;
  }
  if (error.write == nullptr) {
    return WriteBytes(error, WideToLocale(line));
  }
  return WriteToConsole(error, line);
}
