#include "app/app.h"
#include "app/state_mask.h"
#include "app/version.h"
#include "text/output.h"
#include "watch/watch.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstring>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
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
    {"--json", &Options::json},       {"--no-pause", &Options::no_pause}, {"--capture", &Options::capture},
    {"--render", &Options::render},   {"--details", &Options::details},   {"--help", &Options::help},
    {"-h", &Options::help},           {"/?", &Options::help},             {"--version", &Options::version},
    {"--formats", &Options::formats},
    {"--watch", &Options::watch},
};

// A count of at least 1 in ASCII digits, no sign, that fits the number.
bool WholeNumber(const std::wstring& text, std::uint32_t& number) {
  std::uint64_t value = 0;
  for (const wchar_t digit : text) {
    if (digit < L'0' || digit > L'9') {
      return false;
    }
    value = value * 10 + static_cast<std::uint64_t>(digit - L'0');
    if (value > std::numeric_limits<std::uint32_t>::max()) {
      return false;
    }
  }
  number = static_cast<std::uint32_t>(value);
  return value >= 1;
}

// An option that takes a value: "--id ID" or "--id=ID". The value is taken
// as typed, never folded; an option that cannot use it answers false.
struct ValueOption {
  std::string_view word;
  bool (*take)(Options& options, std::wstring value);
};

constexpr ValueOption kValueOptions[] = {
    {"--id",
     [](Options& options, std::wstring value) {
       options.choice.ids.push_back(std::move(value));
       return true;
     }},
    {"--name",
     [](Options& options, std::wstring value) {
       options.choice.names.push_back(std::move(value));
       return true;
     }},
    // Every option's take has the same signature; a number only reads its value.
    {"--events",  // NOLINTNEXTLINE(performance-unnecessary-value-param)
     [](Options& options, std::wstring value) { return WholeNumber(value, options.events); }},
    {"--timeout",  // NOLINTNEXTLINE(performance-unnecessary-value-param)
     [](Options& options, std::wstring value) { return WholeNumber(value, options.timeout); }},
};

// One line per option, after the usage lines.
constexpr std::string_view kOptionHelp[] = {
    "    --json          one JSON document instead of the text listing, without the pause",
    "    --no-pause      the text listing without the pause at its end",
    "    --capture       list recording (capture) endpoints instead of playback ones",
    "    --render        list playback endpoints (the default); with --capture, both",
    "    --details       add form factor, device format, speakers, container, volume, peak",
    "    --id ID         only the endpoint with this identifier; may be given again",
    "    --name TEXT     only endpoints whose name contains TEXT; may be given again",
    "    --formats       add what each endpoint can play and record, shared and exclusive",
    "    --watch         print endpoint changes as they happen, until stopped",
    "    --events N      with --watch: stop after N changes",
    "    --timeout SECS  with --watch: stop after SECS seconds; status 1 if N not reached",
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

// Text from the C runtime's argv, which holds it in the ANSI code page.
std::wstring AnsiToWide(const char* text) {
  const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (needed <= 1) {
    return {};
  }
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), needed) == 0) {
    return {};
  }
  wide.resize(static_cast<std::size_t>(needed) - 1);
  return wide;
}

// The value part of "--name=TEXT" as typed: what follows the first "=".
std::wstring AfterEquals(const std::wstring& argument) {
  const std::size_t equals = argument.find(L'=');
  return equals == std::wstring::npos ? std::wstring() : argument.substr(equals + 1);
}

const ValueOption* FindValueOption(std::string_view word) {
  const auto* option = std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                    [word](const ValueOption& known) { return word == known.word; });
  return option != std::end(kValueOptions) ? option : nullptr;
}

}  // namespace

bool ParseArguments(int argc, char* argv[], Options& options, const WideArguments& wide_argv) {
  wchar_t** wide = nullptr;
  bool wide_asked = false;
  const auto typed = [&](int index, const std::string& narrow) {
    if (!wide_asked && wide_argv) {
      wide = wide_argv();
    }
    wide_asked = true;
    return wide != nullptr ? std::wstring(wide[index]) : AnsiToWide(narrow.c_str());
  };
  for (int index = 1; index < argc; ++index) {
    // Folding would change the value of "--name=TEXT", so it is kept first.
    const std::string before = std::strchr(argv[index], '=') != nullptr ? argv[index] : std::string();
    Normalise(argv[index]);
    const std::string_view word = argv[index];
    if (ApplyWord(word, options)) {
      continue;
    }
    std::wstring value;
    const ValueOption* option = FindValueOption(word);
    if (option != nullptr) {
      if (index + 1 >= argc) {
        return false;
      }
      ++index;
      value = typed(index, argv[index]);
    } else if (const std::size_t equals = word.find('='); equals != std::string_view::npos) {
      option = FindValueOption(word.substr(0, equals));
      value = AfterEquals(typed(index, before));
    }
    if (option == nullptr || value.empty() || !option->take(options, std::move(value))) {
      return false;
    }
  }
  return options.watch || (options.events == 0 && options.timeout == 0);
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

int RunCommandLine(int argc, char* argv[], CreateInstanceFunction create_instance, void (*pause)(),
                   const WideArguments& wide_argv) {
  // Any state word replaces the default of listing active endpoints only.
  if (argc > 1) {
    StateMask = 0;
  }
  static_cast<void>(std::setlocale(LC_ALL, ""));
  Options options;
  if (!ParseArguments(argc, argv, options, wide_argv)) {
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
  if (options.watch) {
    return RunWatch(options, create_instance);
  }
  if (options.json) {
    return RunJsonListing(options, create_instance);
  }
  return RunListing(options, create_instance, pause);
}
