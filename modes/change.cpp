#include "modes/modes.h"

#include "changes/changes.h"
#include "platform/endpoints.h"
#include "readers/reader.h"
#include "text/output.h"
#include "text/text.h"
#include "views/views.h"

#include <memory>
#include <string>
#include <vector>

namespace {

// The endpoints of one listed flow that the choosers chose, in listing order.
struct ChosenFlow {
  EDataFlow flow = eRender;
  RoleIds defaults;
  std::vector<std::unique_ptr<EndpointReader>> endpoints;
};

// A session chosen by --app, with the endpoint it plays on.
struct ChosenSession {
  const EndpointReader* endpoint = nullptr;
  const SessionFacts* facts = nullptr;
  ISimpleAudioVolume* control = nullptr;
};

// What a change run says: each change as it is made, then what ended it.
// As text, a line each; with --json, one document at the end.
class Report {
 public:
  explicit Report(bool json) : json_(json) {}

  void Made(const ChangeRecord& change) {
    if (json_) {
      changes_.push_back(change);
    } else {
      WriteWide(ChangeLine(change) + L"\n");
    }
  }

  // Nothing was changed: the choice or a level was wrong. Status 1.
  int Refused(const std::string& message, const std::vector<const EndpointSnapshot*>& endpoints = {}) {
    if (json_) {
      problems_.push_back({message, nullptr, S_OK, endpoints});
      return Finish(1);
    }
    WriteLine(message);
    for (const EndpointSnapshot* endpoint : endpoints) {
      WriteWide(L"    " + endpoint->friendly_name.value_or(L"Unknown") + L"  " + endpoint->id.value_or(L"(null)") +
                L"\n");
    }
    return Finish(1);
  }

  // A platform call failed: the changes made stay made. Status -1.
  int Failed(const char* call, HRESULT result, const char* message) {
    if (json_) {
      problems_.push_back({message, call, result, {}});
    } else {
      WriteLine(MessageText(std::string(message) + ": [0x", result));
    }
    return Finish(-1);
  }

  int Finish(int status) {
    if (json_) {
      WriteUtf8(ChangeDocument(changes_, problems_));
    }
    return status;
  }

 private:
  bool json_;
  std::vector<ChangeRecord> changes_;
  std::vector<ChangeProblem> problems_;
};

constexpr const char* kDefaultFailed = "Couldn't set the default endpoint";
constexpr const char* kVolumeFailed = "Couldn't set volume";
constexpr const char* kMuteFailed = "Couldn't set mute";

std::optional<MuteSetting> Mute(const Options& options) {
  if (options.mute) {
    return MuteSetting::kMute;
  }
  if (options.unmute) {
    return MuteSetting::kUnmute;
  }
  if (options.toggle_mute) {
    return MuteSetting::kToggle;
  }
  return std::nullopt;
}

ChangeRecord RecordOf(const EndpointSnapshot& endpoint) {
  ChangeRecord record;
  record.flow = endpoint.flow.value_or(eRender);
  record.id = endpoint.id;
  record.friendly_name = endpoint.friendly_name;
  return record;
}

// The endpoint after the flow's default for the role among the chosen, in
// listing order and wrapping; the first when the default is not among them.
const EndpointSnapshot& NextAfterDefault(const ChosenFlow& chosen, ERole role) {
  const std::wstring& current = chosen.defaults[static_cast<std::size_t>(role)];
  for (std::size_t at = 0; at < chosen.endpoints.size(); ++at) {
    const EndpointSnapshot& endpoint = chosen.endpoints[at]->Snapshot();
    if (!current.empty() && endpoint.id == current) {
      return chosen.endpoints[(at + 1) % chosen.endpoints.size()]->Snapshot();
    }
  }
  return chosen.endpoints.front()->Snapshot();
}

class ChangeRun {
 public:
  ChangeRun(const Options& options, CreateInstanceFunction create_instance)
      : options_(options), create_instance_(create_instance), report_(options.json) {}

  int Run() {
    HRESULT result = CreateEnumerator(create_instance_, enumerator_);
    if (FAILED(result)) {
      return report_.Failed("CoCreateInstance", result, "Couldn't create Device Enumerator");
    }
    for (const EDataFlow flow : options_.filter.flows) {
      result = Choose(flow);
      if (FAILED(result)) {
        return report_.Failed("EnumAudioEndpoints", result, "Couldn't enumerate");
      }
    }
    if (const std::optional<int> status = CheckChoice()) {
      return *status;
    }
    if (const std::optional<int> status = Prepare()) {
      return *status;
    }
    return Change();
  }

