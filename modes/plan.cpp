#include "modes/plan.h"

#include "text/text.h"

#include <algorithm>
#include <cmath>

namespace {

// A change of the default names the endpoint by its identifier: one without
// cannot be chosen for it.
bool Chosen(const Options& options, const EndpointSnapshot& endpoint, const RoleIds& defaults) {
  const bool sets_default = !options.set_default.empty() || !options.cycle_default.empty();
  return (endpoint.id || !sets_default) && options.filter.Keeps(endpoint, defaults);
}

// Without a state word, what is not enabling or disabling acts on active
// endpoints and on those the run enables first.
bool Reachable(const Options& options, const EndpointSnapshot& endpoint) {
  const DWORD state = endpoint.state.value_or(0);
  return options.states_given || state == DEVICE_STATE_ACTIVE || (options.enable && state == DEVICE_STATE_DISABLED);
}

PlannedChange Change(ChangeKind what, ChangeTarget target) {
  PlannedChange change;
  change.what = what;
  change.target = target;
  return change;
}

// The endpoint after the flow's default for the role among the chosen, in
// listing order and wrapping; the first when the default is not among them.
std::size_t NextAfterDefault(const FlowFacts& flow, const std::vector<std::size_t>& chosen, ERole role) {
  const std::wstring& current = flow.defaults[static_cast<std::size_t>(role)];
  for (std::size_t at = 0; at < chosen.size(); ++at) {
    if (!current.empty() && flow.endpoints[chosen[at]].id == current) {
      return chosen[(at + 1) % chosen.size()];
    }
  }
  return chosen.front();
}

// The endpoints of each flow that each kind of change acts on.
struct Choice {
  std::vector<ChangeTarget> states;
  std::vector<ChangeTarget> formats;
  std::vector<std::vector<std::size_t>> defaults;  // per flow
  std::vector<ChangeTarget> levels;                // endpoints, or with --app sessions
  bool any = false;
};

// The sessions of the endpoint the apps choose, whose volume can be changed.
void ChooseSessions(const Options& options, const EndpointSnapshot& endpoint, const ChangeTarget& target,
                    Choice& choice) {
  for (std::size_t session = 0; endpoint.sessions && session < endpoint.sessions->size(); ++session) {
    const SessionFacts& facts = (*endpoint.sessions)[session];
    if (facts.volume_control && facts.process_name && options.filter.KeepsSession(facts)) {
      choice.levels.push_back({target.flow, target.endpoint, session});
    }
  }
}

// Adds the endpoint to the changes it is chosen for.
void ChooseEndpoint(const Options& options, const EndpointSnapshot& endpoint, const ChangeTarget& target,
                    Choice& choice) {
  const bool reachable = Reachable(options, endpoint);
  const bool by_id = endpoint.id.has_value();
  const bool state = (options.enable || options.disable) && by_id;
  const bool format = options.set_format && reachable && by_id;
  const bool is_default = (!options.set_default.empty() || !options.cycle_default.empty()) && reachable;
  const bool level = (options.set_volume || options.Mute()) && reachable;
  choice.any = choice.any || state || format || is_default || level;
  if (state) {
    choice.states.push_back(target);
  }
  if (format) {
    choice.formats.push_back(target);
  }
  if (is_default) {
    choice.defaults.back().push_back(target.endpoint);
  }
  if (level && options.filter.apps.empty()) {
    choice.levels.push_back(target);
  } else if (level) {
    ChooseSessions(options, endpoint, target, choice);
  }
}

Choice Choose(const Options& options, const std::vector<FlowFacts>& flows) {
  Choice choice;
  for (std::size_t at = 0; at < flows.size(); ++at) {
    const FlowFacts& flow = flows[at];
    choice.defaults.emplace_back();
    for (std::size_t place = 0; options.filter.Lists(flow.flow) && place < flow.endpoints.size(); ++place) {
      if (Chosen(options, flow.endpoints[place], flow.defaults)) {
        ChooseEndpoint(options, flow.endpoints[place], {at, place, std::nullopt}, choice);
      }
    }
  }
  return choice;
}

std::optional<PlanStop> Refusal(const Options& options, const Choice& choice) {
  if (!choice.any) {
    return PlanStop{"No endpoint chosen.", {}};
  }
  if (!options.set_default.empty()) {
    PlanStop ambiguous{"More than one endpoint chosen:", {}};
    for (std::size_t flow = 0; flow < choice.defaults.size(); ++flow) {
      for (std::size_t at = 0; choice.defaults[flow].size() > 1 && at < choice.defaults[flow].size(); ++at) {
        ambiguous.endpoints.push_back({flow, choice.defaults[flow][at], std::nullopt});
      }
    }
    if (!ambiguous.endpoints.empty()) {
      return ambiguous;
    }
  }
  if (!options.filter.apps.empty() && choice.levels.empty()) {
    return PlanStop{"No session chosen.", {}};
  }
  return std::nullopt;
}

// The format asked of an endpoint, from the format it has; an endpoint the
// run enables first may have none to read yet, and gets it planned then.
std::optional<PlanStop> PlanFormat(const Options& options, const EndpointSnapshot& endpoint, PlannedChange& change) {
  change.format = *options.set_format;
  if (!CurrentFormat(endpoint) && options.enable && endpoint.state == DWORD{DEVICE_STATE_DISABLED}) {
    return std::nullopt;
  }
  return PlanFormatFrom(endpoint, true, change);
}

void PlanDefaults(const Options& options, const std::vector<FlowFacts>& flows, const Choice& choice, Plan& plan) {
  const bool cycle = !options.cycle_default.empty();
  const std::vector<ERole>& roles = cycle ? options.cycle_default : options.set_default;
  for (std::size_t flow = 0; flow < choice.defaults.size() && !roles.empty(); ++flow) {
    const std::vector<std::size_t>& chosen = choice.defaults[flow];
    if (chosen.empty()) {
      continue;
    }
    // Cycling for several roles moves them together, following the console's default.
    const bool console = std::find(roles.begin(), roles.end(), eConsole) != roles.end();
    const std::size_t next = cycle ? NextAfterDefault(flows[flow], chosen, console ? eConsole : roles.front())
                                   : chosen.front();
    for (const ERole role : roles) {
      PlannedChange change = Change(ChangeKind::kDefault, {flow, next, std::nullopt});
      change.role = role;
      plan.changes.push_back(change);
    }
  }
}

}  // namespace

