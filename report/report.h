// The per-endpoint report: its text block and the channel-layout probe.
#pragma once

#include "platform/core_audio.h"
#include "platform/handles.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One platform call that failed while an endpoint was read or probed.
struct CallFailure {
  const char* call = nullptr;     // the platform's name, "GetId", "Activate", ...
  HRESULT code = S_OK;
  const char* property = nullptr;  // for GetValue: the member the value is for, "friendly_name", ...
  const char* interface_name = nullptr;  // for Activate of anything but the audio client
  const char* mode = nullptr;  // for IsFormatSupported: "shared" or "exclusive"
};

// The endpoint's mix format as the platform gave it, before any rewrite.
struct MixFormatFacts {
  std::uint32_t sample_rate = 0;
  std::uint16_t channels = 0;
  std::uint16_t bits_per_sample = 0;
  std::optional<std::uint32_t> channel_mask;  // only from an extensible record long enough to hold one
  const char* sample_type = "other";           // "pcm", "float" or "other"
};

MixFormatFacts DescribeMixFormat(const WAVEFORMATEX& format);

// What reading and probing an endpoint found besides its text. When a caller
// hands one in, failures are kept here instead of printed.
struct Findings {
  std::vector<CallFailure> failures;
  std::optional<MixFormatFacts> mix_format;  // the first one the probe obtained
};

// Everything read from one endpoint, owned until the reading goes out of
// scope; the members are released in reverse order of their creation.
struct EndpointReading {
  DWORD state = 0;  // 0 when the endpoint could not give it: no filter lets 0 through
  TaskMemHandle<wchar_t> id;
  bool has_id = false;
  ComHandle<IPropertyStore> store;
  PropertyValue adapter_name;
  PropertyValue friendly_name;
  PropertyValue description;
};

// Reads the state, the identifier and the three texts. A failed call leaves
// its part absent; with findings, each failure is also recorded there.
void ReadEndpoint(IMMDevice& device, EndpointReading& reading, Findings* findings);

// Which endpoints a listing keeps besides its state filter: those whose
// identifier equals one of the ids, or whose friendly name contains one of
// the names, letter case ignored. With neither, every endpoint.
struct EndpointChoice {
  std::vector<std::wstring> ids;
  std::vector<std::wstring> names;

  [[nodiscard]] bool Empty() const { return ids.empty() && names.empty(); }
  // The identifier or name may be null: absent, it matches nothing.
  [[nodiscard]] bool Keeps(const wchar_t* id, const wchar_t* friendly_name) const;
};

// The endpoint's volume control as the platform reports it; each member is
// absent when its own call failed.
struct VolumeFacts {
  struct Range {
    float min_db = 0;
    float max_db = 0;
    float step_db = 0;
  };
  std::optional<float> level;     // 0.0 to 1.0
  std::optional<float> level_db;
  std::optional<bool> muted;
  std::optional<Range> range_db;
  // One entry per channel, absent where that channel's call failed; no list
  // when the channel count could not be had.
  std::optional<std::vector<std::optional<float>>> channel_levels;
};

// What tells endpoints apart beyond their names, read once and kept as plain
// values for every view. Absent where the platform had nothing or failed.
struct EndpointDetails {
  std::optional<std::uint32_t> form_factor;  // the platform's EndpointFormFactor number
  std::optional<std::uint32_t> physical_speakers;  // speaker-position bits
  std::optional<MixFormatFacts> device_format;
  std::optional<GUID> container_id;
  std::optional<VolumeFacts> volume;
  std::optional<float> peak;  // 0.0 to 1.0
};

// Reads the four detail properties from the endpoint's open store (none when
// it has none), then its volume control and its peak meter, one activation
// each. Every failed call is recorded in the findings.
void ReadDetails(IMMDevice& device, IPropertyStore* store, EndpointDetails& details, Findings& findings);

// The form factor as the document names it, "headphones", and as a block
// shows it, "Headphones"; "unknown" and "Unknown" for a number beyond the list.
const char* FormFactorWord(std::uint32_t form_factor);
const char* FormFactorName(std::uint32_t form_factor);

// A label of the block's lines that options add, in the column of the
// seven: 19 characters and ": ", as in "Device description : ".
std::string BlockLabel(const char* label);

// What a listing adds to each endpoint's block.
struct BlockExtras {
  bool details = false;
  bool formats = false;
  // With formats: the endpoint's place in the listing, 1-based, and how many
  // there are, for the progress line while the formats are read.
  std::size_t position = 0;
  std::size_t count = 0;
};

// Prints the endpoint's block when its state is in the StateMask; prints
// nothing, and probes nothing, otherwise. The caller keeps the endpoint. A
// capture endpoint is probed without the loopback flag, which it rejects.
void PrintDevice(const ComHandle<IMMDevice>& device, EDataFlow flow = eRender, const BlockExtras& extras = {});

// Prints the block of an endpoint already read and let through: probes its
// layout, reads what the extras ask for, and writes the block.
void PrintReadEndpoint(IMMDevice& device, const EndpointReading& reading, EDataFlow flow, const BlockExtras& extras);

// The text, or "Unknown" when there is none.
const wchar_t* OrUnknown(const wchar_t* text);

// "Active", "Disabled", "Not present", "Unplugged", or "Unknown" for any other value.
const wchar_t* StateName(std::uint32_t state);
// The same states as the JSON words: "active", "disabled", "not-present",
// "unplugged", or "unknown".
const char* StateWord(std::uint32_t state);

// The roles a default endpoint is for, in the order the document names them,
// and their words: "console", "multimedia", "communications".
inline constexpr ERole kRoles[] = {eConsole, eMultimedia, eCommunications};
const char* RoleWord(ERole role);

struct ChannelLayout {
  std::string_view name;  // UTF-8
  std::uint32_t channels;
  std::uint32_t channel_mask;  // speaker-position bits
};

// The six layouts, in the order the probe offers them.
inline constexpr std::size_t kChannelLayoutCount = 6;
extern const ChannelLayout ChannelLayoutTable[kChannelLayoutCount];

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

// Offers the whole grid to one audio client of the endpoint, shared mode
// first. Nothing when the client could not be had; that failure, and each
// answer that stopped a mode, is recorded in the findings.
std::optional<FormatSupport> ReadFormatSupport(IMMDevice& device, Findings& findings);

// The block's lines for the formats: "Shared formats" and "Exclusive formats",
// each line ended. With no formats, both say why from the findings of the reading.
std::wstring FormatSupportLines(const std::optional<FormatSupport>& formats, const Findings& findings);

// The name of the first layout that a fresh audio client of the endpoint
// accepts, or "Unknown". Activation and mix-format failures are reported per
// layout on standard output.
std::wstring CurrentFormatName(IMMDevice& device, EDataFlow flow = eRender);

// The first layout that a fresh audio client of the endpoint accepts, or
// null. Activation and mix-format failures go to the findings when given,
// otherwise to standard output.
const ChannelLayout* AcceptedLayout(IMMDevice& device, EDataFlow flow, Findings* findings);

// An initialised audio client when the endpoint accepts the layout with
// exactly S_OK, otherwise an empty handle. The caller owns the client.
ComHandle<IAudioClient> ProbeLayout(IMMDevice& device, const ChannelLayout& layout, EDataFlow flow = eRender,
                                    Findings* findings = nullptr);

// Rewrites the mix format in place for the layout's channel count and mask.
void ApplyLayout(WAVEFORMATEX& format, const ChannelLayout& layout);
