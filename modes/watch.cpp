#include "modes/modes.h"

#include "platform/console_stop.h"
#include "platform/endpoints.h"
#include "readers/notifications.h"
#include "readers/reader.h"
#include "readers/subscriptions.h"
#include "text/output.h"
#include "text/text.h"
#include "views/views.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <utility>

namespace {

using Clock = std::chrono::system_clock;

// The same property of the same endpoint again this soon after the last one
// shown is part of the same burst.
constexpr std::chrono::milliseconds kPropertyBurst{250};

// The longest single wait for a deadline; a longer one is waited in turns.
constexpr std::int64_t kLongestWaitMs = 0x7FFFFFFF;

// A watch that cannot start says so on standard error, where scripts look
// for what went wrong; with --json the error document, on one line like
// every line of a watch, also goes where the lines go.
int Fail(const Options& options, const char* call, HRESULT result, const std::string& message) {
  if (options.json) {
    WriteUtf8(ErrorDocumentText(call, result, message.c_str(), -1) + "\n");
  }
  const std::string text = MessageText(message + ": [0x", result);
  WriteErrorLine(std::wstring(text.begin(), text.end()));
  return -1;
}

// The endpoint an event names, asked of the enumerator once, on first use,
// and read as far as the event needs.
class EventEndpoint {
 public:
  EventEndpoint(IMMDeviceEnumerator& enumerator, const std::wstring& id) : enumerator_(enumerator), id_(id) {}

  std::optional<EDataFlow> Flow() {
    EndpointReader* reader = Reader();
    if (reader == nullptr) {
      return std::nullopt;
    }
    reader->ReadFlow();
    return reader->Snapshot().flow;
  }
  std::optional<DWORD> State() {
    EndpointReader* reader = Reader();
    if (reader == nullptr) {
      return std::nullopt;
    }
    reader->ReadState();
    return reader->Snapshot().state;
  }
  std::optional<std::wstring> Name() {
    EndpointReader* reader = Reader();
    if (reader == nullptr) {
      return std::nullopt;
    }
    reader->ReadProperties({Property::kFriendlyName});
    return reader->Snapshot().friendly_name;
  }
  IMMDevice* Device() {
    EndpointReader* reader = Reader();
    return reader != nullptr ? &reader->Device() : nullptr;
  }

 private:
  EndpointReader* Reader() {
    if (!asked_) {
      asked_ = true;
      ComHandle<IMMDevice> device;
      if (SUCCEEDED(EndpointById(enumerator_, id_.c_str(), device))) {
        reader_.emplace(std::move(device));
      }
    }
    return reader_ ? &*reader_ : nullptr;
  }

  IMMDeviceEnumerator& enumerator_;
  const std::wstring& id_;
  std::optional<EndpointReader> reader_;
  bool asked_ = false;
};

// What trelmo knows of an endpoint it has seen, kept current from the events.
struct Known {
  std::optional<EDataFlow> flow;
  std::optional<DWORD> state;
  std::optional<std::wstring> name;  // the last one read: the choice still knows a removed endpoint
};

// Trelmo's own thread: the memory of every endpoint, and the events made
// into lines after filtering by flow and choice and holding back bursts;
// with --details and --sessions, what is registered on each active endpoint
// chosen, which goes when the watcher goes.
class Watcher {
 public:
  Watcher(IMMDeviceEnumerator& enumerator, EventQueue& queue, const Options& options)
      : enumerator_(enumerator), queue_(queue), filter_(options.filter), details_(options.details),
        sessions_(options.sessions) {}

