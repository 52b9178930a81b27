// Changing the default endpoint, volume and mute through the fakes: what is
// chosen, what is checked before anything changes, what each call is
// passed, what is read back, and what a failure leaves made.
#include "changes/changes.h"
#include "text/json.h"
#include "tests/unit/platform_test.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Changing = PlatformTest;

// Three speakers, the first the default for every role of playback.
class Speakers : public Changing {
 protected:
  void SetUp() override {
    Changing::SetUp();
    for (const wchar_t* name : {L"one", L"two", L"three"}) {
      FakeDevice& device = platform.AddDevice(name);
      for (const ERole role : {eConsole, eMultimedia, eCommunications}) {
        platform.enumerator.defaults.emplace(std::make_pair(eRender, role), &device);
      }
    }
  }
  FakeDevice& Device(std::size_t at) { return *platform.devices[at]; }
};

TEST_F(Speakers, SetDefaultForOneRoleOrAllAndReadItBack) {
  Outcome run = RunCaptured(platform, {"--name", "two", "--set-default", "Communications"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.text, "Default for communications: two (Speakers) (was one (Speakers))\n");
  EXPECT_EQ(platform.policy.made_default, (std::vector<std::pair<std::wstring, ERole>>{{Device(1).id, eCommunications}}));
  run = RunCaptured(platform, {"--id", "{0.0.0.00000000}.{three}", "--set-default", "all", "--json"});
  const auto changes = Json::parse(run.text)["changes"];
  ASSERT_EQ(changes.size(), 3U);
  EXPECT_EQ(changes[0], Json::parse(R"j({"flow": "render", "id": "{0.0.0.00000000}.{three}",
      "friendly_name": "three (Speakers)", "session": null, "what": "default", "role": "console", "unit": null,
      "before": "{0.0.0.00000000}.{one}", "after": "{0.0.0.00000000}.{three}"})j"));
  EXPECT_EQ(changes[2]["before"], "{0.0.0.00000000}.{two}");
  EXPECT_EQ(platform.policy.made_default.size(), 4U);
}

TEST_F(Speakers, AnEmptyOrAmbiguousChoiceOrALevelOutOfRangeChangesNothing) {
  const struct {
    std::vector<std::string> words;
    std::string text;
  } cases[] = {
      {{"--name", "(Speakers)", "--set-default", "console"},
       "More than one endpoint chosen:\n    one (Speakers)  {0.0.0.00000000}.{one}\n"
       "    two (Speakers)  {0.0.0.00000000}.{two}\n    three (Speakers)  {0.0.0.00000000}.{three}\n"},
      {{"--name", "nothing", "--mute"}, "No endpoint chosen.\n"},
      {{"--name", "one", "disabled", "--set-volume", "50"}, "No endpoint chosen.\n"},
      {{"--name", "one", "--app", "nothing", "--mute"}, "No session chosen.\n"},
      {{"--name", "t", "--set-volume", "-70dB", "--mute"},
       "Volume -70.0 dB is outside the range of two (Speakers): -65.3 dB to 0.0 dB.\n"},
  };
  for (const auto& refused : cases) {
    const Outcome run = RunCaptured(platform, refused.words);
    EXPECT_EQ(run.status, 1) << refused.text;
    EXPECT_EQ(run.text, refused.text);
  }
  const std::vector<std::string> calls = CallLog();
  for (const char* setter : {"SetDefaultEndpoint", "SetMasterVolumeLevel", "SetMute", "SetMasterVolumeLevelScalar"}) {
    EXPECT_EQ(std::count(calls.begin(), calls.end(), setter), 0) << setter;
  }
}

TEST_F(Speakers, CycleToTheOneAfterTheDefaultWrappingOrToTheFirst) {
  const std::vector<std::string> cycle = {"--name", "(speakers)", "--cycle-default", "all"};
  EXPECT_EQ(RunCaptured(platform, cycle).text, "Default for console: two (Speakers) (was one (Speakers))\n"
                                       "Default for multimedia: two (Speakers) (was one (Speakers))\n"
                                       "Default for communications: two (Speakers) (was one (Speakers))\n");
  platform.enumerator.defaults[{eRender, eConsole}] = &Device(2);
  EXPECT_EQ(RunCaptured(platform, {"--name", "(speakers)", "--cycle-default", "console"}).text,
            "Default for console: one (Speakers) (was three (Speakers))\n");
  platform.enumerator.defaults.clear();
  EXPECT_EQ(RunCaptured(platform, {"--name", "t", "--cycle-default", "console"}).text,
            "Default for console: two (Speakers) (was none)\n");
}

TEST_F(Speakers, EachVolumeFormMuteAndTheContextOfEveryCall) {
  const struct {
    std::vector<std::string> words;
    std::string text;
  } cases[] = {
      {{"--set-volume", "50"}, "one (Speakers): volume 75 % -> 50 %\n"},
      {{"--set-volume", "+10%"}, "one (Speakers): volume 50 % -> 60 %\n"},
      {{"--set-volume", "-90%"}, "one (Speakers): volume 60 % -> 0 %\n"},
      {{"--set-volume", "+100%"}, "one (Speakers): volume 0 % -> 100 %\n"},
      {{"--set-volume", "-12.5dB"}, "one (Speakers): volume -6.3 dB -> -12.5 dB\n"},
      {{"--mute"}, "one (Speakers): muted\n"},
      {{"--toggle-mute"}, "one (Speakers): unmuted\n"},
      {{"--toggle-mute"}, "one (Speakers): muted\n"},
      {{"--unmute"}, "one (Speakers): unmuted\n"},
  };
  for (const auto& change : cases) {
    std::vector<std::string> words = {"--default", "console"};
    words.insert(words.end(), change.words.begin(), change.words.end());
    const Outcome run = RunCaptured(platform, words);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.text, change.text);
  }
  EXPECT_EQ(Device(0).volume.contexts.size(), 9U);
  for (const GUID& context : Device(0).volume.contexts) {
    EXPECT_TRUE(IsEqualGUID(context, kTrelmoEventContext));
  }
  // Several at once: default, then volume, then mute; read back from the same control.
  const Outcome all = RunCaptured(platform, {"--name", "three", "--mute", "--set-volume", "20%", "--set-default", "console"});
  EXPECT_EQ(all.text, "Default for console: three (Speakers) (was one (Speakers))\n"
                      "three (Speakers): volume 75 % -> 20 %\nthree (Speakers): muted\n");
  EXPECT_EQ(Device(2).volume.references, 0);
}

