#include "app/command_line.h"
#include "modes/modes.h"
#include "platform/handles.h"
#include "text/output.h"

#include <shellapi.h>

#include <string>

#ifdef TRELMO_WINDOWED
namespace {

// trelmow.exe's only way to say what went wrong to someone at the desktop.
void ShowMessageBox(const std::wstring& text) {
  static_cast<void>(MessageBoxW(nullptr, text.c_str(), L"trelmo", MB_OK | MB_ICONERROR | MB_SETFOREGROUND));
}

}  // namespace
#endif

// Built twice: trelmo.exe for the console, and with TRELMO_WINDOWED
// trelmow.exe for the Windows subsystem, which opens no console window (for
// hotkeys and scheduled tasks).
int main(int argc, char* argv[]) {
  // Every interface the run obtains is released before COM is uninitialised here.
  const ComInitialization com(kComSpeedOverMemory);
  // The C runtime's argv holds the ANSI code page's approximation of what was
  // typed; the platform's own split of the command line keeps every
  // character, for the values of --id and --name. It is asked for only when
  // an option takes a value, so that a listing makes no call it did not make
  // before; should the two splits ever disagree, the values come from argv.
  LocalMemHandle<LPWSTR> wide_argv;
  const auto wide = [&wide_argv, argc]() -> wchar_t** {
    int count = 0;
    wide_argv.Reset(CommandLineToArgvW(GetCommandLineW(), &count));
    return wide_argv && count == argc ? wide_argv.Get() : nullptr;
  };
#ifdef TRELMO_WINDOWED
  SelectWindowedOutput();
  return RunWindowed(argc, argv, CoCreateInstance, ShowMessageBox, wide);
#else
  SelectOutput();
  return RunCommandLine(argc, argv, CoCreateInstance, Pause, wide);
#endif
}
