#include "views/views.h"

#include "text/json.h"
#include "text/text.h"

#include <string>

namespace {

std::wstring Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// A level as a whole percent, and "muted" when it is: "35 %, muted".
std::wstring LevelText(const std::optional<float>& level, const std::optional<bool>& muted) {
  std::wstring text = level ? Widen(FixedDecimal(static_cast<double>(*level) * 100.0, 0) + " %") : L"volume unknown";
  return muted.value_or(false) ? text + L", muted" : text;
}

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
    case EventKind::kPresent:
      // With --details, the level and mute as the block's Volume line has them.
      return line.volume ? StateName(line.state) + (L", " + LevelText(line.volume->level, line.volume->muted))
                         : StateName(line.state);
    default:
      return StateName(line.state);
  }
}

// What an event that --details or --sessions adds says, after the endpoint's name.
std::wstring WhatHappened(const EventLine& line) {
  const SessionFacts session = line.session.value_or(SessionFacts{});
  switch (line.kind) {
    case EventKind::kVolume:
      return line.volume ? LevelText(line.volume->level, line.volume->muted) : L"volume unknown";
    case EventKind::kSessionPresent:
    case EventKind::kSessionAdded:
      return SessionText(session, false);
    case EventKind::kSessionState:
      return SessionLabel(session) + L" " + Widen(session.state ? SessionStateWord(*session.state) : "unknown");
    case EventKind::kSessionVolume:
      return SessionLabel(session) + L" volume " + LevelText(session.volume, session.muted);
    case EventKind::kSessionName:
      return SessionLabel(session) + L" named " + session.display_name.value_or(L"nothing");
    case EventKind::kSessionRemoved:
      return SessionLabel(session) + L" removed: " + Widen(DisconnectWord(line.reason));
    case EventKind::kError: {
      std::wstring text = Widen(line.call != nullptr ? line.call : "unknown") + L" [0x" +
                          Widen(FormatCode(static_cast<std::uint32_t>(line.code))) + L"]";
      return line.session ? text + L" for " + SessionLabel(session) : text;
    }
    default:
      return {};
  }
}

bool AddedByOptions(EventKind kind) { return kind >= EventKind::kVolume; }

Json Number(const std::optional<float>& value) { return value ? Json(ShortestDecimal(*value)) : Json(nullptr); }
Json Flag(const std::optional<bool>& value) { return value ? Json(*value) : Json(nullptr); }

// The session as an event names it; with its facts for present and added.
Json SessionMember(const SessionFacts& session, bool with_facts) {
  Json entry = SessionEntry(session);
  entry.erase("peak");
  if (!with_facts) {
    for (const char* fact : {"state", "system_sounds", "volume", "muted"}) {
      entry.erase(fact);
    }
  }
  return entry;
}

// The members that only the events of --details and --sessions have.
void AddOptionMembers(const EventLine& line, Json& value) {
  const SessionFacts session = line.session.value_or(SessionFacts{});
  if (line.session) {
    value["session"] =
        SessionMember(session, line.kind == EventKind::kSessionPresent || line.kind == EventKind::kSessionAdded);
  }
  switch (line.kind) {
    case EventKind::kVolume: {
      const VolumeFacts volume = line.volume.value_or(VolumeFacts{});
      value["level"] = Number(volume.level);
      value["muted"] = Flag(volume.muted);
      Json levels = Json::array();
      for (const std::optional<float>& level : volume.channel_levels.value_or(std::vector<std::optional<float>>{})) {
        levels.push_back(Number(level));
      }
      value["channel_levels"] = std::move(levels);
      value["by_trelmo"] = line.by_trelmo;
      break;
    }
    case EventKind::kSessionState:
      value["state"] = session.state ? Json(SessionStateWord(*session.state)) : Json(nullptr);
      break;
    case EventKind::kSessionVolume:
      value["volume"] = Number(session.volume);
      value["muted"] = Flag(session.muted);
      value["by_trelmo"] = line.by_trelmo;
      break;
    case EventKind::kSessionName:
      value["display_name"] = JsonText(Text(session.display_name));
      break;
    case EventKind::kSessionRemoved:
      value["reason"] = DisconnectWord(line.reason);
      break;
    case EventKind::kError:
      value["call"] = line.call != nullptr ? Json(line.call) : Json(nullptr);
      value["code"] = JsonCode(line.code);
      break;
    default:
      break;
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
      value["state"] = StateWord(line.state);
      if (line.volume) {
        value["level"] = Number(line.volume->level);
        value["muted"] = Flag(line.volume->muted);
      }
      break;
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
    default:
      AddOptionMembers(line, value);
      break;
  }
  return DumpJson(value, -1);
}

std::wstring TextLine(const EventLine& line) {
  std::wstring text = Column(Widen(LocalClockText(line.time)), 12) + Column(Widen(EventWord(line.kind)), 8) +
                      Column(Widen(line.flow ? FlowWord(*line.flow) : "unknown"), 7);
  // Its name first, "Speakers: 35 %, muted", since what it says runs long.
  if (AddedByOptions(line.kind)) {
    return text + line.friendly_name.value_or(L"Unknown") + L": " + WhatHappened(line) + L"  " +
           line.id.value_or(L"");
  }
  if (!line.id) {
    return text + WhatChanged(line);
  }
  return text + Column(WhatChanged(line), 26) + Column(line.friendly_name.value_or(L"Unknown"), 28) + *line.id;
}
