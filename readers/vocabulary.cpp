#include "readers/vocabulary.h"

#include <algorithm>
#include <iterator>

namespace {

const StateText* FindState(std::uint32_t state) {
  const auto* found =
      std::find_if(std::begin(kStates), std::end(kStates), [state](const StateText& text) { return text.state == state; });
  return found != std::end(kStates) ? found : nullptr;
}

struct FormFactorText {
  const char* word;
  const char* name;
};

// Indexed by the platform's EndpointFormFactor, RemoteNetworkDevice (0) to UnknownFormFactor (10).
constexpr FormFactorText kFormFactors[] = {
    {"remote-network-device", "Remote network device"},
    {"speakers", "Speakers"},
    {"line-level", "Line level"},
    {"headphones", "Headphones"},
    {"microphone", "Microphone"},
    {"headset", "Headset"},
    {"handset", "Handset"},
    {"digital-passthrough", "Digital passthrough"},
    {"spdif", "S/PDIF"},
    {"digital-display", "Digital display"},
    {"unknown", "Unknown"},
};

const FormFactorText& LookUpFormFactor(std::uint32_t number) {
  return kFormFactors[std::min<std::size_t>(number, std::size(kFormFactors) - 1)];
}

// Indexed by the platform's AudioSessionState.
constexpr const char* kSessionStates[] = {"inactive", "active", "expired"};

struct RoleText {
  ERole role;
  const char* word;
  char mark;
};
constexpr RoleText kRoleTexts[] = {{eConsole, "console", 'C'}, {eMultimedia, "multimedia", 'M'}, {eCommunications, "communications", 'K'}};

const RoleText* FindRole(ERole role) {
  const auto* found =
      std::find_if(std::begin(kRoleTexts), std::end(kRoleTexts), [role](const RoleText& text) { return text.role == role; });
  return found != std::end(kRoleTexts) ? found : nullptr;
}

constexpr const char* kEventWords[] = {
    "present",       "added",         "removed",       "state",          "default",
    "property",      "volume",        "session-present", "session-added", "session-state",
    "session-volume", "session-name", "session-removed", "error"};

// Indexed by the platform's AudioSessionDisconnectReason.
constexpr const char* kDisconnectReasons[] = {"device-removed", "server-shutdown", "format-changed",
                                              "session-logoff", "session-disconnected", "exclusive-mode-override"};

}  // namespace

const wchar_t* StateName(std::uint32_t state) {
  const StateText* text = FindState(state);
  return text != nullptr ? text->name : L"Unknown";
}

const char* StateWord(std::uint32_t state) {
  const StateText* text = FindState(state);
  return text != nullptr ? text->word : "unknown";
}

const char* RoleWord(ERole role) {
  const RoleText* text = FindRole(role);
  return text != nullptr ? text->word : "unknown";
}

char RoleMark(ERole role) {
  const RoleText* text = FindRole(role);
  return text != nullptr ? text->mark : '?';
}

const char* FlowWord(EDataFlow flow) { return flow == eCapture ? "capture" : "render"; }

const char* FormFactorWord(std::uint32_t form_factor) { return LookUpFormFactor(form_factor).word; }
const char* FormFactorName(std::uint32_t form_factor) { return LookUpFormFactor(form_factor).name; }

const char* SessionStateWord(std::uint32_t state) {
  return state < std::size(kSessionStates) ? kSessionStates[state] : "unknown";
}

const char* DisconnectWord(std::uint32_t reason) {
  return reason < std::size(kDisconnectReasons) ? kDisconnectReasons[reason] : "unknown";
}

const char* EventWord(EventKind kind) { return kEventWords[static_cast<std::size_t>(kind)]; }

const PropertyText& TextOf(Property property) { return kProperties[static_cast<std::size_t>(property)]; }

const PropertyText* FindProperty(const PROPERTYKEY& key) {
  const auto* found = std::find_if(std::begin(kProperties), std::end(kProperties), [&key](const PropertyText& text) {
    return IsEqualGUID(text.key->fmtid, key.fmtid) != FALSE && text.key->pid == key.pid;
  });
  return found != std::end(kProperties) ? found : nullptr;
}
