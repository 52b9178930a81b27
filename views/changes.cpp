#include "views/views.h"

#include "text/json.h"
#include "text/text.h"

namespace {

std::wstring Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

Json Text(const std::optional<std::wstring>& text) { return JsonText(text ? text->c_str() : nullptr); }

const std::wstring& NameOr(const std::optional<std::wstring>& name, const std::wstring& fallback) {
  return name ? *name : fallback;
}

// A level as the Sound panel shows it, or in dB.
std::wstring LevelText(const std::optional<float>& level, bool decibels) {
  if (!level) {
    return L"unknown";
  }
  return decibels ? Widen(FixedDecimal(static_cast<double>(*level), 1) + " dB")
                  : Widen(FixedDecimal(static_cast<double>(*level) * 100.0, 0) + " %");
}

// What was changed: the endpoint by its name, or the program and the endpoint it plays on.
std::wstring Subject(const ChangeRecord& change) {
  const std::wstring unknown = L"Unknown";
  const std::wstring& endpoint = NameOr(change.friendly_name, unknown);
  if (!change.session) {
    return endpoint;
  }
  return NameOr(change.session->process_name, unknown) + L" (pid " + std::to_wstring(change.session->process_id) +
         L") on " + endpoint;
}

}  // namespace

std::wstring ChangeLine(const ChangeRecord& change) {
  switch (change.what) {
    case ChangeKind::kDefault: {
      const std::wstring none = L"none";
      return L"Default for " + Widen(RoleWord(change.role)) + L": " + NameOr(change.after_default.name, none) +
             L" (was " + NameOr(change.before_default.name, none) + L")";
    }
    case ChangeKind::kVolume:
      return Subject(change) + L": volume " + LevelText(change.before_level, change.decibels) + L" -> " +
             LevelText(change.after_level, change.decibels);
    case ChangeKind::kMute:
    default:
      return Subject(change) + L": " +
             (change.after_muted ? (*change.after_muted ? L"muted" : L"unmuted") : L"mute unknown");
  }
}

Json ChangeEntry(const ChangeRecord& change) {
  const auto level = [](const std::optional<float>& value) {
    return value ? Json(ShortestDecimal(*value)) : Json(nullptr);
  };
  const auto flag = [](const std::optional<bool>& value) { return value ? Json(*value) : Json(nullptr); };
  Json entry = Json::object();
  entry["flow"] = FlowWord(change.flow);
  entry["id"] = Text(change.id);
  entry["friendly_name"] = Text(change.friendly_name);
  entry["session"] = change.session ? Json({{"process_id", change.session->process_id},
                                            {"process_name", Text(change.session->process_name)}})
                                    : Json(nullptr);
  const bool is_default = change.what == ChangeKind::kDefault;
  const bool is_volume = change.what == ChangeKind::kVolume;
  entry["what"] = is_default ? "default" : is_volume ? "volume" : "mute";
  entry["role"] = is_default ? Json(RoleWord(change.role)) : Json(nullptr);
  entry["unit"] = is_volume ? Json(change.decibels ? "db" : "scalar") : Json(nullptr);
  entry["before"] = is_default  ? Text(change.before_default.id)
                    : is_volume ? level(change.before_level)
                                : flag(change.before_muted);
  entry["after"] = is_default  ? Text(change.after_default.id)
                   : is_volume ? level(change.after_level)
                               : flag(change.after_muted);
  return entry;
}
