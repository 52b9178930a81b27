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
  // character, for the values of --id and --name. Should the two splits ever
  // disagree, the values come from argv instead.
  int wide_count = 0;
  const std::unique_ptr<LPWSTR, LocalFreeDeleter> wide_argv(CommandLineToArgvW(GetCommandLineW(), &wide_count));
  wchar_t** wide = wide_argv && wide_count == argc ? wide_argv.get() : nullptr;
  return RunCommandLine(argc, argv, CoCreateInstance, Pause, wide);
}
