// Everything trelmo shows, made from snapshots and events alone: no view
// calls the platform, so each is a function of plain values.
#pragma once

#include "changes/changes.h"
#include "changes/plan.h"
#include "readers/snapshot.h"
#include "readers/vocabulary.h"
#include "text/json_fwd.h"
#include "text/text.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A failure in the message form: the prefix, which ends in "[0x", the code
// and "]": "Couldn't enumerate: [0x8007000E]".
std::string MessageText(std::string_view prefix, HRESULT code);

// "====== Found 2 audio devices ======", or "capture devices" for recording.
std::string HeaderLine(std::size_t count, EDataFlow flow);

// A label of the block, in the column of its first seven lines: 19
// characters and ": ", as in "Device description : ".
std::string BlockLabel(std::string_view label);

// What the layout probe says before the block, one line per failed step
// ("Couldn't activate Device: [0x88890004]"), without line ends.
std::vector<std::string> ProbeMessages(const EndpointSnapshot& endpoint);

// The accepted layout's name, or "Unknown".
std::wstring LayoutName(const EndpointSnapshot& endpoint);

// The endpoint's block: the header line, its seven lines, the lines the
// parts add, and an empty line.
struct BlockParts {
  bool details = false;
  bool formats = false;
  bool sessions = false;
};
// The defaults are the flow's default endpoints, for the details.
std::wstring Block(const EndpointSnapshot& endpoint, const BlockParts& parts, const RoleIds& defaults = {});

// The block's lines for the details: form factor, device format, speakers,
// container, volume and peak, "Unknown" for what is absent; then the roles
// the endpoint is the default for, in the document's words, or "none".
std::wstring DetailLines(const EndpointSnapshot& endpoint, const RoleIds& defaults = {});

// Whether the endpoint is the default for the role at this index of kRoles.
// One without an identifier is none's, even where a role has no default.
bool IsDefault(const EndpointSnapshot& endpoint, const RoleIds& defaults, std::size_t role);

// An endpoint of a brief listing, with its flow's default endpoints.
struct BriefEntry {
  const EndpointSnapshot* endpoint = nullptr;
  const RoleIds* defaults = nullptr;
};
// One line per entry, in their order, without line ends, in columns aligned
// over all of them: the default marks ("CMK", '-' for each role it is not
// the default for), the state word, the flow when with_flow, the friendly
// name, and the identifier last. Widths are what measure gives: the columns
// on a console, or on the text as the code page writes it. With columns
// given, a longer line is cut to that many and ends in "...", so that a
// narrow console loses the identifier first.
using TextWidthFunction = std::size_t (*)(std::wstring_view text);
std::vector<std::wstring> BriefLines(const std::vector<BriefEntry>& entries, bool with_flow,
                                     TextWidthFunction measure = DisplayWidth, std::size_t columns = 0);

// The block's lines for the formats grid: "Shared formats" and "Exclusive
// formats", each entry's rates wrapped before column 80; without a grid, why.
std::wstring FormatLines(const EndpointSnapshot& endpoint);

// The block's lines for the sessions, one each: "Session            :
// firefox.exe (pid 4312), active, volume 100 %, peak 0.42"; "none" without
// any, and the failing call and its code when they could not be read.
std::wstring SessionLines(const EndpointSnapshot& endpoint);

// A session as its line names it, "firefox.exe (pid 4312)", and as the
// line goes on: ", active, volume 100 %, muted", then the peak when asked.
std::wstring SessionLabel(const SessionFacts& session);
std::wstring SessionText(const SessionFacts& session, bool with_peak);
// A session as the document's entry has it, every member.
Json SessionEntry(const SessionFacts& session);

// The endpoint's entry in the document, its members in their order; the
// members of the formats and the sessions only when asked for.
struct EntryParts {
  bool formats = false;
  bool sessions = false;
};
Json DocumentEntry(const EndpointSnapshot& endpoint, const RoleIds& defaults, const EntryParts& parts);

// A change made, as one line: "Default for console: Headset (was Speakers)",
// "Speakers: volume 30 % -> 50 %", "Spotify.exe (pid 4312) on Speakers: muted",
// "HDMI: enabled (was disabled)", "Speakers: format 48000 Hz 16 bits -> 96000
// Hz 24 bits"; one not needed, "HDMI: already enabled"; one previewed,
// "Would set Speakers: volume 30 % -> 50 %".
std::wstring ChangeLine(const ChangeRecord& change);
// An endpoint a restore left as it is: "Skipped Headset (USB Audio): not present".
std::wstring SkippedText(const SkippedEndpoint& skipped);
// What ended a run of changes early: a choice refused, with the endpoints
// it could not choose between, or a platform call that failed.
struct ChangeProblem {
  std::string message;
  const char* call = nullptr;  // of a failed call
  HRESULT code = S_OK;
  std::vector<const EndpointSnapshot*> endpoints;
};
// What every document begins with, listing, change or error: the version
// of trelmo and when the reading started.
Json DocumentHead(std::string_view version, std::chrono::system_clock::time_point read_at);

// What a change run says as a document.
struct ChangeReport {
  std::string_view version;
  std::chrono::system_clock::time_point read_at;
  bool dry_run = false;
  std::vector<ChangeRecord> changes;
  std::optional<std::vector<SkippedEndpoint>> skipped;  // only of a restore
  std::vector<ChangeProblem> problems;
};
// The changes as one document, {"trelmo": ..., "read_at": ..., "changes":
// [...], "errors": [...]}, with "dry_run" before the changes in a dry run and
// "skipped" after them in a restore; each change with every member, null
// where it does not apply; ended with a line end.
std::string ChangeDocument(const ChangeReport& report);

// What stands for a run that could not be made, {"error": {"call": ...,
// "code": ..., "message": ...}}: pretty, or on one line for indent -1.
std::string ErrorDocumentText(const char* call, HRESULT result, const char* message, int indent);

// One line of a watch: what the text and JSON show.
struct EventLine {
  EventKind kind = EventKind::kPresent;
  std::chrono::system_clock::time_point time;
  std::optional<EDataFlow> flow;  // absent when it could not be had
  std::optional<std::wstring> id;
  std::optional<std::wstring> friendly_name;
  DWORD state = 0;                      // of present, added and state; 0 when it could not be had
  std::optional<DWORD> previous_state;  // of state and removed, when trelmo knew it
  ERole role = eConsole;                // of default
  PROPERTYKEY property{};               // of property
  // Of present with --details: the level and mute; of volume, the channels' levels too.
  std::optional<VolumeFacts> volume;
  bool by_trelmo = false;                // of volume and session-volume
  std::optional<SessionFacts> session;   // of the session events, and an error about a session
  std::uint32_t reason = 0;              // of session-removed: the AudioSessionDisconnectReason
  const char* call = nullptr;            // of error: the call that failed
  HRESULT code = S_OK;                   // and its answer
};

// The line as one JSON object, without the line end.
std::string JsonLine(const EventLine& line);
// The line as text in columns, without the line end: local time, event,
// flow, what changed, name, identifier.
std::wstring TextLine(const EventLine& line);