  // Reads every endpoint of both flows, in every state, into the memory, and
  // a present line for each one listed, followed by what was registered on
  // it. The enumeration's failure, if any.
  HRESULT Start(std::vector<EventLine>& present) {
    // A default chooser picks the endpoints that are the defaults now.
    if (!filter_.default_roles.empty()) {
      for (const EDataFlow flow : filter_.flows) {
        defaults_[flow] = ReadDefaultIds(enumerator_, flow);
      }
    }
    for (const EDataFlow flow : {eRender, eCapture}) {
      ComHandle<IMMDeviceCollection> collection;
      const HRESULT result = EnumerateEndpoints(enumerator_, flow, DEVICE_STATEMASK_ALL, collection);
      if (FAILED(result)) {
        return result;
      }
      ForEachEndpoint(*collection.Get(), EndpointCount(*collection.Get()), [&](UINT, ComHandle<IMMDevice> device) {
        EndpointReader reader(std::move(device), flow);
        reader.ReadId();
        const EndpointSnapshot& endpoint = reader.Snapshot();
        if (!endpoint.id) {
          return;
        }
        reader.ReadState();
        Known& known = memory_[*endpoint.id];
        known = {flow, endpoint.state, std::nullopt};
        if (!filter_.Lists(flow) || !filter_.Lets(known.state.value_or(0))) {
          return;
        }
        reader.ReadProperties({Property::kFriendlyName});
        EventLine line;
        line.time = Clock::now();
        line.flow = flow;
        line.id = endpoint.id;
        line.state = *known.state;
        line.friendly_name = known.name = endpoint.friendly_name;
        if (Chosen(line.id, known)) {
          std::vector<EventLine> registered = Subscribe(reader.Device(), line);
          present.push_back(std::move(line));
          std::move(registered.begin(), registered.end(), std::back_inserter(present));
        }
      });
    }
    return S_OK;
  }

  // Adds the lines the event comes to, none when it is not to be shown.
  void Follow(EndpointEvent& event, std::vector<EventLine>& lines) {
    if (event.kind == EventKind::kDefault) {
      if (std::optional<EventLine> line = FollowDefault(event)) {
        lines.push_back(std::move(*line));
      }
      return;
    }
    if (!event.id) {
      return;
    }
    if (event.kind >= EventKind::kVolume) {
      FollowRegistered(event, lines);
      return;
    }
    EventEndpoint endpoint(enumerator_, *event.id);
    std::optional<EventLine> line = FollowEndpoint(event, memory_[*event.id], endpoint);
    if (event.kind == EventKind::kRemoved) {
      memory_.erase(*event.id);
    }
    if (!line) {
      return;
    }
    // An endpoint that leaves the active state is let go; one that comes to
    // it is registered on, once.
    std::vector<EventLine> registered;
    if (event.kind == EventKind::kRemoved || line->state != DEVICE_STATE_ACTIVE) {
      watched_.erase(*event.id);
    } else if ((event.kind == EventKind::kAdded || event.kind == EventKind::kState) &&
               watched_.count(*event.id) == 0 && endpoint.Device() != nullptr) {
      registered = Subscribe(*endpoint.Device(), *line);
    }
    lines.push_back(std::move(*line));
    std::move(registered.begin(), registered.end(), std::back_inserter(lines));
  }

  // Forgets the property changes shown too long before the time to hold
  // back any change from it on.
  void Forget(Clock::time_point from) {
    for (auto shown = shown_properties_.begin(); shown != shown_properties_.end();) {
      shown = shown->second < from - kPropertyBurst ? shown_properties_.erase(shown) : std::next(shown);
    }
  }

 private:
  using PropertyOf = std::pair<std::wstring, std::string>;  // an endpoint and a property

  [[nodiscard]] bool Listed(const std::optional<EDataFlow>& flow) const {
    // A change of an endpoint whose flow could not be had is shown: it may be listed.
    return !flow || filter_.Lists(*flow);
  }

  [[nodiscard]] bool Chosen(const std::optional<std::wstring>& id, const Known& known) const {
    const auto defaults = known.flow ? defaults_.find(*known.flow) : defaults_.end();
    return filter_.Keeps(id ? id->c_str() : nullptr, known.name ? known.name->c_str() : nullptr,
                         defaults != defaults_.end() ? defaults->second : RoleIds{});
  }

