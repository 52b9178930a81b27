#include "readers/notifications.h"

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
