// What changes while a watch runs: the platform's callbacks recorded as
// plain events on its own threads, and the queue that hands them to
// trelmo's thread.
#pragma once

#include "platform/core_audio.h"
#include "platform/handles.h"
#include "readers/vocabulary.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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

  // Null when it could not be created.
  [[nodiscard]] HANDLE WakeEvent() const { return wake_.Get(); }
  void Push(EndpointEvent event);
  // Every event since the last call, oldest first. The queue keeps none of
  // their storage, so a burst's memory goes back once the batch is done.
  std::vector<EndpointEvent> Take();

 private:
  std::mutex lock_;
  std::vector<EndpointEvent> pending_;
  KernelHandle wake_;
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
