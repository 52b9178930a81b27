// Asks the audio service itself which channel layouts each render endpoint
// accepts, so that the end-to-end tests can tell what trelmo's "Current
// format" line and probe messages must be without trusting trelmo's own probe.
//
// One line per render endpoint in any state, fields separated by tabs:
//   <endpoint id> <state, hexadecimal> <six result codes> <mix format summary>
// A result code is the eight-digit hexadecimal HRESULT of Initialize for that
// layout (00000000 means accepted), or "act:XXXXXXXX" / "mix:XXXXXXXX" when the
// audio client or its mix format could not be had. Layouts come in the order
// Mono, Stereo, Quadraphonic, 5.1 side, 5.1 back, 7.1.

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Offer {
  WORD channels;
  DWORD mask;
};

constexpr Offer kOffers[] = {
    {1, 0x4}, {2, 0x3}, {4, 0x33}, {6, 0x60F}, {6, 0x3F}, {8, 0x63F},
};

template <typename T>
void ReleaseAndClear(T*& p) {
  if (p != nullptr) {
    p->Release();
    p = nullptr;
  }
}

std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return "(none)";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

std::string Hex(const char* prefix, HRESULT hr) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s%08lX", prefix,
                static_cast<unsigned long>(static_cast<DWORD>(hr)));
  return buffer;
}

std::string DescribeMix(const WAVEFORMATEX* mix) {
  char buffer[160];
  DWORD mask = 0;
  if (mix->wFormatTag == WAVE_FORMAT_EXTENSIBLE && mix->cbSize >= 22) {
    mask = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(mix)->dwChannelMask;
  }
  std::snprintf(buffer, sizeof buffer, "tag=0x%04X channels=%u bits=%u rate=%lu mask=0x%lX",
                mix->wFormatTag, mix->nChannels, mix->wBitsPerSample,
                static_cast<unsigned long>(mix->nSamplesPerSec),
                static_cast<unsigned long>(mask));
  return buffer;
}

// One offer on a client of its own, so that an earlier refusal can't colour
// the answer to a later one.
std::string TryOffer(IMMDevice* device, const Offer& offer, std::string& mix_summary) {
  IAudioClient* client = nullptr;
  HRESULT hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                reinterpret_cast<void**>(&client));
  if (FAILED(hr) || client == nullptr) return Hex("act:", hr);

  WAVEFORMATEX* mix = nullptr;
  hr = client->GetMixFormat(&mix);
  if (FAILED(hr) || mix == nullptr) {
    ReleaseAndClear(client);
    return Hex("mix:", hr);
  }
  if (mix_summary.empty()) mix_summary = DescribeMix(mix);

  mix->nChannels = offer.channels;
  mix->nBlockAlign = static_cast<WORD>(offer.channels * mix->wBitsPerSample / 8);
  mix->nAvgBytesPerSec = mix->nBlockAlign * mix->nSamplesPerSec;
  if (mix->wFormatTag == WAVE_FORMAT_EXTENSIBLE && mix->cbSize >= 22) {
    reinterpret_cast<WAVEFORMATEXTENSIBLE*>(mix)->dwChannelMask = offer.mask;
  }
  hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                          AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK, 0, 0,
                          mix, nullptr);
  CoTaskMemFree(mix);
  ReleaseAndClear(client);
  return Hex("", hr);
}

int Run() {
  IMMDeviceEnumerator* enumerator = nullptr;
  HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumerator));
  if (FAILED(hr)) {
    std::fprintf(stderr, "layout_oracle: no device enumerator: %s\n", Hex("", hr).c_str());
    return 1;
  }
  IMMDeviceCollection* devices = nullptr;
  hr = enumerator->EnumAudioEndpoints(eRender, DEVICE_STATEMASK_ALL, &devices);
  if (FAILED(hr)) {
    std::fprintf(stderr, "layout_oracle: enumeration failed: %s\n", Hex("", hr).c_str());
    ReleaseAndClear(enumerator);
    return 1;
  }
  UINT count = 0;
  devices->GetCount(&count);
  for (UINT i = 0; i < count; ++i) {
    IMMDevice* device = nullptr;
    if (FAILED(devices->Item(i, &device)) || device == nullptr) continue;
    LPWSTR id = nullptr;
    device->GetId(&id);
    std::string line = Narrow(id);
    CoTaskMemFree(id);
    DWORD state = 0;
    device->GetState(&state);
    char state_text[16];
    std::snprintf(state_text, sizeof state_text, "\t%lX", static_cast<unsigned long>(state));
    line += state_text;
    std::string mix_summary;
    for (const Offer& offer : kOffers) {
      line += '\t';
      line += TryOffer(device, offer, mix_summary);
    }
    line += '\t';
    line += mix_summary;
    std::printf("%s\n", line.c_str());
    ReleaseAndClear(device);
  }
  std::fflush(stdout);
  ReleaseAndClear(devices);
  ReleaseAndClear(enumerator);
  return 0;
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const int status = Run();
  CoUninitialize();
  return status;
}
