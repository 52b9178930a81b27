// The --json document: every member for endpoints with complete, missing and
// odd properties, each failing call recorded in order, the default roles, and
// the document that stands for a listing that could not be made.
#include "app/version.h"
#include "tests/unit/platform_test.h"
#include "text/text.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;
using JsonDocument = PlatformTest;

struct Document {
  int status;
  std::string text;
  Json json;
};

// The document's first two members, the version and the time of reading
// (the run's own, to the millisecond), are checked here and cut.
Document RunJson(FakePlatform& platform, std::vector<std::string> words = {}) {
  words.insert(words.begin(), "--json");
  CapturedOutput output;
  const std::string before = UtcText(std::chrono::system_clock::now());
  const int status = platform.RunCommandLine(words);
  const std::string after = UtcText(std::chrono::system_clock::now());
  Document document{status, output.Text(), nullptr};
  document.json = Json::parse(document.text, nullptr, false);
  EXPECT_FALSE(document.json.is_discarded()) << document.text;
  EXPECT_EQ(platform.pauses, 0);
  if (document.json.contains("endpoints")) {
    const std::string read_at = document.json.value("read_at", "");
    EXPECT_EQ(document.json.dump().rfind(R"({"trelmo":")" TRELMO_VERSION_TEXT R"(","read_at":")" + read_at, 0), 0U);
    EXPECT_TRUE(before <= read_at && read_at <= after && read_at.size() == before.size()) << read_at;
    document.json.erase("trelmo");
    document.json.erase("read_at");
  }
  return document;
}

TEST_F(JsonDocument, DescribesEachEndpointMemberByMember) {
  FakeDevice& speakers = platform.AddDevice(L"spk");
  speakers.SetNames(L"Kopfh\u00F6rer \U0001F50A", L"\u30B9\u30D4\u30FC\u30AB\u30FC", L"Tab\there \"quoted\"");
  speakers.mix_format = ExtensibleMix(2, 48000, 32);
  FakeDevice& odd = platform.AddDevice(L"odd", DEVICE_STATE_UNPLUGGED);
  const wchar_t lone[] = {L'A', 0xDC00, L'B', 0};
  odd.store.values.clear();
  odd.store.values[{0xA45C254E, 14}] = {VT_LPWSTR, lone};
  odd.store.values[{0x026E516E, 2}] = {VT_UI4, L""};  // a number where text belongs
  odd.has_id = false;  // a success that hands back no identifier
  odd.mix_format = MixFormat(WAVE_FORMAT_PCM, 2, 44100, 16, 0);
  odd.decide = [](const WAVEFORMATEX&) { return AUDCLNT_E_UNSUPPORTED_FORMAT; };  // declines every offer

  const Document document = RunJson(platform, {"active", "unplugged"});
  EXPECT_EQ(document.status, 0);
  const Json expected = Json::parse(R"({"endpoints": [
    {"id": "{0.0.0.00000000}.{spk}", "flow": "render", "state": "active", "state_code": 1,
     "friendly_name": "Kopfhörer 🔊", "adapter_name": "スピーカー", "description": "Tab\there \"quoted\"",
     "default_for": [], "current_layout": "Stereo",
     "mix_format": {"sample_rate": 48000, "channels": 2, "bits_per_sample": 32, "valid_bits": 32, "channel_mask": 3,
                    "sample_type": "float"},
     "form_factor": null, "physical_speakers": null, "device_format": null, "container_id": null,
     "volume": {"level": 0.75, "level_db": -6.25, "muted": false,
                "range_db": {"min": -65.25, "max": 0.0, "step": 0.03125}, "channel_levels": [0.5, 1.0]},
     "peak": 0.125,
     "errors": []},
    {"id": null, "flow": "render", "state": "unplugged", "state_code": 8,
     "friendly_name": "A\uFFFDB", "adapter_name": null, "description": null,
     "default_for": [], "current_layout": null,
     "mix_format": {"sample_rate": 44100, "channels": 2, "bits_per_sample": 16, "valid_bits": null,
                    "channel_mask": null, "sample_type": "pcm"},
     "form_factor": null, "physical_speakers": null, "device_format": null, "container_id": null,
     "volume": {"level": 0.75, "level_db": -6.25, "muted": false,
                "range_db": {"min": -65.25, "max": 0.0, "step": 0.03125}, "channel_levels": [0.5, 1.0]},
     "peak": 0.125,
     "errors": [{"call": "GetId", "code": "0x80004003"}]}]})");
  EXPECT_EQ(document.json, expected) << document.text;
  // Control characters are escaped; off a console so is everything beyond
  // ASCII, a character beyond 16 bits as its surrogate pair.
  EXPECT_NE(document.text.find(R"("Tab\there \"quoted\"")"), std::string::npos);
  EXPECT_NE(document.text.find(R"("Kopfh\u00f6rer \ud83d\udd0a")"), std::string::npos);
  EXPECT_EQ(document.text.back(), '\n');
}

