// What changes while a watch runs: the platform's callbacks recorded as
// plain events on its own threads, and the queue that hands them to
// trelmo's thread.
#pragma once

#include "platform/core_audio.h"
#include "platform/handles.h"
#include "readers/vocabulary.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// One callback as it came, in plain values: recording it calls nothing of
// the platform. A new session's control is the one thing kept as it came,
// with a reference of its own taken in the callback.
struct EndpointEvent {
  EventKind kind = EventKind::kAdded;
  std::chrono::system_clock::time_point time;
  std::optional<std::wstring> id;  // absent for a role that now has no default
  EDataFlow flow = eRender;        // of a default
  ERole role = eConsole;           // of a default
  DWORD state = 0;                 // the new state; of a session's, its AudioSessionState
  PROPERTYKEY property{};          // the property that changed

  // Of a volume and a session's volume.
  float level = 0;  // 0.0 to 1.0
  bool muted = false;
  bool by_trelmo = false;             // it came with trelmo's own event context
  std::vector<float> channel_levels;  // of an endpoint's volume
  // Of a session's event: the registration it came through.
  std::uint64_t session = 0;
  std::wstring display_name;                // of a session's new name, as given
  std::uint32_t reason = 0;                 // of a session gone: its AudioSessionDisconnectReason
  ComHandle<IAudioSessionControl> control;  // of a session added
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

// What the callbacks a watch registers with --details and --sessions have in
// common: they record what they are given in the queue, nothing more, and,
// like the notification client, are owned by the watch, which keeps each
// until its registration has ended.
template <typename Interface>
class QueuedCallback : public Interface {  // NOLINT(cppcoreguidelines-virtual-class-destructor)
 public:
  QueuedCallback(const QueuedCallback&) = delete;
  QueuedCallback& operator=(const QueuedCallback&) = delete;
  QueuedCallback(QueuedCallback&&) = delete;
  QueuedCallback& operator=(QueuedCallback&&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    if (IsEqualIID(iid, kIidIUnknown) || IsEqualIID(iid, InterfaceId<Interface>::kIid)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

 protected:
  // id: the endpoint the callback is registered on; session: the session's
  // registration, or 0 for the endpoint's own.
  QueuedCallback(EventQueue& queue, std::wstring id, std::uint64_t session)
      : queue_(queue), id_(std::move(id)), session_(session) {}
  ~QueuedCallback() = default;

  // Takes the time, adds the endpoint and the session and queues the event.
  HRESULT Record(EndpointEvent event);

 private:
  EventQueue& queue_;
  const std::wstring id_;
  const std::uint64_t session_;
  std::atomic<ULONG> references_{1};
};

// An endpoint's volume and mute, from its volume control.
class VolumeCallback final : public QueuedCallback<IAudioEndpointVolumeCallback> {
 public:
  VolumeCallback(EventQueue& queue, std::wstring id) : QueuedCallback(queue, std::move(id), 0) {}
  HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA data) override;
};

// The sessions created on an endpoint, from its session manager.
class SessionCreatedCallback final : public QueuedCallback<IAudioSessionNotification> {
 public:
  SessionCreatedCallback(EventQueue& queue, std::wstring id) : QueuedCallback(queue, std::move(id), 0) {}
  HRESULT STDMETHODCALLTYPE OnSessionCreated(IAudioSessionControl* control) override;
};

// One session's state, volume, name and end, from its control.
class SessionEventsCallback final : public QueuedCallback<IAudioSessionEvents> {
 public:
  SessionEventsCallback(EventQueue& queue, std::wstring id, std::uint64_t session)
      : QueuedCallback(queue, std::move(id), session) {}
  HRESULT STDMETHODCALLTYPE OnDisplayNameChanged(LPCWSTR name, LPCGUID context) override;
  HRESULT STDMETHODCALLTYPE OnIconPathChanged(LPCWSTR, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnSimpleVolumeChanged(float level, BOOL muted, LPCGUID context) override;
  HRESULT STDMETHODCALLTYPE OnChannelVolumeChanged(DWORD, float[], DWORD, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnGroupingParamChanged(LPCGUID, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStateChanged(AudioSessionState state) override;
  HRESULT STDMETHODCALLTYPE OnSessionDisconnected(AudioSessionDisconnectReason reason) override;
};
