#include "app/app.h"
#include "app/state_mask.h"
#include "app/version.h"
#include "text/output.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdint>
#include <iterator>
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

struct OptionWord {
  std::string_view word;
  bool Options::*flag;
};

// Compared after the same folding as state words, so "--JSON" is "--json".
constexpr OptionWord kOptionWords[] = {
    {"--json", &Options::json},   {"--no-pause", &Options::no_pause}, {"--capture", &Options::capture},
    {"--render", &Options::render}, {"--help", &Options::help},         {"-h", &Options::help},
    {"/?", &Options::help},       {"--version", &Options::version},
};

// One line per option, after the usage lines.
constexpr std::string_view kOptionHelp[] = {
    "    --json          one JSON document instead of the text listing, without the pause",
    "    --no-pause      the text listing without the pause at its end",
    "    --capture       list recording (capture) endpoints instead of playback ones",
    "    --render        list playback endpoints (the default); with --capture, both",
    "    --help, -h, /?  this help",
    "    --version       the version of trelmo",
};

bool ApplyWord(std::string_view argument, Options& options) {
  const auto* state = std::find_if(std::begin(kStateWords), std::end(kStateWords),
                                   [argument](const StateWord& word) { return argument == word.word; });
  if (state != std::end(kStateWords)) {
    StateMask |= state->bit;
    options.state_word_given = true;
    return true;
  }
  const auto* option = std::find_if(std::begin(kOptionWords), std::end(kOptionWords),
                                    [argument](const OptionWord& word) { return argument == word.word; });
  if (option != std::end(kOptionWords)) {
    options.*option->flag = true;
    return true;
  }
  return false;
}

// A space stands for the hyphen, so that "Not Present" can be typed unquoted
// as one argument; letter case folds by the rules of the current locale.
void Normalise(char* argument) {
  for (char* byte = argument; *byte != '\0'; ++byte) {
    const auto value = static_cast<unsigned char>(*byte);
    *byte = value == ' ' ? '-' : static_cast<char>(std::tolower(value));
  }
}

}  // namespace

bool ParseArguments(int argc, char* argv[], Options& options) {
  for (int index = 1; index < argc; ++index) {
    Normalise(argv[index]);
    if (!ApplyWord(argv[index], options)) {
      return false;
    }
  }
  return true;
}

bool ParseArguments(int argc, char* argv[]) {
  Options ignored;
  return ParseArguments(argc, argv, ignored);
}

void PrintHelp() {
  WriteLine("==== Help ====");
  WriteLine("Usage:");
  WriteLine("    trelmo [Active|Disabled|Unplugged|Not-Present]");
}

void PrintOptionsHelp() {
  PrintHelp();
  WriteLine("");
  for (const std::string_view line : kOptionHelp) {
    WriteLine(line);
  }
}

int RunCommandLine(int argc, char* argv[], CreateInstanceFunction create_instance, void (*pause)()) {
  // Any state word replaces the default of listing active endpoints only.
  if (argc > 1) {
    StateMask = 0;
  }
  static_cast<void>(std::setlocale(LC_ALL, ""));
  Options options;
  if (!ParseArguments(argc, argv, options)) {
    PrintHelp();
    return 2;
  }
  // Options alone leave the default of listing active endpoints.
  if (!options.state_word_given) {
    StateMask = DEVICE_STATE_ACTIVE;
  }
  if (options.help) {
    PrintOptionsHelp();
    return 0;
  }
  if (options.version) {
    WriteLine("trelmo " TRELMO_VERSION_TEXT);
    return 0;
  }
  if (options.json) {
    return RunJsonListing(options, create_instance);
  }
  return RunListing(options, create_instance, pause);
}
