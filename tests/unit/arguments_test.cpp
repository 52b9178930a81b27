#include "app/command_line.h"
#include "tests/unit/fakes.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <utility>
#include <vector>

namespace {

// Runs the parser the way main does: the states are the words' alone.
struct Parsed {
  bool known;
  std::uint32_t mask;
};

Parsed Parse(std::vector<std::string> words) {
  std::vector<char*> argv{const_cast<char*>("trelmo")};
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  Options options;
  const bool known = ParseArguments(static_cast<int>(words.size() + 1), argv.data(), options);
  return {known, options.filter.states};
}

// Whether the parser takes the words, and its reason when it does not.
std::pair<bool, std::wstring> Answer(std::vector<std::string> words) {
  std::vector<char*> argv{const_cast<char*>("trelmo")};
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  Options options;
  std::wstring reason;
  const bool known = ParseArguments(static_cast<int>(argv.size()), argv.data(), options, {}, &reason);
  return {known, reason};
}

constexpr std::uint32_t kActive = DEVICE_STATE_ACTIVE;
constexpr std::uint32_t kDisabled = DEVICE_STATE_DISABLED;
constexpr std::uint32_t kNotPresent = DEVICE_STATE_NOTPRESENT;
constexpr std::uint32_t kUnplugged = DEVICE_STATE_UNPLUGGED;

TEST(ParseArguments, NoArgumentListsActiveOnly) {
  const Parsed parsed = Parse({});
  EXPECT_TRUE(parsed.known);
  EXPECT_EQ(parsed.mask, kActive);
}

TEST(ParseArguments, EachWordAddsItsOwnBitToAnEmptyMask) {
  EXPECT_EQ(Parse({"active"}).mask, kActive);
  EXPECT_EQ(Parse({"disabled"}).mask, kDisabled);
  EXPECT_EQ(Parse({"unplugged"}).mask, kUnplugged);
  EXPECT_EQ(Parse({"not-present"}).mask, kNotPresent);
  EXPECT_EQ(Parse({"Active", "unplugged"}).mask, kActive | kUnplugged);
  EXPECT_EQ(Parse({"disabled", "disabled", "DISABLED"}).mask, kDisabled);
  EXPECT_EQ(Parse({"not-present", "unplugged", "disabled", "active"}).mask, 0xFu);
}

TEST(ParseArguments, CaseFoldsAndASpaceStandsForTheHyphen) {
  EXPECT_EQ(Parse({"NOT-PRESENT"}).mask, kNotPresent);
  EXPECT_EQ(Parse({"Not Present"}).mask, kNotPresent);
  EXPECT_EQ(Parse({"nOT pRESENT"}).mask, kNotPresent);
  EXPECT_EQ(Parse({"UnPlugged"}).mask, kUnplugged);
}

TEST(ParseArguments, AnythingButAnExactWordIsUnknown) {
  for (const char* word : {"", "not_present", "actives", "activ", " active", "active ", "not--present",
                           "notpresent", "-", "active\xFF", "\xC4" "CTIVE"}) {
    EXPECT_FALSE(Parse({word}).known) << "word: \"" << word << "\"";
  }
}

TEST(ParseArguments, StopsAtTheFirstUnknownWord) {
  std::vector<std::string> words{"disabled", "bogus", "unplugged"};
  std::vector<char*> argv{const_cast<char*>("trelmo")};
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  Options options;
  EXPECT_FALSE(ParseArguments(4, argv.data(), options));
  EXPECT_EQ(options.filter.states, kDisabled);
  // The word after the unknown one was not even normalised.
  EXPECT_EQ(words[2], "unplugged");
  EXPECT_EQ(words[1], "bogus");
}

TEST(ParseArguments, HighBytesFoldSafelyUnderAWesternLocale) {
  ASSERT_NE(std::setlocale(LC_ALL, "English_United States.1252"), nullptr);
  std::string word = "\xC4\xD6\xDC\x80\xFF";
  std::vector<char*> argv{const_cast<char*>("trelmo"), word.data()};
  Options options;
  EXPECT_FALSE(ParseArguments(2, argv.data(), options));
  // Letter case folds by the locale's rules, high bytes included.
  EXPECT_EQ(word, "\xE4\xF6\xFC\x80\xFF");
  EXPECT_EQ(Parse({"ACTIVE"}).mask, kActive);
  std::setlocale(LC_ALL, "C");
}

TEST(ParseArguments, EachKindOfBadWordHasItsReason) {
  const std::pair<std::vector<std::string>, std::wstring> cases[] = {
      {{"active", "Bogus", "--also-bogus"}, L"\"Bogus\" is not a state word or an option"},
      {{""}, L"\"\" is not a state word or an option"},
      {{"--names=x"}, L"\"--names=x\" is not a state word or an option"},
      {{"--ID"}, L"--ID takes an identifier as the next word or after \"=\""},
      {{"--name="}, L"--name takes the text to look for, not \"\""},
      {{"--JSON=Yes"}, L"--JSON takes no value, not \"Yes\""},
      {{"--watch", "--events", "0"}, L"--events takes a whole number of changes from 1 to 1000000, not \"0\""},
      {{"--watch", "--events=1000001"}, L"--events takes a whole number of changes from 1 to 1000000, not \"1000001\""},
      {{"--watch", "--timeout", "99999999999"},
       L"--timeout takes a whole number of seconds from 1 to 86400, not \"99999999999\""},
      {{"--timeout", "86401", "--watch"}, L"--timeout takes a whole number of seconds from 1 to 86400, not \"86401\""},
      {{"--events", "1000000"}, L"--events works only with --watch"},
      {{"--timeout=86400"}, L"--timeout works only with --watch"},
      {{"--timeout=1", "--events=1"}, L"--events and --timeout work only with --watch"},
      {{"--name", "x", "--set-volume", "101"},
       L"--set-volume takes N, N%, +N% or -N% with N from 0 to 100, or a level in dB such as -12.5dB, not \"101\""},
      {{"--default", "all"}, L"--default takes console, multimedia or communications, not \"all\""},
      {{"--mute"}, L"a change needs a chooser: --id, --name, --default or --app"},
      {{"--app", "x", "--cycle-default", "all"},
       L"--set-default and --cycle-default need --id, --name or --default, and take no --app"},
      {{"--app", "x", "--set-volume", "-3dB"}, L"a session's volume is a percentage, not a level in dB"},
      {{"--id", "x", "--mute", "--toggle-mute"}, L"--mute, --unmute and --toggle-mute do not go together"},
  };
  for (const auto& [words, expected] : cases) {
    std::vector<std::string> typed = words;
    std::vector<char*> argv{const_cast<char*>("trelmo")};
    for (std::string& word : typed) {
      argv.push_back(word.data());
    }
    Options options;
    std::wstring reason;
    EXPECT_FALSE(ParseArguments(static_cast<int>(argv.size()), argv.data(), options, {}, &reason));
    EXPECT_EQ(reason, expected);
  }
  // The word comes from the platform's UTF-16 command line, where it survives whole.
  std::string narrow = "????";
  std::wstring program = L"trelmo";
  std::wstring word = L"\u30B9\u30D4\u30FC\u30AB";
  wchar_t* wide[] = {program.data(), word.data()};
  std::vector<char*> argv{const_cast<char*>("trelmo"), narrow.data()};
  Options options;
  std::wstring reason;
  EXPECT_FALSE(ParseArguments(2, argv.data(), options, [&] { return wide; }, &reason));
  EXPECT_EQ(reason, L"\"" + word + L"\" is not a state word or an option");
}

// Command lines that would do something other than what was typed: refused
// with a reason, or, for help and the harmless habits, accepted.
TEST(ParseArguments, RefusesWhatWouldNotDoAsTyped) {
  const std::string long_word(5000, 'x');
  const std::pair<std::vector<std::string>, std::wstring> cases[] = {
      {{"--name", "--json"},
       L"--name takes the text to look for, not \"--json\"; for a value that begins with \"--\" write "
       L"--name=--json"},
      {{"--Default", "--mute"}, L"--Default takes console, multimedia or communications, not \"--mute\"; for a "
                                L"value that begins with \"--\" write --Default=--mute"},
      {{"--name", "x", "--set-volume", "10", "--SET-VOLUME=20dB"},
       L"--SET-VOLUME is given twice, as \"10\" and as \"20dB\": which one is meant?"},
      {{"--watch", "--events", "3", "--events=4"}, L"--events is given twice, as \"3\" and as \"4\": which one is meant?"},
      {{"--Details", "--id", "x", "--Mute"}, L"--Details has no effect beside --Mute: a change run prints only what it changed"},
      {{"--name", "x", "--set-default=console", "--sessions"},
       L"--sessions has no effect beside --set-default: a change run prints only what it changed"},
      {{"--app", "x", "--toggle-mute", "--formats"},
       L"--formats has no effect beside --toggle-mute: a change run prints only what it changed"},
      {{"--watch", "--brief"}, L"--brief has no effect beside --watch: a watch prints one line per change"},
      {{"--formats", "--WATCH"}, L"--formats has no effect beside --WATCH: a watch prints one line per change"},
      {{"--save", "x.json", "--formats"},
       L"--formats has no effect beside --save: a saved setup holds every endpoint's settings, no more"},
      {{"--restore", "x.json", "--name", "y", "--mute"},
       L"--restore changes what differs from its file: it takes no other change and no --app"},
      {{"--watch", "--set-volume", "50", "--name", "X"}, L"--watch changes nothing: make the change in a run of its own"},
      {{"--id", "x", "--app", "y", "--set-default", "console"},
       L"--set-default and --cycle-default need --id, --name or --default, and take no --app"},
      {{"--id", "x", "--set-volume", "50."},
       L"--set-volume takes N, N%, +N% or -N% with N from 0 to 100, or a level in dB such as -12.5dB, not \"50.\""},
      {{long_word}, L"\"" + std::wstring(57, L'x') + L"...\" is not a state word or an option"},
      {{"--name", "x", "--mute", "--name"}, L"--name takes the text to look for as the next word or after \"=\""},
  };
  for (const auto& [words, expected] : cases) {
    EXPECT_EQ(Answer(words), std::make_pair(false, expected)) << words[0];
  }
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--brief", "--json"},
           {"--no-pause", "--id", "x", "--mute"},
           {"--watch", "--no-pause", "--json"},
           {"--app", "x", "--set-volume", "50"},
           {"--quiet", "--name", "x", "--unmute"},
           {"--name", "x", "--set-volume", "10", "--set-volume=10"},
           {"--mute", "--help"},
           {"--bogus", "--set-volume", "-h"},
           {"--name", "--help"}}) {
    EXPECT_EQ(Answer(words), std::make_pair(true, std::wstring())) << words[0];
  }
}

TEST(PrintHelp, WritesTheThreeHelpLinesToStandardOutput) {
  CapturedOutput output;
  PrintHelp();
  EXPECT_EQ(output.Text(), "==== Help ====\nUsage:\n    trelmo [Active|Disabled|Unplugged|Not-Present]\n");
}

}  // namespace
