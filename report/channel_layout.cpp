#include "report/report.h"
#include "text/output.h"
#include "text/text.h"

#include <string>

// Probed in this order; the first accepted row names the layout. The formats
// grid offers the same rows, in the same order.
const ChannelLayout ChannelLayoutTable[kChannelLayoutCount] = {
    {"Mono", 1, 0x4},
    {"Stereo", 2, 0x3},
    {"Quadraphonic", 4, 0x33},
    {"Surround 5.1 (Side)", 6, 0x60F},
    {"Surround 5.1 (Back)", 6, 0x3F},
    {"Surround 7.1", 8, 0x63F},
};

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

// The text listing says so on standard output; a caller that keeps findings
// gets the failure there instead.
void ReportFailure(Findings* findings, const char* call, const std::string& prefix, HRESULT result) {
  if (findings != nullptr) {
    findings->failures.push_back({call, result});
    return;
  }
  WriteLine(prefix + FormatCode(static_cast<std::uint32_t>(result)) + "]");
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
    if (IsEqualGUID(extensible.SubFormat, kSubtypePcm) != FALSE) {
      facts.sample_type = "pcm";
    } else if (IsEqualGUID(extensible.SubFormat, kSubtypeIeeeFloat) != FALSE) {
      facts.sample_type = "float";
    }
  }
  return facts;
}

ComHandle<IAudioClient> ProbeLayout(IMMDevice& device, const ChannelLayout& layout, EDataFlow flow,
                                    Findings* findings) {
  ComHandle<IAudioClient> client;
  HRESULT result = HandedBack(device.Activate(kIidIAudioClient, kClsctxAll, nullptr, client.PutVoid()), client);
  if (FAILED(result)) {
    ReportFailure(findings, "Activate", "Couldn't activate Device: [0x", result);
    return {};
  }

  TaskMemHandle<WAVEFORMATEX> format;
  result = HandedBack(client->GetMixFormat(format.Put()), format);
  if (FAILED(result)) {
    ReportFailure(findings, "GetMixFormat", "Couldn't acquire Wave Format [0x", result);
    return {};
  }
  if (findings != nullptr && !findings->mix_format) {
    findings->mix_format = DescribeMixFormat(*format.Get());
  }

  ApplyLayout(*format.Get(), layout);
  const DWORD flags = flow == eCapture ? kCaptureProbeStreamFlags : kProbeStreamFlags;
  if (client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, 0, 0, format.Get(), nullptr) != S_OK) {
    return {};
  }
  return client;
}

const ChannelLayout* AcceptedLayout(IMMDevice& device, EDataFlow flow, Findings* findings) {
  for (const ChannelLayout& layout : ChannelLayoutTable) {
    if (ProbeLayout(device, layout, flow, findings)) {
      // The accepted client was only a question; it is released right here.
      return &layout;
    }
  }
  return nullptr;
}

std::wstring CurrentFormatName(IMMDevice& device, EDataFlow flow) {
  const ChannelLayout* layout = AcceptedLayout(device, flow, nullptr);
  return layout != nullptr ? Utf8ToWide(layout->name) : L"Unknown";
}
