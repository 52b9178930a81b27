#include "views/views.h"

#include "text/text.h"

namespace {

std::wstring Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

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
