#include "changes/changes.h"

#include "platform/endpoints.h"
#include "readers/reader.h"

#include <algorithm>

namespace {

using Failures = std::vector<CallFailure>;

// One call: its answer, recorded when it failed.
HRESULT Called(const char* call, HRESULT result, Failures& failures) {
  if (FAILED(result)) {
    failures.push_back({Part::kEndpoint, call, result});
  }
  return result;
}

}  // namespace

float VolumeTarget(const VolumeSetting& setting, float level) {
  switch (setting.kind) {
    case VolumeSetting::Kind::kStep:
      return std::clamp(level + setting.value / 100.0F, 0.0F, 1.0F);
    case VolumeSetting::Kind::kDecibels:
      return setting.value;
    case VolumeSetting::Kind::kPercent:
    default:
      return setting.value / 100.0F;
  }
}

bool MuteTarget(MuteSetting setting, bool muted) {
  return setting == MuteSetting::kToggle ? !muted : setting == MuteSetting::kMute;
}

namespace {

// The calls of the two controls by one name each, so that one sequence
// serves both.
struct EndpointCalls {
  IAudioEndpointVolume& control;
  bool decibels;
  [[nodiscard]] HRESULT Get(float* level) const {
    return decibels ? control.GetMasterVolumeLevel(level) : control.GetMasterVolumeLevelScalar(level);
  }
  [[nodiscard]] HRESULT Set(float level) const {
    return decibels ? control.SetMasterVolumeLevel(level, &kTrelmoEventContext)
                    : control.SetMasterVolumeLevelScalar(level, &kTrelmoEventContext);
  }
  [[nodiscard]] const char* GetName() const { return decibels ? "GetMasterVolumeLevel" : "GetMasterVolumeLevelScalar"; }
  [[nodiscard]] const char* SetName() const { return decibels ? "SetMasterVolumeLevel" : "SetMasterVolumeLevelScalar"; }
};

struct SessionCalls {
  ISimpleAudioVolume& control;
  [[nodiscard]] HRESULT Get(float* level) const { return control.GetMasterVolume(level); }
  [[nodiscard]] HRESULT Set(float level) const { return control.SetMasterVolume(level, &kTrelmoEventContext); }
  [[nodiscard]] static const char* GetName() { return "GetMasterVolume"; }
  [[nodiscard]] static const char* SetName() { return "SetMasterVolume"; }
};

template <typename Calls>
HRESULT SetVolume(const Calls& calls, const VolumeSetting& setting, ChangeRecord& record, Failures& failures) {
  record.what = ChangeKind::kVolume;
  float level = 0;
  HRESULT result = Called(calls.GetName(), calls.Get(&level), failures);
  if (FAILED(result)) {
    return result;
  }
  record.before_level = level;
  result = Called(calls.SetName(), calls.Set(VolumeTarget(setting, level)), failures);
  if (FAILED(result)) {
    return result;
  }
  if (SUCCEEDED(Called(calls.GetName(), calls.Get(&level), failures))) {
    record.after_level = level;
  }
  return S_OK;
}

template <typename Control>
HRESULT SetMute(Control& control, MuteSetting setting, ChangeRecord& record, Failures& failures) {
  record.what = ChangeKind::kMute;
  BOOL muted = FALSE;
  HRESULT result = Called("GetMute", control.GetMute(&muted), failures);
  if (FAILED(result)) {
    return result;
  }
  record.before_muted = muted != FALSE;
  result = Called("SetMute", control.SetMute(MuteTarget(setting, muted != FALSE) ? TRUE : FALSE, &kTrelmoEventContext),
                  failures);
  if (FAILED(result)) {
    return result;
  }
  if (SUCCEEDED(Called("GetMute", control.GetMute(&muted), failures))) {
    record.after_muted = muted != FALSE;
  }
  return S_OK;
}

}  // namespace

std::optional<EndpointReader> ReadAfresh(IMMDeviceEnumerator& enumerator, const std::wstring& id, Failures& failures) {
  ComHandle<IMMDevice> device;
  if (FAILED(Called("GetDevice", EndpointById(enumerator, id.c_str(), device), failures))) {
    return std::nullopt;
  }
  return EndpointReader(std::move(device));
}

