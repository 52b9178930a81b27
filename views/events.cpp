#include "views/views.h"

#include "text/json.h"
#include "text/text.h"

#include <string>

namespace {

std::wstring Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// The document's member name, or "{FMTID},pid" for a property it does not have.
std::string PropertyName(const PROPERTYKEY& key) {
  const PropertyText* known = FindProperty(key);
  return known != nullptr ? known->member : FormatGuid(key.fmtid) + "," + std::to_string(key.pid);
}

Json FlowJson(const std::optional<EDataFlow>& flow) { return flow ? Json(FlowWord(*flow)) : Json(nullptr); }

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
      return (line.id ? L"default for " : L"no default for ") + Widen(RoleWord(line.role));
    case EventKind::kProperty:
      if (const PropertyText* known = FindProperty(line.property)) {
        return Widen(known->label) + L" changed";
      }
      return L"Property " + Widen(PropertyName(line.property)) + L" changed";
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
  value["flow"] = FlowJson(line.flow);
  value["id"] = JsonText(Text(line.id));
  value["friendly_name"] = JsonText(Text(line.friendly_name));
  switch (line.kind) {
    case EventKind::kPresent:
    case EventKind::kAdded:
      value["state"] = StateWord(line.state);
      break;
    case EventKind::kState:
      value["state"] = StateWord(line.state);
      value["previous_state"] = line.previous_state ? Json(StateWord(*line.previous_state)) : Json(nullptr);
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
  std::wstring text = Column(Widen(LocalClockText(line.time)), 12) + Column(Widen(EventWord(line.kind)), 8) +
                      Column(Widen(line.flow ? FlowWord(*line.flow) : "unknown"), 7);
  if (!line.id) {
    return text + WhatChanged(line);
  }
  return text + Column(WhatChanged(line), 26) + Column(line.friendly_name.value_or(L"Unknown"), 28) + *line.id;
}