Plan PlanChanges(const Options& options, const std::vector<FlowFacts>& flows) {
  Plan plan;
  const Choice choice = Choose(options, flows);
  plan.stop = Refusal(options, choice);
  if (plan.stop) {
    return plan;
  }
  const auto endpoint = [&flows](const ChangeTarget& target) -> const EndpointSnapshot& {
    return flows[target.flow].endpoints[target.endpoint];
  };
  for (const ChangeTarget& target : options.enable ? choice.states : std::vector<ChangeTarget>{}) {
    PlannedChange change = Change(ChangeKind::kState, target);
    change.enable = true;
    change.needed = !IsEnabled(endpoint(target).state);
    plan.changes.push_back(change);
  }
  for (const ChangeTarget& target : choice.formats) {
    PlannedChange change = Change(ChangeKind::kFormat, target);
    if ((plan.stop = PlanFormat(options, endpoint(target), change))) {
      plan.changes.clear();
      return plan;
    }
    plan.changes.push_back(change);
  }
  PlanDefaults(options, flows, choice, plan);
  for (const ChangeTarget& target : options.set_volume ? choice.levels : std::vector<ChangeTarget>{}) {
    PlannedChange change = Change(ChangeKind::kVolume, target);
    change.volume = *options.set_volume;
    plan.changes.push_back(change);
  }
  for (const ChangeTarget& target : options.Mute() ? choice.levels : std::vector<ChangeTarget>{}) {
    PlannedChange change = Change(ChangeKind::kMute, target);
    change.mute = *options.Mute();
    plan.changes.push_back(change);
  }
  for (const ChangeTarget& target : options.disable ? choice.states : std::vector<ChangeTarget>{}) {
    PlannedChange change = Change(ChangeKind::kState, target);
    change.needed = endpoint(target).state != DWORD{DEVICE_STATE_DISABLED};
    plan.changes.push_back(change);
  }
  return plan;
}

