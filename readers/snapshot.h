// What reading an endpoint finds, as plain values that can be kept, moved
// and shown without the platform: every view is made from these alone.
#pragma once

#include "platform/core_audio.h"
#include "readers/vocabulary.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which reading a failure belongs to: the views of one part show only its own.
enum class Part { kEndpoint, kLayout, kDetails, kFormats, kSessions };

// One platform call that failed: its part, its name and its code, of three
// types that cannot be swapped, then what else tells it apart by name:
// CallFailure{Part::kDetails, "GetValue", result}.AboutProperty("form_factor").
struct CallFailure {
  Part part = Part::kEndpoint;
  const char* call = nullptr;            // the platform's name: "GetId", "Activate", ...
  HRESULT code = S_OK;
  const char* property = nullptr;        // of GetValue: the document's member the value is for
  const char* interface_name = nullptr;  // of Activate: "IAudioEndpointVolume", ...
  const char* mode = nullptr;            // of IsFormatSupported: "shared" or "exclusive"
  std::optional<std::uint32_t> session = std::nullopt;  // of a session's call: its place in the enumerator, from 0

  CallFailure AboutProperty(const char* member) const {
    CallFailure failure = *this;
    failure.property = member;
    return failure;
  }
  CallFailure OfInterface(const char* name) const {
    CallFailure failure = *this;
    failure.interface_name = name;
    return failure;
  }
  CallFailure InMode(const char* sharing) const {
    CallFailure failure = *this;
    failure.mode = sharing;
    return failure;
  }
  CallFailure OfSession(std::uint32_t place) const {
    CallFailure failure = *this;
    failure.session = place;
    return failure;
  }
};

// A mix or device format as the platform gave it.
struct MixFormatFacts {
  std::uint32_t sample_rate = 0;
  std::uint16_t channels = 0;
  std::uint16_t bits_per_sample = 0;
  std::optional<std::uint16_t> valid_bits;     // only from an extensible record long enough to hold them
  std::optional<std::uint32_t> channel_mask;  // only from an extensible record long enough to hold one
  const char* sample_type = "other";           // "pcm", "float" or "other"
};

// The endpoint's volume control; each member is absent when its own call failed.
struct VolumeFacts {
  struct Range {
    float min_db = 0;
    float max_db = 0;
    float step_db = 0;
  };
  std::optional<float> level;  // 0.0 to 1.0
  std::optional<float> level_db;
  std::optional<bool> muted;
  std::optional<Range> range_db;
  // One entry per channel, absent where that channel's call failed; no list
  // when the channel count could not be had.
  std::optional<std::vector<std::optional<float>>> channel_levels;
};

struct ChannelLayout {
  std::string_view name;  // UTF-8
  std::uint32_t channels;
  std::uint32_t channel_mask;  // speaker-position bits
};

// The supported formats of one sharing mode, in grid order: one entry per
// layout and sample type with at least one supported rate.
struct FormatEntry {
  const ChannelLayout* layout = nullptr;
  const char* sample_type = nullptr;  // "pcm16", "pcm24", "pcm24in32", "pcm32" or "float32"
  std::vector<std::uint32_t> sample_rates;  // ascending
};

struct ModeSupport {
  std::vector<FormatEntry> entries;  // those found before a stop are kept
  std::optional<HRESULT> stopped;    // the answer that ended the mode early
};

// What an endpoint's audio client says it can play or record, in shared and
// exclusive mode, over the grid of layouts, sample types and rates.
struct FormatSupport {
  ModeSupport shared;
  bool exclusive_allowed = true;  // false only when the platform said exclusive mode is turned off
  ModeSupport exclusive;
};

// One audio session of an endpoint: a program playing or recording on it.
// Each part is absent when its own call failed.
struct SessionFacts {
  std::optional<DWORD> process_id;
  std::optional<std::wstring> process_name;  // "firefox.exe"; absent for process 0 or one that cannot be opened
  std::optional<std::wstring> display_name;  // an indirect "@..." name resolved; absent when empty
  std::optional<std::uint32_t> state;        // the platform's AudioSessionState
  std::optional<bool> system_sounds;
  std::optional<float> volume;  // 0.0 to 1.0
  std::optional<bool> muted;
  bool volume_control = false;  // whether its volume control could be had, for what changes it
  std::optional<float> peak;    // 0.0 to 1.0
  std::optional<std::wstring> session_id;
  std::optional<std::wstring> instance_id;
};

// One endpoint as far as it was read; what was not read, or could not be,
// is absent. The failures come in the order the calls were made.
struct EndpointSnapshot {
  std::optional<EDataFlow> flow;
  std::optional<std::wstring> id;
  std::optional<DWORD> state;
  std::optional<std::wstring> friendly_name;
  std::optional<std::wstring> adapter_name;
  std::optional<std::wstring> description;

  // The layout probe: the first layout accepted, and the first mix format it obtained.
  const ChannelLayout* layout = nullptr;
  std::optional<MixFormatFacts> mix_format;

  // The details.
  std::optional<std::uint32_t> form_factor;        // the platform's EndpointFormFactor number
  std::optional<std::uint32_t> physical_speakers;  // speaker-position bits
  std::optional<MixFormatFacts> device_format;
  std::optional<GUID> container_id;
  std::optional<VolumeFacts> volume;
  std::optional<float> peak;  // 0.0 to 1.0

  // The formats grid: absent too when its audio client could not be had.
  std::optional<FormatSupport> formats;

  // The sessions in the enumerator's order: absent too when the session
  // manager, its enumerator or their count could not be had.
  std::optional<std::vector<SessionFacts>> sessions;

  std::vector<CallFailure> failures;
};

// The identifier of a flow's default endpoint for each role, in the order of
// kRoles; empty where there is none or it could not be had.
using RoleIds = std::array<std::wstring, kRoleCount>;
