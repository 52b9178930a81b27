#include "report/report.h"
#include "text/output.h"
#include "text/text.h"

#include <string>

namespace {

// Probed in this order; the first accepted row names the layout.
constexpr ChannelLayout ChannelLayoutTable[] = {
    {"Mono", 1, 0x4},
    {"Stereo", 2, 0x3},
    {"Quadraphonic", 4, 0x33},
    {"Surround 5.1 (Side)", 6, 0x60F},
    {"Surround 5.1 (Back)", 6, 0x3F},
    {"Surround 7.1", 8, 0x63F},
};

// The offer is a loopback, event-driven stream so that it never needs an
// event handle or a started stream to be accepted.
constexpr DWORD kProbeStreamFlags = AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK;

// Bytes the extensible part adds to a WAVEFORMATEX: a shorter record that
// claims the extensible tag has no channel mask to write.
constexpr WORD kExtensibleExtraBytes = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

void ReportFailure(const std::string& prefix, HRESULT result) {
  WriteLine(prefix + FormatCode(static_cast<std::uint32_t>(result)) + "]");
}

}  // namespace

void ApplyLayout(WAVEFORMATEX& format, const ChannelLayout& layout) {
  format.nChannels = static_cast<WORD>(layout.channels);
  format.nBlockAlign = static_cast<WORD>((format.nChannels * format.wBitsPerSample) / 8);
  format.nAvgBytesPerSec = static_cast<DWORD>(format.nBlockAlign) * format.nSamplesPerSec;
  if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= kExtensibleExtraBytes) {
    reinterpret_cast<WAVEFORMATEXTENSIBLE&>(format).dwChannelMask = layout.channel_mask;
  }
}

ComHandle<IAudioClient> ProbeLayout(IMMDevice& device, const ChannelLayout& layout) {
  ComHandle<IAudioClient> client;
  HRESULT result = device.Activate(kIidIAudioClient, kClsctxAll, nullptr, client.PutVoid());
  // A driver that claims success but hands back nothing has not activated.
  if (SUCCEEDED(result) && !client) {
    result = E_POINTER;
  }
  if (FAILED(result)) {
    ReportFailure("Couldn't activate Device: [0x", result);
    return {};
  }

  TaskMemHandle<WAVEFORMATEX> format;
  result = client->GetMixFormat(format.Put());
  if (SUCCEEDED(result) && !format) {
    result = E_POINTER;
  }
  if (FAILED(result)) {
    ReportFailure("Couldn't acquire Wave Format [0x", result);
    return {};
  }

  ApplyLayout(*format.Get(), layout);
  if (client->Initialize(AUDCLNT_SHAREMODE_SHARED, kProbeStreamFlags, 0, 0, format.Get(), nullptr) != S_OK) {
    return {};
  }
  return client;
}

std::wstring CurrentFormatName(IMMDevice& device) {
  for (const ChannelLayout& layout : ChannelLayoutTable) {
    if (ProbeLayout(device, layout)) {
      // The accepted client was only a question; it is released right here.
      return Utf8ToWide(layout.name);
    }
  }
  return L"Unknown";
}
