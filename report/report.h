// The per-endpoint report: its text block and the channel-layout probe.
#pragma once

#include "platform/core_audio.h"
#include "platform/handles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Prints the endpoint's block when its state is in the StateMask; prints
// nothing, and probes nothing, otherwise. The caller keeps the endpoint. A
// capture endpoint is probed without the loopback flag, which it rejects.
void PrintDevice(const ComHandle<IMMDevice>& device, EDataFlow flow = eRender);

// One platform call that failed while an endpoint was read or probed.
struct CallFailure {
  const char* call = nullptr;     // the platform's name, "GetId", "Activate", ...
  HRESULT code = S_OK;
  const char* property = nullptr;  // for GetValue: "friendly_name", "adapter_name" or "description"
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

// The text, or "Unknown" when there is none.
const wchar_t* OrUnknown(const wchar_t* text);

// "Active", "Disabled", "Not present", "Unplugged", or "Unknown" for any other value.
const wchar_t* StateName(std::uint32_t state);

struct ChannelLayout {
  std::string_view name;  // UTF-8
  std::uint32_t channels;
  std::uint32_t channel_mask;  // speaker-position bits
};

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