TEST_F(Speakers, TheSessionsOfTheAppsOnTheChosenEndpoints) {
  // This process's own id has a name; 0xFFFFFFF0 has none, and is never chosen.
  for (FakeDevice* device : {&Device(0), &Device(1)}) {
    device->session_manager.AddSession(GetCurrentProcessId());
    device->session_manager.AddSession(0xFFFFFFF0).volume.level = 1.0F;
  }
  const std::string pid = std::to_string(GetCurrentProcessId());
  const Outcome run = RunCaptured(platform, {"--app", "UNIT_TESTS", "--set-volume", "-25%", "--toggle-mute"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.text, "trelmo_unit_tests.exe (pid " + pid + ") on one (Speakers): volume 50 % -> 25 %\n" +
                          "trelmo_unit_tests.exe (pid " + pid + ") on two (Speakers): volume 50 % -> 25 %\n" +
                          "trelmo_unit_tests.exe (pid " + pid + ") on one (Speakers): muted\n" +
                          "trelmo_unit_tests.exe (pid " + pid + ") on two (Speakers): muted\n");
  EXPECT_EQ(Device(0).session_manager.enumerator.sessions[1]->volume.contexts.size(), 0U);
  EXPECT_TRUE(IsEqualGUID(Device(1).session_manager.enumerator.sessions[0]->volume.contexts.at(1), kTrelmoEventContext));
  EXPECT_EQ(Device(2).volume.contexts.size(), 0U) << "the endpoints themselves are left alone";
}

TEST_F(Speakers, AFailingChangeReportsWhatWasMadeAndEndsWithMinusOne) {
  const struct {
    std::string fault;
    std::vector<std::string> words;
    std::string text;
  } cases[] = {
      {"SetDefaultEndpoint", {"--set-default", "console", "--mute"}, "Couldn't set the default endpoint: [0x88890004]\n"},
      {"SetMasterVolumeLevelScalar", {"--set-volume", "10", "--mute"}, "Couldn't set volume: [0x88890004]\n"},
      {"SetMasterVolumeLevel", {"--set-volume", "-3dB"}, "Couldn't set volume: [0x88890004]\n"},
      {"SetMute", {"--set-default", "console", "--set-volume", "10", "--mute"},
       "Default for console: two (Speakers) (was one (Speakers))\ntwo (Speakers): volume 75 % -> 10 %\n"
       "Couldn't set mute: [0x88890004]\n"},
      {"CoCreateInstance", {"--set-default", "console", "--mute"}, "Couldn't set the default endpoint: [0x80040154]\n"},
  };
  for (const auto& failure : cases) {
    FakePlatform fresh;
    FakeDevice& two = fresh.AddDevice(L"two");
    two.volume.faults[failure.fault] = kDeviceInvalidated;
    fresh.policy.faults[failure.fault] = kDeviceInvalidated;
    if (failure.fault == "CoCreateInstance") {
      fresh.policy_create_fault = REGDB_E_CLASSNOTREG;
    }
    fresh.enumerator.defaults[{eRender, eConsole}] = &fresh.AddDevice(L"one");
    std::vector<std::string> words = {"--name", "two"};
    words.insert(words.end(), failure.words.begin(), failure.words.end());
    const Outcome run = RunCaptured(fresh, words);
    EXPECT_EQ(run.status, -1) << failure.fault;
    EXPECT_EQ(run.text, failure.text);
    EXPECT_EQ(fresh.OutstandingReferences(), 0);
  }
}

TEST_F(Changing, BadValuesAndChangesWithoutAChooserAreUsageErrorsBeforeAnythingIsAsked) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--set-volume", "50"},
           {"--mute"},
           {"--name", "x", "--set-volume", "101"},
           {"--name", "x", "--set-volume", "abc"},
           {"--name", "x", "--set-volume", "+101%"},
           {"--name", "x", "--set-volume", "5 0"},
           {"--name", "x", "--set-default", "speakers"},
           {"--default", "all"},
           {"--app", "x", "--set-default", "console"},
           {"--app", "x", "--set-volume", "-6dB"},
           {"--name", "x", "--set-default", "console", "--cycle-default", "console"},
           {"--name", "x", "--mute", "--unmute"},
           {"--watch", "--default", "console", "--mute"},
           {"--watch", "--name", "x", "--mute"},
       }) {
    const Outcome run = RunCaptured(platform, words);
    EXPECT_EQ(run.status, 2) << words.back();
    EXPECT_EQ(run.text, "==== Help ====\nUsage:\n    trelmo [Active|Disabled|Unplugged|Not-Present]\n");
  }
  EXPECT_EQ(platform.create_calls, 0);
}

}  // namespace
