#include "app/command_line.h"

#include "app/version.h"
#include "modes/modes.h"
#include "readers/reader.h"
#include "readers/vocabulary.h"
#include "text/output.h"
#include "text/text.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace {

// A count from 1 to the most allowed, in ASCII digits, no sign.
bool WholeNumber(const std::wstring& text, std::uint32_t most, std::uint32_t& number) {
  std::uint64_t value = 0;
  for (const wchar_t digit : text) {
    if (digit < L'0' || digit > L'9') {
      return false;
    }
    value = value * 10 + static_cast<std::uint64_t>(digit - L'0');
    if (value > most) {
      return false;
    }
  }
  number = static_cast<std::uint32_t>(value);
  return value >= 1;
}

// A role's word, letter case ignored, added to the roles; with all_allowed,
// "all" adds the three.
bool TakeRoles(const std::wstring& word, bool all_allowed, std::vector<ERole>& roles) {
  if (all_allowed && EqualsIgnoringCase(word, L"all")) {
    roles.assign(std::begin(kRoles), std::end(kRoles));
    return true;
  }
  for (const ERole role : kRoles) {
    const std::string_view known = RoleWord(role);
    if (EqualsIgnoringCase(word, std::wstring(known.begin(), known.end()))) {
      if (std::find(roles.begin(), roles.end(), role) == roles.end()) {
        roles.push_back(role);
      }
      return true;
    }
  }
  return false;
}

// A decimal number in ASCII, "50" or "-12.5", whatever the locale: digits,
// and a point with more digits. The levels it is for need no exponent.
std::optional<float> Decimal(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  const auto digits = [](std::string_view part) {
    return part.size() <= 9 && std::all_of(part.begin(), part.end(), [](char digit) { return digit >= '0' && digit <= '9'; });
  };
  if (whole.empty() || !digits(whole) || !digits(fraction) || (point != std::string_view::npos && fraction.empty())) {
    return std::nullopt;
  }
  double value = 0;
  for (const char digit : whole) {
    value = value * 10 + (digit - '0');
  }
  double scale = 1;
  for (const char digit : fraction) {
    scale /= 10;
    value += (digit - '0') * scale;
  }
  return static_cast<float>(negative ? -value : value);
}

// "50", "50%", "+10%", "-10%" or "-12.5dB", letter case ignored.
bool TakeVolume(const std::wstring& typed, std::optional<VolumeSetting>& setting) {
  std::string text;
  for (const wchar_t unit : typed) {
    if (unit > 0x7F) {
      return false;
    }
    text += static_cast<char>(std::tolower(static_cast<unsigned char>(unit)));
  }
  VolumeSetting volume;
  if (text.size() > 2 && text.compare(text.size() - 2, 2, "db") == 0) {
    volume.kind = VolumeSetting::Kind::kDecibels;
    text.resize(text.size() - 2);
  } else {
    if (!text.empty() && text.back() == '%') {
      text.pop_back();
    }
    volume.kind = !text.empty() && (text.front() == '+' || text.front() == '-') ? VolumeSetting::Kind::kStep
                                                                               : VolumeSetting::Kind::kPercent;
  }
  const std::optional<float> value = Decimal(text);
  if (!value) {
    return false;
  }
  volume.value = *value;
  const float least = volume.kind == VolumeSetting::Kind::kStep ? -100.0F : 0.0F;
  if (volume.kind != VolumeSetting::Kind::kDecibels && (volume.value < least || volume.value > 100.0F)) {
    return false;
  }
  setting = volume;
  return true;
}

// "48000" or "96000/24": a rate of the formats grid, and PCM bits.
bool TakeFormat(const std::wstring& typed, std::optional<FormatSetting>& setting) {
  const std::size_t slash = typed.find(L'/');
  std::uint32_t rate = 0;
  std::uint32_t bits = 0;
  if (!WholeNumber(typed.substr(0, slash), 384000, rate) ||
      std::find(std::begin(kSampleRates), std::end(kSampleRates), rate) == std::end(kSampleRates)) {
    return false;
  }
  FormatSetting format{rate, std::nullopt};
  if (slash != std::wstring::npos) {
    if (!WholeNumber(typed.substr(slash + 1), 32, bits) || (bits != 16 && bits != 24 && bits != 32)) {
      return false;
    }
    format.bits = static_cast<std::uint16_t>(bits);
  }
  setting = format;
  return true;
}

