// The command line end to end, from the words to the help text, the options
// or the enumeration's state filter: fixed cases, then a seeded fuzz.
#include "app/command_line.h"
#include "app/version.h"
#include "tests/unit/platform_test.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <iostream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kHelp = "==== Help ====\nUsage:\n    trelmo [Active|Disabled|Unplugged|Not-Present]\n";
const std::string kEmptyDocument =
    "{\n  \"trelmo\": \"" TRELMO_VERSION_TEXT "\",\n  \"read_at\": \"\",\n  \"endpoints\": []\n}\n";

using CommandLine = PlatformTest;

// A document's time of reading is checked for its form and cut.
Outcome RunWords(FakePlatform& platform, const std::vector<std::string>& words) {
  Outcome outcome = RunCaptured(platform, words);
  static const std::regex kReadAt(R"x("read_at": "\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z")x");
  outcome.text = std::regex_replace(outcome.text, kReadAt, R"("read_at": "")");
  return outcome;
}

TEST_F(CommandLine, UnknownWordShowsHelpWithStatusTwoAndListsNothing) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"bogus"}, {""}, {"active", "bogus"}, {"not_present"}, {"active", ""}, {"--bogus"}, {"-x"}}) {
    const Outcome outcome = RunWords(platform, words);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.text, kHelp);
    // The reason, on standard error alone.
    const std::wstring word(words.back().begin(), words.back().end());
    EXPECT_EQ(platform.errors, L"trelmo: \"" + word + L"\" is not a state word or an option (see trelmo --help)\n");
  }
  EXPECT_EQ(platform.create_calls, 0);
  EXPECT_EQ(platform.pauses, 0);
}

TEST_F(CommandLine, WordsChooseTheStatesTheEnumerationAsksFor) {
  const std::pair<std::vector<std::string>, DWORD> cases[] = {
      {{}, DEVICE_STATE_ACTIVE},
      {{"disabled"}, DEVICE_STATE_DISABLED},
      {{"Active", "unplugged"}, DEVICE_STATE_ACTIVE | DEVICE_STATE_UNPLUGGED},
      {{"Not Present"}, DEVICE_STATE_NOTPRESENT},
      {{"NOT-PRESENT", "not-present"}, DEVICE_STATE_NOTPRESENT},
  };
  for (const auto& [words, mask] : cases) {
    platform.enumerator.enumerations.clear();
    const Outcome outcome = RunWords(platform, words);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.text, "====== Found 0 audio devices ======\n");
    ASSERT_EQ(platform.enumerator.enumerations.size(), 1u);
    EXPECT_EQ(platform.enumerator.enumerations[0].second, mask);
  }
}

TEST_F(CommandLine, DisabledAloneKeepsActiveEndpointsOut) {
  platform.AddDevice(L"on", DEVICE_STATE_ACTIVE);
  platform.AddDevice(L"off", DEVICE_STATE_DISABLED);
  const Outcome outcome = RunWords(platform, {"disabled"});
  EXPECT_EQ(outcome.text.find("{on}"), std::string::npos);
  EXPECT_NE(outcome.text.find("Device state       : Disabled\n"), std::string::npos);
}

// What the command line must come to, worked out independently of the parser:
// ASCII letters fold, a space is a hyphen, and nothing else may differ.
struct Meaning {
  bool known;
  std::uint32_t mask;
};

Meaning Understand(const std::vector<std::string>& words) {
  Meaning meaning{true, words.empty() ? DEVICE_STATE_ACTIVE : 0u};
  for (const std::string& word : words) {
    std::string folded;
    for (const char byte : word) {
      folded += byte == ' ' ? '-' : (byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte);
    }
    if (folded == "active") {
      meaning.mask |= DEVICE_STATE_ACTIVE;
    } else if (folded == "disabled") {
      meaning.mask |= DEVICE_STATE_DISABLED;
    } else if (folded == "unplugged") {
      meaning.mask |= DEVICE_STATE_UNPLUGGED;
    } else if (folded == "not-present") {
      meaning.mask |= DEVICE_STATE_NOTPRESENT;
    } else {
      return {false, 0};
    }
  }
  return meaning;
}

// Word makers: a state word in a random spelling, random bytes, and the extremes.
std::string Spell(std::mt19937& random, std::string word) {
  for (char& byte : word) {
    if (random() % 2 == 0 && byte >= 'a' && byte <= 'z') {
      byte = static_cast<char>(byte - 'a' + 'A');
    }
    if (byte == '-' && random() % 2 == 0) {
      byte = ' ';
    }
  }
  return word;
}

