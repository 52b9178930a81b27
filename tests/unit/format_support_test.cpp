// --formats through fake clients that accept parts of the grid: the document
// and the block, every offer's fields, each way a mode can end, and the
// progress line on a console's standard error.
#include "tests/unit/platform_test.h"
#include "text/progress.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;
using Formats = PlatformTest;

// The grid, written out apart from the tool's tables: layouts, then sample
// types as container bits, valid bits and float, then rates.
constexpr std::pair<WORD, DWORD> kLayouts[] = {{1, 0x4}, {2, 0x3}, {4, 0x33}, {6, 0x60F}, {6, 0x3F}, {8, 0x63F}};
constexpr std::tuple<WORD, WORD, bool> kTypes[] = {{16, 16, false}, {24, 24, false}, {32, 24, false},
                                                   {32, 32, false}, {32, 32, true}};
constexpr DWORD kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};

void Accept(FormatAnswers& answers, int layout, int type, const std::vector<DWORD>& rates) {
  const auto [bits, valid_bits, is_float] = kTypes[type];
  for (const DWORD rate : rates) {
    answers.accepted.insert({kLayouts[layout].first, kLayouts[layout].second, bits, valid_bits, is_float, rate});
  }
}

std::string RunWords(FakePlatform& platform, const std::vector<std::string>& words) {
  const Outcome outcome = RunCaptured(platform, words);
  EXPECT_EQ(outcome.status, 0);
  return outcome.text;
}

Json Member(const std::string& document, std::size_t endpoint, const char* member = "formats") {
  return Json::parse(document)["endpoints"][endpoint][member];
}

TEST_F(Formats, SomeRatesInSomeTypesAsDocumentAndBlockAndEveryOfferInGridOrder) {
  FakeDevice& dac = platform.AddDevice(L"dac");
  Accept(dac.shared_formats, 1, 4, {48000, 44100});
  Accept(dac.exclusive_formats, 0, 0, {std::begin(kRates), std::end(kRates)});
  Accept(dac.exclusive_formats, 5, 2, {96000});
  FakeDevice& plain = platform.AddDevice(L"plain");

  EXPECT_EQ(RunWords(platform, {"--json"}).find("formats"), std::string::npos);
  EXPECT_TRUE(dac.format_offers.empty());
  const std::string document = RunWords(platform, {"--formats", "--json"});
  EXPECT_EQ(Member(document, 0), Json::parse(R"({
    "shared": [{"layout": "Stereo", "channels": 2, "channel_mask": 3, "sample_type": "float32",
                "sample_rates": [44100, 48000]}],
    "exclusive_allowed": true,
    "exclusive": [{"layout": "Mono", "channels": 1, "channel_mask": 4, "sample_type": "pcm16", "sample_rates":
                   [8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000]},
                  {"layout": "Surround 7.1", "channels": 8, "channel_mask": 1599, "sample_type": "pcm24in32",
                   "sample_rates": [96000]}]})"));
  EXPECT_EQ(Member(document, 1), Json::parse(R"({"shared": [], "exclusive_allowed": true, "exclusive": []})"));
  EXPECT_NE(document.find("\"exclusive\": []\n      },\n      \"errors\": []"), std::string::npos);

  // Each run's probe takes two clients; the grid takes one more, never initialised.
  ASSERT_EQ(plain.clients.size(), 2u + 2u + 1u);
  EXPECT_EQ(plain.clients.back()->initialize_calls, 0);
  ASSERT_EQ(plain.format_offers.size(), 780u);
  for (std::size_t at = 0; at < 780; ++at) {
    const WAVEFORMATEXTENSIBLE& offer = plain.format_offers[at].format;
    const auto [channels, mask] = kLayouts[at % 390 / 65];
    const auto [bits, valid_bits, is_float] = kTypes[at % 65 / 13];
    const GUID sub_format = {is_float ? 3U : 1U, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}};
    const bool shared = at < 390;
    ASSERT_TRUE(plain.format_offers[at].share_mode == (shared ? AUDCLNT_SHAREMODE_SHARED : AUDCLNT_SHAREMODE_EXCLUSIVE) &&
                plain.format_offers[at].closest_asked == shared && offer.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
                offer.Format.cbSize == 22 && offer.Format.nChannels == channels && offer.dwChannelMask == mask &&
                offer.Format.nSamplesPerSec == kRates[at % 13] && offer.Format.wBitsPerSample == bits &&
                offer.Samples.wValidBitsPerSample == valid_bits && offer.Format.nBlockAlign == channels * bits / 8 &&
                offer.Format.nAvgBytesPerSec == offer.Format.nBlockAlign * kRates[at % 13] &&
                IsEqualGUID(offer.SubFormat, sub_format))
        << "offer " << at;
  }

  const std::string text = RunWords(platform, {"--formats", "--details", "--no-pause"});
  EXPECT_NE(text.find("Peak               : 0.13\n"
                      "Default for        : none\n"
                      "Shared formats     : Stereo              float32   44.1 48\n"
                      "Exclusive formats  : Mono                pcm16     8 11.025 16 22.05 32 44.1 48\n"
                      "                                                   88.2 96 176.4 192 352.8 384\n"
                      "                     Surround 7.1        pcm24in32 96\n\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Shared formats     : none\nExclusive formats  : none\n\n"), std::string::npos);
}

