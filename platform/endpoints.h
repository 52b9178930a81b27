// The platform steps every run is made of: the enumerator, a flow's
// endpoints, one walk over them, and what an endpoint opens or activates.
// Each answers with the platform's result; a success that hands back no
// object is E_POINTER, so that nothing goes on to use an empty handle.
#pragma once

#include "platform/core_audio.h"
#include "platform/handles.h"
#include "platform/policy_config.h"

HRESULT CreateEnumerator(CreateInstanceFunction create_instance, ComHandle<IMMDeviceEnumerator>& enumerator);

// The policy-configuration object, through the same function as the enumerator.
HRESULT CreatePolicyConfig(CreateInstanceFunction create_instance, ComHandle<IPolicyConfig>& policy);

// The flow's endpoints whose state is one of the DEVICE_STATE_* bits given.
HRESULT EnumerateEndpoints(IMMDeviceEnumerator& enumerator, EDataFlow flow, DWORD states,
                           ComHandle<IMMDeviceCollection>& collection);

// The number of endpoints, or 0 when the collection cannot say: an undefined
// count must not be walked.
UINT EndpointCount(IMMDeviceCollection& collection);

// Hands visit(index, ComHandle<IMMDevice>) each endpoint of the first count,
// in the collection's order; an endpoint the collection fails to give is
// passed over, its index with it.
template <typename Visit>
void ForEachEndpoint(IMMDeviceCollection& collection, UINT count, Visit visit) {
  for (UINT index = 0; index < count; ++index) {
    ComHandle<IMMDevice> device;
    if (SUCCEEDED(HandedBack(collection.Item(index, device.Put()), device))) {
      visit(index, std::move(device));
    }
  }
}

// The flow's default endpoint for the role.
HRESULT DefaultEndpoint(IMMDeviceEnumerator& enumerator, EDataFlow flow, ERole role, ComHandle<IMMDevice>& device);

// The endpoint with this identifier, in any state.
HRESULT EndpointById(IMMDeviceEnumerator& enumerator, const wchar_t* id, ComHandle<IMMDevice>& device);

// The endpoint's property store, for reading.
HRESULT OpenPropertyStore(IMMDevice& device, ComHandle<IPropertyStore>& store);

// A new object of the interface on the endpoint, with no activation parameters.
HRESULT ActivateInterface(IMMDevice& device, const IID& iid, void** object);
template <typename Interface>
HRESULT Activate(IMMDevice& device, ComHandle<Interface>& object) {
  return HandedBack(ActivateInterface(device, InterfaceId<Interface>::kIid, object.PutVoid()), object);
}

// Another interface of an object the tool holds.
template <typename Interface>
HRESULT Query(IUnknown& object, ComHandle<Interface>& other) {
  return HandedBack(object.QueryInterface(InterfaceId<Interface>::kIid, other.PutVoid()), other);
}

// The client's registration for endpoint notifications, ended when this
// ends. The enumerator and the client must outlive it: the platform may call
// the client until the unregistration returns.
class NotificationRegistration {
 public:
  NotificationRegistration(IMMDeviceEnumerator& enumerator, IMMNotificationClient& client)
      : enumerator_(enumerator), client_(client), result_(enumerator.RegisterEndpointNotificationCallback(&client)) {}
  ~NotificationRegistration() {
    if (SUCCEEDED(result_)) {
      static_cast<void>(enumerator_.UnregisterEndpointNotificationCallback(&client_));
    }
  }
  NotificationRegistration(const NotificationRegistration&) = delete;
  NotificationRegistration& operator=(const NotificationRegistration&) = delete;
  NotificationRegistration(NotificationRegistration&&) = delete;
  NotificationRegistration& operator=(NotificationRegistration&&) = delete;

  [[nodiscard]] HRESULT Result() const { return result_; }

 private:
  IMMDeviceEnumerator& enumerator_;
  IMMNotificationClient& client_;
  HRESULT result_;
};
