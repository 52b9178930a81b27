// Changing the default endpoint, volume and mute through the fakes: what is
// chosen, what is checked before anything changes, what each call is
// passed, what is read back, and what a failure leaves made.
#include "changes/changes.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "text/json.h"
#include "text/text.h"
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
    EXPECT_EQ(run.text, "");
    EXPECT_EQ(WideToUtf8(platform.errors), refused.text);
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
  // What was made goes to standard output, the failure that ended the run to standard error.
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
    const std::size_t last_line = failure.text.rfind('\n', failure.text.size() - 2) + 1;
    EXPECT_EQ(run.text, failure.text.substr(0, last_line));
    EXPECT_EQ(WideToUtf8(fresh.errors), failure.text.substr(last_line));
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
           {"--watch", "--default", "console"},
           {"--watch", "--name", "x", "--mute"},
       }) {
    const Outcome run = RunCaptured(platform, words);
    EXPECT_EQ(run.status, 2) << words.back();
    EXPECT_EQ(run.text, "==== Help ====\nUsage:\n    trelmo [Active|Disabled|Unplugged|Not-Present]\n");
  }
  EXPECT_EQ(platform.create_calls, 0);
}

}  // namespace

namespace {

// The setters of every kind trelmo calls: a dry run calls none of them.
const char* const kSetters[] = {"SetDefaultEndpoint", "SetEndpointVisibility", "SetDeviceFormat", "SetMute",
                                "SetMasterVolumeLevel", "SetMasterVolumeLevelScalar", "SetMasterVolume"};

std::ptrdiff_t SettersCalled() {
  const std::vector<std::string> calls = CallLog();
  return std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
    return std::find_if(std::begin(kSetters), std::end(kSetters), [&call](const char* setter) { return call == setter; }) !=
           std::end(kSetters);
  });
}

TEST_F(Speakers, EnablingSettingTheFormatAndTheDefaultInOneRunReadBack) {
  FakeDevice& hdmi = platform.AddDevice(L"HDMI", DEVICE_STATE_DISABLED);
  hdmi.mix_format = MixFormat(WAVE_FORMAT_PCM, 6, 48000, 16, 0);
  // The device takes 24 bits only in a 24-bit container: the second record offered.
  hdmi.exclusive_formats.accepted = {{6, 0x3F, 24, 24, false, 96000}, {6, 0x3F, 16, 16, false, 48000}};
  Outcome run = RunCaptured(platform, {"--name", "hdmi", "--enable", "--set-format", "96000/24", "--set-default",
                                       "console", "--no-pause"});
  EXPECT_EQ(run.status, 0) << WideToUtf8(platform.errors);
  EXPECT_EQ(run.text, "HDMI (Speakers): enabled (was disabled)\n"
                      "HDMI (Speakers): format 48000 Hz 16 bits -> 96000 Hz 24 bits\n"
                      "Default for console: HDMI (Speakers) (was one (Speakers))\n");
  ASSERT_EQ(platform.policy.made_visible, (std::vector<std::pair<std::wstring, INT>>{{hdmi.id, TRUE}}));
  ASSERT_EQ(platform.policy.formats_set.size(), 1U);
  const auto& set = platform.policy.formats_set[0];
  EXPECT_EQ(set.endpoint.Format.wBitsPerSample, 24);
  EXPECT_EQ(set.endpoint.Samples.wValidBitsPerSample, 24);
  EXPECT_EQ(set.endpoint.dwChannelMask, 0x3FU) << "a plain record's six channels keep their usual layout";
  EXPECT_TRUE(IsEqualGUID(set.endpoint.SubFormat, kSubtypePcm));
  EXPECT_EQ(set.mix.Format.nChannels, 6);
  EXPECT_EQ(set.mix.Format.wBitsPerSample, 32);
  EXPECT_TRUE(IsEqualGUID(set.mix.SubFormat, kSubtypeIeeeFloat));
  EXPECT_EQ(hdmi.format_offers.size(), 2U) << "24 bits in 32 first, then in 24";
  // Already so: no call. A device that keeps another rate shows the rate it kept.
  platform.policy.kept_rate = 88200;
  run = RunCaptured(platform, {"--name", "hdmi", "--enable", "--set-format", "96000/24"});
  EXPECT_EQ(run.text, "HDMI (Speakers): already enabled\nHDMI (Speakers): format already 96000 Hz 24 bits\n");
  run = RunCaptured(platform, {"--name", "hdmi", "--set-format", "48000/16", "--json"});
  EXPECT_EQ(Json::parse(run.text)["changes"][0]["after"]["sample_rate"], 88200);
  EXPECT_EQ(platform.policy.made_visible.size(), 1U);
  EXPECT_EQ(platform.policy.formats_set.size(), 2U);
}