TEST_F(Formats, ExclusiveTurnedOffAFailureAClosestMatchAndNoClient) {
  FakeDevice& off = platform.AddDevice(L"off");  // exclusive mode turned off after its first offer
  Accept(off.exclusive_formats, 0, 0, {8000});
  off.exclusive_formats.answer_at[1] = AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED;
  FakeDevice& failing = platform.AddDevice(L"failing");  // Stereo float32 48 kHz is offer 123
  Accept(failing.shared_formats, 0, 0, {8000});
  Accept(failing.shared_formats, 1, 4, {48000});
  failing.shared_formats.answer_at[100] = kDeviceInvalidated;
  failing.exclusive_formats.answer_at[0] = E_OUTOFMEMORY;
  FakeDevice& closest = platform.AddDevice(L"closest");  // S_FALSE and a block with every answer, freed
  closest.shared_formats.closest_match = true;
  Accept(closest.shared_formats, 1, 4, {48000});
  platform.AddDevice(L"gone").faults["Activate"] = E_ACCESSDENIED;

  const std::string document = RunWords(platform, {"--formats", "--json"});
  EXPECT_EQ(Member(document, 0), Json::parse(R"({"shared": [], "exclusive_allowed": false, "exclusive": []})"));
  EXPECT_EQ(off.format_offers.size(), 390u + 2u);
  const Json mono = Json::parse(R"([{"layout": "Mono", "channels": 1, "channel_mask": 4, "sample_type": "pcm16",
                                     "sample_rates": [8000]}])");
  EXPECT_EQ(Member(document, 1), Json({{"shared", mono}, {"exclusive_allowed", true}, {"exclusive", Json::array()}}));
  EXPECT_EQ(failing.format_offers.size(), 101u + 1u);
  EXPECT_EQ(Member(document, 2)["shared"][0]["sample_rates"], Json({48000}));  // no S_FALSE counted
  EXPECT_EQ(Member(document, 3), nullptr);
  EXPECT_EQ(Member(document, 0, "errors"), Json::array());
  EXPECT_EQ(Member(document, 1, "errors"), Json::parse(R"([
    {"call": "IsFormatSupported", "mode": "shared", "code": "0x88890004"},
    {"call": "IsFormatSupported", "mode": "exclusive", "code": "0x8007000E"}])"));
  EXPECT_EQ(Member(document, 3, "errors").back(), Json::parse(R"({"call": "Activate", "code": "0x80070005"})"));
  EXPECT_EQ(Member(document, 3, "errors").size(), 6u + 1u);

  // The probe's six messages stay; the formats client's failure is in the block.
  const std::string text = RunWords(platform, {"--formats", "--no-pause"});
  EXPECT_NE(text.find("Shared formats     : none\nExclusive formats  : not allowed\n\n"), std::string::npos);
  EXPECT_NE(text.find("Shared formats     : Mono                pcm16     8\n"
                      "                     Couldn't check the remaining formats [0x88890004]\n"
                      "Exclusive formats  : Couldn't check the remaining formats [0x8007000E]\n\n"),
            std::string::npos);
  EXPECT_NE(text.find("\n\n" + EveryRow("Couldn't activate Device: [0x80070005]") + "===== Device ====="),
            std::string::npos);
  EXPECT_NE(text.find("Current format     : Unknown\n"
                      "Shared formats     : Couldn't activate Device: [0x80070005]\n"
                      "Exclusive formats  : Couldn't activate Device: [0x80070005]\n\n"),
            std::string::npos);
}

std::wstring* standard_error = nullptr;

BOOL WINAPI WriteToStandardError(HANDLE handle, const VOID* text, DWORD units, LPDWORD written, LPVOID) {
  EXPECT_EQ(handle, reinterpret_cast<HANDLE>(0x2222));
  standard_error->append(static_cast<const wchar_t*>(text), units);
  *written = units;
  return TRUE;
}

TEST_F(Formats, ProgressOnAConsoleStandardErrorIsErasedBeforeAnythingIsPrinted) {
  platform.AddDevice(L"a");
  platform.AddDevice(L"b");
  std::wstring written;
  standard_error = &written;
  SelectProgress(reinterpret_cast<HANDLE>(0x2222), WriteToStandardError);
  std::string printed = RunWords(platform, {"--formats", "--no-pause"});
  printed += RunWords(platform, {"--formats", "--json"});
  RunWords(platform, {"--json"});
  SelectProgress(nullptr, nullptr);
  const std::wstring blank = L"\r" + std::wstring(32, L' ') + L"\r";
  EXPECT_EQ(written, L"\rProbing formats: endpoint 1 of 2" + blank + L"\rProbing formats: endpoint 2 of 2" + blank +
                         L"\rProbing formats: endpoint 1 of 2\rProbing formats: endpoint 2 of 2" + blank);
  EXPECT_EQ(printed.find("Probing"), std::string::npos);
}

}  // namespace
