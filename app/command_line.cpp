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
// alias has no help line of its own. An option that holds one value (once)
// refuses a second, different one rather than silently keep the last.
struct OptionRow {
  std::string_view word;
  bool Options::*flag = nullptr;
  bool (*take)(Options& options, std::wstring value) = nullptr;
  std::string_view label{};  // as the help shows it
  std::string_view help{};
  std::string_view value{};
  bool once = false;
};

// Every take has the same signature; a number only reads its value.
// NOLINTBEGIN(performance-unnecessary-value-param)
constexpr OptionRow kOptions[] = {
    {"--json", &Options::json, nullptr, "--json", "one JSON document instead of the listing, without the pause"},
    {"--no-pause", &Options::no_pause, nullptr, "--no-pause", "the listing without the pause at its end"},
    {"--capture", &Options::capture, nullptr, "--capture", "list recording endpoints instead of playback ones"},
    {"--render", &Options::render, nullptr, "--render", "list playback endpoints (the default); with --capture, both"},
    {"--details", &Options::details, nullptr, "--details",
     "add form factor, device format, speakers, container,\nvolume, peak and the roles it is the default for"},
    {"--brief", &Options::brief, nullptr, "--brief",
     "one line per endpoint: default marks, state, flow (when\nboth are listed), name and identifier"},
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
     "--app TEXT", "only sessions of programs whose name contains TEXT;\nstatus 1 when a listing finds none", "the text to look for"},
    {"--formats", &Options::formats, nullptr, "--formats", "add the formats each endpoint takes, shared and exclusive"},
    {"--sessions", &Options::sessions, nullptr, "--sessions", "add the programs playing or recording on each endpoint"},
    {"--watch", &Options::watch, nullptr, "--watch", "print endpoint changes as they happen, until stopped"},
    // A wait beyond a day, or changes beyond a million, are a loop in the script.
    {"--events", nullptr,
     [](Options& options, std::wstring value) { return WholeNumber(value, 1000000, options.events); },
     "--events N", "with --watch: stop after N changes", "a whole number of changes from 1 to 1000000", true},
    {"--timeout", nullptr,
     [](Options& options, std::wstring value) { return WholeNumber(value, 86400, options.timeout); },
     "--timeout SECS", "with --watch: stop after SECS seconds; status 1 when\n--events N were not reached by then",
     "a whole number of seconds from 1 to 86400", true},
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
     "N, N%, +N% or -N% with N from 0 to 100, or a level in dB such as -12.5dB", true},
    {"--enable", &Options::enable, nullptr, "--enable", "enable the chosen endpoints"},
    {"--disable", &Options::disable, nullptr, "--disable", "disable the chosen endpoints"},
    {"--set-format", nullptr, [](Options& options, std::wstring value) { return TakeFormat(value, options.set_format); },
     "--set-format RATE[/BITS]", "set the default format of the chosen endpoints",
     "a rate such as 48000, 44100/16 or 96000/24: 8000 to 384000 Hz, 16, 24 or 32 bits", true},
    {"--mute", &Options::mute, nullptr, "--mute", "mute the chosen endpoints or sessions"},
    {"--unmute", &Options::unmute, nullptr, "--unmute", "unmute the chosen endpoints or sessions"},
    {"--toggle-mute", &Options::toggle_mute, nullptr, "--toggle-mute",
     "mute the chosen endpoints or sessions, or unmute them"},
    {"--save", nullptr,
     [](Options& options, std::wstring value) {
       options.save = std::move(value);
       return true;
     },
     "--save FILE", "write every endpoint's settings to FILE, as --json does", "a file name", true},
    {"--restore", nullptr,
     [](Options& options, std::wstring value) {
       options.restore = std::move(value);
       return true;
     },
     "--restore FILE", "change what differs from the settings saved in FILE", "a file name", true},
    {"--dry-run", &Options::dry_run, nullptr, "--dry-run", "with a change: say what it would change, change nothing"},
    {"--quiet", &Options::quiet, nullptr, "--quiet", "trelmow.exe shows no message box when something fails"},
    {"--help", &Options::help, nullptr, "--help, -h, /?", "this help"},
    {"-h", &Options::help, nullptr, {}, {}},
    {"/?", &Options::help, nullptr, {}, {}},
    {"--version", &Options::version, nullptr, "--version", "the version of trelmo"},
};
// NOLINTEND(performance-unnecessary-value-param)

