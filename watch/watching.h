// Inside a watch: the events as the platform's threads record them, the
// queue that hands them to trelmo's own thread, the lines that thread makes
// of them, and the console's way of stopping a watch.
#pragma once

#include "platform/core_audio.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

enum class EventKind { kPresent, kAdded, kRemoved, kState, kDefault, kProperty };

// One callback as it came, in plain values: recording it calls nothing of
// the platform.
struct EndpointEvent {
  EventKind kind = EventKind::kAdded;
  std::chrono::system_clock::time_point time;
  std::optional<std::wstring> id;  // absent for a role that now has no default
  EDataFlow flow = eRender;        // of a default
  ERole role = eConsole;           // of a default
  DWORD state = 0;                 // the new state
  PROPERTYKEY property{};          // the property that changed
};

// Hands events from the platform's threads to trelmo's own. The lock is
// held only to add one event or to take them all; the wake event (auto-reset)
// is set when an event arrives at an empty queue.
class EventQueue {
 public:
  EventQueue();
  ~EventQueue();
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  // Null when it could not be created.
  [[nodiscard]] HANDLE WakeEvent() const { return wake_; }
  void Push(EndpointEvent event);
  // Every event since the last call, oldest first. The queue keeps none of
  // their storage, so a burst's memory goes back once the batch is done.
  std::vector<EndpointEvent> Take();

 private:
  std::mutex lock_;
  std::vector<EndpointEvent> pending_;
  HANDLE wake_;
};

// Receives the platform's callbacks and only records them. The watch owns
// it and keeps it until the registration has ended; references are counted
// for the platform's sake and never free it, so nothing deletes it through
// the interface.
class NotificationClient final : public IMMNotificationClient {  // NOLINT(cppcoreguidelines-virtual-class-destructor)
 public:
  explicit NotificationClient(EventQueue& queue) : queue_(queue) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR id, DWORD state) override;
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR id) override;
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR id) override;
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR id) override;
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR id, PROPERTYKEY key) override;

 private:
  HRESULT Record(EndpointEvent event, LPCWSTR id);

  EventQueue& queue_;
  std::atomic<ULONG> references_{1};
};

// One line of a watch, read and let through: what the text and JSON show.
struct EventLine {
  EventKind kind = EventKind::kPresent;
  std::chrono::system_clock::time_point time;
  std::optional<EDataFlow> flow;  // absent when it could not be had
  std::optional<std::wstring> id;
  std::optional<std::wstring> friendly_name;
  DWORD state = 0;                      // of present, added and state; 0 when it could not be had
  std::optional<DWORD> previous_state;  // of state and removed, when trelmo knew it
  ERole role = eConsole;                // of default
  PROPERTYKEY property{};               // of property
};

// The line as one JSON object, without the line end.
std::string JsonLine(const EventLine& line);
// The line as text in columns, without the line end: local time, event,
// flow, what changed, name, identifier.
std::wstring TextLine(const EventLine& line);

// While it exists, the console's Ctrl+C, Ctrl+Break, close, log-off and
// shutdown stop the watch. It is made first and ends last: a closing console
// waits until it ends, so that everything made after it is released first.
class ConsoleStop {
 public:
  ConsoleStop();
  ~ConsoleStop();
  ConsoleStop(const ConsoleStop&) = delete;
  ConsoleStop& operator=(const ConsoleStop&) = delete;

  // Set once a stop is asked for; null when it could not be created.
  [[nodiscard]] static HANDLE StopEvent();
  [[nodiscard]] static bool Requested();
};

// The console control handler: asks the watch to stop, and for a close,
// log-off or shutdown (after which the process is ended) waits a few seconds
// at most for the watch to end. Always TRUE: the event is handled.
BOOL WINAPI StopWatching(DWORD control);
