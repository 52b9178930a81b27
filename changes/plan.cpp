#include "changes/plan.h"

#include "text/text.h"

#include <algorithm>

namespace {

// A plain record names no speakers: the layout a count usually means.
std::uint32_t MaskFor(std::uint32_t channels) {
  constexpr std::pair<std::uint32_t, std::uint32_t> kMasks[] = {{1, 0x4}, {2, 0x3}, {4, 0x33}, {6, 0x3F}, {8, 0x63F}};
  for (const auto& [count, mask] : kMasks) {
    if (count == channels) {
      return mask;
    }
  }
  return 0;
}

const EndpointSnapshot& EndpointOf(const ChangeTarget& target, const std::vector<FlowFacts>& flows) {
  return flows[target.flow].endpoints[target.endpoint];
}

const SessionFacts* SessionOf(const ChangeTarget& target, const std::vector<FlowFacts>& flows) {
  const EndpointSnapshot& endpoint = EndpointOf(target, flows);
  if (!target.session || !endpoint.sessions || *target.session >= endpoint.sessions->size()) {
    return nullptr;
  }
  return &(*endpoint.sessions)[*target.session];
}

std::string NameOf(const EndpointSnapshot& endpoint) { return WideToUtf8(endpoint.friendly_name.value_or(L"Unknown")); }

// The flow's endpoint with this identifier, by its name, or just the identifier.
NamedEndpoint Named(const std::wstring& id, const FlowFacts& flow) {
  if (id.empty()) {
    return {};
  }
  for (const EndpointSnapshot& endpoint : flow.endpoints) {
    if (endpoint.id == id) {
      return {endpoint.id, endpoint.friendly_name};
    }
  }
  return {id, std::nullopt};
}

MixFormatFacts FormatOf(const PcmLayout& layout) {
  MixFormatFacts facts;
  facts.sample_rate = layout.rate;
  facts.channels = static_cast<std::uint16_t>(layout.channels);
  facts.bits_per_sample = layout.container_bits;
  facts.valid_bits = layout.valid_bits;
  facts.channel_mask = layout.channel_mask;
  facts.sample_type = "pcm";
  return facts;
}

}  // namespace

bool IsEnabled(const std::optional<DWORD>& state) {
  const DWORD value = state.value_or(0);
  return value == DEVICE_STATE_ACTIVE || value == DEVICE_STATE_UNPLUGGED;
}

const char* FailureMessage(const PlannedChange& change) {
  switch (change.what) {
    case ChangeKind::kState:
      return change.enable ? "Couldn't enable the endpoint" : "Couldn't disable the endpoint";
    case ChangeKind::kFormat:
      return kFormatFailed;
    case ChangeKind::kDefault:
      return kDefaultFailed;
    case ChangeKind::kVolume:
      return kVolumeFailed;
    case ChangeKind::kMute:
    default:
      return kMuteFailed;
  }
}

std::vector<PcmLayout> FormatCandidates(const FormatSetting& setting, const MixFormatFacts& current) {
  const std::uint16_t bits = setting.bits.value_or(current.valid_bits.value_or(current.bits_per_sample));
  const std::uint32_t mask = current.channel_mask.value_or(MaskFor(current.channels));
  const auto layout = [&](WORD container) {
    return PcmLayout{setting.rate, current.channels, mask, container, static_cast<WORD>(bits)};
  };
  switch (bits) {
    case 16:
      return {layout(16)};
    case 24:
      return {layout(32), layout(24)};
    case 32:
      return {layout(32)};
    default:
      return {};
  }
}

bool IsFormat(const MixFormatFacts& current, const std::vector<PcmLayout>& candidates) {
  return std::any_of(candidates.begin(), candidates.end(), [&current](const PcmLayout& wanted) {
    return current.sample_rate == wanted.rate && current.valid_bits.value_or(current.bits_per_sample) == wanted.valid_bits &&
           std::string_view(current.sample_type) == "pcm";
  });
}

std::vector<PcmLayout> Candidates(const PlannedChange& change, const MixFormatFacts& current) {
  std::vector<PcmLayout> candidates = FormatCandidates(change.format, current);
  if (change.container && !candidates.empty()) {
    candidates.front().container_bits = *change.container;
    candidates.resize(1);
  }
  return candidates;
}

const std::optional<MixFormatFacts>& CurrentFormat(const EndpointSnapshot& endpoint) {
  return endpoint.device_format ? endpoint.device_format : endpoint.mix_format;
}

std::optional<PlanStop> PlanFormatFrom(const EndpointSnapshot& endpoint, bool compare, PlannedChange& change) {
  const std::optional<MixFormatFacts>& current = CurrentFormat(endpoint);
  if (!current) {
    const CallFailure failure = endpoint.failures.empty() ? CallFailure{Part::kEndpoint, "GetMixFormat", E_POINTER}
                                                          : endpoint.failures.back();
    return PlanStop{kFormatFailed, {}, failure.call, failure.code};
  }
  change.candidates = Candidates(change, *current);
  if (change.candidates.empty()) {
    return PlanStop{"The samples of " + NameOf(endpoint) + " are of " +
                        std::to_string(current->valid_bits.value_or(current->bits_per_sample)) +
                        " bits: say which to set, as in --set-format " + std::to_string(change.format.rate) + "/24.",
                    {}};
  }
  if (compare) {
    change.needed = !IsFormat(*current, change.candidates);
  }
  return std::nullopt;
}