// The column the help's descriptions start in, after four spaces.
constexpr std::size_t kHelpLabelWidth = 16;

// What a listing adds to each endpoint: a change run prints only what it
// changed, so none of it would show there.
constexpr bool Options::*kListingParts[] = {&Options::details, &Options::formats, &Options::brief, &Options::sessions};
// What a watch's one line per change has no room for.
constexpr bool Options::*kUnwatched[] = {&Options::formats, &Options::brief};

// A reason quotes a word whole up to this many characters; a longer one (a
// script's runaway variable) by its beginning and "...".
constexpr std::size_t kLongestQuoted = 60;

const OptionRow* FindOption(std::string_view word) {
  const auto* option =
      std::find_if(std::begin(kOptions), std::end(kOptions), [word](const OptionRow& row) { return word == row.word; });
  return option != std::end(kOptions) ? option : nullptr;
}

bool IsHelpWord(std::string_view word) {
  const OptionRow* option = FindOption(word);
  return option != nullptr && option->flag == &Options::help;
}

// A space stands for the hyphen, so that "Not Present" can be typed unquoted
// as one argument; letter case folds by the rules of the current locale.
void Normalise(char* argument) {
  for (char* byte = argument; *byte != '\0'; ++byte) {
    const auto value = static_cast<unsigned char>(*byte);
    *byte = value == ' ' ? '-' : static_cast<char>(std::tolower(value));
  }
}

