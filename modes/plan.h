// The plans of a change run, from the command line or from a saved setup:
// pure functions of what was asked and the endpoints as read.
#pragma once

#include "changes/plan.h"
#include "modes/options.h"
#include "readers/setup.h"

#include <vector>

// The changes the options ask of the endpoints their choosers choose, in
// the run's order: enable, format, default, volume, mute, disable. The
// choice is refused when it is empty, or ambiguous for a default.
Plan PlanChanges(const Options& options, const std::vector<FlowFacts>& flows);

// The changes that bring the endpoints the options choose back to the
// setup, in the same order: only what differs from it.
Plan PlanRestore(const SavedSetup& setup, const Options& options, const std::vector<FlowFacts>& flows);

// Which endpoints a run must read more of before it plans: their format, or
// their volume, because a change or a preview of it starts from there.
bool NeedsFormat(const Options& options, const EndpointSnapshot& endpoint, const RoleIds& defaults);
bool NeedsVolume(const Options& options, const EndpointSnapshot& endpoint, const RoleIds& defaults);
