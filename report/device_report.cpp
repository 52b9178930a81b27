#include "app/state_mask.h"
#include "report/report.h"
#include "text/output.h"

#include <string>

namespace {

// Text the block shows for one endpoint, gathered before anything is printed.
// Named fields, because five text pointers in a row are easily passed in the wrong order.
struct BlockText {
  const wchar_t* id = nullptr;
  const wchar_t* friendly_name = nullptr;
  const wchar_t* adapter_name = nullptr;
  const wchar_t* description = nullptr;
  const wchar_t* state = nullptr;
  std::wstring format;
};

std::wstring FormatBlock(const BlockText& text) {
  std::wstring block = L"===== Device =====\n";
  const auto line = [&block](const wchar_t* label, const wchar_t* value) {
    block += label;
    block += value;
    block += L'\n';
  };
  // The identifier has no fallback: a missing one shows as "(null)".
  line(L"Device ID          : ", text.id != nullptr ? text.id : L"(null)");
  line(L"Device name        : ", OrUnknown(text.friendly_name));
  line(L"Adapter name       : ", OrUnknown(text.adapter_name));
  line(L"Device description : ", OrUnknown(text.description));
  line(L"Device state       : ", text.state);
  line(L"Current format     : ", text.format.c_str());
  block += L'\n';
  return block;
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
  // A state the endpoint failed to give counts as 0, which no filter lets through.
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
        value.Clear();
      }
    };
    read(kPkeyDeviceFriendlyName, friendly_name);
    read(kPkeyDeviceInterfaceFriendlyName, adapter_name);
    read(kPkeyDeviceDeviceDesc, description);
  }

  if ((state & StateMask) == 0) {
    return;
  }
  BlockText text;
  text.id = has_id ? id.Get() : nullptr;
  text.friendly_name = friendly_name.Text();
  text.adapter_name = adapter_name.Text();
  text.description = description.Text();
  text.state = StateName(state);
  text.format = CurrentFormatName(*device.Get());
  WriteWide(FormatBlock(text));
}
