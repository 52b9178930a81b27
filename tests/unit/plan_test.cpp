// The plans of change runs and restores, on literal endpoints: which changes,
// in which order, what is already so, and what stops a run before its first
// change. No platform behind them.
#include "app/command_line.h"
#include "modes/plan.h"
#include "readers/setup.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

EndpointSnapshot Endpoint(const std::wstring& name, DWORD state = DEVICE_STATE_ACTIVE, EDataFlow flow = eRender) {
  EndpointSnapshot endpoint;
  endpoint.flow = flow;
  endpoint.id = L"{" + name + L"}";
  endpoint.friendly_name = name;
  endpoint.state = state;
  return endpoint;
}

MixFormatFacts Pcm(std::uint32_t rate, std::uint16_t bits, std::optional<std::uint16_t> valid, std::uint16_t channels,
                   std::optional<std::uint32_t> mask) {
  MixFormatFacts format;
  format.sample_rate = rate;
  format.bits_per_sample = bits;
  format.valid_bits = valid;
  format.channels = channels;
  format.channel_mask = mask;
  format.sample_type = "pcm";
  return format;
}

Options Parsed(std::vector<std::string> words) {
  std::vector<char*> argv{const_cast<char*>("trelmo")};
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  Options options;
  std::wstring reason;
  EXPECT_TRUE(ParseArguments(static_cast<int>(argv.size()), argv.data(), options, {}, &reason)) << WideToUtf8(reason);
  return options;
}

// The kinds of the planned changes with their endpoints' names, and whether each is needed.
std::vector<std::string> Steps(const Plan& plan, const std::vector<FlowFacts>& flows) {
  constexpr const char* kKinds[] = {"default", "volume", "mute", "state", "format"};
  std::vector<std::string> steps;
  for (const PlannedChange& change : plan.changes) {
    const EndpointSnapshot& endpoint = flows[change.target.flow].endpoints[change.target.endpoint];
    std::string kind = kKinds[static_cast<int>(change.what)];
    if (change.what == ChangeKind::kState) {
      kind = change.enable ? "enable" : "disable";
    }
    steps.push_back(kind + " " + WideToUtf8(*endpoint.friendly_name) + (change.needed ? "" : " (already)"));
  }
  return steps;
}

TEST(Plan, ChangesComeInTheRunsOrderAndWhatIsAlreadySoIsNotNeeded) {
  std::vector<FlowFacts> flows(1);
  flows[0].endpoints = {Endpoint(L"HDMI", DEVICE_STATE_DISABLED), Endpoint(L"Speakers"),
                        Endpoint(L"Headset", DEVICE_STATE_UNPLUGGED)};
  flows[0].endpoints[0].device_format = Pcm(48000, 16, std::nullopt, 2, std::nullopt);
  flows[0].endpoints[1].device_format = Pcm(48000, 32, 24, 2, 3);
  Plan plan = PlanChanges(Parsed({"--name", "HDMI", "--set-default", "all", "--set-format", "48000", "--mute",
                                  "--set-volume", "50", "--enable"}),
                          flows);
  EXPECT_EQ(Steps(plan, flows), (std::vector<std::string>{"enable HDMI", "format HDMI (already)", "default HDMI",
                                                          "default HDMI", "default HDMI", "volume HDMI", "mute HDMI"}));
  // A disabled endpoint is found by name for --enable; an unplugged one is enabled already.
  plan = PlanChanges(Parsed({"--name", "HDMI", "--name", "e", "--enable"}), flows);
  EXPECT_EQ(Steps(plan, flows), (std::vector<std::string>{"enable HDMI", "enable Speakers (already)",
                                                          "enable Headset (already)"}));
  // The default moves before the endpoint that had it is disabled.
  plan = PlanChanges(Parsed({"--name", "Speakers", "--disable", "--set-default", "console"}), flows);
  EXPECT_EQ(Steps(plan, flows), (std::vector<std::string>{"default Speakers", "disable Speakers"}));
  // Without --enable a disabled endpoint is not chosen; with a state word, it is.
  EXPECT_EQ(PlanChanges(Parsed({"--name", "HDMI", "--mute"}), flows).stop->message, "No endpoint chosen.");
  plan = PlanChanges(Parsed({"--name", "Speakers", "--set-format", "48000/24"}), flows);
  EXPECT_EQ(Steps(plan, flows), (std::vector<std::string>{"format Speakers (already)"}));
}

