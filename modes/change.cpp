#include "modes/modes.h"

#include "changes/changes.h"
#include "modes/plan.h"
#include "platform/endpoints.h"
#include "platform/files.h"
#include "readers/reader.h"
#include "readers/setup.h"
#include "text/output.h"
#include "text/text.h"
#include "views/views.h"

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// What a change run says: each change as it is made, then what ended it.
// As text, a line each, what went wrong on standard error; with --json, one
// document at the end, which carries what went wrong too.
class Report {
 public:
  Report(const Options& options, std::string_view version)
      : json_(options.json), restore_(options.restore.has_value()) {
    document_.version = version;
    document_.read_at = std::chrono::system_clock::now();
    document_.dry_run = options.dry_run;
    if (restore_) {
      document_.skipped.emplace();
    }
  }

  void Made(const ChangeRecord& change) {
    made_ = true;
    if (json_) {
      document_.changes.push_back(change);
    } else {
      WriteWide(ChangeLine(change) + L"\n");
    }
  }

  void Skipped(const SkippedEndpoint& skipped) {
    if (json_) {
      document_.skipped->push_back(skipped);
    } else {
      WriteWide(SkippedText(skipped) + L"\n");
    }
  }

  // Nothing was changed: the choice, a level, a format or a file was wrong. Status 1.
  int Refused(const std::string& message, const std::vector<const EndpointSnapshot*>& endpoints = {}) {
    WriteErrorLine(Utf8ToWide(message));
    for (const EndpointSnapshot* endpoint : endpoints) {
      WriteErrorLine(L"    " + endpoint->friendly_name.value_or(L"Unknown") + L"  " + endpoint->id.value_or(L"(null)"));
    }
    if (json_) {
      document_.problems.push_back({message, nullptr, S_OK, endpoints});
    }
    return Finish(1);
  }

  // A platform call failed: the changes made stay made. Status -1.
  int Failed(const char* call, HRESULT result, const char* message) {
    WriteErrorLine(Utf8ToWide(MessageText(std::string(message) + ": [0x", result)));
    if (json_) {
      document_.problems.push_back({message, call, result, {}});
    }
    return Finish(-1);
  }

  int Finish(int status) {
    if (json_) {
      WriteUtf8(ChangeDocument(document_));
    } else if (status == 0 && restore_ && !made_) {
      WriteLine("Nothing to change.");
    }
    return status;
  }

 private:
  bool json_;
  bool restore_;
  bool made_ = false;
  ChangeReport document_;
};

class ChangeRun {
 public:
  ChangeRun(const Options& options, CreateInstanceFunction create_instance, std::string_view version)
      : options_(options), create_instance_(create_instance), report_(options, version) {}

  int Run() {
    SavedSetup setup;
    if (options_.restore) {
      if (const std::optional<int> status = ReadSavedSetup(setup)) {
        return *status;
      }
    }
    HRESULT result = CreateEnumerator(create_instance_, enumerator_);
    if (FAILED(result)) {
      return report_.Failed("CoCreateInstance", result, "Couldn't create Device Enumerator");
    }
    for (const EDataFlow flow : options_.filter.flows) {
      result = Read(flow);
      if (FAILED(result)) {
        return report_.Failed("EnumAudioEndpoints", result, "Couldn't enumerate");
      }
    }
    plan_ = options_.restore ? PlanRestore(setup, options_, flows_) : PlanChanges(options_, flows_);
    for (const SkippedEndpoint& skipped : plan_.skipped) {
      report_.Skipped(skipped);
    }
    if (plan_.stop) {
      return Stopped(*plan_.stop);
    }
    if (const std::optional<int> status = Prepare()) {
      return *status;
    }
    return Apply();
  }

 private:
  // The whole file is read and checked before anything is asked of the platform.
  std::optional<int> ReadSavedSetup(SavedSetup& setup) {
    const std::string file = WideToUtf8(*options_.restore);
    std::string text;
    if (const DWORD error = ReadWholeFile(*options_.restore, text); error != ERROR_SUCCESS) {
      return report_.Refused("Couldn't read " + file + ": " + WideToUtf8(SystemMessage(error)));
    }
    SetupReading reading = ReadSetup(text);
    if (!reading.setup) {
      return report_.Refused("Couldn't restore " + file + ": " + reading.why + ".");
    }
    setup = std::move(*reading.setup);
    return std::nullopt;
  }

