#include "readers/subscriptions.h"

#include "readers/steps.h"

#include <algorithm>
#include <utility>

// One callback registered on one platform object, which its owner keeps
// until this has ended. When it ends, the registration ends, then the
// callback goes: the platform may call it until the unregistration returns.
class EndpointSubscriptions::Registration {
 public:
  Registration() = default;
  virtual ~Registration() = default;
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;
  Registration(Registration&&) = delete;
  Registration& operator=(Registration&&) = delete;
};

// The session's control is declared before its registration, so that the
// registration ends before the control is released.
struct EndpointSubscriptions::Session {
  ComHandle<IAudioSessionControl> control;
  std::unique_ptr<Registration> registration;
  SessionFacts facts;
};

namespace {

// No endpoint has this many programs on it; a count beyond it is a broken
// driver's, and must not turn into millions of registrations.
constexpr int kMostSessions = 4096;

// Every session a watch follows has a key of its own, never used again, so
// that an event still queued for a session forgotten is never taken for
// another's. Only the watch's thread asks.
std::uint64_t NextSessionKey() {
  static std::uint64_t last = 0;
  return ++last;
}

template <typename Object, typename Callback>
using Step = HRESULT (*)(Object& object, Callback& callback);

// How a callback is registered on an object of the platform, and unregistered.
template <typename Object, typename Callback>
struct Steps {
  const char* call;  // the registration's name, for its failure
  Step<Object, Callback> add;
  Step<Object, Callback> remove;
};

template <typename Object, typename Callback>
class Registered final : public EndpointSubscriptions::Registration {
 public:
  Registered(Object& object, std::unique_ptr<Callback> callback, Step<Object, Callback> unregister)
      : object_(object), callback_(std::move(callback)), unregister_(unregister) {}
  ~Registered() override { static_cast<void>(unregister_(object_, *callback_)); }
  Registered(const Registered&) = delete;
  Registered& operator=(const Registered&) = delete;
  Registered(Registered&&) = delete;
  Registered& operator=(Registered&&) = delete;

 private:
  Object& object_;
  std::unique_ptr<Callback> callback_;
  Step<Object, Callback> unregister_;
};

// The callback registered on the object, or nothing and the failure recorded.
template <typename Object, typename Callback>
std::unique_ptr<EndpointSubscriptions::Registration> Register(Object& object, std::unique_ptr<Callback> callback,
                                                              const Steps<Object, Callback>& steps, Part part,
                                                              std::vector<CallFailure>& failures) {
  const HRESULT result = steps.add(object, *callback);
  if (FAILED(result)) {
    failures.push_back({part, steps.call, result});
    return nullptr;
  }
  return std::make_unique<Registered<Object, Callback>>(object, std::move(callback), steps.remove);
}

constexpr Steps<IAudioEndpointVolume, VolumeCallback> kVolumeSteps = {
    "RegisterControlChangeNotify",
    [](IAudioEndpointVolume& object, VolumeCallback& callback) { return object.RegisterControlChangeNotify(&callback); },
    [](IAudioEndpointVolume& object, VolumeCallback& callback) { return object.UnregisterControlChangeNotify(&callback); },
};
constexpr Steps<IAudioSessionManager2, SessionCreatedCallback> kManagerSteps = {
    "RegisterSessionNotification",
    [](IAudioSessionManager2& object, SessionCreatedCallback& callback) {
      return object.RegisterSessionNotification(&callback);
    },
    [](IAudioSessionManager2& object, SessionCreatedCallback& callback) {
      return object.UnregisterSessionNotification(&callback);
    },
};
constexpr Steps<IAudioSessionControl, SessionEventsCallback> kSessionSteps = {
    "RegisterAudioSessionNotification",
    [](IAudioSessionControl& object, SessionEventsCallback& callback) {
      return object.RegisterAudioSessionNotification(&callback);
    },
    [](IAudioSessionControl& object, SessionEventsCallback& callback) {
      return object.UnregisterAudioSessionNotification(&callback);
    },
};

}  // namespace

EndpointSubscriptions::EndpointSubscriptions(EventQueue& queue, std::wstring id, const SessionLookups& lookups)
    : queue_(queue), id_(std::move(id)), lookups_(lookups) {}