NamedEndpoint ReadDefault(IMMDeviceEnumerator& enumerator, EDataFlow flow, ERole role) {
  ComHandle<IMMDevice> device;
  if (FAILED(DefaultEndpoint(enumerator, flow, role, device))) {
    return {};
  }
  EndpointReader reader(std::move(device), flow);
  reader.ReadId();
  reader.ReadProperties({Property::kFriendlyName});
  return {reader.Snapshot().id, reader.Snapshot().friendly_name};
}

HRESULT ChangeDefault(IPolicyConfig& policy, IMMDeviceEnumerator& enumerator, ChangeRecord& record,
                      Failures& failures) {
  record.what = ChangeKind::kDefault;
  record.before_default = ReadDefault(enumerator, record.flow, record.role);
  const HRESULT result =
      Called("SetDefaultEndpoint", policy.SetDefaultEndpoint(record.id.value_or(L"").c_str(), record.role), failures);
  if (SUCCEEDED(result)) {
    record.after_default = ReadDefault(enumerator, record.flow, record.role);
  }
  return result;
}

HRESULT ChangeState(IPolicyConfig& policy, IMMDeviceEnumerator& enumerator, bool enable, ChangeRecord& record,
                    Failures& failures) {
  record.what = ChangeKind::kState;
  const std::wstring id = record.id.value_or(L"");
  const HRESULT result =
      Called("SetEndpointVisibility", policy.SetEndpointVisibility(id.c_str(), enable ? TRUE : FALSE), failures);
  if (FAILED(result)) {
    return result;
  }
  if (std::optional<EndpointReader> reader = ReadAfresh(enumerator, id, failures)) {
    reader->ReadState();
    record.after_state = reader->Snapshot().state;
  }
  return S_OK;
}

HRESULT ChangeFormat(IPolicyConfig& policy, IMMDeviceEnumerator& enumerator, const PcmLayout& format,
                     ChangeRecord& record, Failures& failures) {
  record.what = ChangeKind::kFormat;
  const std::wstring id = record.id.value_or(L"");
  WAVEFORMATEXTENSIBLE endpoint_format = ExtensibleFormat(format, kSubtypePcm);
  // The shared mix is float: the engine mixes in 32-bit IEEE float whatever the device takes.
  WAVEFORMATEXTENSIBLE mix_format =
      ExtensibleFormat({format.rate, format.channels, format.channel_mask, 32, 32}, kSubtypeIeeeFloat);
  const HRESULT result = Called(
      "SetDeviceFormat", policy.SetDeviceFormat(id.c_str(), &endpoint_format.Format, &mix_format.Format), failures);
  if (FAILED(result)) {
    return result;
  }
  if (std::optional<EndpointReader> reader = ReadAfresh(enumerator, id, failures)) {
    reader->ReadFormat();
    const EndpointSnapshot& after = reader->Snapshot();
    record.after_format = after.device_format ? after.device_format : after.mix_format;
  }
  return S_OK;
}

HRESULT ChangeVolume(IAudioEndpointVolume& control, const VolumeSetting& setting, ChangeRecord& record,
                     Failures& failures) {
  record.decibels = setting.kind == VolumeSetting::Kind::kDecibels;
  return SetVolume(EndpointCalls{control, record.decibels}, setting, record, failures);
}

HRESULT ChangeVolume(ISimpleAudioVolume& control, const VolumeSetting& setting, ChangeRecord& record,
                     Failures& failures) {
  return SetVolume(SessionCalls{control}, setting, record, failures);
}

HRESULT ChangeMute(IAudioEndpointVolume& control, MuteSetting setting, ChangeRecord& record, Failures& failures) {
  return SetMute(control, setting, record, failures);
}

HRESULT ChangeMute(ISimpleAudioVolume& control, MuteSetting setting, ChangeRecord& record, Failures& failures) {
  return SetMute(control, setting, record, failures);
}
