#include "app/command_line.h"

#include "app/version.h"
#include "modes/modes.h"
#include "readers/vocabulary.h"
#include "text/output.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>

namespace {

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

// One option: the word, compared after the same folding as state words (so
// "--JSON" is "--json"), what it sets, and its line of the help. A switch
// sets a flag; an option that takes a value ("--id ID" or "--id=ID") hands
// it, as typed and never folded, to take, which answers false when it cannot
// use it. An alias has no help line of its own.
struct OptionRow {
  std::string_view word;
  bool Options::*flag = nullptr;
  bool (*take)(Options& options, std::wstring value) = nullptr;
  std::string_view label{};  // as the help shows it
  std::string_view help{};
};

// Every take has the same signature; a number only reads its value.
// NOLINTBEGIN(performance-unnecessary-value-param)
constexpr OptionRow kOptions[] = {
    {"--json", &Options::json, nullptr, "--json", "one JSON document instead of the text listing, without the pause"},
    {"--no-pause", &Options::no_pause, nullptr, "--no-pause", "the text listing without the pause at its end"},
    {"--capture", &Options::capture, nullptr, "--capture", "list recording (capture) endpoints instead of playback ones"},
    {"--render", &Options::render, nullptr, "--render", "list playback endpoints (the default); with --capture, both"},
    {"--details", &Options::details, nullptr, "--details",
     "add form factor, device format, speakers, container, volume, peak"},
    {"--id", nullptr,
     [](Options& options, std::wstring value) {
       options.filter.ids.push_back(std::move(value));
       return true;
     },
     "--id ID", "only the endpoint with this identifier; may be given again"},
    {"--name", nullptr,
     [](Options& options, std::wstring value) {
       options.filter.names.push_back(std::move(value));
       return true;
     },
     "--name TEXT", "only endpoints whose name contains TEXT; may be given again"},
    {"--formats", &Options::formats, nullptr, "--formats",
     "add what each endpoint can play and record, shared and exclusive"},
    {"--sessions", &Options::sessions, nullptr, "--sessions", "add the programs playing or recording on each endpoint"},
    {"--watch", &Options::watch, nullptr, "--watch", "print endpoint changes as they happen, until stopped"},
    {"--events", nullptr, [](Options& options, std::wstring value) { return WholeNumber(value, options.events); },
     "--events N", "with --watch: stop after N changes"},
    {"--timeout", nullptr, [](Options& options, std::wstring value) { return WholeNumber(value, options.timeout); },
     "--timeout SECS", "with --watch: stop after SECS seconds; status 1 if N not reached"},
    {"--help", &Options::help, nullptr, "--help, -h, /?", "this help"},
    {"-h", &Options::help, nullptr, {}, {}},
    {"/?", &Options::help, nullptr, {}, {}},
    {"--version", &Options::version, nullptr, "--version", "the version of trelmo"},
};
// NOLINTEND(performance-unnecessary-value-param)

// The column the help's descriptions start in, after four spaces.
constexpr std::size_t kHelpLabelWidth = 16;

const OptionRow* FindOption(std::string_view word) {
  const auto* option =
      std::find_if(std::begin(kOptions), std::end(kOptions), [word](const OptionRow& row) { return word == row.word; });
  return option != std::end(kOptions) ? option : nullptr;
}

// A state word adds its state; a switch sets its flag. False for anything else.
bool ApplyWord(std::string_view argument, Options& options, bool& state_word_given) {
  const auto* state = std::find_if(std::begin(kStates), std::end(kStates),
                                   [argument](const StateText& text) { return argument == text.word; });
  if (state != std::end(kStates)) {
    options.filter.states |= state->state;
    state_word_given = true;
    return true;
  }
  const OptionRow* option = FindOption(argument);
  if (option != nullptr && option->flag != nullptr) {
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

const OptionRow* FindValueOption(std::string_view word) {
  const OptionRow* option = FindOption(word);
  return option != nullptr && option->take != nullptr ? option : nullptr;
}

// The flows in the order they are listed: playback unless only --capture
// asks for recording, then recording.
std::vector<EDataFlow> ListedFlows(const Options& options) {
  std::vector<EDataFlow> flows;
  if (options.render || !options.capture) {
    flows.push_back(eRender);
  }
  if (options.capture) {
    flows.push_back(eCapture);
  }
  return flows;
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
  // Any state word replaces the default of listing active endpoints only.
  options.filter.states = 0;
  bool state_word_given = false;
  for (int index = 1; index < argc; ++index) {
    // Folding would change the value of "--name=TEXT", so it is kept first.
    const std::string before = std::strchr(argv[index], '=') != nullptr ? argv[index] : std::string();
    Normalise(argv[index]);
    const std::string_view word = argv[index];
    if (ApplyWord(word, options, state_word_given)) {
      continue;
    }
    std::wstring value;
    const OptionRow* option = FindValueOption(word);
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
  // Options alone leave the default of listing active endpoints.
  if (!state_word_given) {
    options.filter.states = DEVICE_STATE_ACTIVE;
  }
  options.filter.flows = ListedFlows(options);
  return options.watch || (options.events == 0 && options.timeout == 0);
}

void PrintHelp() {
  WriteLine("==== Help ====");
  WriteLine("Usage:");
  WriteLine("    trelmo [Active|Disabled|Unplugged|Not-Present]");
}

void PrintOptionsHelp() {
  PrintHelp();
  WriteLine("");
  for (const OptionRow& option : kOptions) {
    if (option.help.empty()) {
      continue;
    }
    std::string line = "    " + std::string(option.label);
    line.resize(4 + kHelpLabelWidth, ' ');
    WriteLine(line + std::string(option.help));
  }
}

int RunCommandLine(int argc, char* argv[], CreateInstanceFunction create_instance, void (*pause)(),
                   const WideArguments& wide_argv) {
  static_cast<void>(std::setlocale(LC_ALL, ""));
  Options options;
  if (!ParseArguments(argc, argv, options, wide_argv)) {
    PrintHelp();
    return 2;
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
    return RunDocument(options, create_instance);
  }
  return RunListing(options, create_instance, pause);
}