TEST_F(Speakers, AFormatRefusedAnywhereChangesNothingAndSaysWhatTheEndpointTakes) {
  Device(0).exclusive_formats.accepted.insert({2, 0x3, 32, 24, false, 96000});
  Device(1).exclusive_formats.accepted = {{2, 0x3, 16, 16, false, 44100}, {2, 0x3, 16, 16, false, 48000},
                                          {2, 0x3, 32, 24, false, 48000}, {2, 0x3, 24, 24, false, 48000}};
  const Outcome refused = RunCaptured(platform, {"--name", "one", "--name", "two", "--set-format", "96000/24"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(WideToUtf8(platform.errors),
            "two (Speakers) does not take 96000 Hz 24 bits; at 2 channels it takes: 44100/16 48000/16 48000/24.\n");
  EXPECT_EQ(SettersCalled(), 0);
}

TEST_F(Speakers, ADryRunReadsAndChecksButSetsNothing) {
  platform.AddDevice(L"HDMI", DEVICE_STATE_DISABLED);
  Outcome run = RunCaptured(platform, {"--name", "HDMI", "--name", "two", "--enable", "--set-volume", "+10%", "--mute",
                                       "--dry-run"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.text, "two (Speakers): already enabled\nWould enable HDMI (Speakers) (now disabled)\n"
                      "Would set two (Speakers): volume 75 % -> 85 %\nWould set HDMI (Speakers): volume unknown -> unknown\n"
                      "Would set two (Speakers): muted\nWould set HDMI (Speakers): muted\n");
  run = RunCaptured(platform, {"--name", "three", "--set-default", "all", "--disable", "--dry-run", "--json"});
  const Json document = Json::parse(run.text);
  EXPECT_EQ(document["dry_run"], true);
  EXPECT_EQ(document["changes"][0]["before"], "{0.0.0.00000000}.{one}");
  EXPECT_EQ(document["changes"][3]["what"], "state");
  EXPECT_EQ(document["changes"][3]["after"], nullptr);
  // Refused as the real run would be, before anything.
  EXPECT_EQ(RunCaptured(platform, {"--name", "t", "--set-volume", "-70dB", "--dry-run"}).status, 1);
  EXPECT_EQ(SettersCalled(), 0);
}

// Faults of the change run a plan catches on its own.
TEST_F(Speakers, ChecksComeBeforeEveryChangeAndEveryAfterIsReadBack) {
  // A default is not set when a later check refuses the run.
  EXPECT_EQ(RunCaptured(platform, {"--name", "two", "--set-default", "console", "--set-volume", "-70dB"}).status, 1);
  EXPECT_TRUE(platform.policy.made_default.empty());
  // A refused choice in a document is status 1, its message in the errors.
  Outcome run = RunCaptured(platform, {"--name", "none", "--mute", "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Json::parse(run.text)["errors"][0]["message"], "No endpoint chosen.");
  // A failed activation of the control is the mute's failure when only the mute was asked.
  Device(1).faults["Activate#IAudioEndpointVolume"] = kDeviceInvalidated;
  run = RunCaptured(platform, {"--name", "two", "--mute", "--json"});
  EXPECT_EQ(WideToUtf8(platform.errors), "Couldn't set mute: [0x88890004]\n");
  EXPECT_EQ(Json::parse(run.text)["errors"][0], Json::parse(R"j({"call": "Activate", "code": "0x88890004",
      "message": "Couldn't set mute"})j"));
  // A step beyond full is full, not a level the platform refuses; stepped hardware reads back its step.
  EXPECT_EQ(RunCaptured(platform, {"--name", "one", "--set-volume", "+50%"}).text, "one (Speakers): volume 75 % -> 100 %\n");
  Device(2).volume.steps = 10;
  EXPECT_EQ(RunCaptured(platform, {"--name", "three", "--set-volume", "33"}).text, "three (Speakers): volume 75 % -> 30 %\n");
}

TEST_F(Speakers, ASessionsChangeNamesItsProgramAndEverySetterCarriesTrelmosContext) {
  FakeSession& session = Device(0).session_manager.AddSession(GetCurrentProcessId());
  const Outcome run = RunCaptured(platform, {"--app", "unit_tests", "--set-volume", "20", "--toggle-mute", "--json"});
  const Json change = Json::parse(run.text)["changes"][1];
  EXPECT_EQ(change["session"], Json({{"process_id", GetCurrentProcessId()}, {"process_name", "trelmo_unit_tests.exe"}}));
  EXPECT_EQ(change["after"], true);
  ASSERT_EQ(session.volume.contexts.size(), 2U);
  for (const GUID& context : session.volume.contexts) {
    EXPECT_TRUE(IsEqualGUID(context, kTrelmoEventContext));
  }
}

TEST_F(Changing, BadFormatsAndStateChangesWithoutAnEndpointChooserAreUsageErrors) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--name", "x", "--set-format", "44000"},
           {"--name", "x", "--set-format", "48000/20"},
           {"--name", "x", "--set-format", "abc"},
           {"--name", "x", "--set-format", "48000/"},
           {"--enable"},
           {"--app", "x", "--disable"},
           {"--name", "x", "--enable", "--disable"},
           {"--dry-run"},
           {"--restore", "x", "--mute"},
       }) {
    EXPECT_EQ(RunCaptured(platform, words).status, 2) << words.back();
  }
  EXPECT_EQ(platform.create_calls, 0);
}

}  // namespace

namespace {

// A folder of its own under the temporary folder, emptied and removed at the end.
class Folder {
 public:
  Folder() {
    char temporary[MAX_PATH];
    GetTempPathA(MAX_PATH, temporary);
    path_ = std::string(temporary) + "trelmo-test-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~Folder() {
    for (const std::string& name : Names()) {
      DeleteFileA((path_ + "\\" + name).c_str());
    }
    RemoveDirectoryA(path_.c_str());
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  [[nodiscard]] std::string File(const char* name) const { return path_ + "\\" + name; }
  [[nodiscard]] std::vector<std::string> Names() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more != FALSE; more = FindNextFileA(search, &found)) {
      if (found.cFileName[0] != '.') {
        names.emplace_back(found.cFileName);
      }
    }
    if (search != INVALID_HANDLE_VALUE) {
      FindClose(search);
    }
    return names;
  }
  [[nodiscard]] std::string Read(const char* name) const {
    std::string bytes;
    ReadWholeFile(Utf8ToWide(File(name)), bytes);
    return bytes;
  }

 private:
  std::string path_;
};

TEST_F(Speakers, ASavedSetupIsRestoredOnceAndTheSecondRestoreChangesNothing) {
  const Folder folder;
  const std::string file = folder.File("setup.json");
  Outcome run = RunCaptured(platform, {"--save", file});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.text, "");
  EXPECT_EQ(Json::parse(folder.Read("setup.json"))["endpoints"].size(), 3U);
  Device(1).volume.level_db = -20.0F;
  Device(2).state = DEVICE_STATE_DISABLED;
  platform.enumerator.defaults[{eRender, eConsole}] = &Device(1);
  run = RunCaptured(platform, {"--restore", file});
  EXPECT_EQ(run.status, 0) << WideToUtf8(platform.errors);
  EXPECT_EQ(run.text, "three (Speakers): enabled (was disabled)\n"
                      "Default for console: one (Speakers) (was two (Speakers))\n"
                      "two (Speakers): volume -20.0 dB -> -6.3 dB\nthree (Speakers): volume -6.3 dB -> -6.3 dB\n"
                      "three (Speakers): unmuted\n");
  ForgetCalls();
  run = RunCaptured(platform, {"--restore", file});
  EXPECT_EQ(run.text, "Nothing to change.\n");
  EXPECT_EQ(SettersCalled(), 0);
}

