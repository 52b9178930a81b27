#include "platform/endpoints.h"

HRESULT CreateEnumerator(CreateInstanceFunction create_instance, ComHandle<IMMDeviceEnumerator>& enumerator) {
  return HandedBack(
      create_instance(kClsidMMDeviceEnumerator, nullptr, kClsctxAll, kIidIMMDeviceEnumerator, enumerator.PutVoid()),
      enumerator);
}

HRESULT CreatePolicyConfig(CreateInstanceFunction create_instance, ComHandle<IPolicyConfig>& policy) {
  return HandedBack(create_instance(kClsidPolicyConfig, nullptr, kClsctxAll, kIidIPolicyConfig, policy.PutVoid()),
                    policy);
}

HRESULT EnumerateEndpoints(IMMDeviceEnumerator& enumerator, EDataFlow flow, DWORD states,
                           ComHandle<IMMDeviceCollection>& collection) {
  return HandedBack(enumerator.EnumAudioEndpoints(flow, states, collection.Put()), collection);
}

UINT EndpointCount(IMMDeviceCollection& collection) {
  UINT count = 0;
  if (FAILED(collection.GetCount(&count))) {
    count = 0;
  }
  return count;
}

HRESULT DefaultEndpoint(IMMDeviceEnumerator& enumerator, EDataFlow flow, ERole role, ComHandle<IMMDevice>& device) {
  return HandedBack(enumerator.GetDefaultAudioEndpoint(flow, role, device.Put()), device);
}

HRESULT EndpointById(IMMDeviceEnumerator& enumerator, const wchar_t* id, ComHandle<IMMDevice>& device) {
  return HandedBack(enumerator.GetDevice(id, device.Put()), device);
}

HRESULT OpenPropertyStore(IMMDevice& device, ComHandle<IPropertyStore>& store) {
  return HandedBack(device.OpenPropertyStore(STGM_READ, store.Put()), store);
}

HRESULT ActivateInterface(IMMDevice& device, const IID& iid, void** object) {
  return device.Activate(iid, kClsctxAll, nullptr, object);
}
