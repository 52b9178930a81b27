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

void ReadEndpoint(IMMDevice& device, EndpointReading& reading, Findings* findings) {
  const auto failed = [findings](const char* call, HRESULT result, const char* property = nullptr) {
    if (findings != nullptr) {
      findings->failures.push_back({call, result, property});
    }
  };
  // A state the endpoint failed to give counts as 0, which no filter lets through.
  if (FAILED(device.GetState(&reading.state))) {
    reading.state = 0;
  }
  HRESULT result = HandedBack(device.GetId(reading.id.Put()), reading.id);
  reading.has_id = SUCCEEDED(result);
  if (FAILED(result)) {
    failed("GetId", result);
  }
  result = HandedBack(device.OpenPropertyStore(STGM_READ, reading.store.Put()), reading.store);
  if (FAILED(result)) {
    failed("OpenPropertyStore", result);
    return;
  }
  // A value the store failed to give is absent, whatever it left behind.
  const auto read = [&](const PROPERTYKEY& key, PropertyValue& value, const char* property) {
    const HRESULT read_result = reading.store->GetValue(key, value.Put());
    if (FAILED(read_result)) {
      value.Clear();
      failed("GetValue", read_result, property);
    }
  };
  read(kPkeyDeviceFriendlyName, reading.friendly_name, "friendly_name");
  read(kPkeyDeviceInterfaceFriendlyName, reading.adapter_name, "adapter_name");
  read(kPkeyDeviceDeviceDesc, reading.description, "description");
}

void PrintDevice(const ComHandle<IMMDevice>& device, EDataFlow flow) {
  if (!device) {
    return;
  }
  EndpointReading reading;
  ReadEndpoint(*device.Get(), reading, nullptr);
  if ((reading.state & StateMask) == 0) {
    return;
  }
  BlockText text;
  text.id = reading.has_id ? reading.id.Get() : nullptr;
  text.friendly_name = reading.friendly_name.Text();
  text.adapter_name = reading.adapter_name.Text();
  text.description = reading.description.Text();
  text.state = StateName(reading.state);
  text.format = CurrentFormatName(*device.Get(), flow);
  WriteWide(FormatBlock(text));
}