 private:
  HRESULT Choose(EDataFlow flow) {
    ChosenFlow chosen;
    chosen.flow = flow;
    chosen.defaults = ReadDefaultIds(*enumerator_.Get(), flow);
    ComHandle<IMMDeviceCollection> collection;
    const HRESULT result = EnumerateEndpoints(*enumerator_.Get(), flow, options_.filter.states, collection);
    if (FAILED(result)) {
      return result;
    }
    ForEachEndpoint(*collection.Get(), EndpointCount(*collection.Get()), [&](UINT, ComHandle<IMMDevice> device) {
      auto reader = std::make_unique<EndpointReader>(std::move(device), flow);
      reader->ReadIdentity();
      // An endpoint whose identifier cannot be read cannot be named as a default.
      const bool nameable = reader->Snapshot().id || (options_.set_default.empty() && options_.cycle_default.empty());
      if (nameable && options_.filter.Keeps(reader->Snapshot(), chosen.defaults)) {
        chosen.endpoints.push_back(std::move(reader));
      }
    });
    flows_.push_back(std::move(chosen));
    return S_OK;
  }

  // An empty or ambiguous choice changes nothing anywhere.
  std::optional<int> CheckChoice() {
    std::vector<const EndpointSnapshot*> ambiguous;
    std::size_t chosen = 0;
    for (const ChosenFlow& flow : flows_) {
      chosen += flow.endpoints.size();
      if (!options_.set_default.empty() && flow.endpoints.size() > 1) {
        for (const auto& endpoint : flow.endpoints) {
          ambiguous.push_back(&endpoint->Snapshot());
        }
      }
    }
    if (chosen == 0) {
      return report_.Refused("No endpoint chosen.");
    }
    if (!ambiguous.empty()) {
      return report_.Refused("More than one endpoint chosen:", ambiguous);
    }
    return std::nullopt;
  }

  // Everything a change needs, had and checked before anything changes.
  std::optional<int> Prepare() {
    if (!options_.set_default.empty() || !options_.cycle_default.empty()) {
      const HRESULT result = CreatePolicyConfig(create_instance_, policy_);
      if (FAILED(result)) {
        return report_.Failed("CoCreateInstance", result, kDefaultFailed);
      }
    }
    if (!options_.set_volume && !Mute(options_)) {
      return std::nullopt;
    }
    const char* message = options_.set_volume ? kVolumeFailed : kMuteFailed;
    if (!options_.filter.apps.empty()) {
      return ChooseSessions();
    }
    for (const ChosenFlow& flow : flows_) {
      for (const auto& endpoint : flow.endpoints) {
        if (const std::optional<int> status = PrepareEndpoint(*endpoint, message)) {
          return status;
        }
      }
    }
    return std::nullopt;
  }

  // The endpoint's volume control, and a level in dB checked against its range.
  std::optional<int> PrepareEndpoint(const EndpointReader& endpoint, const char* message) {
    ComHandle<IAudioEndpointVolume> control;
    HRESULT result = Activate(endpoint.Device(), control);
    if (FAILED(result)) {
      return report_.Failed("Activate", result, message);
    }
    if (options_.set_volume && options_.set_volume->kind == VolumeSetting::Kind::kDecibels) {
      VolumeFacts::Range range;
      result = control->GetVolumeRange(&range.min_db, &range.max_db, &range.step_db);
      if (FAILED(result)) {
        return report_.Failed("GetVolumeRange", result, kVolumeFailed);
      }
      const float level = options_.set_volume->value;
      if (level < range.min_db || level > range.max_db) {
        return report_.Refused("Volume " + FixedDecimal(static_cast<double>(level), 1) + " dB is outside the range of " +
                               WideToUtf8(endpoint.Snapshot().friendly_name.value_or(L"Unknown")) + ": " +
                               FixedDecimal(static_cast<double>(range.min_db), 1) + " dB to " +
                               FixedDecimal(static_cast<double>(range.max_db), 1) + " dB.");
      }
    }
    endpoint_controls_.emplace_back(&endpoint, std::move(control));
    return std::nullopt;
  }

