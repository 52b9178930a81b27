#include "readers/reader.h"
#include "readers/steps.h"

namespace {

// The offer is a loopback, event-driven stream so that it never needs an
// event handle or a started stream to be accepted. A recording endpoint has
// no loopback: offered one, it would refuse every layout as the wrong kind.
constexpr DWORD kProbeStreamFlags = AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK;
constexpr DWORD kCaptureProbeStreamFlags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK;

// Bytes the extensible part adds to a WAVEFORMATEX: a shorter record that
// claims the extensible tag has no channel mask to write.
constexpr WORD kExtensibleExtraBytes = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

bool HasExtensiblePart(const WAVEFORMATEX& format) {
  return format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= kExtensibleExtraBytes;
}

// Whether a fresh audio client accepts the layout with exactly S_OK. The
// accepted client was only a question: it is released on the way out.
bool Accepts(IMMDevice& device, const ChannelLayout& layout, EDataFlow flow,
             std::optional<MixFormatFacts>& mix_format, Failures& failures) {
  ComHandle<IAudioClient> client = ActivateFor<IAudioClient>(device, Part::kLayout, failures);
  if (!client) {
    return false;
  }
  TaskMemHandle<WAVEFORMATEX> format;
  const HRESULT result = HandedBack(client->GetMixFormat(format.Put()), format);
  if (FAILED(result)) {
    failures.push_back({Part::kLayout, "GetMixFormat", result});
    return false;
  }
  if (!mix_format) {
    mix_format = DescribeMixFormat(*format.Get());
  }
  ApplyLayout(*format.Get(), layout);
  const DWORD flags = flow == eCapture ? kCaptureProbeStreamFlags : kProbeStreamFlags;
  return client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, 0, 0, format.Get(), nullptr) == S_OK;
}

}  // namespace

void ApplyLayout(WAVEFORMATEX& format, const ChannelLayout& layout) {
  format.nChannels = static_cast<WORD>(layout.channels);
  format.nBlockAlign = static_cast<WORD>((format.nChannels * format.wBitsPerSample) / 8);
  format.nAvgBytesPerSec = static_cast<DWORD>(format.nBlockAlign) * format.nSamplesPerSec;
  if (HasExtensiblePart(format)) {
    reinterpret_cast<WAVEFORMATEXTENSIBLE&>(format).dwChannelMask = layout.channel_mask;
  }
}

MixFormatFacts DescribeMixFormat(const WAVEFORMATEX& format) {
  MixFormatFacts facts;
  facts.sample_rate = format.nSamplesPerSec;
  facts.channels = format.nChannels;
  facts.bits_per_sample = format.wBitsPerSample;
  if (format.wFormatTag == WAVE_FORMAT_PCM) {
    facts.sample_type = "pcm";
  } else if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
    facts.sample_type = "float";
  } else if (HasExtensiblePart(format)) {
    const auto& extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format);
    facts.channel_mask = extensible.dwChannelMask;
    facts.valid_bits = extensible.Samples.wValidBitsPerSample;
    if (IsEqualGUID(extensible.SubFormat, kSubtypePcm) != FALSE) {
      facts.sample_type = "pcm";
    } else if (IsEqualGUID(extensible.SubFormat, kSubtypeIeeeFloat) != FALSE) {
      facts.sample_type = "float";
    }
  }
  return facts;
}

std::optional<MixFormatFacts> ReadMixFormat(IMMDevice& device, Failures& failures) {
  const ComHandle<IAudioClient> client = ActivateFor<IAudioClient>(device, Part::kDetails, failures);
  if (!client) {
    return std::nullopt;
  }
  TaskMemHandle<WAVEFORMATEX> format;
  const HRESULT result = HandedBack(client->GetMixFormat(format.Put()), format);
  if (FAILED(result)) {
    failures.push_back({Part::kDetails, "GetMixFormat", result});
    return std::nullopt;
  }
  return DescribeMixFormat(*format.Get());
}

const ChannelLayout* AcceptedLayout(IMMDevice& device, EDataFlow flow, std::optional<MixFormatFacts>& mix_format,
                                    Failures& failures) {
  for (const ChannelLayout& layout : kChannelLayouts) {
    if (Accepts(device, layout, flow, mix_format, failures)) {
      return &layout;
    }
  }
  return nullptr;
}