EndpointSubscriptions::~EndpointSubscriptions() {
  // The sessions' registrations end before the manager's, the manager's
  // before the volume's: the reverse of the order they were made in; each
  // before its object is released.
  sessions_.clear();
  manager_.reset();
  manager_control_.Reset();
  volume_.reset();
  volume_control_.Reset();
}

VolumeFacts EndpointSubscriptions::WatchVolume(IMMDevice& device, std::vector<CallFailure>& failures) {
  VolumeFacts facts;
  volume_control_ = ActivateFor<IAudioEndpointVolume>(device, Part::kDetails, failures);
  if (!volume_control_) {
    return facts;
  }
  IAudioEndpointVolume& control = *volume_control_.Get();
  // Read after the registration, so that no change between the two goes unseen.
  volume_ = Register(control, std::make_unique<VolumeCallback>(queue_, id_), kVolumeSteps, Part::kDetails, failures);
  float level = 0;
  if (SUCCEEDED(control.GetMasterVolumeLevelScalar(&level))) {
    facts.level = level;
  }
  BOOL muted = FALSE;
  if (SUCCEEDED(control.GetMute(&muted))) {
    facts.muted = muted != FALSE;
  }
  return facts;
}

std::vector<WatchedSession> EndpointSubscriptions::WatchSessions(IMMDevice& device, const SessionChoice& choose,
                                                                 std::vector<CallFailure>& failures) {
  std::vector<WatchedSession> present;
  manager_control_ = ActivateFor<IAudioSessionManager2>(device, Part::kSessions, failures);
  if (!manager_control_) {
    return present;
  }
  IAudioSessionManager2& manager = *manager_control_.Get();
  // Windows tells of new sessions only once the manager has been asked for
  // its enumerator; a failure here still lets the registration be tried.
  ComHandle<IAudioSessionEnumerator> sessions;
  const HRESULT enumerated = HandedBack(manager.GetSessionEnumerator(sessions.Put()), sessions);
  if (FAILED(enumerated)) {
    failures.push_back({Part::kSessions, "GetSessionEnumerator", enumerated});
  }
  manager_ =
      Register(manager, std::make_unique<SessionCreatedCallback>(queue_, id_), kManagerSteps, Part::kSessions, failures);
  if (!sessions) {
    return present;
  }
  int count = 0;
  const HRESULT counted = sessions->GetCount(&count);
  if (FAILED(counted)) {
    failures.push_back({Part::kSessions, "GetCount", counted});
    return present;
  }
  for (int place = 0; place < std::min(count, kMostSessions); ++place) {
    ComHandle<IAudioSessionControl> control;
    const HRESULT result = HandedBack(sessions->GetSession(place, control.Put()), control);
    if (FAILED(result)) {
      failures.push_back(CallFailure{Part::kSessions, "GetSession", result}.OfSession(static_cast<std::uint32_t>(place)));
      continue;
    }
    if (std::optional<WatchedSession> session = Follow(std::move(control), choose)) {
      present.push_back(std::move(*session));
    }
  }
  return present;
}

std::optional<WatchedSession> EndpointSubscriptions::AddSession(ComHandle<IAudioSessionControl> control,
                                                                const SessionChoice& choose) {
  return Follow(std::move(control), choose);
}

std::optional<WatchedSession> EndpointSubscriptions::Follow(ComHandle<IAudioSessionControl> control,
                                                            const SessionChoice& choose) {
  WatchedSession watched{NextSessionKey(), ReadSessionFacts(*control.Get(), lookups_), {}};
  if (!choose(watched.facts)) {
    return std::nullopt;
  }
  auto session = std::make_unique<Session>();
  session->registration =
      Register(*control.Get(), std::make_unique<SessionEventsCallback>(queue_, id_, watched.key), kSessionSteps,
               Part::kSessions, watched.failures);
  // A session whose registration failed sends nothing: it is shown, not kept.
  if (session->registration) {
    session->control = std::move(control);
    session->facts = watched.facts;
    sessions_.emplace(watched.key, std::move(session));
  }
  return watched;
}

SessionFacts* EndpointSubscriptions::Find(std::uint64_t key) {
  const auto found = sessions_.find(key);
  return found != sessions_.end() ? &found->second->facts : nullptr;
}

std::optional<std::wstring> EndpointSubscriptions::DisplayName(std::wstring given) const {
  return ResolvedDisplayName(std::move(given), lookups_);
}

void EndpointSubscriptions::Forget(std::uint64_t key) { sessions_.erase(key); }
