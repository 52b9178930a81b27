#include "readers/reader.h"
#include "views/views.h"
#include "tests/unit/platform_test.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using Probe = PlatformTest;

// The name the probe settles on for the endpoint, and what it wrote meanwhile.
struct Probed {
  std::wstring name;
  std::string output;
};

Probed ProbeAll(FakeDevice& device) {
  ComHandle<IMMDevice> handle;
  device.HandOut(handle.Put());
  EndpointReader reader(std::move(handle), eRender);
  reader.ProbeLayout();
  std::string output;
  for (const std::string& message : ProbeMessages(reader.Snapshot())) {
    output += message + "\n";
  }
  return {LayoutName(reader.Snapshot()), output};
}

// Accepts exactly the offers with this many channels (and mask, if given).
std::function<HRESULT(const WAVEFORMATEX&)> AcceptOnly(WORD channels, DWORD mask = 0) {
  return [channels, mask](const WAVEFORMATEX& format) {
    const bool mask_ok =
        mask == 0 || reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format).dwChannelMask == mask;
    return format.nChannels == channels && mask_ok ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
  };
}

TEST_F(Probe, OffersRowsInOrderAndStopsAtTheFirstAccepted) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.decide = AcceptOnly(2);
  const Probed probed = ProbeAll(device);
  EXPECT_EQ(probed.name, L"Stereo");
  EXPECT_EQ(probed.output, "");
  ASSERT_EQ(device.offers.size(), 2u);
  EXPECT_EQ(device.offers[0].channels, 1);
  EXPECT_EQ(device.offers[0].mask, 0x4u);
  EXPECT_EQ(device.offers[1].channels, 2);
  EXPECT_EQ(device.offers[1].mask, 0x3u);
}

TEST_F(Probe, EveryRowIsOfferedToItsOwnFreshClient) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.decide = [](const WAVEFORMATEX&) { return AUDCLNT_E_UNSUPPORTED_FORMAT; };
  EXPECT_EQ(ProbeAll(device).name, L"Unknown");
  const std::pair<WORD, DWORD> rows[] = {{1, 0x4}, {2, 0x3}, {4, 0x33}, {6, 0x60F}, {6, 0x3F}, {8, 0x63F}};
  ASSERT_EQ(device.offers.size(), 6u);
  ASSERT_EQ(device.clients.size(), 6u);
  for (std::size_t row = 0; row < 6; ++row) {
    EXPECT_EQ(device.offers[row].channels, rows[row].first) << row;
    EXPECT_EQ(device.offers[row].mask, rows[row].second) << row;
    EXPECT_EQ(device.clients[row]->initialize_calls, 1) << row;
    EXPECT_TRUE(IsEqualIID(device.activate_iids[row], __uuidof(IAudioClient)));
    EXPECT_EQ(device.activate_contexts[row], 0x17u);
  }
  EXPECT_FALSE(device.activate_parameters_given);
}

TEST_F(Probe, OffersAreSharedLoopbackEventStreamsWithoutDurationsOrSession) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.decide = AcceptOnly(8);
  EXPECT_EQ(ProbeAll(device).name, L"Surround 7.1");
  for (const Offer& offer : device.offers) {
    EXPECT_EQ(offer.share_mode, AUDCLNT_SHAREMODE_SHARED);
    EXPECT_EQ(offer.stream_flags, 0x60000u);
    EXPECT_EQ(offer.buffer_duration, 0);
    EXPECT_EQ(offer.periodicity, 0);
    EXPECT_FALSE(offer.session_guid);
  }
}

TEST_F(Probe, NamesEachRowAndSideBeatsBackWhenBothWouldDo) {
  const std::pair<std::function<HRESULT(const WAVEFORMATEX&)>, const wchar_t*> cases[] = {
      {AcceptOnly(1), L"Mono"},
      {AcceptOnly(4), L"Quadraphonic"},
      {AcceptOnly(6), L"Surround 5.1 (Side)"},
      {AcceptOnly(6, 0x3F), L"Surround 5.1 (Back)"},
      {AcceptOnly(8), L"Surround 7.1"},
  };
  for (const auto& [decide, name] : cases) {
    FakeDevice& device = platform.AddDevice(L"d");
    device.decide = decide;
    EXPECT_EQ(ProbeAll(device).name, name);
  }
}

TEST_F(Probe, AcceptedClientIsReleasedAtOnce) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.decide = AcceptOnly(4);
  EXPECT_EQ(ProbeAll(device).name, L"Quadraphonic");
  for (const auto& client : device.clients) {
    EXPECT_EQ(client->references, 0);
  }
}

TEST_F(Probe, SuccessCodesOtherThanOkRejectSilently) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.decide = [](const WAVEFORMATEX&) { return S_FALSE; };
  Probed probed = ProbeAll(device);
  EXPECT_EQ(probed.name, L"Unknown");
  EXPECT_EQ(probed.output, "");
  EXPECT_EQ(device.offers.size(), 6u);

  FakeDevice& other = platform.AddDevice(L"e");
  other.decide = [](const WAVEFORMATEX& format) {
    return format.nChannels == 6 ? S_OK : static_cast<HRESULT>(AUDCLNT_S_POSITION_STALLED);
  };
  EXPECT_EQ(ProbeAll(other).name, L"Surround 5.1 (Side)");
}

TEST_F(Probe, ActivationFailureIsReportedForEveryRow) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.faults["Activate"] = E_NOINTERFACE;
  const Probed probed = ProbeAll(device);
  EXPECT_EQ(probed.name, L"Unknown");
  EXPECT_EQ(probed.output, EveryRow("Couldn't activate Device: [0x80004002]"));
}