// One option: the word, compared after the same folding as state words (so
// "--JSON" is "--json"), what it sets, and its line of the help. A switch
// sets a flag; an option that takes a value ("--id ID" or "--id=ID") hands
// it, as typed and never folded, to take, which answers false when it cannot
// use it; value says what it can use, for the reason a refusal gives. An
// alias has no help line of its own.
struct OptionRow {
  std::string_view word;
  bool Options::*flag = nullptr;
  bool (*take)(Options& options, std::wstring value) = nullptr;
  std::string_view label{};  // as the help shows it
  std::string_view help{};
  std::string_view value{};
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
    {"--brief", &Options::brief, nullptr, "--brief", "one line per endpoint: default marks, state, name, identifier"},
    {"--id", nullptr,
     [](Options& options, std::wstring value) {
       options.filter.ids.push_back(std::move(value));
       return true;
     },
     "--id ID", "only the endpoint with this identifier; may be given again", "an identifier"},
    {"--name", nullptr,
     [](Options& options, std::wstring value) {
       options.filter.names.push_back(std::move(value));
       return true;
     },
     "--name TEXT", "only endpoints whose name contains TEXT; may be given again", "the text to look for"},
    {"--default", nullptr,
     [](Options& options, std::wstring value) { return TakeRoles(value, false, options.filter.default_roles); },
     "--default ROLE", "only the default for console, multimedia or communications",
     "console, multimedia or communications"},
    {"--app", nullptr,
     [](Options& options, std::wstring value) {
       options.filter.apps.push_back(std::move(value));
       return true;
     },
     "--app TEXT", "only sessions of programs whose name contains TEXT", "the text to look for"},
    {"--formats", &Options::formats, nullptr, "--formats",
     "add what each endpoint can play and record, shared and exclusive"},
    {"--sessions", &Options::sessions, nullptr, "--sessions", "add the programs playing or recording on each endpoint"},
    {"--watch", &Options::watch, nullptr, "--watch", "print endpoint changes as they happen, until stopped"},
    // A wait beyond a day, or changes beyond a million, are a loop in the script.
    {"--events", nullptr,
     [](Options& options, std::wstring value) { return WholeNumber(value, 1000000, options.events); },
     "--events N", "with --watch: stop after N changes", "a whole number of changes from 1 to 1000000"},
    {"--timeout", nullptr,
     [](Options& options, std::wstring value) { return WholeNumber(value, 86400, options.timeout); },
     "--timeout SECS", "with --watch: stop after SECS seconds; status 1 if N not reached",
     "a whole number of seconds from 1 to 86400"},
    {"--set-default", nullptr,
     [](Options& options, std::wstring value) { return TakeRoles(value, true, options.set_default); },
     "--set-default ROLE", "make the chosen endpoint the default for ROLE, or all",
     "console, multimedia, communications or all"},
    {"--cycle-default", nullptr,
     [](Options& options, std::wstring value) { return TakeRoles(value, true, options.cycle_default); },
     "--cycle-default ROLE", "make the next chosen endpoint the default for ROLE",
     "console, multimedia, communications or all"},
    {"--set-volume", nullptr, [](Options& options, std::wstring value) { return TakeVolume(value, options.set_volume); },
     "--set-volume LEVEL", "set the volume of what is chosen: N%, +N%, -N% or NdB",
     "N, N%, +N% or -N% with N from 0 to 100, or a level in dB such as -12.5dB"},
    {"--enable", &Options::enable, nullptr, "--enable", "enable the chosen endpoints"},
    {"--disable", &Options::disable, nullptr, "--disable", "disable the chosen endpoints"},
    {"--set-format", nullptr, [](Options& options, std::wstring value) { return TakeFormat(value, options.set_format); },
     "--set-format RATE[/BITS]", "set the default format of the chosen endpoints",
     "a rate such as 48000, 44100/16 or 96000/24: 8000 to 384000 Hz, 16, 24 or 32 bits"},
    {"--mute", &Options::mute, nullptr, "--mute", "mute the chosen endpoints or sessions"},
    {"--unmute", &Options::unmute, nullptr, "--unmute", "unmute the chosen endpoints or sessions"},
    {"--toggle-mute", &Options::toggle_mute, nullptr, "--toggle-mute",
     "mute the chosen endpoints or sessions, or unmute them"},
    {"--save", nullptr,
     [](Options& options, std::wstring value) {
       options.save = std::move(value);
       return true;
     },
     "--save FILE", "write every endpoint's settings to FILE, as --json does", "a file name"},
    {"--restore", nullptr,
     [](Options& options, std::wstring value) {
       options.restore = std::move(value);
       return true;
     },
     "--restore FILE", "change what differs from the settings saved in FILE", "a file name"},
    {"--dry-run", &Options::dry_run, nullptr, "--dry-run", "with a change: say what it would change, change nothing"},
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

std::wstring Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// A word or value as a reason quotes it.
std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The value part of "--name=TEXT" as typed: what follows the first "=".
std::wstring AfterEquals(const std::wstring& argument) {
  const std::size_t equals = argument.find(L'=');
  return equals == std::wstring::npos ? std::wstring() : argument.substr(equals + 1);
}

const OptionRow* FindValueOption(std::string_view word) {
  const OptionRow* option = FindOption(word);
  return option != nullptr && option->take != nullptr ? option : nullptr;
}

// The arguments as typed: from the platform's UTF-16 command line, asked for
// once and only when a value or a reason needs one, otherwise from argv in
// the ANSI code page.
class TypedArguments {
 public:
  explicit TypedArguments(const WideArguments& wide_argv) : wide_argv_(wide_argv) {}

