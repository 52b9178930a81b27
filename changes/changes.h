// Changing what trelmo shows: whether an endpoint is enabled, its default
// format, the default endpoint, and the volume and mute of endpoints and
// sessions. Each change reads what it changes before and
// after, through the object that changed it, and keeps what the platform
// said as plain values; each call that fails is recorded.
#pragma once

#include "platform/core_audio.h"
#include "platform/event_context.h"
#include "platform/policy_config.h"
#include "readers/reader.h"
#include "readers/snapshot.h"

#include <cstdint>
#include <optional>
#include <string>

// A volume to set: a level as the Sound panel shows it (0 to 100), a step
// up or down from the level there is (-100 to 100), or a level in dB.
struct VolumeSetting {
  enum class Kind { kPercent, kStep, kDecibels };
  Kind kind = Kind::kPercent;
  float value = 0;
};

enum class MuteSetting { kMute, kUnmute, kToggle };

// A default format to set: a rate of the formats grid and, when given, the
// bits (16, 24 or 32) of PCM samples.
struct FormatSetting {
  std::uint32_t rate = 0;
  std::optional<std::uint16_t> bits;
};

enum class ChangeKind { kDefault, kVolume, kMute, kState, kFormat };

// The program whose session changed.
struct ChangedSession {
  DWORD process_id = 0;
  std::optional<std::wstring> process_name;
};

// An endpoint by its identifier and name, each absent when it could not be had.
struct NamedEndpoint {
  std::optional<std::wstring> id;
  std::optional<std::wstring> name;
};

// One change made, with what the platform said before and after it. A
// change not needed (already so) has no call and its before as its after;
// a change previewed (a dry run) has what it would set as its after.
struct ChangeRecord {
  ChangeKind what = ChangeKind::kVolume;
  EDataFlow flow = eRender;
  std::optional<std::wstring> id;  // the endpoint changed; of a default, the one made the default
  std::optional<std::wstring> friendly_name;
  std::optional<ChangedSession> session;
  ERole role = eConsole;   // of a default
  bool decibels = false;   // of a volume: in dB rather than as a level from 0.0 to 1.0
  // Of a default: the flow's default endpoint for the role.
  NamedEndpoint before_default;
  NamedEndpoint after_default;
  // Of a volume, its level; of a mute, whether it is muted.
  std::optional<float> before_level;
  std::optional<float> after_level;
  std::optional<bool> before_muted;
  std::optional<bool> after_muted;
  // Of a state, the endpoint's state; of a format, its device format.
  std::optional<DWORD> before_state;
  std::optional<DWORD> after_state;
  std::optional<MixFormatFacts> before_format;
  std::optional<MixFormatFacts> after_format;
  bool needed = true;    // false: already so, nothing was called
  bool preview = false;  // a dry run: nothing was set, the after is what would be
};

// The level a setting comes to from the level there is (0.0 to 1.0, or dB),
// and the mute from the mute there is.
float VolumeTarget(const VolumeSetting& setting, float level);
bool MuteTarget(MuteSetting setting, bool muted);

// The endpoint asked for again by its identifier: a new object, so that
// neither its property store nor an audio client answers from before a
// change. Nothing, and the failure recorded, when it cannot be had.
std::optional<EndpointReader> ReadAfresh(IMMDeviceEnumerator& enumerator, const std::wstring& id,
                                         std::vector<CallFailure>& failures);

// The flow's default endpoint for the role; nothing when there is none.
NamedEndpoint ReadDefault(IMMDeviceEnumerator& enumerator, EDataFlow flow, ERole role);

// Makes the endpoint the flow's default for the role, then reads which
// endpoint is. The record holds the endpoint and the default before.
HRESULT ChangeDefault(IPolicyConfig& policy, IMMDeviceEnumerator& enumerator, ChangeRecord& record,
                      std::vector<CallFailure>& failures);

// Enables or disables the endpoint, then reads its state afresh by its
// identifier. The record holds the endpoint and its state before.
HRESULT ChangeState(IPolicyConfig& policy, IMMDeviceEnumerator& enumerator, bool enable, ChangeRecord& record,
                    std::vector<CallFailure>& failures);

// Sets the endpoint's default format (a PCM record) with the float mix
// format of the same rate and layout, then reads both afresh.
HRESULT ChangeFormat(IPolicyConfig& policy, IMMDeviceEnumerator& enumerator, const PcmLayout& format,
                     ChangeRecord& record, std::vector<CallFailure>& failures);

// Sets the volume through the control, read before and after through it.
// A step or a level in dB starts from the level there is.
HRESULT ChangeVolume(IAudioEndpointVolume& control, const VolumeSetting& setting, ChangeRecord& record,
                     std::vector<CallFailure>& failures);
HRESULT ChangeVolume(ISimpleAudioVolume& control, const VolumeSetting& setting, ChangeRecord& record,
                     std::vector<CallFailure>& failures);

// Sets the mute through the control, read before and after through it.
HRESULT ChangeMute(IAudioEndpointVolume& control, MuteSetting setting, ChangeRecord& record,
                   std::vector<CallFailure>& failures);
HRESULT ChangeMute(ISimpleAudioVolume& control, MuteSetting setting, ChangeRecord& record,
                   std::vector<CallFailure>& failures);
