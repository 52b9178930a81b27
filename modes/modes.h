// The ways trelmo runs once the command line is read.
#pragma once

#include "modes/options.h"
#include "platform/core_audio.h"
#include "platform/handles.h"

#include <cstddef>
#include <string_view>

// Lists the endpoints as text blocks, or with --brief one line each, under a
// header per flow and runs the pause (unless --no-pause). 0 when the listing
// completed; 1 when it did but the choosers chose no endpoint, or --app no
// session; -1 when the endpoints could not be listed. The enumerator comes from create_instance;
// main passes CoCreateInstance.
int RunListing(const Options& options, CreateInstanceFunction create_instance, void (*pause)());

// Reads one endpoint of the flow and prints its block when the options'
// filter lets its state through; reads and prints nothing more otherwise.
// position and count say where it is in the listing, for the progress line;
// defaults are the flow's default endpoints, for the details. The number of
// sessions it showed.
std::size_t ListEndpoint(ComHandle<IMMDevice> device, EDataFlow flow, const Options& options, std::size_t position = 1,
                  std::size_t count = 1, const RoleIds& defaults = {});

// The same endpoints as one JSON document, which names the version of trelmo
// and when it was read; never pauses. 0, 1 when the choosers chose no
// endpoint or --app no session, or -1 with an error document (which names
// them too) when the endpoints could not be listed.
// With --save the document goes to the file instead, replacing it whole or
// not at all; -1 and a message on standard error when it cannot.
int RunDocument(const Options& options, CreateInstanceFunction create_instance, std::string_view version);

// Writes a "present" line for each endpoint the options list, then one line
// per change of an endpoint of a listed flow, until stopped: by the console
// (Ctrl+C, closing it, log-off, shutdown), by a write that fails, after
// --events changes or after --timeout seconds. Text lines, or JSON Lines
// with --json. 0 when stopped; 1 when --timeout ended it before --events
// changes came; -1, with the tool's message or error document, when the
// watch could not start.
int RunWatch(const Options& options, CreateInstanceFunction create_instance);

// Changes what the options ask (or with --restore what differs from the
// saved setup), in the order enable, format, default, volume, mute, disable,
// on the endpoints (or with --app the sessions) the choosers choose, after
// checking everything it needs; one line per change made, or with --json one
// document, as the platform reads each before and after. With --dry-run it
// reads and checks the same and says what it would change. 0 when
// everything was changed; 1, changing nothing, when the choice is empty or
// ambiguous, a level is out of range, a format is refused or the setup file
// is not one; -1, with the changes made so far, when a platform call failed.
// What went wrong goes to standard error.
int RunChanges(const Options& options, CreateInstanceFunction create_instance, std::string_view version);

// Runs the command interpreter's "pause".
void Pause();