TEST_F(JsonDocument, RecordsEveryFailedCallInOrderInsteadOfPrintingIt) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.faults["GetId"] = E_OUTOFMEMORY;
  device.store.faults["GetValue#1"] = E_FAIL;
  device.store.leave_text_on_failure = true;
  device.faults["Activate"] = kDeviceInvalidated;
  FakeDevice& no_format = platform.AddDevice(L"f");
  no_format.faults["OpenPropertyStore"] = E_ACCESSDENIED;
  no_format.client_faults["GetMixFormat"] = kNotFound;

  const Document document = RunJson(platform);
  const Json& first = document.json["endpoints"][0];
  Json errors = Json::array();
  errors.push_back({{"call", "GetId"}, {"code", "0x8007000E"}});
  errors.push_back({{"call", "GetValue"}, {"code", "0x80004005"}, {"property", "adapter_name"}});
  for (int row = 0; row < 6; ++row) {
    errors.push_back({{"call", "Activate"}, {"code", "0x88890004"}});
  }
  EXPECT_EQ(first["errors"], errors);
  EXPECT_EQ(first["adapter_name"], nullptr);
  EXPECT_EQ(first["friendly_name"], "d (Speakers)");
  EXPECT_EQ(first["mix_format"], nullptr);
  EXPECT_EQ(first["current_layout"], nullptr);

  const Json& second = document.json["endpoints"][1];
  ASSERT_EQ(second["errors"].size(), 7u);
  EXPECT_EQ(second["errors"][0], Json({{"call", "OpenPropertyStore"}, {"code", "0x80070005"}}));
  EXPECT_EQ(second["errors"][6], Json({{"call", "GetMixFormat"}, {"code", "0x80070490"}}));
  EXPECT_EQ(second["id"], "{0.0.0.00000000}.{f}");
  EXPECT_EQ(document.text.find("Couldn't"), std::string::npos);
}

TEST_F(JsonDocument, MarksTheDefaultRolesOfEachFlowAskedBeforeTheListing) {
  FakeDevice& speakers = platform.AddDevice(L"spk");
  FakeDevice& headset = platform.AddDevice(L"headset");
  FakeDevice& microphone = platform.AddDevice(L"mic", DEVICE_STATE_ACTIVE, eCapture);
  platform.enumerator.defaults[{eRender, eConsole}] = &speakers;
  platform.enumerator.defaults[{eRender, eMultimedia}] = &speakers;
  platform.enumerator.defaults[{eRender, eCommunications}] = &headset;
  platform.enumerator.defaults[{eCapture, eCommunications}] = &microphone;

  const Document document = RunJson(platform, {"--capture", "--render"});
  const Json& endpoints = document.json["endpoints"];
  ASSERT_EQ(endpoints.size(), 3u);
  EXPECT_EQ(endpoints[0]["default_for"], Json({"console", "multimedia"}));
  EXPECT_EQ(endpoints[1]["default_for"], Json({"communications"}));
  EXPECT_EQ(endpoints[2]["default_for"], Json({"communications"}));
  EXPECT_EQ(endpoints[2]["flow"], "capture");
  const std::vector<std::pair<EDataFlow, ERole>> asked = {{eRender, eConsole},     {eRender, eMultimedia},
                                                          {eRender, eCommunications}, {eCapture, eConsole},
                                                          {eCapture, eMultimedia},  {eCapture, eCommunications}};
  EXPECT_EQ(platform.enumerator.default_requests, asked);

  // A default that cannot be named marks nothing and is no error of the run.
  FakePlatform failing;
  failing.AddDevice(L"spk");
  failing.enumerator.faults["GetDefaultAudioEndpoint"] = E_FAIL;
  const Document without = RunJson(failing);
  EXPECT_EQ(without.status, 0);
  EXPECT_EQ(without.json["endpoints"][0]["default_for"], Json::array());
  EXPECT_EQ(failing.OutstandingReferences(), 0);
}

TEST_F(JsonDocument, AListingThatCannotBeMadeIsAnErrorDocument) {
  platform.create_fault = REGDB_E_CLASSNOTREG;
  const Document created = RunJson(platform);
  EXPECT_EQ(created.status, -1);
  // Named and timed as every document is, then the error.
  EXPECT_TRUE(std::regex_match(created.text, std::regex(
      "\\{\n  \"trelmo\": \"" TRELMO_VERSION_TEXT "\",\n  \"read_at\": \"\\d{4}-\\d\\d-\\d\\dT[0-9:.]{12}Z\",\n"
      "  \"error\": \\{\n    \"call\": \"CoCreateInstance\",\n    \"code\": \"0x80040154\",\n"
      "    \"message\": \"Couldn't create Device Enumerator\"\n  \\}\n\\}\n")))
      << created.text;

  platform.create_fault.reset();
  platform.AddDevice(L"spk");
  platform.enumerator.faults["EnumAudioEndpoints#capture"] = E_OUTOFMEMORY;
  const Document listed = RunJson(platform, {"--render", "--capture"});
  EXPECT_EQ(listed.status, -1);
  EXPECT_EQ(listed.json["error"], Json::parse(R"({"call": "EnumAudioEndpoints", "code": "0x8007000E",
                                                    "message": "Couldn't enumerate"})"));
  EXPECT_EQ(listed.json["trelmo"], TRELMO_VERSION_TEXT);
}

}  // namespace