TEST_F(Probe, MixFormatFailureIsReportedWithoutColonAndTheClientReleased) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.client_faults["GetMixFormat"] = kDeviceInvalidated;
  const Probed probed = ProbeAll(device);
  EXPECT_EQ(probed.name, L"Unknown");
  EXPECT_EQ(probed.output, EveryRow("Couldn't acquire Wave Format [0x88890004]"));
  EXPECT_TRUE(device.offers.empty());
  EXPECT_EQ(device.clients.size(), 6u);
}

TEST_F(Probe, SuccessesThatHandBackNothingAreReportedNotFollowed) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.hand_back_nothing["Activate"] = true;
  EXPECT_EQ(ProbeAll(device).output.find("Couldn't activate Device: [0x80004003]\n"), 0u);
  device.hand_back_nothing["Activate"] = false;
  device.hand_back_nothing["GetMixFormat"] = true;
  EXPECT_EQ(ProbeAll(device).output.find("Couldn't acquire Wave Format [0x80004003]\n"), 0u);
}

TEST_F(Probe, PlainWaveFormatGetsNoMaskSoBothSixChannelRowsOfferTheSame) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.mix_format = MixFormat(WAVE_FORMAT_PCM, 2, 44100, 16, 0);
  device.decide = AcceptOnly(8);
  EXPECT_EQ(ProbeAll(device).name, L"Surround 7.1");
  ASSERT_EQ(device.offers.size(), 6u);
  for (const Offer& offer : device.offers) {
    EXPECT_EQ(offer.tag, WAVE_FORMAT_PCM);
    EXPECT_FALSE(offer.mask.has_value());
    EXPECT_EQ(offer.rate, 44100u);
    EXPECT_EQ(offer.bits, 16);
  }
  const Offer& side = device.offers[3];
  const Offer& back = device.offers[4];
  EXPECT_EQ(side.channels, back.channels);
  EXPECT_EQ(side.block_align, back.block_align);
  EXPECT_EQ(side.byte_rate, back.byte_rate);
}

TEST_F(Probe, SixteenBitStereoMixRewrittenForSevenOne) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.mix_format = ExtensibleMix(2, 48000, 16);
  device.decide = AcceptOnly(8);
  EXPECT_EQ(ProbeAll(device).name, L"Surround 7.1");
  const Offer& offer = device.offers.back();
  EXPECT_EQ(offer.tag, WAVE_FORMAT_EXTENSIBLE);
  EXPECT_EQ(offer.channels, 8);
  EXPECT_EQ(offer.block_align, 16);
  EXPECT_EQ(offer.byte_rate, 768000u);
  EXPECT_EQ(offer.rate, 48000u);
  EXPECT_EQ(offer.bits, 16);
  EXPECT_EQ(offer.mask, 0x63Fu);
}

TEST(ApplyLayout, RewritesOnlyChannelsBlockRateAndMask) {
  WAVEFORMATEXTENSIBLE format{};
  format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  format.Format.nChannels = 2;
  format.Format.nSamplesPerSec = 44100;
  format.Format.wBitsPerSample = 24;
  format.Format.cbSize = 22;
  format.Samples.wValidBitsPerSample = 20;
  format.dwChannelMask = 0x3;
  format.SubFormat = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  WAVEFORMATEXTENSIBLE expected = format;
  ApplyLayout(format.Format, {"Quadraphonic", 4, 0x33});
  expected.Format.nChannels = 4;
  expected.Format.nBlockAlign = 12;
  expected.Format.nAvgBytesPerSec = 12 * 44100;
  expected.dwChannelMask = 0x33;
  EXPECT_EQ(std::memcmp(&format, &expected, sizeof format), 0);
}

TEST(ApplyLayout, ShortRecordClaimingExtensibleKeepsTheBytesPastItsEnd) {
  // An 18-byte header that claims the extensible tag, followed by bytes it does not own.
  BYTE bytes[sizeof(WAVEFORMATEXTENSIBLE)];
  std::memset(bytes, 0xAB, sizeof bytes);
  WAVEFORMATEX header{};
  header.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  header.nChannels = 2;
  header.nSamplesPerSec = 48000;
  header.wBitsPerSample = 16;
  header.cbSize = 21;
  std::memcpy(bytes, &header, sizeof header);
  ApplyLayout(*reinterpret_cast<WAVEFORMATEX*>(bytes), {"Mono", 1, 0x4});
  for (std::size_t at = sizeof(WAVEFORMATEX); at < sizeof bytes; ++at) {
    EXPECT_EQ(bytes[at], 0xAB) << "byte " << at;
  }
  const auto* rewritten = reinterpret_cast<const WAVEFORMATEX*>(bytes);
  EXPECT_EQ(rewritten->nChannels, 1);
  EXPECT_EQ(rewritten->nBlockAlign, 2);
  EXPECT_EQ(rewritten->nAvgBytesPerSec, 96000u);
}

TEST(ApplyLayout, ChannelCountIsCutToSixteenBitsAndByteRateWrapsInThirtyTwo) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nSamplesPerSec = 0xFFFFFFFF;
  format.wBitsPerSample = 8;
  ApplyLayout(format, {"odd", 0x10003, 0});
  EXPECT_EQ(format.nChannels, 3);
  EXPECT_EQ(format.nBlockAlign, 3);
  EXPECT_EQ(format.nAvgBytesPerSec, 0xFFFFFFFDu);
}

}  // namespace
