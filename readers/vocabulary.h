// The words trelmo has for what the platform numbers, one table each, and
// the one table of the endpoint properties it reads: every view, the reader
// and the command line take them from here.
#pragma once

#include "platform/core_audio.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

// An endpoint state: the block's name and the word the command line takes
// and the document writes.
struct StateText {
  std::uint32_t state;
  const wchar_t* name;
  const char* word;
};
inline constexpr StateText kStates[] = {
    {DEVICE_STATE_ACTIVE, L"Active", "active"},
    {DEVICE_STATE_DISABLED, L"Disabled", "disabled"},
    {DEVICE_STATE_NOTPRESENT, L"Not present", "not-present"},
    {DEVICE_STATE_UNPLUGGED, L"Unplugged", "unplugged"},
};
// "Unknown" and "unknown" for any value that is not exactly one state.
const wchar_t* StateName(std::uint32_t state);
const char* StateWord(std::uint32_t state);

// The roles a default endpoint is for, in the order the document names them.
inline constexpr ERole kRoles[] = {eConsole, eMultimedia, eCommunications};
inline constexpr std::size_t kRoleCount = std::size(kRoles);
// "console", "multimedia", "communications"; "unknown" for any other value.
const char* RoleWord(ERole role);
// The role's mark in a brief listing: 'C', 'M', 'K'; '?' for any other value.
char RoleMark(ERole role);

// "render" or "capture".
const char* FlowWord(EDataFlow flow);

// The platform's EndpointFormFactor as the document names it, "headphones",
// and as a block shows it, "Headphones"; "unknown" and "Unknown" beyond the list.
const char* FormFactorWord(std::uint32_t form_factor);
const char* FormFactorName(std::uint32_t form_factor);

// An audio session's AudioSessionState: "inactive", "active", "expired";
// "unknown" for any other value.
const char* SessionStateWord(std::uint32_t state);

// Why an audio session went: the platform's AudioSessionDisconnectReason,
// "device-removed" to "exclusive-mode-override"; "unknown" for any other value.
const char* DisconnectWord(std::uint32_t reason);

// What a watch reports: the endpoints' own events, then what --details and
// --sessions add, and a call that failed on the way.
enum class EventKind {
  kPresent,
  kAdded,
  kRemoved,
  kState,
  kDefault,
  kProperty,
  kVolume,
  kSessionPresent,
  kSessionAdded,
  kSessionState,
  kSessionVolume,
  kSessionName,
  kSessionRemoved,
  kError
};
const char* EventWord(EventKind kind);

// The endpoint properties trelmo reads, by the order of the table below.
enum class Property { kFriendlyName, kAdapterName, kDescription, kFormFactor, kPhysicalSpeakers, kDeviceFormat, kContainerId };

struct PropertyText {
  const PROPERTYKEY* key;
  const char* member;  // the document's, "friendly_name"
  const char* label;   // the block's, "Device name"; a watch says it "changed"
};
inline constexpr PropertyText kProperties[] = {
    {&kPkeyDeviceFriendlyName, "friendly_name", "Device name"},
    {&kPkeyDeviceInterfaceFriendlyName, "adapter_name", "Adapter name"},
    {&kPkeyDeviceDeviceDesc, "description", "Device description"},
    {&kPkeyAudioEndpointFormFactor, "form_factor", "Form factor"},
    {&kPkeyAudioEndpointPhysicalSpeakers, "physical_speakers", "Speakers"},
    {&kPkeyAudioEngineDeviceFormat, "device_format", "Device format"},
    {&kPkeyDeviceContainerId, "container_id", "Container ID"},
};
const PropertyText& TextOf(Property property);
// The table's entry for the key, or null for a property trelmo does not read.
const PropertyText* FindProperty(const PROPERTYKEY& key);
