#include "views/views.h"

#include "text/json.h"
#include "text/text.h"

namespace {

Json Text(const std::optional<std::wstring>& text) { return JsonText(text ? text->c_str() : nullptr); }

Json MixFormat(const std::optional<MixFormatFacts>& facts) {
  if (!facts) {
    return nullptr;
  }
  Json format = Json::object();
  format["sample_rate"] = facts->sample_rate;
  format["channels"] = facts->channels;
  format["bits_per_sample"] = facts->bits_per_sample;
  format["valid_bits"] = facts->valid_bits ? Json(*facts->valid_bits) : Json(nullptr);
  format["channel_mask"] = facts->channel_mask ? Json(*facts->channel_mask) : Json(nullptr);
  format["sample_type"] = facts->sample_type;
  return format;
}

// A float as the shortest decimal that is the same float, or null.
Json Number(const std::optional<float>& value) { return value ? Json(ShortestDecimal(*value)) : Json(nullptr); }

Json Volume(const std::optional<VolumeFacts>& volume) {
  if (!volume) {
    return nullptr;
  }
  Json facts = Json::object();
  facts["level"] = Number(volume->level);
  facts["level_db"] = Number(volume->level_db);
  facts["muted"] = volume->muted ? Json(*volume->muted) : Json(nullptr);
  if (volume->range_db) {
    facts["range_db"] = {{"min", Number(volume->range_db->min_db)},
                         {"max", Number(volume->range_db->max_db)},
                         {"step", Number(volume->range_db->step_db)}};
  } else {
    facts["range_db"] = nullptr;
  }
  if (volume->channel_levels) {
    Json levels = Json::array();
    for (const std::optional<float>& level : *volume->channel_levels) {
      levels.push_back(Number(level));
    }
    facts["channel_levels"] = std::move(levels);
  } else {
    facts["channel_levels"] = nullptr;
  }
  return facts;
}

Json Errors(const std::vector<CallFailure>& failures) {
  Json errors = Json::array();
  for (const CallFailure& failure : failures) {
    Json error = Json::object();
    error["call"] = failure.call;
    if (failure.session) {
      error["session"] = *failure.session;
    }
    if (failure.mode != nullptr) {
      error["mode"] = failure.mode;
    }
    error["code"] = JsonCode(failure.code);
    if (failure.property != nullptr) {
      error["property"] = failure.property;
    }
    // The audio client is the endpoint's own: its activation is named by the call alone.
    if (failure.interface_name != nullptr && failure.interface_name != std::string_view(InterfaceId<IAudioClient>::kName)) {
      error["interface"] = failure.interface_name;
    }
    errors.push_back(std::move(error));
  }
  return errors;
}

Json FormatEntries(const std::vector<FormatEntry>& entries) {
  Json list = Json::array();
  for (const FormatEntry& entry : entries) {
    list.push_back({{"layout", std::string(entry.layout->name)},
                    {"channels", entry.layout->channels},
                    {"channel_mask", entry.layout->channel_mask},
                    {"sample_type", entry.sample_type},
                    {"sample_rates", entry.sample_rates}});
  }
  return list;
}

Json Formats(const std::optional<FormatSupport>& formats) {
  if (!formats) {
    return nullptr;
  }
  Json member = Json::object();
  member["shared"] = FormatEntries(formats->shared.entries);
  member["exclusive_allowed"] = formats->exclusive_allowed;
  member["exclusive"] = FormatEntries(formats->exclusive.entries);
  return member;
}

Json Sessions(const std::optional<std::vector<SessionFacts>>& sessions) {
  if (!sessions) {
    return nullptr;
  }
  Json list = Json::array();
  for (const SessionFacts& session : *sessions) {
    list.push_back(SessionEntry(session));
  }
  return list;
}

Json DefaultFor(const EndpointSnapshot& endpoint, const RoleIds& defaults) {
  Json roles = Json::array();
  for (std::size_t role = 0; role < kRoleCount; ++role) {
    if (IsDefault(endpoint, defaults, role)) {
      roles.push_back(RoleWord(kRoles[role]));
    }
  }
  return roles;
}

Json ChangeEntry(const ChangeRecord& change) {
  const auto level = [](const std::optional<float>& value) {
    return value ? Json(ShortestDecimal(*value)) : Json(nullptr);
  };
  const auto flag = [](const std::optional<bool>& value) { return value ? Json(*value) : Json(nullptr); };
  Json entry = Json::object();
  entry["flow"] = FlowWord(change.flow);
  entry["id"] = Text(change.id);
  entry["friendly_name"] = Text(change.friendly_name);
  entry["session"] = change.session ? Json({{"process_id", change.session->process_id},
                                            {"process_name", Text(change.session->process_name)}})
                                    : Json(nullptr);
  const auto state = [](const std::optional<DWORD>& value) { return value ? Json(StateWord(*value)) : Json(nullptr); };
  const bool is_default = change.what == ChangeKind::kDefault;
  const bool is_volume = change.what == ChangeKind::kVolume;
  constexpr const char* kWhat[] = {"default", "volume", "mute", "state", "format"};
  entry["what"] = kWhat[static_cast<std::size_t>(change.what)];
  entry["role"] = is_default ? Json(RoleWord(change.role)) : Json(nullptr);
  entry["unit"] = is_volume ? Json(change.decibels ? "db" : "scalar") : Json(nullptr);
  switch (change.what) {
    case ChangeKind::kDefault:
      entry["before"] = Text(change.before_default.id);
      entry["after"] = Text(change.after_default.id);
      break;
    case ChangeKind::kVolume:
      entry["before"] = level(change.before_level);
      entry["after"] = level(change.after_level);
      break;
    case ChangeKind::kMute:
      entry["before"] = flag(change.before_muted);
      entry["after"] = flag(change.after_muted);
      break;
    case ChangeKind::kState:
      entry["before"] = state(change.before_state);
      entry["after"] = state(change.after_state);
      break;
    case ChangeKind::kFormat:
      entry["before"] = MixFormat(change.before_format);
      entry["after"] = MixFormat(change.after_format);
      break;
  }
  // A dry run sets nothing: there is no after to tell.
  if (change.preview) {
    entry["after"] = nullptr;
  }
  return entry;
}

}  // namespace