bool NeedsFormat(const Options& options, const EndpointSnapshot& endpoint, const RoleIds& defaults) {
  return (options.set_format || options.restore) && Chosen(options, endpoint, defaults) &&
         (options.restore || Reachable(options, endpoint));
}

bool NeedsVolume(const Options& options, const EndpointSnapshot& endpoint, const RoleIds& defaults) {
  const bool levels = options.set_volume || options.Mute();
  return ((options.dry_run && levels && options.filter.apps.empty()) || options.restore) &&
         endpoint.state == DWORD{DEVICE_STATE_ACTIVE} && Chosen(options, endpoint, defaults);
}

namespace {

// The current endpoint a saved one is, by its identifier, letter case ignored.
std::optional<ChangeTarget> Find(const std::vector<FlowFacts>& flows, const SavedEndpoint& saved) {
  for (std::size_t flow = 0; flow < flows.size(); ++flow) {
    if (flows[flow].flow != saved.flow) {
      continue;
    }
    for (std::size_t at = 0; at < flows[flow].endpoints.size(); ++at) {
      const std::optional<std::wstring>& id = flows[flow].endpoints[at].id;
      if (id && EqualsIgnoringCase(*id, saved.id)) {
        return ChangeTarget{flow, at, std::nullopt};
      }
    }
  }
  return std::nullopt;
}

bool Differs(const std::optional<float>& saved, const std::optional<float>& now, float tolerance) {
  return saved.has_value() && (!now.has_value() || std::fabs(saved.value() - now.value()) >= tolerance);
}

bool FormatDiffers(const MixFormatFacts& saved, const std::optional<MixFormatFacts>& current) {
  return !current || current->sample_rate != saved.sample_rate || current->bits_per_sample != saved.bits_per_sample ||
         current->valid_bits.value_or(current->bits_per_sample) != saved.valid_bits.value_or(saved.bits_per_sample) ||
         std::string_view(current->sample_type) != "pcm";
}

// The plan of a restore, made a kind of change at a time over the saved
// endpoints matched to the current ones.
class RestorePlanner {
 public:
  RestorePlanner(const Options& options, const std::vector<FlowFacts>& flows) : options_(options), flows_(flows) {}

  Plan Make(const SavedSetup& setup) {
    for (const SavedEndpoint& saved : setup.endpoints) {
      MatchOrSkip(saved);
    }
    for (const Match& match : matches_) {
      if (Enabling(match)) {
        PlannedChange change = Change(ChangeKind::kState, match.target);
        change.enable = true;
        plan_.changes.push_back(change);
      }
    }
    for (const Match& match : matches_) {
      PlanFormat(match);
    }
    for (std::size_t flow = 0; flow < flows_.size(); ++flow) {
      for (const ERole role : kRoles) {
        PlanDefault(flow, role);
      }
    }
    for (const Match& match : matches_) {
      PlanVolume(match);
    }
    for (const Match& match : matches_) {
      PlanMute(match);
    }
    for (const Match& match : matches_) {
      if (match.saved->state == DWORD{DEVICE_STATE_DISABLED} && Now(match).state == DWORD{DEVICE_STATE_ACTIVE}) {
        plan_.changes.push_back(Change(ChangeKind::kState, match.target));
      }
    }
    return std::move(plan_);
  }

 private:
  struct Match {
    const SavedEndpoint* saved = nullptr;
    ChangeTarget target;
  };

  // A saved endpoint the choosers keep is matched to the current one, or
  // skipped when it is not there or unplugged.
  void MatchOrSkip(const SavedEndpoint& saved) {
    if (!options_.filter.Lists(saved.flow)) {
      return;
    }
    const std::optional<ChangeTarget> found = Find(flows_, saved);
    if (!found) {
      if (options_.filter.Keeps(saved.id.c_str(), saved.friendly_name ? saved.friendly_name->c_str() : nullptr)) {
        plan_.skipped.push_back({saved.id, saved.friendly_name, "not present"});
      }
      return;
    }
    const EndpointSnapshot& endpoint = flows_[found->flow].endpoints[found->endpoint];
    if (!options_.filter.Keeps(endpoint, flows_[found->flow].defaults)) {
      return;
    }
    if (endpoint.state == DWORD{DEVICE_STATE_UNPLUGGED}) {
      plan_.skipped.push_back({saved.id, saved.friendly_name, "unplugged"});
      return;
    }
    matches_.push_back({&saved, *found});
  }