  // With --details and --sessions, registers on the active endpoint of the
  // line: the line gets its level and mute, and the lines that follow it
  // its sessions and each call that failed.
  std::vector<EventLine> Subscribe(IMMDevice& device, EventLine& line) {
    std::vector<EventLine> lines;
    if ((!details_ && !sessions_) || line.state != DEVICE_STATE_ACTIVE || !filter_.Lets(DEVICE_STATE_ACTIVE) ||
        !line.id) {
      return lines;
    }
    auto subscriptions = std::make_unique<EndpointSubscriptions>(queue_, *line.id);
    std::vector<CallFailure> failures;
    if (details_) {
      line.volume = subscriptions->WatchVolume(device, failures);
    }
    if (sessions_) {
      for (WatchedSession& session : subscriptions->WatchSessions(device, ChooseSession(), failures)) {
        lines.push_back(SessionLine(EventKind::kSessionPresent, line, session.facts));
        AddErrors(session.failures, line, lines, session.facts);
      }
    }
    AddErrors(failures, line, lines);
    watched_[*line.id] = std::move(subscriptions);
    return lines;
  }

  [[nodiscard]] EndpointSubscriptions::SessionChoice ChooseSession() const {
    return [this](const SessionFacts& session) { return filter_.KeepsSession(session); };
  }

  static EventLine SessionLine(EventKind kind, const EventLine& endpoint, SessionFacts session) {
    EventLine line = EndpointPart(kind, endpoint);
    line.session = std::move(session);
    return line;
  }

  // A line of the endpoint another line is about.
  static EventLine EndpointPart(EventKind kind, const EventLine& endpoint) {
    EventLine line;
    line.kind = kind;
    line.time = endpoint.time;
    line.flow = endpoint.flow;
    line.id = endpoint.id;
    line.friendly_name = endpoint.friendly_name;
    return line;
  }

  static void AddErrors(const std::vector<CallFailure>& failures, const EventLine& endpoint,
                        std::vector<EventLine>& lines, const std::optional<SessionFacts>& session = std::nullopt) {
    for (const CallFailure& failure : failures) {
      EventLine line = EndpointPart(EventKind::kError, endpoint);
      line.call = failure.call;
      line.code = failure.code;
      line.session = session;
      lines.push_back(std::move(line));
    }
  }

  // The lines of an event that came through what Subscribe registered;
  // none once the endpoint or the session is no longer followed.
  void FollowRegistered(EndpointEvent& event, std::vector<EventLine>& lines) {
    const auto watched = watched_.find(*event.id);
    if (watched == watched_.end()) {
      return;
    }
    EndpointSubscriptions& subscriptions = *watched->second;
    const Known& known = memory_[*event.id];
    EventLine endpoint;
    endpoint.time = event.time;
    endpoint.flow = known.flow;
    endpoint.id = event.id;
    endpoint.friendly_name = known.name;
    if (event.kind == EventKind::kVolume) {
      VolumeFacts volume;
      volume.level = event.level;
      volume.muted = event.muted;
      volume.channel_levels = std::vector<std::optional<float>>(event.channel_levels.begin(), event.channel_levels.end());
      EventLine line = EndpointPart(EventKind::kVolume, endpoint);
      line.volume = std::move(volume);
      line.by_trelmo = event.by_trelmo;
      lines.push_back(std::move(line));
      return;
    }
    if (event.kind == EventKind::kSessionAdded) {
      if (std::optional<WatchedSession> session = subscriptions.AddSession(std::move(event.control), ChooseSession())) {
        lines.push_back(SessionLine(EventKind::kSessionAdded, endpoint, session->facts));
        AddErrors(session->failures, endpoint, lines, session->facts);
      }
      return;
    }
    SessionFacts* session = subscriptions.Find(event.session);
    if (session == nullptr) {
      return;
    }
    switch (event.kind) {
      case EventKind::kSessionState:
        session->state = event.state;
        break;
      case EventKind::kSessionVolume:
        session->volume = event.level;
        session->muted = event.muted;
        break;
      case EventKind::kSessionName:
        session->display_name = subscriptions.DisplayName(std::move(event.display_name));
        break;
      default:
        break;
    }
    EventLine line = SessionLine(event.kind, endpoint, *session);
    line.by_trelmo = event.by_trelmo;
    line.reason = event.reason;
    lines.push_back(std::move(line));
    if (event.kind == EventKind::kSessionRemoved) {
      subscriptions.Forget(event.session);
    }
  }

