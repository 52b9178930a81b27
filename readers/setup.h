// A saved setup: a document trelmo wrote (with --save, or --json and any
// options), read back as plain values. What a restore does not use is not
// kept; a member that is null or absent stays absent.
#pragma once

#include "platform/core_audio.h"
#include "readers/snapshot.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SavedEndpoint {
  std::wstring id;
  EDataFlow flow = eRender;
  std::optional<std::wstring> friendly_name;
  std::optional<DWORD> state;  // absent for a word that is not exactly one state
  std::optional<MixFormatFacts> device_format;
  std::vector<ERole> default_for;
  std::optional<float> level_db;
  std::optional<float> level;  // 0.0 to 1.0
  std::optional<bool> muted;
};

struct SavedSetup {
  std::vector<SavedEndpoint> endpoints;
};

// The setup, or why the text is not one, in one line: not JSON (with the
// byte, counted from 1, where it stops being JSON), not a trelmo document,
// or two endpoints of one flow the default for the same role.
struct SetupReading {
  std::optional<SavedSetup> setup;
  std::string why;
};
SetupReading ReadSetup(std::string_view text);
