// What the command line asks of a run.
#pragma once

#include "changes/changes.h"
#include "platform/core_audio.h"
#include "readers/snapshot.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Which endpoints a run covers: the states and flows to list, and the
// choosers. An endpoint is kept when its state is one of the states and,
// with a chooser given, its identifier equals one of the ids, its friendly
// name contains one of the names (letter case ignored), or it is its flow's
// default for one of the roles. The apps choose among its sessions.
struct EndpointFilter {
  std::uint32_t states = DEVICE_STATE_ACTIVE;  // DEVICE_STATE_* bits
  std::vector<EDataFlow> flows = {eRender};    // in the order they are listed
  std::vector<std::wstring> ids;
  std::vector<std::wstring> names;
  std::vector<ERole> default_roles;
  std::vector<std::wstring> apps;  // parts of a session's process image name

  [[nodiscard]] bool Chooses() const { return !ids.empty() || !names.empty() || !default_roles.empty(); }
  [[nodiscard]] bool Lists(EDataFlow flow) const;
  [[nodiscard]] bool Lets(std::uint32_t state) const { return (state & states) != 0; }
  // The identifier or name may be null: absent, it matches nothing. The
  // defaults are the flow's, for the default chooser.
  [[nodiscard]] bool Keeps(const wchar_t* id, const wchar_t* friendly_name, const RoleIds& defaults = {}) const;
  // Its state let through and the choosers keeping it.
  [[nodiscard]] bool Keeps(const EndpointSnapshot& endpoint, const RoleIds& defaults = {}) const;
  // Whether the apps keep the session: every session when none is given.
  [[nodiscard]] bool KeepsSession(const SessionFacts& session) const;
  // Leaves the endpoint only the sessions the apps keep.
  void ChooseSessions(EndpointSnapshot& endpoint) const;
};

struct Options {
  bool json = false;
  bool no_pause = false;
  bool render = false;
  bool capture = false;
  bool details = false;
  bool brief = false;
  bool formats = false;
  bool sessions = false;
  bool help = false;
  bool version = false;
  bool quiet = false;  // no message box from trelmow.exe
  bool watch = false;
  std::uint32_t events = 0;   // --events: 0 when not given
  std::uint32_t timeout = 0;  // --timeout in seconds: 0 when not given
  EndpointFilter filter;
  bool states_given = false;  // a state word narrows every change to its states
  // What to change, in the order it is changed.
  bool enable = false;
  bool disable = false;
  std::optional<FormatSetting> set_format;
  std::vector<ERole> set_default;    // roles the chosen endpoint becomes the default for
  std::vector<ERole> cycle_default;  // roles the next chosen endpoint becomes the default for
  std::optional<VolumeSetting> set_volume;
  bool mute = false;
  bool unmute = false;
  bool toggle_mute = false;
  std::optional<std::wstring> restore;  // --restore: the saved setup's file, as typed
  bool dry_run = false;                 // read and check everything, change nothing
  std::optional<std::wstring> save;     // --save: the file the document goes to, as typed

  [[nodiscard]] bool Changes() const {
    return enable || disable || set_format || !set_default.empty() || !cycle_default.empty() || set_volume || mute ||
           unmute || toggle_mute || restore;
  }
  [[nodiscard]] std::optional<MuteSetting> Mute() const {
    if (mute) {
      return MuteSetting::kMute;
    }
    if (unmute) {
      return MuteSetting::kUnmute;
    }
    if (toggle_mute) {
      return MuteSetting::kToggle;
    }
    return std::nullopt;
  }
};