std::string RandomBytes(std::mt19937& random, std::size_t length) {
  std::string word;
  for (std::size_t at = 0; at < length; ++at) {
    word += static_cast<char>(1 + random() % 255);  // 0x01 to 0xFF: arguments end at the zero
  }
  return word;
}

std::string AlmostAWord(std::mt19937& random, const std::string& word) {
  std::string spelt = Spell(random, word);
  switch (random() % 4) {
    case 0:
      return spelt + static_cast<char>(1 + random() % 255);
    case 1:
      return spelt.substr(0, spelt.size() - 1);
    case 2:
      spelt[random() % spelt.size()] = static_cast<char>(1 + random() % 255);
      return spelt;
    default:
      return static_cast<char>(1 + random() % 255) + spelt;
  }
}

std::vector<std::string> RandomWords(std::mt19937& random) {
  static const std::string kWords[] = {"active", "disabled", "unplugged", "not-present"};
  std::vector<std::string> words(random() % 6);
  for (std::string& word : words) {
    switch (random() % 5) {
      case 0:
        word = RandomBytes(random, random() % 16);
        break;
      case 1:
        word = AlmostAWord(random, kWords[random() % 4]);
        break;
      default:
        word = Spell(random, kWords[random() % 4]);
    }
  }
  return words;
}

void CheckOutcome(FakePlatform& platform, const std::vector<std::string>& words) {
  platform.enumerator.enumerations.clear();
  const Meaning meaning = Understand(words);
  const Outcome outcome = RunWords(platform, words);
  if (!meaning.known) {
    ASSERT_EQ(outcome.status, 2);
    ASSERT_EQ(outcome.text, kHelp);
    ASSERT_TRUE(platform.enumerator.enumerations.empty());
    return;
  }
  ASSERT_EQ(outcome.status, 0);
  ASSERT_EQ(outcome.text, "====== Found 0 audio devices ======\n");
  ASSERT_EQ(platform.enumerator.enumerations.size(), 1u);
  ASSERT_EQ(platform.enumerator.enumerations[0].second, meaning.mask);
}

TEST_F(CommandLine, FuzzedArgumentsGiveHelpOrTheUnionOfTheirWords) {
  std::mt19937 random(20261208);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int cases = 0;
  for (; cases < 4000 && std::chrono::steady_clock::now() < deadline; ++cases) {
    const std::vector<std::string> words = RandomWords(random);
    SCOPED_TRACE("case " + std::to_string(cases));
    CheckOutcome(platform, words);
    if (HasFatalFailure()) {
      return;
    }
  }
  std::cout << "command-line fuzz: " << cases << " random cases\n";
}

TEST_F(CommandLine, ExtremeArgumentVectors) {
  std::mt19937 random(7);
  // A word of 1 MiB, state words with a long tail, and 10,000 words.
  CheckOutcome(platform, {std::string(1 << 20, 'A')});
  CheckOutcome(platform, {"active", RandomBytes(random, 1 << 20)});
  std::vector<std::string> many;
  for (int word = 0; word < 10000; ++word) {
    many.push_back(Spell(random, word % 2 == 0 ? "unplugged" : "not-present"));
  }
  CheckOutcome(platform, many);
  many.back() = "";
  CheckOutcome(platform, many);
  CheckOutcome(platform, std::vector<std::string>(10000, ""));
  CheckOutcome(platform, {" ", "-", "  ", "ACTIVE ", "\xFF\xFE"});
}

// The options: how they mix with state words, what each one changes in the
// run, and the text listing of recording endpoints.
using CommandLineOptions = PlatformTest;

using Enumerations = std::vector<std::pair<EDataFlow, DWORD>>;