std::string Normalised(std::string word) {
  Normalise(word.data());
  return word;
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

// A word or value as a reason shows it: whole, or its first characters and
// "..." when it is longer than a reason has room for.
std::wstring Cut(const std::wstring& text) {
  if (text.size() <= kLongestQuoted) {
    return text;
  }
  std::size_t kept = kLongestQuoted - 3;
  // Both halves of a surrogate pair, or neither.
  if (text[kept - 1] >= 0xD800 && text[kept - 1] <= 0xDBFF) {
    --kept;
  }
  return text.substr(0, kept) + L"...";
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + Cut(text) + L"\""; }

// The value part of "--name=TEXT" as typed: what follows the first "=".
std::wstring AfterEquals(const std::wstring& argument) {
  const std::size_t equals = argument.find(L'=');
  return equals == std::wstring::npos ? std::wstring() : argument.substr(equals + 1);
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

// An option as the command line gave it: the option's part of the word as
// typed ("--Name" of "--Name=x"), and the value it took.
struct GivenOption {
  const OptionRow* row = nullptr;
  std::wstring word;
  std::wstring value;
};

// Reads the words in order into the options, remembering each option as
// given, for the reasons that name them.
class WordReader {
 public:
  WordReader(int argc, char* argv[], Options& options, const WideArguments& wide_argv)
      : argc_(argc), argv_(argv), options_(options), typed_(wide_argv) {}

  // Every word up to the first that cannot be used: why not, or empty.
  std::wstring ReadWords() {
    std::wstring why;
    for (index_ = 1; index_ < argc_ && why.empty(); ++index_) {
      const bool changed_before = options_.Changes();
      why = ReadWord();
      if (!changed_before && options_.Changes()) {
        change_word_ = given_.back().word;
      }
    }
    // The words the reading never came to still answer for help and --quiet,
    // which take effect wherever they stand: folded copies, the words
    // themselves left as typed.
    for (; index_ < argc_; ++index_) {
      const std::string word = Normalised(argv_[index_]);
      options_.help = options_.help || IsHelpWord(word);
      options_.quiet = options_.quiet || word == "--quiet";
    }
    return why;
  }

  [[nodiscard]] bool StateWordGiven() const { return state_word_given_; }

  // An option that would do nothing beside the others: why, or empty.
  [[nodiscard]] std::wstring WithoutEffect() const {
    if (options_.Changes()) {
      if (const GivenOption* part = FirstOf(kListingParts)) {
        return part->word + L" has no effect beside " + change_word_ + L": a change run prints only what it changed";
      }
    }
    if (options_.save) {
      if (const GivenOption* part = FirstOf(kListingParts)) {
        return part->word + L" has no effect beside --save: a saved setup holds every endpoint's settings, no more";
      }
    }
    if (options_.watch) {
      if (const GivenOption* part = FirstOf(kUnwatched)) {
        const GivenOption* watch = FirstOf(std::initializer_list<bool Options::*>{&Options::watch});
        return part->word + L" has no effect beside " + watch->word + L": a watch prints one line per change";
      }
    }
    return {};
  }

 private:
  // A state word adds its state, a switch sets its flag, an option that takes
  // a value takes it.
  std::wstring ReadWord() {
    const std::string as_typed = argv_[index_];
    // Folding would change the value of "--name=TEXT" and the word a reason
    // quotes, so the word is kept as typed first.
    Normalise(argv_[index_]);
    const std::string_view word = argv_[index_];
    const auto* state = std::find_if(std::begin(kStates), std::end(kStates),
                                     [word](const StateText& text) { return word == text.word; });
    if (state != std::end(kStates)) {
      options_.filter.states |= state->state;
      state_word_given_ = true;
      return {};
    }
    const std::size_t equals = word.find('=');
    const OptionRow* option = FindOption(word.substr(0, equals));
    if (option == nullptr) {
      return Quoted(typed_.At(index_, as_typed)) + L" is not a state word or an option";
    }
    given_.push_back({option, Widen(std::string_view(as_typed).substr(0, equals)), {}});
    const std::wstring& option_word = given_.back().word;
    if (option->take == nullptr) {
      if (equals != std::string_view::npos) {
        return option_word + L" takes no value, not " + Quoted(AfterEquals(typed_.At(index_, as_typed)));
      }
      options_.*option->flag = true;
      return {};
    }
    std::wstring value;
    if (equals != std::string_view::npos) {
      value = AfterEquals(typed_.At(index_, as_typed));
    } else if (index_ + 1 >= argc_) {
      return option_word + L" takes " + Widen(option->value) + L" as the next word or after \"=\"";
    } else if (std::string_view(argv_[index_ + 1]).rfind("--", 0) == 0) {
      // Much more often a value forgotten than a name that begins with "--".
      const std::wstring next = typed_.At(index_ + 1, argv_[index_ + 1]);
      return option_word + L" takes " + Widen(option->value) + L", not " + Quoted(next) +
             L"; for a value that begins with \"--\" write " + option_word + L"=" + Cut(next);
    } else {
      ++index_;
      value = typed_.At(index_, argv_[index_]);
    }
    given_.back().value = value;
    if (value.empty() || !option->take(options_, value)) {
      return option_word + L" takes " + Widen(option->value) + L", not " + Quoted(value);
    }
    return Twice(given_.back());
  }

  // An option that holds one value given a second, different one: why that
  // is refused, or empty.
  [[nodiscard]] std::wstring Twice(const GivenOption& latest) const {
    if (!latest.row->once) {
      return {};
    }
    for (const GivenOption& earlier : given_) {
      if (&earlier != &latest && earlier.row == latest.row && !EqualsIgnoringCase(earlier.value, latest.value)) {
        return latest.word + L" is given twice, as " + Quoted(earlier.value) + L" and as " + Quoted(latest.value) +
               L": which one is meant?";
      }
    }
    return {};
  }

  // The first option given whose flag is one of these.
  template <typename Flags>
  [[nodiscard]] const GivenOption* FirstOf(const Flags& flags) const {
    const auto given = std::find_if(given_.begin(), given_.end(), [&flags](const GivenOption& option) {
      return std::find(std::begin(flags), std::end(flags), option.row->flag) != std::end(flags);
    });
    return given != given_.end() ? &*given : nullptr;
  }

  int argc_;
  char** argv_;
  Options& options_;
  TypedArguments typed_;
  int index_ = 1;
  bool state_word_given_ = false;
  std::vector<GivenOption> given_;
  std::wstring change_word_;  // the option that first made the run a change
};

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

// A watch shows changes as they come: why it cannot go with the other
// options, or empty.
std::wstring WhyNotWatched(const Options& options) {
  if (options.watch && options.Changes()) {
    return L"--watch changes nothing: make the change in a run of its own";
  }
  return {};
}

// What changes must be chosen, and chosen for what they change, so that
// nothing changes "everything" by accident: why not, or empty.
std::wstring WhyUnchosen(const Options& options) {
  const EndpointFilter& filter = options.filter;
  const bool sets_default = !options.set_default.empty() || !options.cycle_default.empty();
  if (!options.Changes()) {
    return {};
  }
  if (options.restore) {
    if (options.enable || options.disable || options.set_format || sets_default || options.set_volume ||
        options.Mute() || !filter.apps.empty()) {
      return L"--restore changes what differs from its file: it takes no other change and no --app";
    }
    return {};
  }
  if (!filter.Chooses() && filter.apps.empty()) {
    return L"a change needs a chooser: --id, --name, --default or --app";
  }
  if ((options.enable || options.disable || options.set_format) && (!filter.Chooses() || !filter.apps.empty())) {
    return L"--enable, --disable and --set-format need --id, --name or --default, and take no --app";
  }
  if (options.enable && options.disable) {
    return L"--enable and --disable do not go together";
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

// Reads the command line and runs what it asks, leaving the options read
// for the caller.
int Run(int argc, char* argv[], CreateInstanceFunction create_instance, void (*pause)(),
        const WideArguments& wide_argv, Options& options) {
  static_cast<void>(std::setlocale(LC_ALL, ""));
  std::wstring reason;
  if (!ParseArguments(argc, argv, options, wide_argv, &reason)) {
    WriteErrorLine(L"trelmo: " + reason + L" (see trelmo --help)");
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

void NoPause() {}

}  // namespace

bool ParseArguments(int argc, char* argv[], Options& options, const WideArguments& wide_argv, std::wstring* reason) {
  // Any state word replaces the default of listing active endpoints only.
  options.filter.states = 0;
  WordReader reader(argc, argv, options, wide_argv);
  std::wstring why = reader.ReadWords();
  // Options alone leave the default of listing active endpoints; enabling
  // and disabling choose among every endpoint that is there, and a setup is
  // saved and restored whole.
  options.states_given = reader.StateWordGiven();
  if (!reader.StateWordGiven()) {
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
  // Help asked for anywhere is what is wanted, whatever stands beside it.
  if (options.help) {
    why.clear();
  }
  if (why.empty() && !options.help) {
    why = WithoutWatch(options);
  }
  if (why.empty() && !options.help) {
    why = WhyNotWatched(options);
  }
  if (why.empty() && !options.help) {
    why = WhyUnchosen(options);
  }
  if (why.empty() && !options.help) {
    why = WhyNotSaved(options);
  }
  if (why.empty() && !options.help) {
    why = reader.WithoutEffect();
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
  const std::string indent(4 + kHelpLabelWidth, ' ');
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
    line.resize(indent.size(), ' ');
    // A description longer than a line goes on under itself.
    std::string_view help = option.help;
    for (std::size_t end = help.find('\n'); end != std::string_view::npos; end = help.find('\n')) {
      WriteLine(line + std::string(help.substr(0, end)));
      line = indent;
      help.remove_prefix(end + 1);
    }
    WriteLine(line + std::string(help));
  }
  WriteLine("");
  WriteLine("Status: 0 done; 1 nothing chosen (or, with --app, no program found), or a");
  WriteLine("change refused; 2 a word not understood; -1 a platform call failed.");
}

int RunCommandLine(int argc, char* argv[], CreateInstanceFunction create_instance, void (*pause)(),
                   const WideArguments& wide_argv) {
  Options options;
  return Run(argc, argv, create_instance, pause, wide_argv, options);
}

int RunWindowed(int argc, char* argv[], CreateInstanceFunction create_instance, ShowMessageFunction show_message,
                const WideArguments& wide_argv) {
  std::wstring errors;
  KeepErrorLines(&errors);
  Options options;
  // No console to wait in: the pause would open one.
  const int status = Run(argc, argv, create_instance, NoPause, wide_argv, options);
  KeepErrorLines(nullptr);
  if (status != 0 && !options.quiet) {
    // A run that ends with 1 or -1 and said nothing on standard error: a
    // listing whose choosers chose nothing.
    if (errors.empty()) {
      errors = status == 1 ? L"Nothing was chosen.\n" : L"Something failed.\n";
    }
    show_message(errors + L"\nStatus: " + std::to_wstring(status));
  }
  return status;
}