TEST(Plan, TheChoiceOfADefault) {
  std::vector<FlowFacts> flows(2);
  flows[0].endpoints = {Endpoint(L"A"), Endpoint(L"B"), Endpoint(L"C")};
  flows[1].flow = eCapture;
  flows[1].endpoints = {Endpoint(L"A mic", DEVICE_STATE_ACTIVE, eCapture)};
  // One match in each flow is no ambiguity: a change in each.
  Plan plan = PlanChanges(Parsed({"--render", "--capture", "--name", "A", "--set-default", "console"}), flows);
  EXPECT_FALSE(plan.stop);
  EXPECT_EQ(Steps(plan, flows), (std::vector<std::string>{"default A", "default A mic"}));
  plan = PlanChanges(Parsed({"--name", "A", "--name", "B", "--set-default", "console"}), flows);
  EXPECT_EQ(plan.stop->message, "More than one endpoint chosen:");
  EXPECT_EQ(plan.stop->endpoints.size(), 2U);
  // Cycling every role follows the console's default, whatever the others' are.
  flows[0].defaults = {L"{A}", L"{C}", L"{C}"};
  plan = PlanChanges(Parsed({"--name", "A", "--name", "B", "--name", "C", "--cycle-default", "all"}), flows);
  EXPECT_EQ(Steps(plan, flows), (std::vector<std::string>{"default B", "default B", "default B"}));
  plan = PlanChanges(Parsed({"--name", "A", "--name", "C", "--cycle-default", "communications", "--cycle-default",
                             "console"}),
                     flows);
  EXPECT_EQ(Steps(plan, flows), (std::vector<std::string>{"default C", "default C"}));
  // An endpoint whose identifier could not be read is never made the default.
  flows[0].endpoints[1].id.reset();
  EXPECT_EQ(PlanChanges(Parsed({"--name", "B", "--set-default", "console"}), flows).stop->message,
            "No endpoint chosen.");
}

TEST(Plan, FormatRecordsKeepTheLayoutAndOffer24BitsInA32BitContainerFirst) {
  const auto layouts = [](const std::vector<PcmLayout>& candidates) {
    std::vector<std::vector<std::uint32_t>> numbers;
    for (const PcmLayout& layout : candidates) {
      numbers.push_back({layout.rate, layout.channels, layout.channel_mask, layout.container_bits, layout.valid_bits});
    }
    return numbers;
  };
  using Numbers = std::vector<std::vector<std::uint32_t>>;
  EXPECT_EQ(layouts(FormatCandidates({96000, 24}, Pcm(48000, 16, std::nullopt, 2, std::nullopt))),
            (Numbers{{96000, 2, 0x3, 32, 24}, {96000, 2, 0x3, 24, 24}}));
  // A plain record's count gets the usual mask; an extensible one keeps its own, and its valid bits.
  EXPECT_EQ(layouts(FormatCandidates({44100, std::nullopt}, Pcm(48000, 32, 24, 6, 0x60F))),
            (Numbers{{44100, 6, 0x60F, 32, 24}, {44100, 6, 0x60F, 24, 24}}));
  EXPECT_EQ(layouts(FormatCandidates({44100, 16}, Pcm(48000, 16, std::nullopt, 6, std::nullopt))),
            (Numbers{{44100, 6, 0x3F, 16, 16}}));
  EXPECT_EQ(layouts(FormatCandidates({44100, 32}, Pcm(48000, 16, std::nullopt, 3, std::nullopt))),
            (Numbers{{44100, 3, 0, 32, 32}}));
  EXPECT_TRUE(FormatCandidates({44100, std::nullopt}, Pcm(48000, 20, std::nullopt, 2, std::nullopt)).empty());
}

TEST(Plan, WhatTheChecksStop) {
  std::vector<FlowFacts> flows(1);
  flows[0].endpoints = {Endpoint(L"Speakers")};
  PlannedChange volume;
  volume.volume = {VolumeSetting::Kind::kDecibels, -65.25F};
  volume.range = VolumeFacts::Range{-65.25F, 0.0F, 0.5F};
  EXPECT_FALSE(CheckStop(volume, flows));
  volume.volume.value = 0.0F;
  EXPECT_FALSE(CheckStop(volume, flows));
  volume.volume.value = 0.1F;
  EXPECT_EQ(CheckStop(volume, flows)->message, "Volume 0.1 dB is outside the range of Speakers: -65.3 dB to 0.0 dB.");

  PlannedChange format;
  format.what = ChangeKind::kFormat;
  format.candidates = {{96000, 2, 3, 32, 24}, {96000, 2, 3, 24, 24}};
  format.check = FormatCheck{FormatCheck::Answer::kUnsupported, 0, nullptr, S_OK, {{44100, 16}, {48000, 16}, {48000, 24}}};
  const std::optional<PlanStop> refused = CheckStop(format, flows);
  EXPECT_FALSE(refused->Failed());
  EXPECT_EQ(refused->message, "Speakers does not take 96000 Hz 24 bits; at 2 channels it takes: 44100/16 48000/16 48000/24.");
  format.check = FormatCheck{FormatCheck::Answer::kNotAllowed, 0, nullptr, S_OK, {}};
  EXPECT_FALSE(CheckStop(format, flows)) << "the platform's answer to the change decides";
  format.check = FormatCheck{FormatCheck::Answer::kFailed, 0, "IsFormatSupported", E_OUTOFMEMORY, {}};
  EXPECT_TRUE(CheckStop(format, flows)->Failed());
}

