#include "readers/steps.h"

#include <algorithm>

namespace {

// No endpoint has this many programs on it; a count beyond it is a broken
// driver's, and must not turn into millions of calls.
constexpr int kMostSessions = 4096;

// The calls made of one session, each failure recorded against its place.
class SessionReading {
 public:
  SessionReading(std::uint32_t place, const SessionLookups& lookups, Failures& failures)
      : place_(place), lookups_(lookups), failures_(failures) {}

  // The session's facts; its volume control, when it has one, is handed to the caller.
  SessionFacts Read(IAudioSessionEnumerator& sessions, ComHandle<ISimpleAudioVolume>& volume_control) {
    ComHandle<IAudioSessionControl> control;
    if (!Succeeded("GetSession", HandedBack(sessions.GetSession(static_cast<int>(place_), control.Put()), control))) {
      return facts_;
    }
    ComHandle<IAudioSessionControl2> control2 = QueryFor<IAudioSessionControl2>(*control.Get());
    if (control2) {
      ReadProcess(*control2.Get());
    }
    ReadDisplayName(*control.Get());
    AudioSessionState state = AudioSessionStateInactive;
    if (Succeeded("GetState", control->GetState(&state))) {
      facts_.state = static_cast<std::uint32_t>(state);
    }
    if (control2) {
      const HRESULT system_sounds = control2->IsSystemSoundsSession();
      if (Succeeded("IsSystemSoundsSession", system_sounds)) {
        facts_.system_sounds = system_sounds == S_OK;
      }
    }
    if (auto volume = QueryFor<ISimpleAudioVolume>(*control.Get())) {
      facts_.volume = Ask<float>("GetMasterVolume", [&volume](float* level) { return volume->GetMasterVolume(level); });
      if (const auto muted = Ask<BOOL>("GetMute", [&volume](BOOL* mute) { return volume->GetMute(mute); })) {
        facts_.muted = *muted != FALSE;
      }
      facts_.volume_control = true;
      volume_control = std::move(volume);
    }
    if (const auto meter = QueryFor<IAudioMeterInformation>(*control.Get())) {
      facts_.peak = Ask<float>("GetPeakValue", [&meter](float* peak) { return meter->GetPeakValue(peak); });
    }
    if (control2) {
      facts_.session_id = Text("GetSessionIdentifier",
                               [&control2](LPWSTR* text) { return control2->GetSessionIdentifier(text); });
      facts_.instance_id = Text("GetSessionInstanceIdentifier",
                                [&control2](LPWSTR* text) { return control2->GetSessionInstanceIdentifier(text); });
    }
    return facts_;
  }

 private:
  bool Succeeded(const char* call, HRESULT result, const char* interface_name = nullptr) {
    if (FAILED(result)) {
      failures_.push_back(CallFailure{Part::kSessions, call, result}.OfSession(place_).OfInterface(interface_name));
      return false;
    }
    return true;
  }

  template <typename Interface>
  ComHandle<Interface> QueryFor(IUnknown& control) {
    ComHandle<Interface> other;
    if (!Succeeded("QueryInterface", Query(control, other), InterfaceId<Interface>::kName)) {
      other.Reset();
    }
    return other;
  }

  template <typename Value, typename Call>
  std::optional<Value> Ask(const char* name, Call call) {
    Value value{};
    if (!Succeeded(name, call(&value))) {
      return std::nullopt;
    }
    return value;
  }

  // A string the platform allocates; freed here on every path.
  template <typename Call>
  std::optional<std::wstring> Text(const char* name, Call call) {
    TaskMemHandle<wchar_t> text;
    if (!Succeeded(name, HandedBack(call(text.Put()), text))) {
      return std::nullopt;
    }
    return std::wstring(text.Get());
  }

  void ReadProcess(IAudioSessionControl2& control) {
    DWORD process_id = 0;
    // A session of several processes answers AUDCLNT_S_NO_SINGLE_PROCESS, a
    // success, with one of them.
    if (!Succeeded("GetProcessId", control.GetProcessId(&process_id))) {
      return;
    }
    facts_.process_id = process_id;
    // Process 0 is the system's own: there is nothing to open.
    if (process_id != 0) {
      facts_.process_name = lookups_.image_name(process_id);
    }
  }

  void ReadDisplayName(IAudioSessionControl& control) {
    std::optional<std::wstring> name =
        Text("GetDisplayName", [&control](LPWSTR* text) { return control.GetDisplayName(text); });
    if (!name || name->empty()) {
      return;
    }
    // "@file,-id" names a resource, as the system-sounds session's does; the
    // text as given when it cannot be resolved.
    if (name->front() == L'@') {
      if (std::optional<std::wstring> resolved = lookups_.indirect_string(*name)) {
        name = std::move(resolved);
      }
    }
    facts_.display_name = std::move(name);
  }

  std::uint32_t place_;
  const SessionLookups& lookups_;
  Failures& failures_;
  SessionFacts facts_;
};

}  // namespace

std::optional<std::vector<SessionFacts>> ReadSessionList(IMMDevice& device, const SessionLookups& lookups,
                                                         Failures& failures,
                                                         std::vector<ComHandle<ISimpleAudioVolume>>& volumes) {
  const auto manager = ActivateFor<IAudioSessionManager2>(device, Part::kSessions, failures);
  if (!manager) {
    return std::nullopt;
  }
  ComHandle<IAudioSessionEnumerator> sessions;
  HRESULT result = HandedBack(manager->GetSessionEnumerator(sessions.Put()), sessions);
  if (FAILED(result)) {
    failures.push_back({Part::kSessions, "GetSessionEnumerator", result});
    return std::nullopt;
  }
  int count = 0;
  result = sessions->GetCount(&count);
  if (FAILED(result)) {
    failures.push_back({Part::kSessions, "GetCount", result});
    return std::nullopt;
  }
  std::vector<SessionFacts> list;
  for (int place = 0; place < std::min(count, kMostSessions); ++place) {
    volumes.emplace_back();
    list.push_back(
        SessionReading(static_cast<std::uint32_t>(place), lookups, failures).Read(*sessions.Get(), volumes.back()));
  }
  return list;
}
