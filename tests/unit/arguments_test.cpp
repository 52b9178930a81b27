#include "app/command_line.h"
#include "tests/unit/fakes.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
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

TEST(PrintHelp, WritesTheThreeHelpLinesToStandardOutput) {
  CapturedOutput output;
  PrintHelp();
  EXPECT_EQ(output.Text(), "==== Help ====\nUsage:\n    trelmo [Active|Disabled|Unplugged|Not-Present]\n");
}

}  // namespace