TEST_F(CommandLineOptions, FoldLikeStateWordsAndMixWithThemInAnyOrder) {
  const std::string render_header = "====== Found 0 audio devices ======\n";
  const std::string capture_header = "====== Found 0 capture devices ======\n";
  const struct {
    std::vector<std::string> words;
    Enumerations enumerations;
    std::string text;
    int pauses;
  } cases[] = {
      {{"--no-pause"}, {{eRender, DEVICE_STATE_ACTIVE}}, render_header, 0},
      {{"Disabled", "--NO-PAUSE"}, {{eRender, DEVICE_STATE_DISABLED}}, render_header, 0},
      {{"--no pause", "active"}, {{eRender, DEVICE_STATE_ACTIVE}}, render_header, 0},
      {{"--Capture"}, {{eCapture, DEVICE_STATE_ACTIVE}}, capture_header, 1},
      {{"--render"}, {{eRender, DEVICE_STATE_ACTIVE}}, render_header, 1},
      {{"unplugged", "--CAPTURE", "--render", "not present"},
       {{eRender, DEVICE_STATE_UNPLUGGED | DEVICE_STATE_NOTPRESENT},
        {eCapture, DEVICE_STATE_UNPLUGGED | DEVICE_STATE_NOTPRESENT}},
       render_header + capture_header,
       1},
      {{"--json"}, {{eRender, DEVICE_STATE_ACTIVE}}, kEmptyDocument, 0},
      {{"--capture", "--Json", "disabled", "--no-pause"}, {{eCapture, DEVICE_STATE_DISABLED}}, kEmptyDocument, 0},
  };
  for (const auto& run : cases) {
    FakePlatform fresh;
    const Outcome outcome = RunWords(fresh, run.words);
    SCOPED_TRACE(run.words.front());
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.text, run.text);
    EXPECT_EQ(fresh.enumerator.enumerations, run.enumerations);
    EXPECT_EQ(fresh.pauses, run.pauses);
    EXPECT_EQ(fresh.OutstandingReferences(), 0);
  }
}

TEST_F(CommandLineOptions, HelpAndVersionAnswerWithoutListing) {
  const Outcome first = RunWords(platform, {"--help"});
  EXPECT_EQ(first.text.rfind(kHelp + "\n", 0), 0u);
  // Every line fits an 80-column console without wrapping, and every option is there.
  std::istringstream lines(first.text);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 79u) << line;
  }
  for (const char* option : {"--json", "--brief ", "--details ", "--quiet", "--set-volume LEVEL", "--set-format RATE",
                             "--restore FILE", "--dry-run", "--toggle-mute"}) {
    EXPECT_NE(first.text.find(std::string("\n    ") + option), std::string::npos) << option;
  }
  EXPECT_NE(first.text.find("flow (when\n                    both are listed)"), std::string::npos);
  const std::string& help = first.text;
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--help"}, {"-H"}, {"/?"}, {"active", "--json", "--HELP"}, {"--version", "-h"}, {"--help", "--mute"},
           {"--bogus", "--help"}, {"--name", "--help"}}) {
    const Outcome run = RunWords(platform, words);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.text, help);
  }
  const Outcome version = RunWords(platform, {"--Version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.text, "trelmo " TRELMO_VERSION_TEXT "\n");
  EXPECT_EQ(platform.create_calls, 0);
  EXPECT_EQ(platform.pauses, 0);
}

TEST_F(CommandLineOptions, AnyOtherWordStillGivesTheUsageAndTwo) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--jsonx"}, {"--json", "bogus"}, {"-json"}, {"--no_pause"}, {"/h"}, {"--"}}) {
    const Outcome run = RunWords(platform, words);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.text, kHelp);
  }
  EXPECT_EQ(platform.create_calls, 0);
}

TEST_F(CommandLineOptions, RecordingEndpointsAreProbedWithoutLoopback) {
  FakeDevice& microphone = platform.AddDevice(L"mic", DEVICE_STATE_ACTIVE, eCapture);
  microphone.mix_format = ExtensibleMix(1);
  platform.AddDevice(L"speakers");
  const Outcome run = RunWords(platform, {"--capture", "--render"});
  EXPECT_EQ(run.status, 0);
  const std::size_t capture = run.text.find("====== Found 1 capture devices ======\n===== Device =====\n"
                                            "Device ID          : {0.0.0.00000000}.{mic}\n");
  ASSERT_NE(capture, std::string::npos) << run.text;
  EXPECT_EQ(run.text.rfind("====== Found 1 audio devices ======\n===== Device =====\n"
                           "Device ID          : {0.0.0.00000000}.{speakers}\n",
                           0),
            0u);
  EXPECT_NE(run.text.find("Current format     : Mono\n\n", capture), std::string::npos);
  ASSERT_EQ(microphone.offers.size(), 1u);
  EXPECT_EQ(microphone.offers[0].stream_flags, static_cast<DWORD>(AUDCLNT_STREAMFLAGS_EVENTCALLBACK));
  EXPECT_EQ(platform.devices[1]->offers[0].stream_flags, 0x60000u);
  EXPECT_EQ(platform.pauses, 1);
}

TEST_F(CommandLineOptions, RecordingEnumerationThatFailsEndsTheRunAfterThePlaybackListing) {
  platform.AddDevice(L"speakers");
  platform.enumerator.faults["EnumAudioEndpoints#capture"] = E_OUTOFMEMORY;
  const Outcome run = RunWords(platform, {"--render", "--capture"});
  EXPECT_EQ(run.status, -1);
  EXPECT_EQ(run.text.rfind("====== Found 1 audio devices ======\n", 0), 0u);
  EXPECT_NE(run.text.find("Current format     : Stereo\n\nCouldn't enumerate: [0x8007000E]\n"), std::string::npos);
  EXPECT_EQ(platform.pauses, 0);
}

}  // namespace

