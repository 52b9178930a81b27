// What the command line asks of a run.
#pragma once

#include "platform/core_audio.h"
#include "readers/snapshot.h"

#include <cstdint>
#include <string>
#include <vector>

// Which endpoints a run covers: the states and flows to list, and the
// choosers. An endpoint is kept when its state is one of the states and,
// with a chooser given, its identifier equals one of the ids or its friendly
// name contains one of the names, letter case ignored.
struct EndpointFilter {
  std::uint32_t states = DEVICE_STATE_ACTIVE;  // DEVICE_STATE_* bits
  std::vector<EDataFlow> flows = {eRender};    // in the order they are listed
  std::vector<std::wstring> ids;
  std::vector<std::wstring> names;

  [[nodiscard]] bool Chooses() const { return !ids.empty() || !names.empty(); }
  [[nodiscard]] bool Lists(EDataFlow flow) const;
  [[nodiscard]] bool Lets(std::uint32_t state) const { return (state & states) != 0; }
  // The identifier or name may be null: absent, it matches nothing.
  [[nodiscard]] bool Keeps(const wchar_t* id, const wchar_t* friendly_name) const;
  // Its state let through and the choosers keeping it.
  [[nodiscard]] bool Keeps(const EndpointSnapshot& endpoint) const;
};

struct Options {
  bool json = false;
  bool no_pause = false;
  bool render = false;
  bool capture = false;
  bool details = false;
  bool brief = false;
  bool formats = false;
  bool help = false;
  bool version = false;
  bool watch = false;
  std::uint32_t events = 0;   // --events: 0 when not given
  std::uint32_t timeout = 0;  // --timeout in seconds: 0 when not given
  EndpointFilter filter;
};