  std::optional<int> ChooseSessions() {
    for (ChosenFlow& flow : flows_) {
      for (const auto& endpoint : flow.endpoints) {
        endpoint->ReadSessions();
        const EndpointSnapshot& snapshot = endpoint->Snapshot();
        for (std::size_t place = 0; snapshot.sessions && place < snapshot.sessions->size(); ++place) {
          const SessionFacts& session = (*snapshot.sessions)[place];
          ISimpleAudioVolume* control = endpoint->SessionVolume(place);
          if (control != nullptr && session.process_name && options_.filter.KeepsSession(session)) {
            sessions_.push_back({endpoint.get(), &session, control});
          }
        }
      }
    }
    if (sessions_.empty()) {
      return report_.Refused("No session chosen.");
    }
    return std::nullopt;
  }

  int Change() {
    if (const std::optional<int> status = ChangeDefaults()) {
      return *status;
    }
    if (options_.set_volume) {
      if (const std::optional<int> status = ChangeEach(
              [this](auto& control, ChangeRecord& record) {
                return ChangeVolume(control, *options_.set_volume, record, failures_);
              },
              kVolumeFailed)) {
        return *status;
      }
    }
    if (const std::optional<MuteSetting> mute = Mute(options_)) {
      if (const std::optional<int> status = ChangeEach(
              [this, mute](auto& control, ChangeRecord& record) { return ChangeMute(control, *mute, record, failures_); },
              kMuteFailed)) {
        return *status;
      }
    }
    return report_.Finish(0);
  }

  std::optional<int> ChangeDefaults() {
    const bool cycle = !options_.cycle_default.empty();
    const std::vector<ERole>& roles = cycle ? options_.cycle_default : options_.set_default;
    if (roles.empty()) {
      return std::nullopt;
    }
    for (const ChosenFlow& flow : flows_) {
      if (flow.endpoints.empty()) {
        continue;
      }
      // Cycling for all three roles follows the console's default.
      const EndpointSnapshot& target = cycle ? NextAfterDefault(flow, roles.front()) : flow.endpoints.front()->Snapshot();
      for (const ERole role : roles) {
        ChangeRecord record = RecordOf(target);
        record.role = role;
        const HRESULT result = ChangeDefault(*policy_.Get(), *enumerator_.Get(), record, failures_);
        if (FAILED(result)) {
          return report_.Failed("SetDefaultEndpoint", result, kDefaultFailed);
        }
        report_.Made(record);
      }
    }
    return std::nullopt;
  }

  // Makes one change to every chosen session, or else to every chosen endpoint.
  template <typename MakeChange>
  std::optional<int> ChangeEach(MakeChange make_change, const char* message) {
    for (const ChosenSession& session : sessions_) {
      ChangeRecord record = RecordOf(session.endpoint->Snapshot());
      record.session = ChangedSession{session.facts->process_id.value_or(0), session.facts->process_name};
      if (const std::optional<int> status = Made(make_change(*session.control, record), record, message)) {
        return status;
      }
    }
    for (const auto& [endpoint, control] : endpoint_controls_) {
      ChangeRecord record = RecordOf(endpoint->Snapshot());
      if (const std::optional<int> status = Made(make_change(*control.Get(), record), record, message)) {
        return status;
      }
    }
    return std::nullopt;
  }

  std::optional<int> Made(HRESULT result, const ChangeRecord& record, const char* message) {
    if (FAILED(result)) {
      const CallFailure& failure = failures_.back();
      return report_.Failed(failure.call, failure.code, message);
    }
    report_.Made(record);
    return std::nullopt;
  }

  const Options& options_;
  CreateInstanceFunction create_instance_;
  Report report_;
  ComHandle<IMMDeviceEnumerator> enumerator_;
  ComHandle<IPolicyConfig> policy_;
  std::vector<ChosenFlow> flows_;
  std::vector<std::pair<const EndpointReader*, ComHandle<IAudioEndpointVolume>>> endpoint_controls_;
  std::vector<ChosenSession> sessions_;
  std::vector<CallFailure> failures_;
};

}  // namespace

int RunChanges(const Options& options, CreateInstanceFunction create_instance) {
  return ChangeRun(options, create_instance).Run();
}
