#include "readers/reader.h"
#include "readers/steps.h"

#include <algorithm>
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

constexpr std::size_t kRatesPerType = std::size(kSampleRates);
constexpr std::size_t kOffersPerLayout = std::size(kSampleTypes) * kRatesPerType;
constexpr std::size_t kOffersPerMode = std::size(kChannelLayouts) * kOffersPerLayout;

WAVEFORMATEXTENSIBLE Offer(const ChannelLayout& layout, const SampleType& type, DWORD rate) {
  return ExtensibleFormat({rate, layout.channels, layout.channel_mask, type.container_bits, type.valid_bits},
                          *type.sub_format);
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

// The PCM formats of the grid the client takes in exclusive mode at the
// channels and mask given, as rate and valid bits, by rate then bits.
std::vector<std::pair<std::uint32_t, std::uint16_t>> ExclusivePcmFormats(IAudioClient& client, std::uint32_t channels,
                                                                          std::uint32_t mask) {
  std::vector<std::pair<std::uint32_t, std::uint16_t>> takes;
  for (const SampleType& type : kSampleTypes) {
    if (type.sub_format != &kSubtypePcm) {
      continue;
    }
    for (const DWORD rate : kSampleRates) {
      const WAVEFORMATEXTENSIBLE offer =
          ExtensibleFormat({rate, channels, mask, type.container_bits, type.valid_bits}, kSubtypePcm);
      if (client.IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &offer.Format, nullptr) == S_OK) {
        takes.emplace_back(rate, type.valid_bits);
      }
    }
  }
  std::sort(takes.begin(), takes.end());
  takes.erase(std::unique(takes.begin(), takes.end()), takes.end());
  return takes;
}

}  // namespace

WAVEFORMATEXTENSIBLE ExtensibleFormat(const PcmLayout& layout, const GUID& sub_format) {
  WAVEFORMATEXTENSIBLE format{};
  format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  format.Format.nChannels = static_cast<WORD>(layout.channels);
  format.Format.nSamplesPerSec = layout.rate;
  format.Format.wBitsPerSample = layout.container_bits;
  format.Format.nBlockAlign = static_cast<WORD>(layout.channels * layout.container_bits / 8);
  format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * layout.rate;
  format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
  format.Samples.wValidBitsPerSample = layout.valid_bits;
  format.dwChannelMask = layout.channel_mask;
  format.SubFormat = sub_format;
  return format;
}

FormatCheck CheckExclusiveFormats(IMMDevice& device, const std::vector<PcmLayout>& candidates) {
  FormatCheck check;
  ComHandle<IAudioClient> client;
  HRESULT result = Activate(device, client);
  if (FAILED(result)) {
    check.answer = FormatCheck::Answer::kFailed;
    check.call = "Activate";
    check.code = result;
    return check;
  }
  for (std::size_t at = 0; at < candidates.size(); ++at) {
    const WAVEFORMATEXTENSIBLE offer = ExtensibleFormat(candidates[at], kSubtypePcm);
    result = client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &offer.Format, nullptr);
    if (result == S_OK) {
      check.answer = FormatCheck::Answer::kAccepted;
      check.accepted = at;
      return check;
    }
    // Exclusive mode turned off: the endpoint can't be asked at all.
    if (result == AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED) {
      check.answer = FormatCheck::Answer::kNotAllowed;
      return check;
    }
    if (!IsRefusal(AUDCLNT_SHAREMODE_EXCLUSIVE, result) && result != S_FALSE) {
      check.answer = FormatCheck::Answer::kFailed;
      check.call = "IsFormatSupported";
      check.code = result;
      return check;
    }
  }
  check.answer = FormatCheck::Answer::kUnsupported;
  if (!candidates.empty()) {
    check.takes = ExclusivePcmFormats(*client.Get(), candidates.front().channels, candidates.front().channel_mask);
  }
  return check;
}

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
