// A change run as plain values: the endpoints as read, the changes that
// follow from what was asked (by the command line or by a saved setup), in
// the order they are made, and what stops the run before its first change.
// A real run applies the plan step by step; a dry run previews it. Nothing
// here calls the platform.
#pragma once

#include "changes/changes.h"
#include "readers/reader.h"
#include "readers/snapshot.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The endpoints of one flow as read before anything changes, in listing order.
struct FlowFacts {
  EDataFlow flow = eRender;
  RoleIds defaults;
  std::vector<EndpointSnapshot> endpoints;
};

// Where a change acts: an endpoint of a flow, or one of its sessions by place.
struct ChangeTarget {
  std::size_t flow = 0;
  std::size_t endpoint = 0;
  std::optional<std::size_t> session;
};

struct PlannedChange {
  ChangeKind what = ChangeKind::kVolume;
  ChangeTarget target;
  bool needed = true;  // false: already so, reported without a call
  bool enable = false;                       // of a state
  FormatSetting format;                      // of a format, as asked
  std::optional<WORD> container;             // of a format: the container bits, when those too are asked
  std::vector<PcmLayout> candidates;         // of a format: offered in order, the first taken is set
  std::optional<FormatCheck> check;          // of a format: the endpoint's answer, once asked
  ERole role = eConsole;                     // of a default
  VolumeSetting volume;                      // of a volume
  std::optional<VolumeFacts::Range> range;   // of a volume in dB: the endpoint's range, once read
  MuteSetting mute = MuteSetting::kMute;     // of a mute
};

// What ends a run before a change: a refusal (status 1), with the endpoints
// it could not choose between, or a platform call that failed (status -1).
struct PlanStop {
  std::string message;
  std::vector<ChangeTarget> endpoints;
  const char* call = nullptr;
  HRESULT code = S_OK;

  [[nodiscard]] bool Failed() const { return call != nullptr; }
};

// An endpoint of a saved setup left as it is, and why: "not present" or "unplugged".
struct SkippedEndpoint {
  std::optional<std::wstring> id;
  std::optional<std::wstring> friendly_name;
  const char* reason = "";
};

struct Plan {
  std::vector<PlannedChange> changes;
  std::optional<PlanStop> stop;
  std::vector<SkippedEndpoint> skipped;
};

// Whether the state is one of an enabled endpoint: an unplugged endpoint
// is enabled, it only lacks its jack.
bool IsEnabled(const std::optional<DWORD>& state);

// The messages of a call that failed, by what it was for.
inline constexpr const char* kDefaultFailed = "Couldn't set the default endpoint";
inline constexpr const char* kVolumeFailed = "Couldn't set volume";
inline constexpr const char* kMuteFailed = "Couldn't set mute";
inline constexpr const char* kFormatFailed = "Couldn't set the format";
const char* FailureMessage(const PlannedChange& change);

// The records to offer for a format, in order: the rate asked at the
// current format's channels and mask (a plain record gets the layout
// table's mask for its channel count), with the bits asked or else the
// current format's valid bits; 24 bits in a 32-bit container first. None
// when the bits cannot be told.
std::vector<PcmLayout> FormatCandidates(const FormatSetting& setting, const MixFormatFacts& current);
// Whether the current format already is one of those asked.
bool IsFormat(const MixFormatFacts& current, const std::vector<PcmLayout>& candidates);
// The records a format change offers, from the format the endpoint has:
// those above, or with a container asked, that one record alone.
std::vector<PcmLayout> Candidates(const PlannedChange& change, const MixFormatFacts& current);
// Plans a format change from the format the endpoint has: the records to
// offer and, when compare is set (a restore has decided it differs
// already), whether it already is one of them. Without a format read, the
// failure that kept it away; without bits to tell, a refusal.
std::optional<PlanStop> PlanFormatFrom(const EndpointSnapshot& endpoint, bool compare, PlannedChange& change);
// The format a change starts from: the device format, or the mix format without one.
const std::optional<MixFormatFacts>& CurrentFormat(const EndpointSnapshot& endpoint);

// What the change's check says stops the run: a level out of the
// endpoint's range, or a format the endpoint refused or could not be asked.
std::optional<PlanStop> CheckStop(const PlannedChange& change, const std::vector<FlowFacts>& flows);

// The change as the record a run starts from: what it acts on and what was
// read of it before. A change not needed has its after already.
ChangeRecord RecordOf(const PlannedChange& change, const std::vector<FlowFacts>& flows);
// The record of a dry run: what would be set as its after.
ChangeRecord Preview(const PlannedChange& change, const std::vector<FlowFacts>& flows);

// "48000 Hz 16 bits", from the valid bits where the record has them.
std::string FormatWords(const std::optional<MixFormatFacts>& format);
