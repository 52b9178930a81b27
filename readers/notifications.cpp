#include "readers/notifications.h"

#include "platform/event_context.h"

#include <algorithm>
#include <new>
#include <utility>

EventQueue::EventQueue() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

void EventQueue::Push(EndpointEvent event) {
  bool first = false;
  {
    const std::lock_guard<std::mutex> held(lock_);
    first = pending_.empty();
    pending_.push_back(std::move(event));
  }
  // An event that finds others waiting was announced with the first of them.
  if (first) {
    static_cast<void>(SetEvent(wake_.Get()));
  }
}

std::vector<EndpointEvent> EventQueue::Take() {
  std::vector<EndpointEvent> batch;
  const std::lock_guard<std::mutex> held(lock_);
  batch.swap(pending_);
  return batch;
}

HRESULT NotificationClient::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(iid, kIidIUnknown) || IsEqualIID(iid, kIidIMMNotificationClient)) {
    *out = static_cast<IMMNotificationClient*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG NotificationClient::AddRef() { return ++references_; }
ULONG NotificationClient::Release() { return --references_; }

// Each callback comes on one of the platform's threads: it takes the time,
// copies its values and queues them, nothing more.
HRESULT NotificationClient::Record(EndpointEvent event, LPCWSTR id) {
  event.time = std::chrono::system_clock::now();
  try {
    if (id != nullptr) {
      event.id = id;
    }
    queue_.Push(std::move(event));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT NotificationClient::OnDeviceStateChanged(LPCWSTR id, DWORD state) {
  EndpointEvent event;
  event.kind = EventKind::kState;
  event.state = state;
  return Record(std::move(event), id);
}

HRESULT NotificationClient::OnDeviceAdded(LPCWSTR id) {
  EndpointEvent event;
  event.kind = EventKind::kAdded;
  return Record(std::move(event), id);
}

HRESULT NotificationClient::OnDeviceRemoved(LPCWSTR id) {
  EndpointEvent event;
  event.kind = EventKind::kRemoved;
  return Record(std::move(event), id);
}

HRESULT NotificationClient::OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR id) {
  EndpointEvent event;
  event.kind = EventKind::kDefault;
  event.flow = flow;
  event.role = role;
  return Record(std::move(event), id);
}

HRESULT NotificationClient::OnPropertyValueChanged(LPCWSTR id, PROPERTYKEY key) {
  EndpointEvent event;
  event.kind = EventKind::kProperty;
  event.property = key;
  return Record(std::move(event), id);
}

namespace {

// No endpoint has more channels than a format can describe; a broken count
// must not read beyond what the platform handed over.
constexpr UINT kMostChannels = 0xFFFF;

bool ByTrelmo(LPCGUID context) { return context != nullptr && IsEqualGUID(*context, kTrelmoEventContext) != FALSE; }

}  // namespace

template <typename Interface>
HRESULT QueuedCallback<Interface>::Record(EndpointEvent event) {
  event.time = std::chrono::system_clock::now();
  event.session = session_;
  try {
    event.id = id_;
    queue_.Push(std::move(event));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT VolumeCallback::OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA data) {
  if (data == nullptr) {
    return E_POINTER;
  }
  EndpointEvent event;
  event.kind = EventKind::kVolume;
  event.level = data->fMasterVolume;
  event.muted = data->bMuted != FALSE;
  event.by_trelmo = ByTrelmo(&data->guidEventContext);
  try {
    // The levels run on past the structure's declared one-element array.
    const auto* levels = static_cast<const float*>(data->afChannelVolumes);
    event.channel_levels.assign(levels, levels + std::min(data->nChannels, kMostChannels));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return Record(std::move(event));
}

HRESULT SessionCreatedCallback::OnSessionCreated(IAudioSessionControl* control) {
  if (control == nullptr) {
    return E_POINTER;
  }
  EndpointEvent event;
  event.kind = EventKind::kSessionAdded;
  // Kept past the callback's return, so it needs a reference of its own; the
  // watch's thread releases it once it has registered on the session.
  control->AddRef();
  *event.control.Put() = control;
  return Record(std::move(event));
}

HRESULT SessionEventsCallback::OnDisplayNameChanged(LPCWSTR name, LPCGUID /*context*/) {
  EndpointEvent event;
  event.kind = EventKind::kSessionName;
  try {
    event.display_name = name != nullptr ? name : L"";
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return Record(std::move(event));
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the platform's interface
HRESULT SessionEventsCallback::OnSimpleVolumeChanged(float level, BOOL muted, LPCGUID context) {
  EndpointEvent event;
  event.kind = EventKind::kSessionVolume;
  event.level = level;
  event.muted = muted != FALSE;
  event.by_trelmo = ByTrelmo(context);
  return Record(std::move(event));
}

HRESULT SessionEventsCallback::OnStateChanged(AudioSessionState state) {
  EndpointEvent event;
  event.kind = EventKind::kSessionState;
  event.state = static_cast<DWORD>(state);
  return Record(std::move(event));
}

HRESULT SessionEventsCallback::OnSessionDisconnected(AudioSessionDisconnectReason reason) {
  EndpointEvent event;
  event.kind = EventKind::kSessionRemoved;
  event.reason = static_cast<std::uint32_t>(reason);
  return Record(std::move(event));
}

template class QueuedCallback<IAudioEndpointVolumeCallback>;
template class QueuedCallback<IAudioSessionNotification>;
template class QueuedCallback<IAudioSessionEvents>;
