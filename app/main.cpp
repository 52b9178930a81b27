#include "app/app.h"
#include "platform/handles.h"
#include "text/output.h"

#include <shellapi.h>

#include <memory>

namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* block) const { static_cast<void>(LocalFree(block)); }
};

}  // namespace

int main(int argc, char* argv[]) {
  // Every interface the run obtains is released before COM is uninitialised here.
  const ComInitialization com(kComSpeedOverMemory);
  SelectOutput();
  // The C runtime's argv holds the ANSI code page's approximation of what was
  // typed; the platform's own split of the command line keeps every
  // character, for the values of --id and --name. It is asked for only when
  // an option takes a value, so that a listing makes no call it did not make
  // before; should the two splits ever disagree, the values come from argv.
  std::unique_ptr<LPWSTR, LocalFreeDeleter> wide_argv;
  const auto wide = [&wide_argv, argc]() -> wchar_t** {
    int count = 0;
    wide_argv.reset(CommandLineToArgvW(GetCommandLineW(), &count));
    return wide_argv && count == argc ? wide_argv.get() : nullptr;
  };
  return RunCommandLine(argc, argv, CoCreateInstance, Pause, wide);
}
