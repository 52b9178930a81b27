// What tells endpoints apart: the detail members of the document from
// present, absent, wrongly typed and failing properties and calls, and the
// lines --details adds to the block.
#include "tests/unit/platform_test.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;
using Details = PlatformTest;

// Property keys as the fake store files them: the GUID's first field and the number.
const std::pair<unsigned long, DWORD> kFormFactor{0x1DA5D803, 0};
const std::pair<unsigned long, DWORD> kSpeakers{0x1DA5D803, 3};
const std::pair<unsigned long, DWORD> kDeviceFormat{0xF19F064D, 0};
const std::pair<unsigned long, DWORD> kContainer{0x8C7ED206, 2};
const GUID kContainerGuid = {0x0F8D8A52, 0x6C2E, 0x4B4D, {0x9B, 0x48, 0x54, 0xA1, 0xC1, 0xB3, 0xE6, 0xD7}};

std::string RunWords(FakePlatform& platform, const std::vector<std::string>& words) {
  const Outcome outcome = RunCaptured(platform, words);
  EXPECT_EQ(outcome.status, 0);
  return outcome.text;
}

Json Endpoints(FakePlatform& platform) { return Json::parse(RunWords(platform, {"--json"}))["endpoints"]; }

void SetAllDetails(FakeDevice& device) {
  device.store.values[kFormFactor] = FakeProperty::Number(3);
  device.store.values[kSpeakers] = FakeProperty::Number(0x3F | 0x80000);
  device.store.values[kDeviceFormat] = FakeProperty::Blob(MixFormat(WAVE_FORMAT_PCM, 2, 48000, 24, 0));
  device.store.values[kContainer] = FakeProperty::Guid(kContainerGuid);
}

TEST_F(Details, EachMemberFromPresentAbsentWronglyTypedAndFailingProperties) {
  SetAllDetails(platform.AddDevice(L"present"));
  platform.AddDevice(L"absent");
  FakeDevice& wrong = platform.AddDevice(L"wrong");
  for (const auto& key : {kFormFactor, kSpeakers, kContainer}) {
    wrong.store.values[key] = {VT_LPWSTR, L"text"};
  }
  wrong.store.values[kDeviceFormat] = FakeProperty::Number(18);
  FakeDevice& failing = platform.AddDevice(L"failing");
  SetAllDetails(failing);
  for (const char* call : {"GetValue#3", "GetValue#4", "GetValue#5", "GetValue#6"}) {
    failing.store.faults[call] = E_FAIL;
  }
  platform.AddDevice(L"beyond").store.values[kFormFactor] = FakeProperty::Number(11);

  const Json endpoints = Endpoints(platform);
  const auto members = [](const Json& endpoint) {
    return Json::array({endpoint["form_factor"], endpoint["physical_speakers"], endpoint["device_format"],
                        endpoint["container_id"]});
  };
  EXPECT_EQ(members(endpoints[0]), Json::parse(R"(["headphones", 524351,
      {"sample_rate": 48000, "channels": 2, "bits_per_sample": 24, "valid_bits": null, "channel_mask": null,
       "sample_type": "pcm"},
      "{0F8D8A52-6C2E-4B4D-9B48-54A1C1B3E6D7}"])"));
  for (const std::size_t unread : {1u, 2u, 3u}) {
    EXPECT_EQ(members(endpoints[unread]), Json::parse("[null, null, null, null]")) << unread;
  }
  EXPECT_EQ(endpoints[1]["errors"], Json::array());
  EXPECT_EQ(endpoints[2]["errors"], Json::array());
  Json errors = Json::array();
  for (const char* property : {"form_factor", "physical_speakers", "device_format", "container_id"}) {
    errors.push_back({{"call", "GetValue"}, {"code", "0x80004005"}, {"property", property}});
  }
  EXPECT_EQ(endpoints[3]["errors"], errors);
  EXPECT_EQ(endpoints[4]["form_factor"], "unknown");
  // The one store serves every property of an endpoint.
  EXPECT_EQ(platform.devices[0]->store.keys_read.size(), 7u);
}

