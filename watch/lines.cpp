#include "report/report.h"
#include "text/json.h"
#include "text/text.h"
#include "watch/watching.h"

#include <cstdint>
#include <string>

namespace {

struct KnownProperty {
  const PROPERTYKEY* key;
  const char* member;   // as the document names it
  const wchar_t* what;  // as a text line says it changed
};

// The properties the document has, under the document's names.
constexpr KnownProperty kKnownProperties[] = {
    {&kPkeyDeviceFriendlyName, "friendly_name", L"Device name changed"},
    {&kPkeyDeviceInterfaceFriendlyName, "adapter_name", L"Adapter name changed"},
    {&kPkeyDeviceDeviceDesc, "description", L"Device description changed"},
    {&kPkeyAudioEndpointFormFactor, "form_factor", L"Form factor changed"},
    {&kPkeyAudioEndpointPhysicalSpeakers, "physical_speakers", L"Speakers changed"},
    {&kPkeyAudioEngineDeviceFormat, "device_format", L"Device format changed"},
    {&kPkeyDeviceContainerId, "container_id", L"Container ID changed"},
};

const KnownProperty* FindProperty(const PROPERTYKEY& key) {
  for (const KnownProperty& known : kKnownProperties) {
    if (IsEqualGUID(known.key->fmtid, key.fmtid) != 0 && known.key->pid == key.pid) {
      return &known;
    }
  }
  return nullptr;
}

// The document's member name, or "{FMTID},pid" for a property it does not have.
std::string PropertyName(const PROPERTYKEY& key) {
  const KnownProperty* known = FindProperty(key);
  return known != nullptr ? known->member : FormatGuid(key.fmtid) + "," + std::to_string(key.pid);
}

constexpr const char* kEventWords[] = {"present", "added", "removed", "state", "default", "property"};

const char* EventWord(EventKind kind) { return kEventWords[static_cast<std::size_t>(kind)]; }

const char* FlowWord(const std::optional<EDataFlow>& flow) {
  if (!flow) {
    return nullptr;
  }
  return *flow == eCapture ? "capture" : "render";
}

// The platform's clock counts 100 ns from 1601; the C++ system clock counts
// from 1970 on every compiler the tool is built with.
constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;

SYSTEMTIME UtcTime(std::chrono::system_clock::time_point time) {
  using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;
  const auto ticks = static_cast<std::uint64_t>(
      std::chrono::duration_cast<Ticks>(time.time_since_epoch()).count() + kTicksFrom1601To1970);
  const FILETIME file{static_cast<DWORD>(ticks & 0xFFFFFFFFU), static_cast<DWORD>(ticks >> 32U)};
  SYSTEMTIME utc{};
  static_cast<void>(FileTimeToSystemTime(&file, &utc));
  return utc;
}

template <std::size_t Width>
std::string Digits(unsigned value) {
  std::string text = std::to_string(value);
  return text.size() < Width ? std::string(Width - text.size(), '0') + text : text;
}

std::string ClockText(const SYSTEMTIME& time) {
  return Digits<2>(time.wHour) + ":" + Digits<2>(time.wMinute) + ":" + Digits<2>(time.wSecond) + "." +
         Digits<3>(time.wMilliseconds);
}

// "2025-03-01T09:15:02.250Z"
std::string UtcText(std::chrono::system_clock::time_point time) {
  const SYSTEMTIME utc = UtcTime(time);
  return Digits<4>(utc.wYear) + "-" + Digits<2>(utc.wMonth) + "-" + Digits<2>(utc.wDay) + "T" + ClockText(utc) + "Z";
}

// "10:15:02.250" in the user's time zone, with its daylight saving at that time.
std::string LocalClockText(std::chrono::system_clock::time_point time) {
  const SYSTEMTIME utc = UtcTime(time);
  SYSTEMTIME local{};
  return ClockText(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) != FALSE ? local : utc);
}

Json Word(const char* word) { return word != nullptr ? Json(word) : Json(nullptr); }

const wchar_t* Text(const std::optional<std::wstring>& text) { return text ? text->c_str() : nullptr; }

std::wstring Was(const std::optional<DWORD>& previous) {
  return previous ? std::wstring(L" (was ") + StateName(*previous) + L")" : std::wstring();
}

// What changed, in words: "Active", "Unplugged (was Active)", "default for console", ...
std::wstring WhatChanged(const EventLine& line) {
  switch (line.kind) {
    case EventKind::kRemoved:
      return L"Removed" + Was(line.previous_state);
    case EventKind::kState:
      return StateName(line.state) + Was(line.previous_state);
    case EventKind::kDefault:
      return (line.id ? L"default for " : L"no default for ") + Utf8ToWide(RoleWord(line.role));
    case EventKind::kProperty:
      if (const KnownProperty* known = FindProperty(line.property)) {
        return known->what;
      }
      return L"Property " + Utf8ToWide(PropertyName(line.property)) + L" changed";
    default:
      return StateName(line.state);
  }
}

// The text padded to the column's width, and the gap to the next column.
std::wstring Column(std::wstring text, std::size_t width) {
  if (text.size() < width) {
    text.resize(width, L' ');
  }
  return text + L"  ";
}

}  // namespace

std::string JsonLine(const EventLine& line) {
  Json value = Json::object();
  value["time"] = UtcText(line.time);
  value["event"] = EventWord(line.kind);
  value["flow"] = Word(FlowWord(line.flow));
  value["id"] = JsonText(Text(line.id));
  value["friendly_name"] = JsonText(Text(line.friendly_name));
  switch (line.kind) {
    case EventKind::kPresent:
    case EventKind::kAdded:
      value["state"] = StateWord(line.state);
      break;
    case EventKind::kState:
      value["state"] = StateWord(line.state);
      value["previous_state"] = Word(line.previous_state ? StateWord(*line.previous_state) : nullptr);
      break;
    case EventKind::kDefault:
      value["role"] = RoleWord(line.role);
      break;
    case EventKind::kProperty:
      value["property"] = PropertyName(line.property);
      break;
    case EventKind::kRemoved:
      break;
  }
  return DumpJson(value, -1);
}

std::wstring TextLine(const EventLine& line) {
  const char* flow = FlowWord(line.flow);
  std::wstring text = Column(Utf8ToWide(LocalClockText(line.time)), 12) + Column(Utf8ToWide(EventWord(line.kind)), 8) +
                      Column(Utf8ToWide(flow != nullptr ? flow : "unknown"), 7);
  if (!line.id) {
    return text + WhatChanged(line);
  }
  return text + Column(WhatChanged(line), 26) + Column(OrUnknown(Text(line.friendly_name)), 28) + *line.id;
}