  // Every endpoint of the flow in the run's states, with what its changes
  // start from.
  HRESULT Read(EDataFlow flow) {
    FlowFacts facts;
    facts.flow = flow;
    facts.defaults = ReadDefaultIds(*enumerator_.Get(), flow);
    ComHandle<IMMDeviceCollection> collection;
    const HRESULT result = EnumerateEndpoints(*enumerator_.Get(), flow, options_.filter.states, collection);
    if (FAILED(result)) {
      return result;
    }
    std::vector<std::unique_ptr<EndpointReader>> readers;
    ForEachEndpoint(*collection.Get(), EndpointCount(*collection.Get()), [&](UINT, ComHandle<IMMDevice> device) {
      auto reader = std::make_unique<EndpointReader>(std::move(device), flow);
      reader->ReadIdentity();
      const EndpointSnapshot& endpoint = reader->Snapshot();
      if (NeedsFormat(options_, endpoint, facts.defaults)) {
        reader->ReadFormat();
      }
      if (NeedsVolume(options_, endpoint, facts.defaults)) {
        reader->ReadVolume();
      }
      if ((options_.set_volume || options_.Mute()) && !options_.filter.apps.empty() &&
          options_.filter.Keeps(endpoint, facts.defaults)) {
        reader->ReadSessions();
      }
      facts.endpoints.push_back(reader->Snapshot());
      readers.push_back(std::move(reader));
    });
    flows_.push_back(std::move(facts));
    readers_.push_back(std::move(readers));
    return S_OK;
  }

  int Stopped(const PlanStop& stop) {
    if (stop.Failed()) {
      return report_.Failed(stop.call, stop.code, stop.message.c_str());
    }
    std::vector<const EndpointSnapshot*> endpoints;
    for (const ChangeTarget& target : stop.endpoints) {
      endpoints.push_back(&Endpoint(target));
    }
    return report_.Refused(stop.message, endpoints);
  }

  [[nodiscard]] const EndpointSnapshot& Endpoint(const ChangeTarget& target) const {
    return flows_[target.flow].endpoints[target.endpoint];
  }
  [[nodiscard]] EndpointReader& Reader(const ChangeTarget& target) const { return *readers_[target.flow][target.endpoint]; }

  // Whether an earlier change of the plan enables the change's endpoint:
  // Windows activates nothing on a disabled endpoint, so what a change needs
  // of it is had once it is enabled.
  [[nodiscard]] bool EnabledFirst(std::size_t at) const {
    const ChangeTarget& target = plan_.changes[at].target;
    for (std::size_t before = 0; before < at; ++before) {
      const PlannedChange& change = plan_.changes[before];
      if (change.what == ChangeKind::kState && change.enable && change.needed && change.target.flow == target.flow &&
          change.target.endpoint == target.endpoint) {
        return true;
      }
    }
    return false;
  }

  // Everything the changes need, had and checked before the first of them.
  std::optional<int> Prepare() {
    for (const PlannedChange& change : plan_.changes) {
      const bool calls_policy =
          change.what == ChangeKind::kDefault || (change.needed && (change.what == ChangeKind::kState ||
                                                                     change.what == ChangeKind::kFormat));
      if (calls_policy) {
        const HRESULT result = CreatePolicyConfig(create_instance_, policy_);
        if (FAILED(result)) {
          return report_.Failed("CoCreateInstance", result, FailureMessage(change));
        }
        break;
      }
    }
    for (std::size_t at = 0; at < plan_.changes.size(); ++at) {
      if (EnabledFirst(at)) {
        continue;
      }
      if (const std::optional<int> status = PrepareChange(plan_.changes[at])) {
        return status;
      }
    }
    for (const PlannedChange& change : plan_.changes) {
      if (const std::optional<PlanStop> stop = CheckStop(change, flows_)) {
        return Stopped(*stop);
      }
    }
    return std::nullopt;
  }

  // The volume control of the change's endpoint with the range a level in
  // dB is checked against, or the endpoint's answer to the format.
  std::optional<int> PrepareChange(PlannedChange& change) {
    if (change.what == ChangeKind::kFormat && change.needed) {
      change.check = CheckExclusiveFormats(Reader(change.target).Device(), change.candidates);
      return std::nullopt;
    }
    if ((change.what != ChangeKind::kVolume && change.what != ChangeKind::kMute) || change.target.session) {
      return std::nullopt;
    }
    auto& control = controls_[{change.target.flow, change.target.endpoint}];
    if (!control) {
      const HRESULT result = Activate(Reader(change.target).Device(), control);
      if (FAILED(result)) {
        return report_.Failed("Activate", result, FailureMessage(change));
      }
    }
    if (change.what == ChangeKind::kVolume && change.volume.kind == VolumeSetting::Kind::kDecibels) {
      VolumeFacts::Range range;
      const HRESULT result = control->GetVolumeRange(&range.min_db, &range.max_db, &range.step_db);
      if (FAILED(result)) {
        return report_.Failed("GetVolumeRange", result, kVolumeFailed);
      }
      change.range = range;
    }
    return std::nullopt;
  }