  static PropertyOf PropertyKey(const EndpointEvent& event) {
    return {*event.id, FormatGuid(event.property.fmtid) + "," + std::to_string(event.property.pid)};
  }

  [[nodiscard]] bool InBurst(const EndpointEvent& event) const {
    if (event.kind != EventKind::kProperty) {
      return false;
    }
    const auto shown = shown_properties_.find(PropertyKey(event));
    return shown != shown_properties_.end() && event.time >= shown->second &&
           event.time - shown->second < kPropertyBurst;
  }

  std::optional<EventLine> FollowDefault(const EndpointEvent& event) {
    if (!Listed(event.flow)) {
      return std::nullopt;
    }
    EventLine line = LineOf(event);
    line.flow = event.flow;
    line.role = event.role;
    Known known;
    if (event.id) {
      EventEndpoint endpoint(enumerator_, *event.id);
      line.friendly_name = endpoint.Name();
      known = Remember(*event.id, line.friendly_name);
    }
    return Chosen(line.id, known) ? std::optional<EventLine>(std::move(line)) : std::nullopt;
  }

  std::optional<EventLine> FollowEndpoint(const EndpointEvent& event, Known& known, EventEndpoint& endpoint) {
    EventLine line = LineOf(event);
    line.previous_state = known.state;
    if (event.kind == EventKind::kAdded) {
      known.flow = endpoint.Flow();
      known.state = endpoint.State();
    } else if (!known.flow) {
      known.flow = endpoint.Flow();
    }
    if (event.kind == EventKind::kState) {
      known.state = event.state;
    }
    line.flow = known.flow;
    line.state = known.state.value_or(0);
    if (!Listed(line.flow) || InBurst(event)) {
      return std::nullopt;
    }
    line.friendly_name = endpoint.Name();
    if (line.friendly_name) {
      known.name = line.friendly_name;
    }
    if (!Chosen(line.id, known)) {
      return std::nullopt;
    }
    if (event.kind == EventKind::kProperty) {
      shown_properties_[PropertyKey(event)] = event.time;
    }
    return line;
  }

  static EventLine LineOf(const EndpointEvent& event) {
    EventLine line;
    line.kind = event.kind;
    line.time = event.time;
    line.id = event.id;
    line.property = event.property;
    return line;
  }

  // What is known of the endpoint with the name just read, if any.
  Known Remember(const std::wstring& id, const std::optional<std::wstring>& name) {
    const auto found = memory_.find(id);
    if (found == memory_.end()) {
      return {std::nullopt, std::nullopt, name};
    }
    if (name) {
      found->second.name = name;
    }
    return found->second;
  }