  std::wstring At(int index, const std::string& narrow) {
    if (!asked_ && wide_argv_) {
      wide_ = wide_argv_();
    }
    asked_ = true;
    return wide_ != nullptr ? std::wstring(wide_[index]) : AnsiToWide(narrow.c_str());
  }

 private:
  const WideArguments& wide_argv_;
  wchar_t** wide_ = nullptr;
  bool asked_ = false;
};

// Sets the option the word at index names with its value, the next word
// (then index moves on to it) or what follows its "=". Why not, if it cannot:
// empty when it could.
std::wstring TakeValueWord(int argc, char* argv[], int& index, const std::string& as_typed, TypedArguments& typed,
                           Options& options) {
  const std::string_view word = argv[index];
  std::wstring value;
  const OptionRow* option = FindValueOption(word);
  if (option != nullptr) {
    if (index + 1 >= argc) {
      return Widen(option->word) + L" takes " + Widen(option->value) + L" as the next word or after \"=\"";
    }
    ++index;
    value = typed.At(index, argv[index]);
  } else if (const std::size_t equals = word.find('='); equals != std::string_view::npos) {
    option = FindOption(word.substr(0, equals));
    if (option != nullptr) {
      value = AfterEquals(typed.At(index, as_typed));
      if (option->take == nullptr) {
        return Widen(option->word) + L" takes no value, not " + Quoted(value);
      }
    }
  }
  if (option == nullptr) {
    return Quoted(typed.At(index, as_typed)) + L" is not a state word or an option";
  }
  if (value.empty() || !option->take(options, value)) {
    return Widen(option->word) + L" takes " + Widen(option->value) + L", not " + Quoted(value);
  }
  return {};
}

// --dry-run previews a change, --save writes a listing: why they cannot
// be used as given, or empty.
std::wstring WhyNotSaved(const Options& options) {
  if (options.dry_run && !options.Changes()) {
    return L"--dry-run goes with an option that changes something";
  }
  if (options.save && (options.Changes() || options.watch)) {
    return L"--save writes what there is: it takes no change and no --watch";
  }
  return {};
}

// --events and --timeout say when a watch ends: why they cannot be used
// without one, or empty.
std::wstring WithoutWatch(const Options& options) {
  if (options.watch || (options.events == 0 && options.timeout == 0)) {
    return {};
  }
  if (options.events != 0 && options.timeout != 0) {
    return L"--events and --timeout work only with --watch";
  }
  return options.events != 0 ? L"--events works only with --watch" : L"--timeout works only with --watch";
}

// A restore changes what its file says, of what the choosers keep.
std::wstring WhyNotRestored(const Options& options) {
  if (options.enable || options.disable || options.set_format || !options.set_default.empty() ||
      !options.cycle_default.empty() || options.set_volume || options.Mute() || !options.filter.apps.empty()) {
    return L"--restore changes what differs from its file: it takes no other change and no --app";
  }
  return {};
}

// An endpoint's settings are its own: no session has them.
std::wstring WhyNotSettings(const Options& options) {
  const EndpointFilter& filter = options.filter;
  if ((options.enable || options.disable || options.set_format) && (!filter.Chooses() || !filter.apps.empty())) {
    return L"--enable, --disable and --set-format need --id, --name or --default, and take no --app";
  }
  if (options.enable && options.disable) {
    return L"--enable and --disable do not go together";
  }
  return {};
}

// What changes must be chosen, and chosen for what they change, so that
// nothing changes "everything" by accident: why not, or empty.
std::wstring WhyUnchosen(const Options& options) {
  const EndpointFilter& filter = options.filter;
  const bool sets_default = !options.set_default.empty() || !options.cycle_default.empty();
  if (options.watch && options.Changes()) {
    return L"--watch changes nothing: it shows the changes as they come";
  }
  if (!options.Changes()) {
    return {};
  }
  if (options.restore) {
    return WhyNotRestored(options);
  }
  if (!filter.Chooses() && filter.apps.empty()) {
    return L"a change needs a chooser: --id, --name, --default or --app";
  }
  if (std::wstring why = WhyNotSettings(options); !why.empty()) {
    return why;
  }
  if (sets_default && (!filter.Chooses() || !filter.apps.empty())) {
    return L"--set-default and --cycle-default need --id, --name or --default, and take no --app";
  }
  if (!options.set_default.empty() && !options.cycle_default.empty()) {
    return L"--set-default and --cycle-default do not go together";
  }
  if (!filter.apps.empty() && options.set_volume && options.set_volume->kind == VolumeSetting::Kind::kDecibels) {
    return L"a session's volume is a percentage, not a level in dB";
  }
  if ((options.mute ? 1 : 0) + (options.unmute ? 1 : 0) + (options.toggle_mute ? 1 : 0) > 1) {
    return L"--mute, --unmute and --toggle-mute do not go together";
  }
  return {};
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

bool ParseArguments(int argc, char* argv[], Options& options, const WideArguments& wide_argv, std::wstring* reason) {
  TypedArguments typed(wide_argv);
  std::wstring why;
  // Any state word replaces the default of listing active endpoints only.
  options.filter.states = 0;
  bool state_word_given = false;
  for (int index = 1; index < argc && why.empty(); ++index) {
    // Folding would change the value of "--name=TEXT" and the word a reason
    // quotes, so the word is kept as typed first.
    const std::string as_typed = argv[index];
    Normalise(argv[index]);
    if (!ApplyWord(argv[index], options, state_word_given)) {
      why = TakeValueWord(argc, argv, index, as_typed, typed, options);
    }
  }
  // Options alone leave the default of listing active endpoints; enabling
  // and disabling choose among every endpoint that is there, and a setup is
  // saved and restored whole.
  options.states_given = state_word_given;
  if (!state_word_given) {
    const bool every_state = options.enable || options.disable || options.save || options.restore;
    options.filter.states = every_state ? DEVICE_STATE_ACTIVE | DEVICE_STATE_DISABLED | DEVICE_STATE_UNPLUGGED
                                        : DEVICE_STATE_ACTIVE;
  }
  if ((options.save || options.restore) && !options.render && !options.capture) {
    options.render = true;
    options.capture = true;
  }
  options.filter.flows = ListedFlows(options);
  // A listing that chooses sessions shows them.
  options.sessions = options.sessions || !options.filter.apps.empty();
  if (why.empty()) {
    why = WithoutWatch(options);
  }
  if (why.empty()) {
    why = WhyUnchosen(options);
  }
  if (why.empty()) {
    why = WhyNotSaved(options);
  }
  if (reason != nullptr) {
    *reason = why;
  }
  return why.empty();
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
    // A label too long for its column has its text on the next line.
    if (option.label.size() + 2 > kHelpLabelWidth) {
      WriteLine(line);
      line.clear();
    }
    line.resize(4 + kHelpLabelWidth, ' ');
    WriteLine(line + std::string(option.help));
  }
}

int RunCommandLine(int argc, char* argv[], CreateInstanceFunction create_instance, void (*pause)(),
                   const WideArguments& wide_argv) {
  static_cast<void>(std::setlocale(LC_ALL, ""));
  Options options;
  std::wstring reason;
  if (!ParseArguments(argc, argv, options, wide_argv, &reason)) {
    WriteErrorLine(L"trelmo: " + reason);
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
  if (options.Changes()) {
    return RunChanges(options, create_instance, TRELMO_VERSION_TEXT);
  }
  if (options.json || options.save) {
    return RunDocument(options, create_instance, TRELMO_VERSION_TEXT);
  }
  return RunListing(options, create_instance, pause);
}