  // What a change of an endpoint enabled in this run needs, once it is:
  // the format it starts from, then the same preparation as the others.
  std::optional<int> PrepareAfterEnabling(PlannedChange& change) {
    if (change.what == ChangeKind::kFormat) {
      std::optional<EndpointReader> fresh = ReadAfresh(*enumerator_.Get(), Endpoint(change.target).id.value_or(L""),
                                                       failures_);
      if (!fresh) {
        return report_.Failed(failures_.back().call, failures_.back().code, kFormatFailed);
      }
      fresh->ReadFormat();
      EndpointSnapshot& endpoint = flows_[change.target.flow].endpoints[change.target.endpoint];
      endpoint.device_format = fresh->Snapshot().device_format;
      endpoint.mix_format = fresh->Snapshot().mix_format;
      // A restore has decided already that the format differs.
      if (const std::optional<PlanStop> stop = PlanFormatFrom(fresh->Snapshot(), !options_.restore, change)) {
        return Stopped(*stop);
      }
    }
    if (const std::optional<int> status = PrepareChange(change)) {
      return status;
    }
    if (const std::optional<PlanStop> stop = CheckStop(change, flows_)) {
      return Stopped(*stop);
    }
    return std::nullopt;
  }

  int Apply() {
    for (std::size_t at = 0; at < plan_.changes.size(); ++at) {
      PlannedChange& change = plan_.changes[at];
      if (!options_.dry_run && EnabledFirst(at)) {
        if (const std::optional<int> status = PrepareAfterEnabling(change)) {
          return *status;
        }
      }
      if (!change.needed) {
        report_.Made(RecordOf(change, flows_));
        continue;
      }
      if (options_.dry_run) {
        report_.Made(Preview(change, flows_));
        continue;
      }
      ChangeRecord record = RecordOf(change, flows_);
      const HRESULT result = Make(change, record);
      if (FAILED(result)) {
        const CallFailure& failure = failures_.back();
        return report_.Failed(failure.call, failure.code, FailureMessage(change));
      }
      report_.Made(record);
    }
    return report_.Finish(0);
  }

  HRESULT Make(const PlannedChange& change, ChangeRecord& record) {
    switch (change.what) {
      case ChangeKind::kState:
        return ChangeState(*policy_.Get(), *enumerator_.Get(), change.enable, record, failures_);
      case ChangeKind::kFormat: {
        if (change.candidates.empty()) {
          // Planned without a format to keep the layout of: nothing is set blind.
          failures_.push_back({Part::kEndpoint, "GetMixFormat", E_POINTER});
          return E_POINTER;
        }
        // Exclusive mode turned off left the check unmade: the first record is offered.
        const bool taken = change.check && change.check->answer == FormatCheck::Answer::kAccepted;
        return ChangeFormat(*policy_.Get(), *enumerator_.Get(), change.candidates[taken ? change.check->accepted : 0],
                            record, failures_);
      }
      case ChangeKind::kDefault:
        return ChangeDefault(*policy_.Get(), *enumerator_.Get(), record, failures_);
      case ChangeKind::kVolume:
        if (change.target.session) {
          return ChangeVolume(*Reader(change.target).SessionVolume(*change.target.session), change.volume, record,
                              failures_);
        }
        return ChangeVolume(*Control(change), change.volume, record, failures_);
      case ChangeKind::kMute:
      default:
        if (change.target.session) {
          return ChangeMute(*Reader(change.target).SessionVolume(*change.target.session), change.mute, record,
                            failures_);
        }
        return ChangeMute(*Control(change), change.mute, record, failures_);
    }
  }

  IAudioEndpointVolume* Control(const PlannedChange& change) {
    return controls_[{change.target.flow, change.target.endpoint}].Get();
  }

  const Options& options_;
  CreateInstanceFunction create_instance_;
  Report report_;
  ComHandle<IMMDeviceEnumerator> enumerator_;
  ComHandle<IPolicyConfig> policy_;
  std::vector<FlowFacts> flows_;
  std::vector<std::vector<std::unique_ptr<EndpointReader>>> readers_;
  Plan plan_;
  std::map<std::pair<std::size_t, std::size_t>, ComHandle<IAudioEndpointVolume>> controls_;
  std::vector<CallFailure> failures_;
};

}  // namespace

int RunChanges(const Options& options, CreateInstanceFunction create_instance, std::string_view version) {
  return ChangeRun(options, create_instance, version).Run();
}