TEST_F(Details, DeviceFormatBlobIsReadOnlyWhenItHoldsTheWholeRecordItClaims) {
  const std::vector<BYTE> extensible = ExtensibleMix(6, 96000, 24);
  const std::vector<BYTE> short_of_its_claim(extensible.begin(), extensible.end() - 1);
  const std::vector<BYTE> header_only = MixFormat(WAVE_FORMAT_PCM, 1, 8000, 16, 0);
  const std::vector<BYTE> not_even_a_header(header_only.begin(), header_only.end() - 1);
  std::vector<BYTE> with_room_to_spare(64, 0xCC);
  std::copy(header_only.begin(), header_only.end(), with_room_to_spare.begin());
  const std::pair<std::vector<BYTE>, const char*> cases[] = {
      {extensible,
       R"({"sample_rate": 96000, "channels": 6, "bits_per_sample": 24, "valid_bits": 24, "channel_mask": 3,
           "sample_type": "float"})"},
      {short_of_its_claim, "null"},
      {header_only,
       R"({"sample_rate": 8000, "channels": 1, "bits_per_sample": 16, "valid_bits": null, "channel_mask": null,
           "sample_type": "pcm"})"},
      {not_even_a_header, "null"},
      {with_room_to_spare,
       R"({"sample_rate": 8000, "channels": 1, "bits_per_sample": 16, "valid_bits": null, "channel_mask": null,
           "sample_type": "pcm"})"},
      {{}, "null"},
  };
  for (const auto& [blob, expected] : cases) {
    platform.AddDevice(L"d").store.values[kDeviceFormat] = FakeProperty::Blob(blob);
  }
  const Json endpoints = Endpoints(platform);
  for (std::size_t at = 0; at < std::size(cases); ++at) {
    EXPECT_EQ(endpoints[at]["device_format"], Json::parse(cases[at].second)) << at;
  }
}

TEST_F(Details, EachVolumeAndMeterCallFailingLeavesOnlyItsOwnMemberNull) {
  const struct {
    const char* fault;
    const char* pointer;  // the member that becomes null
    Json error;
  } cases[] = {
      {"Activate#IAudioEndpointVolume", "/volume",
       {{"call", "Activate"}, {"code", "0x88890004"}, {"interface", "IAudioEndpointVolume"}}},
      {"GetMasterVolumeLevelScalar", "/volume/level", {{"call", "GetMasterVolumeLevelScalar"}, {"code", "0x88890004"}}},
      {"GetMasterVolumeLevel", "/volume/level_db", {{"call", "GetMasterVolumeLevel"}, {"code", "0x88890004"}}},
      {"GetMute", "/volume/muted", {{"call", "GetMute"}, {"code", "0x88890004"}}},
      {"GetVolumeRange", "/volume/range_db", {{"call", "GetVolumeRange"}, {"code", "0x88890004"}}},
      {"GetChannelCount", "/volume/channel_levels", {{"call", "GetChannelCount"}, {"code", "0x88890004"}}},
      {"GetChannelVolumeLevelScalar#1", "/volume/channel_levels/1",
       {{"call", "GetChannelVolumeLevelScalar"}, {"code", "0x88890004"}}},
      {"Activate#IAudioMeterInformation", "/peak",
       {{"call", "Activate"}, {"code", "0x88890004"}, {"interface", "IAudioMeterInformation"}}},
      {"GetPeakValue", "/peak", {{"call", "GetPeakValue"}, {"code", "0x88890004"}}},
  };
  FakePlatform sound;
  sound.AddDevice(L"fine");
  const Json fine = Endpoints(sound)[0];
  for (const auto& failure : cases) {
    SCOPED_TRACE(failure.fault);
    FakePlatform fresh;
    FakeDevice& device = fresh.AddDevice(L"fine");
    const std::string fault = failure.fault;
    if (fault.rfind("Activate#", 0) == 0) {
      device.faults[fault] = kDeviceInvalidated;
    } else if (fault == "GetPeakValue") {
      device.meter.faults[fault] = kDeviceInvalidated;
    } else {
      device.volume.faults[fault] = kDeviceInvalidated;
    }
    Json expected = fine;
    expected[Json::json_pointer(failure.pointer)] = nullptr;
    expected["errors"] = Json::array({failure.error});
    EXPECT_EQ(Endpoints(fresh)[0], expected);
    EXPECT_EQ(fresh.OutstandingReferences(), 0);
  }
  // A successful activation that hands back nothing is a failure too, never a crash.
  FakeDevice& empty = platform.AddDevice(L"empty");
  empty.hand_back_nothing["Activate#IAudioEndpointVolume"] = true;
  empty.hand_back_nothing["Activate#IAudioMeterInformation"] = true;
  const Json endpoint = Endpoints(platform)[0];
  EXPECT_EQ(endpoint["volume"], nullptr);
  EXPECT_EQ(endpoint["errors"][1]["code"], "0x80004003");
}

