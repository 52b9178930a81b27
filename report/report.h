// The per-endpoint report: its text block and the channel-layout probe.
#pragma once

#include "platform/core_audio.h"
#include "platform/handles.h"

#include <cstdint>
#include <string>
#include <string_view>

// Prints the endpoint's block when its state is in the StateMask; prints
// nothing, and probes nothing, otherwise. The caller keeps the endpoint.
void PrintDevice(const ComHandle<IMMDevice>& device);

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
std::wstring CurrentFormatName(IMMDevice& device);

// An initialised audio client when the endpoint accepts the layout with
// exactly S_OK, otherwise an empty handle. The caller owns the client.
ComHandle<IAudioClient> ProbeLayout(IMMDevice& device, const ChannelLayout& layout);

// Rewrites the mix format in place for the layout's channel count and mask.
void ApplyLayout(WAVEFORMATEX& format, const ChannelLayout& layout);
