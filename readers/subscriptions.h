// What a watch registers on an active endpoint beyond the endpoint
// notifications: with --details its volume control's callback, with
// --sessions its session manager's and each session's. Every registration
// made is ended before the object it was made on is released; each call
// on the way that fails is recorded, and the calls after it are still made.
#pragma once

#include "platform/core_audio.h"
#include "platform/handles.h"
#include "platform/processes.h"
#include "readers/notifications.h"
#include "readers/snapshot.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A session a watch follows: the key its events carry, its facts, and the
// failure of its registration, if any.
struct WatchedSession {
  std::uint64_t key = 0;
  SessionFacts facts;
  std::vector<CallFailure> failures;
};

class EndpointSubscriptions {
 public:
  // Which sessions to follow, by their facts.
  using SessionChoice = std::function<bool(const SessionFacts&)>;

  EndpointSubscriptions(EventQueue& queue, std::wstring id, const SessionLookups& lookups = {});
  ~EndpointSubscriptions();
  EndpointSubscriptions(const EndpointSubscriptions&) = delete;
  EndpointSubscriptions& operator=(const EndpointSubscriptions&) = delete;
  EndpointSubscriptions(EndpointSubscriptions&&) = delete;
  EndpointSubscriptions& operator=(EndpointSubscriptions&&) = delete;

  // Registers for the endpoint's volume and mute: their values now, each
  // absent when its call failed (or all of them without a control).
  VolumeFacts WatchVolume(IMMDevice& device, std::vector<CallFailure>& failures);
  // Registers for the sessions created on the endpoint, after the first
  // enumeration Windows requires, and on each chosen session there is;
  // those sessions, in the enumerator's order.
  std::vector<WatchedSession> WatchSessions(IMMDevice& device, const SessionChoice& choose,
                                            std::vector<CallFailure>& failures);
  // A session created since: registered on when chosen. Its control is
  // released here when it is not followed.
  std::optional<WatchedSession> AddSession(ComHandle<IAudioSessionControl> control, const SessionChoice& choose);

  // The facts of a followed session, or null for one no longer followed.
  SessionFacts* Find(std::uint64_t key);
  // The name a session gave itself, as the listing shows it.
  [[nodiscard]] std::optional<std::wstring> DisplayName(std::wstring given) const;
  // Ends the registration on the session and forgets it.
  void Forget(std::uint64_t key);

 // One registration's owner; what it is stays with the readers.
  class Registration;

 private:
  struct Session;

  std::optional<WatchedSession> Follow(ComHandle<IAudioSessionControl> control, const SessionChoice& choose);

  EventQueue& queue_;
  const std::wstring id_;
  const SessionLookups lookups_;
  // Each control is declared before its registration, which ends first.
  ComHandle<IAudioEndpointVolume> volume_control_;
  std::unique_ptr<Registration> volume_;
  ComHandle<IAudioSessionManager2> manager_control_;
  std::unique_ptr<Registration> manager_;
  std::map<std::uint64_t, std::unique_ptr<Session>> sessions_;
};
