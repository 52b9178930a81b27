#include "app/state_mask.h"
#include "report/report.h"
#include "text/text.h"

#include <cstdio>
#include <string>

namespace {

// Text the block shows for one endpoint, gathered before anything is printed.
std::wstring FormatBlock(const wchar_t* id, const wchar_t* friendly_name, const wchar_t* adapter_name,
                         const wchar_t* description, const wchar_t* state, const std::wstring& format) {
  std::wstring block = L"===== Device =====\n";
  const auto line = [&block](const wchar_t* label, const wchar_t* value) {
    block += label;
    block += value;
    block += L'\n';
  };
  // The identifier has no fallback: a missing one shows as "(null)".
  line(L"Device ID          : ", id != nullptr ? id : L"(null)");
  line(L"Device name        : ", OrUnknown(friendly_name));
  line(L"Adapter name       : ", OrUnknown(adapter_name));
  line(L"Device description : ", OrUnknown(description));
  line(L"Device state       : ", state);
  line(L"Current format     : ", format.c_str());
  block += L'\n';
  return block;
}

void WriteBlock(const std::wstring& block) {
  const std::string text = WideToLocale(block);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

const wchar_t* OrUnknown(const wchar_t* text) { return text != nullptr ? text : L"Unknown"; }

const wchar_t* StateName(std::uint32_t state) {
  switch (state) {
    case DEVICE_STATE_ACTIVE:
      return L"Active";
    case DEVICE_STATE_DISABLED:
      return L"Disabled";
    case DEVICE_STATE_NOTPRESENT:
      return L"Not present";
    case DEVICE_STATE_UNPLUGGED:
      return L"Unplugged";
    default:
      return L"Unknown";
  }
}

void PrintDevice(const ComHandle<IMMDevice>& device) {
  if (!device) {
    return;
  }
  // A state the endpoint would not give is 0, which no filter lets through.
  DWORD state = 0;
  if (FAILED(device->GetState(&state))) {
    state = 0;
  }
  TaskMemHandle<wchar_t> id;
  const bool has_id = SUCCEEDED(device->GetId(id.Put()));
  ComHandle<IPropertyStore> store;
  device->OpenPropertyStore(STGM_READ, store.Put());

  PropertyValue adapter_name;
  PropertyValue friendly_name;
  PropertyValue description;
  if (store) {
    // A value the store failed to give is absent, whatever it left behind.
    const auto read = [&store](const PROPERTYKEY& key, PropertyValue& value) {
      if (FAILED(store->GetValue(key, value.Put()))) {
        value.Put();
      }
    };
    read(kPkeyDeviceFriendlyName, friendly_name);
    read(kPkeyDeviceInterfaceFriendlyName, adapter_name);
    read(kPkeyDeviceDeviceDesc, description);
  }

  if ((state & StateMask) == 0) {
    return;
  }
  const std::wstring format = CurrentFormatName(*device.Get());
  WriteBlock(FormatBlock(has_id ? id.Get() : nullptr, friendly_name.Text(), adapter_name.Text(),
                         description.Text(), StateName(state), format));
}
