// Watching endpoints change (--watch): what the command line needs of it.
#pragma once

#include "platform/core_audio.h"

struct Options;

// Registers for the platform's endpoint notifications, writes a "present"
// line for each endpoint the options list, then one line per change of an
// endpoint of a listed flow, until stopped: by the console (Ctrl+C, closing
// it, log-off, shutdown), by a write that fails, after --events changes or
// after --timeout seconds. Text lines, or JSON Lines with --json. 0 when
// stopped; 1 when --timeout ended it before --events changes came; -1, with
// the tool's message or error document, when the watch could not start.
int RunWatch(const Options& options, CreateInstanceFunction create_instance);
