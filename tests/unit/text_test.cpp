#include "text/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <string>
#include <vector>

namespace {

TEST(FormatCode, WritesEightUpperCaseDigitsMostSignificantFirst) {
  EXPECT_EQ(FormatCode(0x8007000E), "8007000E");
  EXPECT_EQ(FormatCode(0), "00000000");
  EXPECT_EQ(FormatCode(0x1), "00000001");
  EXPECT_EQ(FormatCode(0xFFFFFFFF), "FFFFFFFF");
  EXPECT_EQ(FormatCode(0x88890004), "88890004");
  EXPECT_EQ(FormatCode(0x0ABCDEF0), "0ABCDEF0");
}

// Records each call of the platform conversion and answers with a script.
struct ConversionCall {
  UINT code_page;
  DWORD flags;
  int length;
  bool has_output;
  int room;
};
std::vector<ConversionCall> calls;
std::vector<int> answers;  // one per call; past the end, the real conversion

int Answer(int real) {
  const std::size_t call = calls.size() - 1;
  return call < answers.size() ? answers[call] : real;
}

int WINAPI RecordingMultiByteToWide(UINT page, DWORD flags, LPCCH in, int length, LPWSTR out, int room) {
  calls.push_back({page, flags, length, out != nullptr, room});
  return Answer(MultiByteToWideChar(page, flags, in, length, out, room));
}

int WINAPI RecordingWideToMultiByte(UINT page, DWORD flags, LPCWCH in, int length, LPSTR out, int room,
                                    LPCCH fallback, LPBOOL used) {
  calls.push_back({page, flags, length, out != nullptr, room});
  return Answer(WideCharToMultiByte(page, flags, in, length, out, room, fallback, used));
}

class Conversion : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    answers.clear();
  }
};

TEST_F(Conversion, LayoutNameToWideAsksForTheSizeThenConverts) {
  const std::wstring wide = Utf8ToWide("Surround 5.1 (Side)", RecordingMultiByteToWide);
  EXPECT_EQ(wide, L"Surround 5.1 (Side)");
  EXPECT_EQ(wide.size(), 19u);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].code_page, 65001u);
  EXPECT_EQ(calls[0].flags, 0u);
  EXPECT_EQ(calls[0].length, 19);
  EXPECT_FALSE(calls[0].has_output);
  EXPECT_EQ(calls[0].room, 0);
  EXPECT_TRUE(calls[1].has_output);
  EXPECT_EQ(calls[1].room, 19);
}

TEST_F(Conversion, InputNeedNotBeZeroTerminated) {
  const char bytes[] = {'M', 'o', 'n', 'o', 'X'};
  EXPECT_EQ(Utf8ToWide(std::string_view(bytes, 4), RecordingMultiByteToWide), L"Mono");
  EXPECT_EQ(Utf8ToWide("\xC3\xA4"), L"\u00E4");
  EXPECT_EQ(Utf8ToWide("A"), L"A");
  EXPECT_EQ(WideToUtf8(L"Ma\u00DFe"), "Ma\xC3\x9F" "e");
  EXPECT_EQ(WideToUtf8(L"\u30B9"), "\xE3\x82\xB9");
}

TEST_F(Conversion, EmptyInputMakesNoPlatformCall) {
  EXPECT_EQ(Utf8ToWide("", RecordingMultiByteToWide), L"");
  EXPECT_EQ(WideToUtf8(L"", RecordingWideToMultiByte), "");
  EXPECT_TRUE(calls.empty());
}

TEST_F(Conversion, LengthBeyondThePlatformCountGivesEmptyWithoutAPlatformCall) {
  // Never read: the length alone must stop the conversion.
  const char byte = 'x';
  const wchar_t unit = L'x';
  const std::size_t too_long = static_cast<std::size_t>(INT_MAX) + 1;
  EXPECT_EQ(Utf8ToWide(std::string_view(&byte, too_long), RecordingMultiByteToWide), L"");
  EXPECT_EQ(WideToUtf8(std::wstring_view(&unit, too_long), RecordingWideToMultiByte), "");
  EXPECT_EQ(Utf8ToWide(std::string_view(&byte, std::size_t{1} << 32), RecordingMultiByteToWide), L"");
  EXPECT_TRUE(calls.empty());
}

TEST_F(Conversion, PlatformFailureInEitherCallGivesEmpty) {
  answers = {0};
  EXPECT_EQ(Utf8ToWide("Stereo", RecordingMultiByteToWide), L"");
  EXPECT_EQ(calls.size(), 1u);

  calls.clear();
  answers = {6, 0};
  EXPECT_EQ(Utf8ToWide("Stereo", RecordingMultiByteToWide), L"");
  EXPECT_EQ(calls.size(), 2u);

  calls.clear();
  answers = {0};
  EXPECT_EQ(WideToUtf8(L"Stereo", RecordingWideToMultiByte), "");
  calls.clear();
  answers = {6, 0};
  EXPECT_EQ(WideToUtf8(L"Stereo", RecordingWideToMultiByte), "");
}

TEST_F(Conversion, WideToUtf8RejectsInvalidInputInsteadOfSubstituting) {
  EXPECT_EQ(WideToUtf8(L"Stereo", RecordingWideToMultiByte), "Stereo");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].code_page, 65001u);
  EXPECT_EQ(calls[0].flags, static_cast<DWORD>(WC_ERR_INVALID_CHARS));
  EXPECT_EQ(calls[1].flags, static_cast<DWORD>(WC_ERR_INVALID_CHARS));
  // A lone surrogate is not text: the platform refuses it, so nothing comes back.
  const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b'};
  EXPECT_EQ(WideToUtf8(std::wstring_view(lone, 3)), "");
}

// Output text in a Western European locale, as a console in such a locale shows it.
class LocaleText : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(std::setlocale(LC_ALL, "English_United States.1252"), nullptr); }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(LocaleText, RepresentableTextBecomesTheLocalesBytes) {
  EXPECT_EQ(WideToLocale(L"M\u00E4\u00DFe"), "M\xE4\xDF" "e");
  EXPECT_EQ(WideToLocale(L"Device name        : Speakers\n"), "Device name        : Speakers\n");
}

TEST_F(LocaleText, UnrepresentableCharacterBecomesQuestionMarkAndTheRestStays) {
  EXPECT_EQ(WideToLocale(L"\u30B9\u30D4-X\nnext line\n"), "?" "?-X\nnext line\n");
  // One character outside the basic plane is one question mark, not two.
  EXPECT_EQ(WideToLocale(L"a\U0001F50Ab"), "a?b");
  // A lone surrogate half is still one unrepresentable character.
  const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xDC00), L'b'};
  EXPECT_EQ(WideToLocale(std::wstring_view(lone, 3)), "a?b");
}

TEST_F(LocaleText, WrittenWidthCountsEachQuestionMarkAsOneColumn) {
  EXPECT_EQ(WrittenWidth(L"Kopfh\u00F6rer"), 9U);
  EXPECT_EQ(WrittenWidth(L"\u30B9\u30D4\u30FC\u30AB\u30FC"), 5U);
  EXPECT_EQ(WrittenWidth(L"\U0001F50A Box"), 5U);
  EXPECT_EQ(DisplayWidth(L"\u30B9\u30D4\u30FC\u30AB\u30FC"), 10U);
}

TEST_F(LocaleText, EveryCharacterReachesTheOutput) {
  // Each wide character gives at least one byte: nothing is dropped.
  std::wstring all;
  for (wchar_t unit = 1; unit < 0xD800; unit += 7) {
    all += unit;
  }
  EXPECT_EQ(WideToLocale(all).size(), all.size());
}

}  // namespace
