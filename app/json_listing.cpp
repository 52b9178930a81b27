#include "app/app.h"
#include "app/state_mask.h"
#include "report/report.h"
#include "text/output.h"
#include "text/text.h"

#include <nlohmann/json.hpp>

#include <array>
#include <optional>
#include <string>

namespace {

// Members stay in the order they are written, which is the order readers see.
using Json = nlohmann::ordered_json;

// The roles an endpoint can be the default for, in the order the document names them.
constexpr std::array<std::pair<ERole, const char*>, 3> kRoles = {{
    {eConsole, "console"},
    {eMultimedia, "multimedia"},
    {eCommunications, "communications"},
}};

// The identifier of the default endpoint of one flow, per role; empty where
// there is none or it could not be had.
using DefaultIds = std::array<std::wstring, kRoles.size()>;

std::string Code(HRESULT result) { return "0x" + FormatCode(static_cast<std::uint32_t>(result)); }

// Every character the platform gave, as UTF-8; only a surrogate with no
// partner, which has no UTF-8 form, becomes U+FFFD.
Json Text(const wchar_t* text) {
  if (text == nullptr) {
    return nullptr;
  }
  return WideToUtf8(ReplaceLoneSurrogates(text));
}

const char* StateWord(DWORD state) {
  switch (state) {
    case DEVICE_STATE_ACTIVE:
      return "active";
    case DEVICE_STATE_DISABLED:
      return "disabled";
    case DEVICE_STATE_NOTPRESENT:
      return "not-present";
    case DEVICE_STATE_UNPLUGGED:
      return "unplugged";
    default:
      return "unknown";
  }
}

// The default endpoint is an extra; a role without one, or one the platform
// fails to name, marks nothing.
std::wstring DefaultId(IMMDeviceEnumerator& enumerator, EDataFlow flow, ERole role) {
  ComHandle<IMMDevice> device;
  if (FAILED(enumerator.GetDefaultAudioEndpoint(flow, role, device.Put())) || !device) {
    return {};
  }
  TaskMemHandle<wchar_t> id;
  if (FAILED(device->GetId(id.Put())) || !id) {
    return {};
  }
  return id.Get();
}

DefaultIds ReadDefaults(IMMDeviceEnumerator& enumerator, EDataFlow flow) {
  DefaultIds ids;
  for (std::size_t role = 0; role < kRoles.size(); ++role) {
    ids[role] = DefaultId(enumerator, flow, kRoles[role].first);
  }
  return ids;
}

Json MixFormat(const std::optional<MixFormatFacts>& facts) {
  if (!facts) {
    return nullptr;
  }
  Json format = Json::object();
  format["sample_rate"] = facts->sample_rate;
  format["channels"] = facts->channels;
  format["bits_per_sample"] = facts->bits_per_sample;
  format["channel_mask"] = facts->channel_mask ? Json(*facts->channel_mask) : Json(nullptr);
  format["sample_type"] = facts->sample_type;
  return format;
}

Json Errors(const std::vector<CallFailure>& failures) {
  Json errors = Json::array();
  for (const CallFailure& failure : failures) {
    Json error = Json::object();
    error["call"] = failure.call;
    error["code"] = Code(failure.code);
    if (failure.property != nullptr) {
      error["property"] = failure.property;
    }
    errors.push_back(std::move(error));
  }
  return errors;
}

// The endpoint's entry, or nothing when its state is not in the StateMask.
std::optional<Json> DescribeEndpoint(IMMDevice& device, EDataFlow flow, const DefaultIds& defaults) {
  Findings findings;
  EndpointReading reading;
  ReadEndpoint(device, reading, &findings);
  if ((reading.state & StateMask) == 0) {
    return std::nullopt;
  }
  const ChannelLayout* layout = AcceptedLayout(device, flow, &findings);

  const wchar_t* id = reading.has_id ? reading.id.Get() : nullptr;
  Json default_for = Json::array();
  for (std::size_t role = 0; role < kRoles.size(); ++role) {
    if (id != nullptr && !defaults[role].empty() && defaults[role] == id) {
      default_for.push_back(kRoles[role].second);
    }
  }
  Json endpoint = Json::object();
  endpoint["id"] = Text(id);
  endpoint["flow"] = flow == eCapture ? "capture" : "render";
  endpoint["state"] = StateWord(reading.state);
  endpoint["state_code"] = reading.state;
  endpoint["friendly_name"] = Text(reading.friendly_name.Text());
  endpoint["adapter_name"] = Text(reading.adapter_name.Text());
  endpoint["description"] = Text(reading.description.Text());
  endpoint["default_for"] = std::move(default_for);
  endpoint["current_layout"] = layout != nullptr ? Json(std::string(layout->name)) : Json(nullptr);
  endpoint["mix_format"] = MixFormat(findings.mix_format);
  endpoint["errors"] = Errors(findings.failures);
  return endpoint;
}

void WriteDocument(const Json& document) {
  // The text in it is valid UTF-8 already; replacing, never throwing, is
  // what keeps that promise for anything that slipped through.
  WriteUtf8(document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

int WriteErrorDocument(const char* call, HRESULT result, const char* message) {
  Json error = Json::object();
  error["call"] = call;
  error["code"] = Code(result);
  error["message"] = message;
  Json document = Json::object();
  document["error"] = std::move(error);
  WriteDocument(document);
  return -1;
}

}  // namespace

int RunJsonListing(const Options& options, CreateInstanceFunction create_instance) {
  ComHandle<IMMDeviceEnumerator> enumerator;
  HRESULT result = CreateEnumerator(create_instance, enumerator);
  if (FAILED(result)) {
    return WriteErrorDocument("CoCreateInstance", result, "Couldn't create Device Enumerator");
  }

  const std::vector<EDataFlow> flows = ListedFlows(options);
  std::vector<DefaultIds> defaults;
  defaults.reserve(flows.size());
  for (const EDataFlow flow : flows) {
    defaults.push_back(ReadDefaults(*enumerator.Get(), flow));
  }

  Json endpoints = Json::array();
  for (std::size_t listed = 0; listed < flows.size(); ++listed) {
    ComHandle<IMMDeviceCollection> collection;
    result = EnumerateEndpoints(*enumerator.Get(), flows[listed], collection);
    if (FAILED(result)) {
      return WriteErrorDocument("EnumAudioEndpoints", result, "Couldn't enumerate");
    }
    const UINT count = EndpointCount(*collection.Get());
    for (UINT index = 0; index < count; ++index) {
      ComHandle<IMMDevice> device;
      if (FAILED(collection->Item(index, device.Put())) || !device) {
        continue;
      }
      if (std::optional<Json> endpoint = DescribeEndpoint(*device.Get(), flows[listed], defaults[listed])) {
        endpoints.push_back(std::move(*endpoint));
      }
    }
  }
  Json document = Json::object();
  document["endpoints"] = std::move(endpoints);
  WriteDocument(document);
  return 0;
}