TEST(SavedSetup, WhatIsNotASetupIsRefusedWithWhy) {
  const std::pair<const char*, const char*> cases[] = {
      {R"j({"endpoints": [}, )j", "it is not JSON from byte 16 on"},
      {R"j({"trelmo": "1.3.0"})j", "it is not a trelmo document: it has no \"endpoints\" array"},
      {R"j({"endpoints": [{"id": "{a}", "flow": "sideways"}]})j",
       "it is not a trelmo document: endpoint 1 has no \"id\" string and \"flow\" word"},
      {R"j({"endpoints": [{"id": "{a}", "flow": "render", "default_for": ["console"]},
                         {"id": "{b}", "flow": "capture", "default_for": ["console"]},
                         {"id": "{c}", "flow": "render", "default_for": ["multimedia", "console"]}]})j",
       "two render endpoints are the default for console: {a} and {c}"},
  };
  for (const auto& [text, why] : cases) {
    EXPECT_EQ(ReadSetup(text).why, why);
  }
  const SetupReading reading = ReadSetup(R"j({"endpoints": [{"id": "{a}", "flow": "capture", "friendly_name": "Mic",
      "state": "disabled", "device_format": {"sample_rate": 96000, "bits_per_sample": 32, "valid_bits": 24,
      "sample_type": "pcm"}, "volume": {"level": 0.5, "level_db": null, "muted": null}, "other": [1, 2]}]})j");
  ASSERT_TRUE(reading.setup);
  const SavedEndpoint& saved = reading.setup->endpoints.at(0);
  EXPECT_EQ(saved.flow, eCapture);
  EXPECT_EQ(saved.state, DWORD{DEVICE_STATE_DISABLED});
  EXPECT_EQ(saved.device_format->valid_bits, 24);
  EXPECT_EQ(saved.level, 0.5F);
  EXPECT_FALSE(saved.level_db);
  EXPECT_FALSE(saved.muted);
}

TEST(RestorePlan, OnlyWhatDiffersInTheRunsOrderAndSkippedEndpointsLeftAlone) {
  std::vector<FlowFacts> flows(2);
  flows[0].endpoints = {Endpoint(L"HDMI", DEVICE_STATE_DISABLED), Endpoint(L"Speakers"),
                        Endpoint(L"Dock", DEVICE_STATE_UNPLUGGED)};
  flows[0].defaults = {L"{speakers}", L"{Speakers}", L"{Speakers}"};
  flows[1].flow = eCapture;
  VolumeFacts volume;
  volume.level = 0.5F;
  volume.level_db = -6.0F;
  volume.muted = false;
  flows[0].endpoints[1].volume = volume;
  flows[0].endpoints[1].device_format = Pcm(48000, 16, std::nullopt, 2, std::nullopt);
  const SetupReading reading = ReadSetup(R"j({"endpoints": [
      {"id": "{hdmi}", "flow": "render", "state": "active", "default_for": ["console"]},
      {"id": "{SPEAKERS}", "flow": "render", "state": "disabled", "default_for": ["multimedia"],
       "device_format": {"sample_rate": 48000, "bits_per_sample": 16, "valid_bits": null, "sample_type": "pcm"},
       "volume": {"level": 0.9, "level_db": -6.04, "muted": true}},
      {"id": "{dock}", "flow": "render", "friendly_name": "Dock", "default_for": ["communications"]},
      {"id": "{gone}", "flow": "render", "friendly_name": "Headset (USB Audio)"}]})j");
  ASSERT_TRUE(reading.setup) << reading.why;
  const Plan plan = PlanRestore(*reading.setup, Parsed({"--restore", "x"}), flows);
  // level_db within 0.05 dB counts as equal and is used over level; the
  // format is as saved; the default of a skipped endpoint stays as it is.
  EXPECT_EQ(Steps(plan, flows), (std::vector<std::string>{"enable HDMI", "default HDMI", "mute Speakers",
                                                          "disable Speakers"}));
  ASSERT_EQ(plan.skipped.size(), 2U);
  EXPECT_STREQ(plan.skipped[0].reason, "unplugged");
  EXPECT_EQ(*plan.skipped[1].friendly_name, L"Headset (USB Audio)");
  EXPECT_STREQ(plan.skipped[1].reason, "not present");
  // A level without level_db, beyond the tolerance; a null member changes nothing.
  const SetupReading levels = ReadSetup(R"j({"endpoints": [{"id": "{Speakers}", "flow": "render",
      "volume": {"level": 0.506, "level_db": null, "muted": null}},
      {"id": "{Speakers}", "flow": "render", "volume": {"level": 0.504}}]})j");
  const Plan by_level = PlanRestore(*levels.setup, Parsed({"--restore", "x"}), flows);
  ASSERT_EQ(Steps(by_level, flows), (std::vector<std::string>{"volume Speakers"}));
  EXPECT_EQ(by_level.changes[0].volume.kind, VolumeSetting::Kind::kPercent);
  EXPECT_FLOAT_EQ(by_level.changes[0].volume.value, 50.6F);
  // Flows and choosers narrow what is restored.
  EXPECT_TRUE(PlanRestore(*reading.setup, Parsed({"--restore", "x", "--capture"}), flows).changes.empty());
  EXPECT_EQ(Steps(PlanRestore(*reading.setup, Parsed({"--restore", "x", "--name", "HDMI"}), flows), flows),
            (std::vector<std::string>{"enable HDMI", "default HDMI"}));
}

}  // namespace
