#include "readers/reader.h"
#include "readers/steps.h"

#include <iterator>

namespace {

struct SampleType {
  const char* name;
  WORD container_bits;
  WORD valid_bits;
  const GUID* sub_format;
};

constexpr SampleType kSampleTypes[] = {
    {"pcm16", 16, 16, &kSubtypePcm},     {"pcm24", 24, 24, &kSubtypePcm}, {"pcm24in32", 32, 24, &kSubtypePcm},
    {"pcm32", 32, 32, &kSubtypePcm},     {"float32", 32, 32, &kSubtypeIeeeFloat},
};

constexpr DWORD kSampleRates[] = {8000,  11025, 16000,  22050,  32000,  44100, 48000,
                                  88200, 96000, 176400, 192000, 352800, 384000};

constexpr std::size_t kRatesPerType = std::size(kSampleRates);
constexpr std::size_t kOffersPerLayout = std::size(kSampleTypes) * kRatesPerType;
constexpr std::size_t kOffersPerMode = std::size(kChannelLayouts) * kOffersPerLayout;

WAVEFORMATEXTENSIBLE Offer(const ChannelLayout& layout, const SampleType& type, DWORD rate) {
  WAVEFORMATEXTENSIBLE offer{};
  offer.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  offer.Format.nChannels = static_cast<WORD>(layout.channels);
  offer.Format.nSamplesPerSec = rate;
  offer.Format.wBitsPerSample = type.container_bits;
  offer.Format.nBlockAlign = static_cast<WORD>(layout.channels * type.container_bits / 8);
  offer.Format.nAvgBytesPerSec = offer.Format.nBlockAlign * rate;
  offer.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
  offer.Samples.wValidBitsPerSample = type.valid_bits;
  offer.dwChannelMask = layout.channel_mask;
  offer.SubFormat = *type.sub_format;
  return offer;
}

// Exclusive mode has no closest match to give. In shared mode the platform
// may hand one back with any answer; it is of no use here and freed at once.
HRESULT Ask(IAudioClient& client, AUDCLNT_SHAREMODE mode, const WAVEFORMATEX& offer) {
  if (mode == AUDCLNT_SHAREMODE_EXCLUSIVE) {
    return client.IsFormatSupported(mode, &offer, nullptr);
  }
  TaskMemHandle<WAVEFORMATEX> closest;
  return client.IsFormatSupported(mode, &offer, closest.Put());
}

// An answer that says "not this one" and lets the next offer be asked. Only
// S_OK means supported: in shared mode S_FALSE proposes something else.
bool IsRefusal(AUDCLNT_SHAREMODE mode, HRESULT result) {
  return result == AUDCLNT_E_UNSUPPORTED_FORMAT || (mode == AUDCLNT_SHAREMODE_SHARED && result == S_FALSE);
}

// Adds the rate to the entry of its layout and sample type, which is the
// last one when the grid is walked in order.
void AddRate(std::vector<FormatEntry>& entries, const ChannelLayout& layout, const SampleType& type, DWORD rate) {
  if (entries.empty() || entries.back().layout != &layout || entries.back().sample_type != type.name) {
    entries.push_back({&layout, type.name, {}});
  }
  entries.back().sample_rates.push_back(rate);
}

// Offers the grid in one mode, layouts outer, sample types inner, rates
// ascending. The answer that ended the mode early, if any.
std::optional<HRESULT> OfferGrid(IAudioClient& client, AUDCLNT_SHAREMODE mode, std::vector<FormatEntry>& entries) {
  for (std::size_t at = 0; at < kOffersPerMode; ++at) {
    const ChannelLayout& layout = kChannelLayouts[at / kOffersPerLayout];
    const SampleType& type = kSampleTypes[at % kOffersPerLayout / kRatesPerType];
    const DWORD rate = kSampleRates[at % kRatesPerType];
    const WAVEFORMATEXTENSIBLE offer = Offer(layout, type, rate);
    const HRESULT result = Ask(client, mode, offer.Format);
    if (result == S_OK) {
      AddRate(entries, layout, type, rate);
    } else if (!IsRefusal(mode, result)) {
      return result;
    }
  }
  return std::nullopt;
}

void Stopped(ModeSupport& support, HRESULT result, const char* mode, Failures& failures) {
  support.stopped = result;
  failures.push_back(CallFailure{Part::kFormats, "IsFormatSupported", result}.InMode(mode));
}

}  // namespace

std::optional<FormatSupport> ReadFormatSupport(IMMDevice& device, Failures& failures) {
  const ComHandle<IAudioClient> client = ActivateFor<IAudioClient>(device, Part::kFormats, failures);
  if (!client) {
    return std::nullopt;
  }
  FormatSupport support;
  if (const auto end = OfferGrid(*client.Get(), AUDCLNT_SHAREMODE_SHARED, support.shared.entries)) {
    Stopped(support.shared, *end, "shared", failures);
  }
  if (const auto end = OfferGrid(*client.Get(), AUDCLNT_SHAREMODE_EXCLUSIVE, support.exclusive.entries)) {
    // Exclusive mode turned off for the endpoint is an answer, not a failure,
    // and it holds for every offer, those that came before it too.
    if (*end == AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED) {
      support.exclusive_allowed = false;
      support.exclusive.entries.clear();
    } else {
      Stopped(support.exclusive, *end, "exclusive", failures);
    }
  }
  return support;
}