std::optional<PlanStop> CheckStop(const PlannedChange& change, const std::vector<FlowFacts>& flows) {
  const EndpointSnapshot& endpoint = EndpointOf(change.target, flows);
  if (change.what == ChangeKind::kVolume && change.range && change.volume.kind == VolumeSetting::Kind::kDecibels) {
    const float level = change.volume.value;
    if (level < change.range->min_db || level > change.range->max_db) {
      return PlanStop{"Volume " + FixedDecimal(static_cast<double>(level), 1) + " dB is outside the range of " +
                          NameOf(endpoint) + ": " + FixedDecimal(static_cast<double>(change.range->min_db), 1) +
                          " dB to " + FixedDecimal(static_cast<double>(change.range->max_db), 1) + " dB.",
                      {}};
    }
  }
  if (change.what != ChangeKind::kFormat || !change.check || change.candidates.empty()) {
    return std::nullopt;
  }
  const FormatCheck& check = *change.check;
  if (check.answer == FormatCheck::Answer::kFailed) {
    return PlanStop{kFormatFailed, {}, check.call, check.code};
  }
  if (check.answer != FormatCheck::Answer::kUnsupported) {
    return std::nullopt;
  }
  std::string takes;
  for (const auto& [rate, bits] : check.takes) {
    takes += " " + std::to_string(rate) + "/" + std::to_string(bits);
  }
  const PcmLayout& wanted = change.candidates.front();
  return PlanStop{NameOf(endpoint) + " does not take " + FormatWords(FormatOf(wanted)) + "; at " +
                      std::to_string(wanted.channels) + " channels it takes" + (takes.empty() ? " none of the rates" : ":") +
                      takes + ".",
                  {}};
}

ChangeRecord RecordOf(const PlannedChange& change, const std::vector<FlowFacts>& flows) {
  const EndpointSnapshot& endpoint = EndpointOf(change.target, flows);
  ChangeRecord record;
  record.what = change.what;
  record.flow = flows[change.target.flow].flow;
  record.id = endpoint.id;
  record.friendly_name = endpoint.friendly_name;
  if (const SessionFacts* session = SessionOf(change.target, flows)) {
    record.session = ChangedSession{session->process_id.value_or(0), session->process_name};
  }
  record.role = change.role;
  record.decibels = change.what == ChangeKind::kVolume && change.volume.kind == VolumeSetting::Kind::kDecibels;
  record.needed = change.needed;
  record.before_state = endpoint.state;
  record.before_format = CurrentFormat(endpoint);
  if (!change.needed) {
    record.after_state = record.before_state;
    record.after_format = record.before_format;
  }
  return record;
}

namespace {

// A level or mute there is now, of the session or else of the endpoint.
std::optional<float> LevelNow(const PlannedChange& change, bool decibels, const std::vector<FlowFacts>& flows) {
  if (const SessionFacts* session = SessionOf(change.target, flows)) {
    return session->volume;
  }
  const std::optional<VolumeFacts>& volume = EndpointOf(change.target, flows).volume;
  if (!volume) {
    return std::nullopt;
  }
  return decibels ? volume->level_db : volume->level;
}

std::optional<bool> MutedNow(const PlannedChange& change, const std::vector<FlowFacts>& flows) {
  if (const SessionFacts* session = SessionOf(change.target, flows)) {
    return session->muted;
  }
  const std::optional<VolumeFacts>& volume = EndpointOf(change.target, flows).volume;
  return volume ? volume->muted : std::nullopt;
}

// The format a change would set: the record the check took, or the first.
MixFormatFacts WouldSet(const PlannedChange& change) {
  const bool taken = change.check && change.check->answer == FormatCheck::Answer::kAccepted;
  return FormatOf(change.candidates[std::min(taken ? change.check->accepted : 0, change.candidates.size() - 1)]);
}

}  // namespace

ChangeRecord Preview(const PlannedChange& change, const std::vector<FlowFacts>& flows) {
  ChangeRecord record = RecordOf(change, flows);
  if (!change.needed) {
    return record;
  }
  record.preview = true;
  const FlowFacts& flow = flows[change.target.flow];
  const EndpointSnapshot& endpoint = EndpointOf(change.target, flows);
  switch (change.what) {
    case ChangeKind::kState:
      record.after_state = change.enable ? DEVICE_STATE_ACTIVE : DEVICE_STATE_DISABLED;
      break;
    case ChangeKind::kFormat:
      if (!change.candidates.empty()) {
        record.after_format = WouldSet(change);
      }
      break;
    case ChangeKind::kDefault:
      record.before_default = Named(flow.defaults[static_cast<std::size_t>(change.role)], flow);
      record.after_default = {endpoint.id, endpoint.friendly_name};
      break;
    case ChangeKind::kVolume:
      record.before_level = LevelNow(change, record.decibels, flows);
      // A step from a level that could not be read goes nowhere known.
      if (record.before_level || change.volume.kind != VolumeSetting::Kind::kStep) {
        record.after_level = VolumeTarget(change.volume, record.before_level.value_or(0.0F));
      }
      break;
    case ChangeKind::kMute:
      record.before_muted = MutedNow(change, flows);
      if (record.before_muted || change.mute != MuteSetting::kToggle) {
        record.after_muted = MuteTarget(change.mute, record.before_muted.value_or(false));
      }
      break;
  }
  return record;
}

std::string FormatWords(const std::optional<MixFormatFacts>& format) {
  if (!format) {
    return "unknown";
  }
  return std::to_string(format->sample_rate) + " Hz " +
         std::to_string(format->valid_bits.value_or(format->bits_per_sample)) + " bits";
}
