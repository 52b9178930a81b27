// The options: how they mix with state words, what each one changes in the
// run, and the text listing of recording endpoints.
#include "app/version.h"
#include "tests/unit/platform_test.h"

#include <string>
#include <vector>

namespace {

using CommandLineOptions = PlatformTest;

const std::string kUsage = "==== Help ====\nUsage:\n    trelmo [Active|Disabled|Unplugged|Not-Present]\n";

struct Outcome {
  int status;
  std::string text;
};

Outcome RunWords(FakePlatform& platform, const std::vector<std::string>& words) {
  CapturedOutput output;
  const int status = platform.RunCommandLine(words);
  return {status, output.Text()};
}

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
      {{"--json"}, {{eRender, DEVICE_STATE_ACTIVE}}, "{\n  \"endpoints\": []\n}\n", 0},
      {{"--capture", "--Json", "disabled", "--no-pause"}, {{eCapture, DEVICE_STATE_DISABLED}},
       "{\n  \"endpoints\": []\n}\n", 0},
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
  std::string help = kUsage + "\n";
  help += "    --json          one JSON document instead of the text listing, without the pause\n";
  help += "    --no-pause      the text listing without the pause at its end\n";
  help += "    --capture       list recording (capture) endpoints instead of playback ones\n";
  help += "    --render        list playback endpoints (the default); with --capture, both\n";
  help += "    --help, -h, /?  this help\n";
  help += "    --version       the version of trelmo\n";
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--help"}, {"-H"}, {"/?"}, {"active", "--json", "--HELP"}, {"--version", "-h"}}) {
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
           {"--jsonx"}, {"--json", "bogus"}, {"-json"}, {"--help", "--bogus"}, {"--no_pause"}, {"/h"}, {"--"}}) {
    const Outcome run = RunWords(platform, words);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.text, kUsage);
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