namespace {

// --id and --name: which endpoints they keep, and the values they take.
using Choosing = PlatformTest;

TEST(EndpointFilter, IdsMatchWholeAndNamesByPartIgnoringCaseBeyondAscii) {
  EndpointFilter choice;
  EXPECT_TRUE(choice.Keeps(nullptr, nullptr));
  choice.ids = {L"{0.0.0.00000000}.{ABC}"};
  EXPECT_TRUE(choice.Keeps(L"{0.0.0.00000000}.{abc}", nullptr));
  EXPECT_FALSE(choice.Keeps(L"{0.0.0.00000000}.{abcd}", L"{0.0.0.00000000}.{ABC}"));
  EXPECT_FALSE(choice.Keeps(nullptr, L"anything"));
  choice.names = {L"kopfH\u00D6RER", L"\u0434\u0438\u043D\u0430\u043C\u0438\u043A\u0438"};
  EXPECT_TRUE(choice.Keeps(nullptr, L"Kopfh\u00F6rer (USB)"));
  EXPECT_TRUE(choice.Keeps(L"x", L"\u041C\u043E\u0438 \u0414\u0418\u041D\u0410\u041C\u0418\u041A\u0418"));
  EXPECT_FALSE(choice.Keeps(L"x", L"Kopfhorer"));
  EXPECT_FALSE(choice.Keeps(L"x", nullptr));
}

TEST_F(Choosing, KeepsWhatAnyValueMatchesAndTheHeaderCountsWhatIsPrinted) {
  platform.AddDevice(L"alpha");
  FakeDevice& beta = platform.AddDevice(L"beta");
  platform.AddDevice(L"gamma");
  CapturedOutput output;
  EXPECT_EQ(platform.RunCommandLine({"--name", "ALPHA (", "--id={0.0.0.00000000}.{GAMMA}", "--no-pause"}), 0);
  const std::string text = output.Text();
  EXPECT_EQ(text.rfind("====== Found 2 audio devices ======\n===== Device =====\n"
                       "Device ID          : {0.0.0.00000000}.{alpha}\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("{gamma}"), std::string::npos);
  EXPECT_EQ(text.find("{beta}"), std::string::npos);
  EXPECT_TRUE(beta.activate_iids.empty()) << "an endpoint left out is not probed";

  // Choosers that choose nothing end with 1, after the listing as usual.
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--name=nothing", "--no-pause"}, {"--id", "{beta}", "--no-pause"}, {"--brief", "--name=x", "--no-pause"}}) {
    CapturedOutput none;
    EXPECT_EQ(platform.RunCommandLine(words), 1);
    EXPECT_EQ(none.Text(), "====== Found 0 audio devices ======\n");
  }
  EXPECT_EQ(RunWords(platform, {"--json", "--render", "--capture", "--id=x"}).status, 1);
  CapturedOutput json;
  EXPECT_EQ(platform.RunCommandLine({"--json", "--name", "BETA"}), 0);
  const auto document = nlohmann::json::parse(json.Text());
  ASSERT_EQ(document["endpoints"].size(), 1u);
  EXPECT_EQ(document["endpoints"][0]["id"], "{0.0.0.00000000}.{beta}");
}

TEST_F(Choosing, AppsThatMatchNoSessionEndWithOneAndWithoutAppEverySessionShows) {
  FakeDevice& speakers = platform.AddDevice(L"spk");
  speakers.session_manager.AddSession(GetCurrentProcessId());
  speakers.session_manager.AddSession(0xFFFFFFF0);  // a process without a name
  const Outcome all = RunWords(platform, {"--sessions", "--no-pause"});
  EXPECT_EQ(all.status, 0);
  EXPECT_NE(all.text.find("Session            : trelmo_unit_tests.exe"), std::string::npos) << all.text;
  EXPECT_NE(all.text.find(" (pid 4294967280), "), std::string::npos) << all.text;
  for (const auto& [words, status] : std::vector<std::pair<std::vector<std::string>, int>>{
           {{"--app", "nothing", "--no-pause"}, 1},
           {{"--app", "nothing", "--json"}, 1},
           {{"--app", "nothing", "--brief", "--no-pause"}, 1},
           {{"--app", "UNIT_TESTS", "--no-pause"}, 0},
           {{"--app", "unit_tests", "--json", "--capture", "--render"}, 0}}) {
    EXPECT_EQ(RunWords(platform, words).status, status) << words[1] << " " << words[2];
  }
}

TEST_F(Choosing, ARoleGivenTwiceIsSetOnce) {
  platform.AddDevice(L"one");
  platform.enumerator.defaults[{eRender, eConsole}] = &platform.AddDevice(L"two");
  EXPECT_EQ(RunWords(platform, {"--name", "one", "--set-default", "console", "--set-default", "Console"}).status, 0);
  EXPECT_EQ(platform.policy.made_default,
            (std::vector<std::pair<std::wstring, ERole>>{{L"{0.0.0.00000000}.{one}", eConsole}}));
}

// trelmow.exe: what went wrong goes to a message box (here kept), with the
// status, unless --quiet; it never pauses.
TEST_F(Choosing, TheWindowedRunShowsARefusalOrAFailureUnlessQuiet) {
  platform.AddDevice(L"two").volume.faults["SetMasterVolumeLevelScalar"] = kDeviceInvalidated;
  CapturedOutput output;
  EXPECT_EQ(platform.RunWindowed({"--name", "--mute"}), 2);
  EXPECT_EQ(platform.messages,
            (std::vector<std::wstring>{L"trelmo: --name takes the text to look for, not \"--mute\"; for a value that "
                                       L"begins with \"--\" write --name=--mute (see trelmo --help)\n\nStatus: 2"}));
  EXPECT_EQ(platform.RunWindowed({"--name", "two", "--set-volume", "10"}), -1);
  ASSERT_EQ(platform.messages.size(), 2U);
  EXPECT_EQ(platform.messages[1], L"Couldn't set volume: [0x88890004]\n\nStatus: -1");
  EXPECT_EQ(platform.RunWindowed({"--name", "two"}), 0);
  EXPECT_EQ(platform.RunWindowed({"--name", "two", "--set-volume", "10", "--QUIET"}), -1);
  EXPECT_EQ(platform.RunWindowed({"--bogus", "--quiet"}), 2);
  EXPECT_EQ(platform.RunWindowed({"--help", "--quiet"}), 0);
  EXPECT_EQ(platform.messages.size(), 2U);
  EXPECT_EQ(platform.pauses, 0);
  // trelmo.exe takes --quiet as well, so that a script can call either.
  EXPECT_EQ(platform.RunCommandLine({"--quiet", "--name", "two", "--no-pause"}), 0);
}

TEST_F(Choosing, AValueIsTheNextWordAsTypedOrWhatFollowsTheEqualsSign) {
  const auto parse = [](std::vector<std::string> words, const WideArguments& wide = {}) {
    std::vector<char*> argv{const_cast<char*>("trelmo")};
    for (std::string& word : words) {
      argv.push_back(word.data());
    }
    Options options;
    const bool known = ParseArguments(static_cast<int>(argv.size()), argv.data(), options, wide);
    return std::make_pair(known, options.filter);
  };
  const auto [known, choice] = parse({"--NAME", "Front Left", "--id=A=B", "--name=--json"});
  EXPECT_TRUE(known);
  EXPECT_EQ(choice.names, (std::vector<std::wstring>{L"Front Left", L"--json"}));
  EXPECT_EQ(choice.ids, (std::vector<std::wstring>{L"A=B"}));
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--name"}, {"active", "--id"}, {"--id="}, {"--name", ""}, {"--names=x"}, {"--json=1"}}) {
    EXPECT_FALSE(parse(words).first) << words.back();
  }
  // The platform's UTF-16 command line, when given, is where values come from.
  std::wstring program = L"trelmo";
  std::wstring option = L"--name";
  std::wstring value = L"\u30B9\u30D4\u30FC\u30AB\u30FC";
  std::wstring joined = L"--id=\u00C4";
  wchar_t* wide[] = {program.data(), option.data(), value.data(), joined.data()};
  int asked = 0;
  const WideArguments count_asks = [&]() -> wchar_t** {
    ++asked;
    return wide;
  };
  EXPECT_TRUE(parse({"--json", "active"}, count_asks).first);
  EXPECT_EQ(asked, 0) << "a command line without values never asks";
  const auto from_wide = parse({"--name", "?????", "--id=?"}, count_asks).second;
  EXPECT_EQ(asked, 1) << "asked for once, when the first value is taken";
  EXPECT_EQ(from_wide.names, (std::vector<std::wstring>{value}));
  EXPECT_EQ(from_wide.ids, (std::vector<std::wstring>{L"\u00C4"}));
}

}  // namespace
