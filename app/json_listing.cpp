#include "app/app.h"
#include "app/state_mask.h"
#include "report/report.h"
#include "text/json.h"
#include "text/output.h"
#include "text/progress.h"
#include "text/text.h"

#include <array>
#include <iterator>
#include <optional>
#include <string>

namespace {

// The identifier of the default endpoint of one flow, per role; empty where
// there is none or it could not be had.
using DefaultIds = std::array<std::wstring, std::size(kRoles)>;

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
  for (std::size_t role = 0; role < std::size(kRoles); ++role) {
    ids[role] = DefaultId(enumerator, flow, kRoles[role]);
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

// A float as the shortest decimal that is the same float, or null.
Json Number(const std::optional<float>& value) { return value ? Json(ShortestDecimal(*value)) : Json(nullptr); }

Json Volume(const std::optional<VolumeFacts>& volume) {
  if (!volume) {
    return nullptr;
  }
  Json facts = Json::object();
  facts["level"] = Number(volume->level);
  facts["level_db"] = Number(volume->level_db);
  facts["muted"] = volume->muted ? Json(*volume->muted) : Json(nullptr);
  if (volume->range_db) {
    facts["range_db"] = {{"min", Number(volume->range_db->min_db)},
                         {"max", Number(volume->range_db->max_db)},
                         {"step", Number(volume->range_db->step_db)}};
  } else {
    facts["range_db"] = nullptr;
  }
  if (volume->channel_levels) {
    Json levels = Json::array();
    for (const std::optional<float>& level : *volume->channel_levels) {
      levels.push_back(Number(level));
    }
    facts["channel_levels"] = std::move(levels);
  } else {
    facts["channel_levels"] = nullptr;
  }
  return facts;
}

Json Errors(const std::vector<CallFailure>& failures) {
  Json errors = Json::array();
  for (const CallFailure& failure : failures) {
    Json error = Json::object();
    error["call"] = failure.call;
    if (failure.mode != nullptr) {
      error["mode"] = failure.mode;
    }
    error["code"] = JsonCode(failure.code);
    if (failure.property != nullptr) {
      error["property"] = failure.property;
    }
    if (failure.interface_name != nullptr) {
      error["interface"] = failure.interface_name;
    }
    errors.push_back(std::move(error));
  }
  return errors;
}

Json FormatEntries(const std::vector<FormatEntry>& entries) {
  Json list = Json::array();
  for (const FormatEntry& entry : entries) {
    list.push_back({{"layout", std::string(entry.layout->name)},
                    {"channels", entry.layout->channels},
                    {"channel_mask", entry.layout->channel_mask},
                    {"sample_type", entry.sample_type},
                    {"sample_rates", entry.sample_rates}});
  }
  return list;
}

Json Formats(const std::optional<FormatSupport>& formats) {
  if (!formats) {
    return nullptr;
  }
  Json member = Json::object();
  member["shared"] = FormatEntries(formats->shared.entries);
  member["exclusive_allowed"] = formats->exclusive_allowed;
  member["exclusive"] = FormatEntries(formats->exclusive.entries);
  return member;
}

// The endpoint's entry, or nothing when its state is not in the StateMask or
// the choice does not keep it.
std::optional<Json> DescribeEndpoint(IMMDevice& device, EDataFlow flow, const DefaultIds& defaults,
                                     const Options& options) {
  Findings findings;
  EndpointReading reading;
  ReadEndpoint(device, reading, &findings);
  const wchar_t* id = reading.has_id ? reading.id.Get() : nullptr;
  if ((reading.state & StateMask) == 0 || !options.choice.Keeps(id, reading.friendly_name.Text())) {
    return std::nullopt;
  }
  const ChannelLayout* layout = AcceptedLayout(device, flow, &findings);
  EndpointDetails details;
  ReadDetails(device, reading.store.Get(), details, findings);
  std::optional<FormatSupport> formats;
  if (options.formats) {
    formats = ReadFormatSupport(device, findings);
  }

  Json default_for = Json::array();
  for (std::size_t role = 0; role < std::size(kRoles); ++role) {
    if (id != nullptr && !defaults[role].empty() && defaults[role] == id) {
      default_for.push_back(RoleWord(kRoles[role]));
    }
  }
  Json endpoint = Json::object();
  endpoint["id"] = JsonText(id);
  endpoint["flow"] = flow == eCapture ? "capture" : "render";
  endpoint["state"] = StateWord(reading.state);
  endpoint["state_code"] = reading.state;
  endpoint["friendly_name"] = JsonText(reading.friendly_name.Text());
  endpoint["adapter_name"] = JsonText(reading.adapter_name.Text());
  endpoint["description"] = JsonText(reading.description.Text());
  endpoint["default_for"] = std::move(default_for);
  endpoint["current_layout"] = layout != nullptr ? Json(std::string(layout->name)) : Json(nullptr);
  endpoint["mix_format"] = MixFormat(findings.mix_format);
  endpoint["form_factor"] = details.form_factor ? Json(FormFactorWord(*details.form_factor)) : Json(nullptr);
  endpoint["physical_speakers"] = details.physical_speakers ? Json(*details.physical_speakers) : Json(nullptr);
  endpoint["device_format"] = MixFormat(details.device_format);
  endpoint["container_id"] = details.container_id ? Json(FormatGuid(*details.container_id)) : Json(nullptr);
  endpoint["volume"] = Volume(details.volume);
  endpoint["peak"] = Number(details.peak);
  if (options.formats) {
    endpoint["formats"] = Formats(formats);
  }
  endpoint["errors"] = Errors(findings.failures);
  return endpoint;
}

void WriteDocument(const Json& document) {
  EraseProgress();
  WriteUtf8(DumpJson(document, 2) + "\n");
}

int WriteErrorDocument(const char* call, HRESULT result, const char* message) {
  WriteDocument(ErrorDocument(call, result, message));
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
      if (options.formats) {
        ShowProbingProgress(index + 1, count);
      }
      if (std::optional<Json> endpoint = DescribeEndpoint(*device.Get(), flows[listed], defaults[listed], options)) {
        endpoints.push_back(std::move(*endpoint));
      }
    }
  }
  Json document = Json::object();
  document["endpoints"] = std::move(endpoints);
  WriteDocument(document);
  return 0;
}
