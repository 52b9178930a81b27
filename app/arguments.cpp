#include "app/app.h"
#include "app/state_mask.h"
#include "text/output.h"

#include <cctype>
#include <clocale>
#include <cstdint>
#include <string_view>

// The one process-wide setting: see state_mask.h.
std::uint32_t StateMask = DEVICE_STATE_ACTIVE;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

namespace {

struct StateWord {
  std::string_view word;
  std::uint32_t bit;
};

constexpr StateWord kStateWords[] = {
    {"active", DEVICE_STATE_ACTIVE},
    {"disabled", DEVICE_STATE_DISABLED},
    {"unplugged", DEVICE_STATE_UNPLUGGED},
    {"not-present", DEVICE_STATE_NOTPRESENT},
};

// A space stands for the hyphen, so that "Not Present" can be typed unquoted
// as one argument; letter case folds by the rules of the current locale.
void Normalise(char* argument) {
  for (char* byte = argument; *byte != '\0'; ++byte) {
    const auto value = static_cast<unsigned char>(*byte);
    *byte = value == ' ' ? '-' : static_cast<char>(std::tolower(value));
  }
}

}  // namespace

bool ParseArguments(int argc, char* argv[]) {
  for (int index = 1; index < argc; ++index) {
    Normalise(argv[index]);
    const std::string_view argument = argv[index];
    bool known = false;
    for (const StateWord& state : kStateWords) {
      if (argument == state.word) {
        StateMask |= state.bit;
        known = true;
        break;
      }
    }
    if (!known) {
      return false;
    }
  }
  return true;
}

void PrintHelp() {
  WriteLine("==== Help ====");
  WriteLine("Usage:");
  WriteLine("    trelmo [Active|Disabled|Unplugged|Not-Present]");
}

int RunCommandLine(int argc, char* argv[], CreateInstanceFunction create_instance, void (*pause)()) {
  // Any state word replaces the default of listing active endpoints only.
  if (argc > 1) {
    StateMask = 0;
  }
  static_cast<void>(std::setlocale(LC_ALL, ""));
  if (!ParseArguments(argc, argv)) {
    PrintHelp();
    return 2;
  }
  return RunListing(create_instance, pause);
}
