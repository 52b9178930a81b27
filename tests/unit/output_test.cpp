// The console path: what reaches a console is the UTF-16 the platform gave,
// in program order; a file or pipe still gets the locale's bytes.
#include "tests/unit/platform_test.h"
#include "text/output.h"

#include <clocale>
#include <string>

namespace {

// A console that keeps what it is given; it can take fewer units per call
// than offered, and can start failing after a number of calls.
struct FakeConsole {
  std::wstring text;
  int calls = 0;
  DWORD most_per_call = 0xFFFFFFFF;
  int fail_from_call = -1;
  int calls_ending_in_half_a_pair = 0;
};
FakeConsole* console = nullptr;

BOOL WINAPI FakeWriteConsole(HANDLE handle, const VOID* buffer, DWORD units, LPDWORD written, LPVOID reserved) {
  const int call = console->calls++;
  if (units > 0) {
    const wchar_t last = static_cast<const wchar_t*>(buffer)[units - 1];
    console->calls_ending_in_half_a_pair += last >= 0xD800 && last <= 0xDBFF ? 1 : 0;
  }
  if (handle != reinterpret_cast<HANDLE>(0x1234) || reserved != nullptr || call == console->fail_from_call ||
      (console->fail_from_call >= 0 && call > console->fail_from_call)) {
    *written = 0;
    return FALSE;
  }
  *written = units < console->most_per_call ? units : console->most_per_call;
  console->text.append(static_cast<const wchar_t*>(buffer), *written);
  return TRUE;
}

class Console : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    console = &fake;
    SelectOutput(reinterpret_cast<HANDLE>(0x1234), FakeWriteConsole);
  }
  void TearDown() override {
    SelectOutput(nullptr, nullptr);
    console = nullptr;
    PlatformTest::TearDown();
  }
  FakeConsole fake;
};

const wchar_t kLoneSurrogate[] = {L'A', 0xD800, L'B', 0};

// Two endpoints: one whose names no single code page holds, and one with a
// lone surrogate whose first probe fails, so a message sits between blocks.
void AddNamedEndpoints(FakePlatform& platform) {
  FakeDevice& names = platform.AddDevice(L"names");
  names.SetNames(L"Kopfh\u00F6rer", L"\u0414\u0438\u043D\u0430\u043C\u0438\u043A\u0438",
                 L"\u30B9\u30D4\u30FC\u30AB\u30FC \U0001F50A");
  FakeDevice& lone = platform.AddDevice(L"lone");
  lone.SetNames(kLoneSurrogate, L"x", L"y");
  lone.mix_format = ExtensibleMix(1);
  lone.faults["Activate"] = E_FAIL;
}

std::wstring Widen(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

TEST_F(Console, EveryCharacterReachesTheConsoleInProgramOrder) {
  AddNamedEndpoints(platform);
  CapturedOutput bytes;
  ASSERT_EQ(platform.RunListing(), 0);
  EXPECT_EQ(bytes.Text(), "") << "nothing may bypass the console";
  const std::wstring expected =
      L"====== Found 2 audio devices ======\n"
      L"===== Device =====\n"
      L"Device ID          : {0.0.0.00000000}.{names}\n"
      L"Device name        : Kopfh\u00F6rer\n"
      L"Adapter name       : \u0414\u0438\u043D\u0430\u043C\u0438\u043A\u0438\n"
      L"Device description : \u30B9\u30D4\u30FC\u30AB\u30FC \U0001F50A\n"
      L"Device state       : Active\n"
      L"Current format     : Stereo\n\n" +
      Widen(EveryRow("Couldn't activate Device: [0x80004005]")) +
      L"===== Device =====\n"
      L"Device ID          : {0.0.0.00000000}.{lone}\n"
      L"Device name        : " + std::wstring(kLoneSurrogate) + L"\n"
      L"Adapter name       : x\n"
      L"Device description : y\n"
      L"Device state       : Active\n"
      L"Current format     : Unknown\n\n";
  EXPECT_EQ(fake.text, expected);
}

TEST_F(Console, HelpGoesToTheConsoleToo) {
  CapturedOutput bytes;
  EXPECT_EQ(platform.RunCommandLine({"bogus"}), 2);
  EXPECT_EQ(bytes.Text(), "");
  EXPECT_EQ(fake.text, L"==== Help ====\nUsage:\n    trelmo [Active|Disabled|Unplugged|Not-Present]\n");
}

TEST_F(Console, TheDocumentKeepsItsCharactersOnAConsole) {
  AddNamedEndpoints(platform);
  CapturedOutput bytes;
  EXPECT_EQ(platform.RunCommandLine({"--json"}), 0);
  EXPECT_EQ(bytes.Text(), "");
  EXPECT_NE(fake.text.find(L"\"friendly_name\": \"Kopfh\u00F6rer\""), std::wstring::npos);
  EXPECT_NE(fake.text.find(L"\"description\": \"\u30B9\u30D4\u30FC\u30AB\u30FC \U0001F50A\""), std::wstring::npos);
  EXPECT_EQ(fake.text.find(L"\\u"), std::wstring::npos) << "nothing is escaped for a console";
}

TEST_F(Console, ShortWritesAreResumedAndPairsAreNeverSplit) {
  // Long enough for several writes, with a pair straddling the first boundary.
  std::wstring text(8191, L'a');
  text += L"\U0001F50A";
  text += std::wstring(20000, L'b');
  WriteWide(text);
  EXPECT_EQ(fake.text, text);
  EXPECT_EQ(fake.calls_ending_in_half_a_pair, 0);
  EXPECT_EQ(fake.calls, 4);

  fake = FakeConsole{};
  fake.most_per_call = 5000;
  WriteWide(text);
  EXPECT_EQ(fake.text, text);
  EXPECT_EQ(fake.calls, 6);
}

TEST_F(Console, AFailingConsoleNeitherStopsTheListingNorChangesItsStatus) {
  AddNamedEndpoints(platform);
  fake.fail_from_call = 1;  // the header goes through, nothing after it
  CapturedOutput bytes;
  EXPECT_EQ(platform.RunListing(), 0);
  EXPECT_EQ(platform.pauses, 1);
  EXPECT_EQ(bytes.Text(), "");
  EXPECT_EQ(fake.text, L"====== Found 2 audio devices ======\n");
  // Every block was still probed and written.
  EXPECT_EQ(platform.devices[1]->activate_iids.size(), 6u);
  EXPECT_GE(fake.calls, 9);
}

// The same endpoints with no console: the locale's bytes, as before.
TEST_F(PlatformTest, WithoutAConsoleTheBytesAreTheLocalesAsBefore) {
  AddNamedEndpoints(platform);
  ASSERT_NE(std::setlocale(LC_ALL, "English_United States.1252"), nullptr);
  CapturedOutput bytes;
  const int status = platform.RunListing();
  const std::string text = bytes.Text();
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(status, 0);
  EXPECT_NE(text.find("Device name        : Kopfh\xF6rer\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Adapter name       : ????????\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Device description : ????? ?\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Device name        : A?B\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Current format     : Stereo\n\n" + EveryRow("Couldn't activate Device: [0x80004005]")),
            std::string::npos);
}

}  // namespace