  IMMDeviceEnumerator& enumerator_;
  EventQueue& queue_;
  const EndpointFilter& filter_;
  const bool details_;
  const bool sessions_;
  std::map<EDataFlow, RoleIds> defaults_;
  std::map<std::wstring, Known> memory_;
  std::map<PropertyOf, Clock::time_point> shown_properties_;
  std::map<std::wstring, std::unique_ptr<EndpointSubscriptions>> watched_;
};

bool Write(const EventLine& line, const Options& options) {
  return options.json ? WriteUtf8(JsonLine(line) + "\n") : WriteWide(TextLine(line) + L"\n");
}

using SteadyClock = std::chrono::steady_clock;

// How long to wait for the next change: without --timeout for ever, with it
// until the deadline; nothing once the deadline has passed.
std::optional<DWORD> WaitTime(const Options& options, SteadyClock::time_point deadline) {
  if (options.timeout == 0) {
    return INFINITE;
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  if (left <= 0) {
    return std::nullopt;
  }
  return static_cast<DWORD>(std::min<std::int64_t>(left, kLongestWaitMs));
}

// Shows what a batch of events comes to: the status to end with once a stop
// is asked for, a write fails or --events changes are shown; nothing to go on.
std::optional<int> FollowBatch(Watcher& watcher, std::vector<EndpointEvent> batch, const Options& options,
                               std::uint32_t& shown) {
  if (!batch.empty()) {
    watcher.Forget(batch.front().time);
  }
  std::vector<EventLine> lines;
  for (EndpointEvent& event : batch) {
    if (ConsoleStop::Requested()) {
      return 0;
    }
    lines.clear();
    watcher.Follow(event, lines);
    for (const EventLine& line : lines) {
      // A reader that has gone away ends the watch as a stop does; a call
      // that failed is no change.
      if (!Write(line, options) ||
          (line.kind != EventKind::kError && options.events != 0 && ++shown >= options.events)) {
        return 0;
      }
    }
  }
  return std::nullopt;
}

// Waits for changes and shows them until the watch ends; its status.
int FollowChanges(Watcher& watcher, EventQueue& queue, const Options& options, SteadyClock::time_point deadline) {
  std::uint32_t shown = 0;
  // The stop comes first: a flood of changes must not keep it waiting.
  const HANDLE wakers[] = {ConsoleStop::StopEvent(), queue.WakeEvent()};
  for (;;) {
    const std::optional<DWORD> wait = WaitTime(options, deadline);
    if (!wait) {
      // Only a deadline that came before the changes waited for is a failure.
      return options.events != 0 && shown < options.events ? 1 : 0;
    }
    const DWORD woken = WaitForMultipleObjects(2, wakers, FALSE, *wait);
    if (woken == WAIT_OBJECT_0 + 1) {
      if (const std::optional<int> status = FollowBatch(watcher, queue.Take(), options, shown)) {
        return *status;
      }
    } else if (woken != WAIT_TIMEOUT) {
      return woken == WAIT_OBJECT_0 ? 0 : -1;
    }
  }
}

}  // namespace

int RunWatch(const Options& options, CreateInstanceFunction create_instance) {
  const SteadyClock::time_point deadline = SteadyClock::now() + std::chrono::seconds(options.timeout);
  // Everything after it is released before a closing console lets the process end.
  const ConsoleStop stop;
  EventQueue queue;
  if (ConsoleStop::StopEvent() == nullptr || queue.WakeEvent() == nullptr) {
    return Fail(options, "CreateEvent", HRESULT_FROM_WIN32(GetLastError()), "Couldn't register for notifications");
  }
  ComHandle<IMMDeviceEnumerator> enumerator;
  HRESULT result = CreateEnumerator(create_instance, enumerator);
  if (FAILED(result)) {
    return Fail(options, "CoCreateInstance", result, "Couldn't create Device Enumerator");
  }
  // Registered before the endpoints are read, so that no change between the
  // two goes unseen; what comes meanwhile waits in the queue.
  NotificationClient client(queue);
  const NotificationRegistration registration(*enumerator.Get(), client);
  if (FAILED(registration.Result())) {
    return Fail(options, "RegisterEndpointNotificationCallback", registration.Result(),
                "Couldn't register for notifications");
  }
  Watcher watcher(*enumerator.Get(), queue, options);
  std::vector<EventLine> present;
  result = watcher.Start(present);
  if (FAILED(result)) {
    return Fail(options, "EnumAudioEndpoints", result, "Couldn't enumerate");
  }
  for (const EventLine& line : present) {
    if (ConsoleStop::Requested() || !Write(line, options)) {
      return 0;
    }
  }
  return FollowChanges(watcher, queue, options, deadline);
}