  [[nodiscard]] const EndpointSnapshot& Now(const Match& match) const {
    return flows_[match.target.flow].endpoints[match.target.endpoint];
  }
  [[nodiscard]] bool Enabling(const Match& match) const {
    return match.saved->state == DWORD{DEVICE_STATE_ACTIVE} && Now(match).state == DWORD{DEVICE_STATE_DISABLED};
  }
  // What is set on an endpoint needs it active, or enabled first.
  [[nodiscard]] bool Usable(const Match& match) const {
    return Now(match).state == DWORD{DEVICE_STATE_ACTIVE} || Enabling(match);
  }

  // A saved PCM format as the one record to offer, at the endpoint's layout.
  void PlanFormat(const Match& match) {
    const std::optional<MixFormatFacts>& saved = match.saved->device_format;
    if (!saved || std::string_view(saved->sample_type) != "pcm" || !Usable(match) ||
        !FormatDiffers(*saved, CurrentFormat(Now(match)))) {
      return;
    }
    PlannedChange change = Change(ChangeKind::kFormat, match.target);
    change.format = {saved->sample_rate, saved->valid_bits.value_or(saved->bits_per_sample)};
    change.container = saved->bits_per_sample;
    // Without a format to keep the layout of, an active endpoint's format is
    // left as it is; one enabled first has it read once it is.
    const std::optional<MixFormatFacts>& current = CurrentFormat(Now(match));
    if (current) {
      change.candidates = Candidates(change, *current);
    }
    if (current || Enabling(match)) {
      plan_.changes.push_back(change);
    }
  }

  void PlanDefault(std::size_t flow, ERole role) {
    const std::wstring& current = flows_[flow].defaults[static_cast<std::size_t>(role)];
    for (const Match& match : matches_) {
      const std::vector<ERole>& roles = match.saved->default_for;
      if (match.target.flow == flow && Usable(match) && std::find(roles.begin(), roles.end(), role) != roles.end() &&
          !EqualsIgnoringCase(current, match.saved->id)) {
        PlannedChange change = Change(ChangeKind::kDefault, match.target);
        change.role = role;
        plan_.changes.push_back(change);
      }
    }
  }

  // The level in dB where the file has it, otherwise the scalar level; what
  // could not be read now differs from anything saved.
  void PlanVolume(const Match& match) {
    const VolumeFacts volume = Now(match).volume.value_or(VolumeFacts{});
    PlannedChange change = Change(ChangeKind::kVolume, match.target);
    if (match.saved->level_db) {
      change.volume = {VolumeSetting::Kind::kDecibels, *match.saved->level_db};
      change.needed = Differs(match.saved->level_db, volume.level_db, 0.05F);
    } else {
      change.volume = {VolumeSetting::Kind::kPercent, match.saved->level.value_or(0.0F) * 100.0F};
      change.needed = Differs(match.saved->level, volume.level, 0.005F);
    }
    if (Usable(match) && change.needed) {
      plan_.changes.push_back(change);
    }
  }

  void PlanMute(const Match& match) {
    const std::optional<bool> muted = Now(match).volume.value_or(VolumeFacts{}).muted;
    if (Usable(match) && match.saved->muted && muted != match.saved->muted) {
      PlannedChange change = Change(ChangeKind::kMute, match.target);
      change.mute = *match.saved->muted ? MuteSetting::kMute : MuteSetting::kUnmute;
      plan_.changes.push_back(change);
    }
  }

  const Options& options_;
  const std::vector<FlowFacts>& flows_;
  std::vector<Match> matches_;
  Plan plan_;
};

}  // namespace

Plan PlanRestore(const SavedSetup& setup, const Options& options, const std::vector<FlowFacts>& flows) {
  return RestorePlanner(options, flows).Make(setup);
}