TEST_F(Details, DetailsLinesFollowTheCurrentFormatLine) {
  FakeDevice& device = platform.AddDevice(L"full");
  SetAllDetails(device);
  device.volume.muted = TRUE;
  FakeDevice& bare = platform.AddDevice(L"bare");
  bare.faults["Activate#IAudioEndpointVolume"] = E_FAIL;
  bare.faults["Activate#IAudioMeterInformation"] = E_FAIL;
  FakeDevice& partial = platform.AddDevice(L"partial");
  partial.volume.faults["GetMasterVolumeLevelScalar"] = E_FAIL;
  partial.store.values[kSpeakers] = FakeProperty::Number(0);
  platform.enumerator.defaults[{eRender, eCommunications}] = &device;

  const std::string text = RunWords(platform, {"--details", "--no-pause"});
  EXPECT_NE(text.find("Current format     : Stereo\n"
                      "Form factor        : Headphones\n"
                      "Device format      : 48000 Hz, 24 bits, 2 channels, PCM\n"
                      "Speakers           : Front Left, Front Right, Front Center, Low Frequency, Back Left, "
                      "Back Right, 0x00080000\n"
                      "Container ID       : {0F8D8A52-6C2E-4B4D-9B48-54A1C1B3E6D7}\n"
                      "Volume             : 75 % (-6.3 dB), muted\n"
                      "Peak               : 0.13\n"
                      "Default for        : communications\n\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Current format     : Stereo\n"
                      "Form factor        : Unknown\n"
                      "Device format      : Unknown\n"
                      "Speakers           : Unknown\n"
                      "Container ID       : Unknown\n"
                      "Volume             : Unknown\n"
                      "Peak               : Unknown\n"
                      "Default for        : none\n\n"),
            std::string::npos);
  EXPECT_NE(text.find("Speakers           : None\n"), std::string::npos);
  EXPECT_NE(text.find("Volume             : -6.3 dB\n"), std::string::npos);
  // Nothing about the detail calls' failures is printed.
  EXPECT_EQ(text.find("Couldn't"), std::string::npos);
}

TEST_F(Details, RedirectedDocumentIsPlainAsciiAndReadsBackToTheExactNames) {
  const std::wstring name = L"Kopfh\u00F6rer \u0414\u0438\u043D\u0430\u043C\u0438\u043A\u0438 \U0001F50A";
  platform.AddDevice(L"spk").SetNames(name, L"\u30B9\u30D4\u30FC\u30AB\u30FC", L"plain");
  const std::string text = RunWords(platform, {"--json"});
  for (const char byte : text) {
    ASSERT_LT(static_cast<unsigned char>(byte), 0x80) << text;
  }
  const Json endpoint = Json::parse(text)["endpoints"][0];
  EXPECT_EQ(endpoint["friendly_name"], "Kopfh\xC3\xB6rer \xD0\x94\xD0\xB8\xD0\xBD\xD0\xB0\xD0\xBC\xD0\xB8\xD0\xBA\xD0\xB8 "
                                       "\xF0\x9F\x94\x8A");
  EXPECT_EQ(endpoint["adapter_name"], "\xE3\x82\xB9\xE3\x83\x94\xE3\x83\xBC\xE3\x82\xAB\xE3\x83\xBC");
}

}  // namespace