Json SessionEntry(const SessionFacts& session) {
  const auto flag = [](const std::optional<bool>& value) { return value ? Json(*value) : Json(nullptr); };
  Json entry = Json::object();
  entry["process_id"] = session.process_id ? Json(*session.process_id) : Json(nullptr);
  entry["process_name"] = Text(session.process_name);
  entry["display_name"] = Text(session.display_name);
  entry["state"] = session.state ? Json(SessionStateWord(*session.state)) : Json(nullptr);
  entry["system_sounds"] = flag(session.system_sounds);
  entry["volume"] = Number(session.volume);
  entry["muted"] = flag(session.muted);
  entry["peak"] = Number(session.peak);
  entry["session_id"] = Text(session.session_id);
  entry["instance_id"] = Text(session.instance_id);
  return entry;
}

Json DocumentEntry(const EndpointSnapshot& endpoint, const RoleIds& defaults, const EntryParts& parts) {
  const DWORD state = endpoint.state.value_or(0);
  const auto member = [](Property property) { return TextOf(property).member; };
  Json entry = Json::object();
  entry["id"] = Text(endpoint.id);
  entry["flow"] = endpoint.flow ? Json(FlowWord(*endpoint.flow)) : Json(nullptr);
  entry["state"] = StateWord(state);
  entry["state_code"] = state;
  entry[member(Property::kFriendlyName)] = Text(endpoint.friendly_name);
  entry[member(Property::kAdapterName)] = Text(endpoint.adapter_name);
  entry[member(Property::kDescription)] = Text(endpoint.description);
  entry["default_for"] = DefaultFor(endpoint, defaults);
  entry["current_layout"] = endpoint.layout != nullptr ? Json(std::string(endpoint.layout->name)) : Json(nullptr);
  entry["mix_format"] = MixFormat(endpoint.mix_format);
  entry[member(Property::kFormFactor)] =
      endpoint.form_factor ? Json(FormFactorWord(*endpoint.form_factor)) : Json(nullptr);
  entry[member(Property::kPhysicalSpeakers)] =
      endpoint.physical_speakers ? Json(*endpoint.physical_speakers) : Json(nullptr);
  entry[member(Property::kDeviceFormat)] = MixFormat(endpoint.device_format);
  entry[member(Property::kContainerId)] =
      endpoint.container_id ? Json(FormatGuid(*endpoint.container_id)) : Json(nullptr);
  entry["volume"] = Volume(endpoint.volume);
  entry["peak"] = Number(endpoint.peak);
  if (parts.formats) {
    entry["formats"] = Formats(endpoint.formats);
  }
  if (parts.sessions) {
    entry["sessions"] = Sessions(endpoint.sessions);
  }
  entry["errors"] = Errors(endpoint.failures);
  return entry;
}

Json DocumentHead(std::string_view version, std::chrono::system_clock::time_point read_at) {
  Json document = Json::object();
  document["trelmo"] = version;
  document["read_at"] = UtcText(read_at);
  return document;
}

std::string ChangeDocument(const ChangeReport& report) {
  Json entries = Json::array();
  for (const ChangeRecord& change : report.changes) {
    entries.push_back(ChangeEntry(change));
  }
  Json errors = Json::array();
  for (const ChangeProblem& problem : report.problems) {
    Json error = Json::object();
    if (problem.call != nullptr) {
      error["call"] = problem.call;
      error["code"] = JsonCode(problem.code);
    }
    error["message"] = problem.message;
    if (!problem.endpoints.empty()) {
      Json list = Json::array();
      for (const EndpointSnapshot* endpoint : problem.endpoints) {
        list.push_back({{"flow", FlowWord(endpoint->flow.value_or(eRender))},
                        {"id", Text(endpoint->id)},
                        {"friendly_name", Text(endpoint->friendly_name)}});
      }
      error["endpoints"] = std::move(list);
    }
    errors.push_back(std::move(error));
  }
  Json document = DocumentHead(report.version, report.read_at);
  if (report.dry_run) {
    document["dry_run"] = true;
  }
  document["changes"] = std::move(entries);
  if (report.skipped) {
    Json skipped = Json::array();
    for (const SkippedEndpoint& line : *report.skipped) {
      skipped.push_back({{"id", Text(line.id)}, {"friendly_name", Text(line.friendly_name)}, {"reason", line.reason}});
    }
    document["skipped"] = std::move(skipped);
  }
  document["errors"] = std::move(errors);
  return DumpJson(document, 2) + "\n";
}

std::string ErrorDocumentText(const char* call, HRESULT result, const char* message, int indent) {
  return DumpJson(ErrorDocument(call, result, message), indent);
}
