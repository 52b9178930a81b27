#include "report/report.h"
#include "text/text.h"

#include <algorithm>
#include <cstring>

namespace {

struct FormFactor {
  const char* word;  // the document's
  const char* name;  // the block's
};

// Indexed by the platform's EndpointFormFactor, RemoteNetworkDevice (0) to UnknownFormFactor (10).
constexpr FormFactor kFormFactors[] = {
    {"remote-network-device", "Remote network device"},
    {"speakers", "Speakers"},
    {"line-level", "Line level"},
    {"headphones", "Headphones"},
    {"microphone", "Microphone"},
    {"headset", "Headset"},
    {"handset", "Handset"},
    {"digital-passthrough", "Digital passthrough"},
    {"spdif", "S/PDIF"},
    {"digital-display", "Digital display"},
    {"unknown", "Unknown"},
};
constexpr std::uint32_t kUnknownFormFactor = 10;

const FormFactor& LookUpFormFactor(std::uint32_t number) {
  return kFormFactors[number < std::size(kFormFactors) ? number : kUnknownFormFactor];
}

// No endpoint has more channels than a format can describe (16 bits); a
// broken count must not turn into billions of calls.
constexpr UINT kMostChannels = 0xFFFF;

void Failed(Findings& findings, const char* call, HRESULT result, const char* property = nullptr,
            const char* interface_name = nullptr) {
  findings.failures.push_back({call, result, property, interface_name});
}

// One getter of the platform: its value, or nothing and a recorded failure.
template <typename Value, typename Call>
std::optional<Value> Ask(Findings& findings, const char* name, Call call) {
  Value value{};
  const HRESULT result = call(&value);
  if (FAILED(result)) {
    Failed(findings, name, result);
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint32_t> Number(const PROPVARIANT& value) {
  if (value.vt != VT_UI4) {
    return std::nullopt;
  }
  return value.ulVal;
}

// The blob must hold the whole record it claims to be: a WAVEFORMATEX and
// the cbSize bytes after it. Anything shorter is not read at all.
std::optional<MixFormatFacts> WaveFormat(const PROPVARIANT& value) {
  if (value.vt != VT_BLOB || value.blob.pBlobData == nullptr || value.blob.cbSize < sizeof(WAVEFORMATEX)) {
    return std::nullopt;
  }
  WAVEFORMATEXTENSIBLE record{};
  std::memcpy(&record, value.blob.pBlobData, sizeof(WAVEFORMATEX));
  if (value.blob.cbSize - sizeof(WAVEFORMATEX) < record.Format.cbSize) {
    return std::nullopt;
  }
  // A copy, so that a blob with no alignment to speak of is read safely.
  std::memcpy(&record, value.blob.pBlobData, std::min<std::size_t>(value.blob.cbSize, sizeof record));
  return DescribeMixFormat(record.Format);
}

std::optional<GUID> Guid(const PROPVARIANT& value) {
  if (value.vt != VT_CLSID || value.puuid == nullptr) {
    return std::nullopt;
  }
  return *value.puuid;
}

// The value of one property; absent (VT_EMPTY) is no failure, a failed read is.
template <typename Converter>
auto ReadProperty(IPropertyStore& store, const PROPERTYKEY& key, const char* member, Findings& findings,
                  Converter convert) -> decltype(convert(PROPVARIANT{})) {
  PropertyValue value;
  const HRESULT result = store.GetValue(key, value.Put());
  if (FAILED(result)) {
    Failed(findings, "GetValue", result, member);
    return std::nullopt;
  }
  return convert(value.Get());
}

std::optional<VolumeFacts> ReadVolume(IMMDevice& device, Findings& findings) {
  ComHandle<IAudioEndpointVolume> control;
  const HRESULT result =
      HandedBack(device.Activate(kIidIAudioEndpointVolume, kClsctxAll, nullptr, control.PutVoid()), control);
  if (FAILED(result)) {
    Failed(findings, "Activate", result, nullptr, "IAudioEndpointVolume");
    return std::nullopt;
  }
  IAudioEndpointVolume& volume = *control.Get();
  VolumeFacts facts;
  facts.level = Ask<float>(findings, "GetMasterVolumeLevelScalar",
                           [&volume](float* level) { return volume.GetMasterVolumeLevelScalar(level); });
  facts.level_db = Ask<float>(findings, "GetMasterVolumeLevel",
                              [&volume](float* level) { return volume.GetMasterVolumeLevel(level); });
  if (const auto muted = Ask<BOOL>(findings, "GetMute", [&volume](BOOL* mute) { return volume.GetMute(mute); })) {
    facts.muted = *muted != FALSE;
  }
  facts.range_db = Ask<VolumeFacts::Range>(findings, "GetVolumeRange", [&volume](VolumeFacts::Range* range) {
    return volume.GetVolumeRange(&range->min_db, &range->max_db, &range->step_db);
  });
  if (const auto count =
          Ask<UINT>(findings, "GetChannelCount", [&volume](UINT* channels) { return volume.GetChannelCount(channels); })) {
    std::vector<std::optional<float>> levels;
    for (UINT channel = 0; channel < std::min(*count, kMostChannels); ++channel) {
      levels.push_back(Ask<float>(findings, "GetChannelVolumeLevelScalar", [&volume, channel](float* level) {
        return volume.GetChannelVolumeLevelScalar(channel, level);
      }));
    }
    facts.channel_levels = std::move(levels);
  }
  return facts;
}

std::optional<float> ReadPeak(IMMDevice& device, Findings& findings) {
  ComHandle<IAudioMeterInformation> meter;
  const HRESULT result =
      HandedBack(device.Activate(kIidIAudioMeterInformation, kClsctxAll, nullptr, meter.PutVoid()), meter);
  if (FAILED(result)) {
    Failed(findings, "Activate", result, nullptr, "IAudioMeterInformation");
    return std::nullopt;
  }
  return Ask<float>(findings, "GetPeakValue", [&meter](float* peak) { return meter->GetPeakValue(peak); });
}

}  // namespace

const char* FormFactorWord(std::uint32_t form_factor) { return LookUpFormFactor(form_factor).word; }
const char* FormFactorName(std::uint32_t form_factor) { return LookUpFormFactor(form_factor).name; }

void ReadDetails(IMMDevice& device, IPropertyStore* store, EndpointDetails& details, Findings& findings) {
  if (store != nullptr) {
    details.form_factor = ReadProperty(*store, kPkeyAudioEndpointFormFactor, "form_factor", findings, Number);
    details.physical_speakers =
        ReadProperty(*store, kPkeyAudioEndpointPhysicalSpeakers, "physical_speakers", findings, Number);
    details.device_format = ReadProperty(*store, kPkeyAudioEngineDeviceFormat, "device_format", findings, WaveFormat);
    details.container_id = ReadProperty(*store, kPkeyDeviceContainerId, "container_id", findings, Guid);
  }
  details.volume = ReadVolume(device, findings);
  details.peak = ReadPeak(device, findings);
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): an endpoint's identifier and name, both text
bool EndpointChoice::Keeps(const wchar_t* id, const wchar_t* friendly_name) const {
  if (Empty()) {
    return true;
  }
  const bool id_matches = id != nullptr && std::any_of(ids.begin(), ids.end(), [id](const std::wstring& wanted) {
                            return EqualsIgnoringCase(id, wanted);
                          });
  return id_matches ||
         (friendly_name != nullptr && std::any_of(names.begin(), names.end(), [friendly_name](const std::wstring& part) {
            return ContainsIgnoringCase(friendly_name, part);
          }));
}
