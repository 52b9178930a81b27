#include "views/views.h"

#include "changes/plan.h"
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

std::wstring WordOf(const std::optional<DWORD>& state) {
  return state ? Widen(StateWord(*state)) : L"unknown";
}

// What an endpoint's state says of it being enabled.
std::wstring EnabledText(const std::optional<DWORD>& state) {
  if (IsEnabled(state)) {
    return L"enabled";
  }
  return state == DWORD{DEVICE_STATE_DISABLED} ? L"disabled" : L"state " + WordOf(state);
}

std::wstring FormatText(const std::optional<MixFormatFacts>& format) { return Widen(FormatWords(format)); }

}  // namespace

std::wstring SkippedText(const SkippedEndpoint& skipped) {
  return L"Skipped " + skipped.friendly_name.value_or(skipped.id.value_or(L"Unknown")) + L": " + Widen(skipped.reason);
}

std::wstring ChangeLine(const ChangeRecord& change) {
  // A dry run says what it would do, and what there is now.
  const std::wstring would = change.preview ? L"Would set " : L"";
  const std::wstring was = change.preview ? L" (now " : L" (was ";
  switch (change.what) {
    case ChangeKind::kState:
      if (!change.needed) {
        return Subject(change) + L": already " + EnabledText(change.after_state);
      }
      if (change.preview) {
        return (change.after_state == DWORD{DEVICE_STATE_DISABLED} ? L"Would disable " : L"Would enable ") +
               Subject(change) + was + WordOf(change.before_state) + L")";
      }
      return Subject(change) + L": " + EnabledText(change.after_state) + was + WordOf(change.before_state) + L")";
    case ChangeKind::kFormat:
      if (!change.needed) {
        return Subject(change) + L": format already " + FormatText(change.after_format);
      }
      return (change.preview ? L"Would change " : L"") + Subject(change) + L": format " +
             FormatText(change.before_format) + L" -> " + FormatText(change.after_format);
    case ChangeKind::kDefault: {
      const std::wstring none = L"none";
      return (change.preview ? L"Would set default for " : L"Default for ") + Widen(RoleWord(change.role)) + L": " +
             NameOr(change.after_default.name, none) + was + NameOr(change.before_default.name, none) + L")";
    }
    case ChangeKind::kVolume:
      return would + Subject(change) + L": volume " + LevelText(change.before_level, change.decibels) + L" -> " +
             LevelText(change.after_level, change.decibels);
    case ChangeKind::kMute:
    default:
      return would + Subject(change) + L": " +
             (change.after_muted ? (*change.after_muted ? L"muted" : L"unmuted")
                                 : (change.preview ? L"mute toggled" : L"mute unknown"));
  }
}