TEST_F(Speakers, ASaveThatFailsLeavesTheFileAsItWasAndABadSetupReachesNoPlatform) {
  const Folder folder;
  const std::string file = folder.File("setup.json");
  ASSERT_EQ(RunCaptured(platform, {"--save", file}).status, 0);
  const std::string saved = folder.Read("setup.json");
  {
    // Held open without sharing, as another program might: it cannot be replaced.
    const KernelHandle held(CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    Device(0).SetNames(L"renamed", L"a", L"b");
    EXPECT_EQ(RunCaptured(platform, {"--save", file}).status, -1);
  }
  EXPECT_EQ(WideToUtf8(platform.errors).rfind("Couldn't write " + file + ": ", 0), 0U) << WideToUtf8(platform.errors);
  EXPECT_EQ(folder.Read("setup.json"), saved);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"setup.json"}) << "the new file is removed";

  const int creates = platform.create_calls;
  EXPECT_EQ(RunCaptured(platform, {"--restore", folder.File("none.json")}).status, 1);
  EXPECT_EQ(WideToUtf8(platform.errors).rfind("Couldn't read " + folder.File("none.json") + ": ", 0), 0U);
  ASSERT_EQ(ReplaceFileWhole(Utf8ToWide(folder.File("bad.json")), "{\"endpoints\": 3}"), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(RunCaptured(platform, {"--restore", folder.File("bad.json")}).status, 1);
  EXPECT_EQ(WideToUtf8(platform.errors), "Couldn't restore " + folder.File("bad.json") +
                                             ": it is not a trelmo document: it has no \"endpoints\" array.\n");
  EXPECT_EQ(platform.create_calls, creates);
}

}  // namespace
