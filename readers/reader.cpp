#include "readers/reader.h"

#include "platform/endpoints.h"
#include "readers/steps.h"

#include <algorithm>
#include <cstring>

namespace {

std::optional<std::wstring> Text(const PROPVARIANT& value) {
  if (value.vt != VT_LPWSTR || value.pwszVal == nullptr) {
    return std::nullopt;
  }
  return std::wstring(value.pwszVal);
}

std::optional<std::uint32_t> Number(const PROPVARIANT& value) {
  if (value.vt != VT_UI4) {
    return std::nullopt;
  }
  return value.ulVal;
}

// The blob must hold the whole record it claims to be: a WAVEFORMATEX and
// the cbSize bytes after it. Anything shorter is not read at all.
std::optional<MixFormatFacts> WaveFormat(const PROPVARIANT& value) {
  if (value.vt != VT_BLOB || value.blob.pBlobData == nullptr || value.blob.cbSize < sizeof(WAVEFORMATEX)) {
    return std::nullopt;
  }
  WAVEFORMATEXTENSIBLE record{};
  std::memcpy(&record, value.blob.pBlobData, sizeof(WAVEFORMATEX));
  if (value.blob.cbSize - sizeof(WAVEFORMATEX) < record.Format.cbSize) {
    return std::nullopt;
  }
  // A copy, so that a blob with no alignment to speak of is read safely.
  std::memcpy(&record, value.blob.pBlobData, std::min<std::size_t>(value.blob.cbSize, sizeof record));
  return DescribeMixFormat(record.Format);
}

std::optional<GUID> Guid(const PROPVARIANT& value) {
  if (value.vt != VT_CLSID || value.puuid == nullptr) {
    return std::nullopt;
  }
  return *value.puuid;
}

// Keeps the value where the snapshot has the property.
void Keep(EndpointSnapshot& snapshot, Property property, const PROPVARIANT& value) {
  switch (property) {
    case Property::kFriendlyName:
      snapshot.friendly_name = Text(value);
      break;
    case Property::kAdapterName:
      snapshot.adapter_name = Text(value);
      break;
    case Property::kDescription:
      snapshot.description = Text(value);
      break;
    case Property::kFormFactor:
      snapshot.form_factor = Number(value);
      break;
    case Property::kPhysicalSpeakers:
      snapshot.physical_speakers = Number(value);
      break;
    case Property::kDeviceFormat:
      snapshot.device_format = WaveFormat(value);
      break;
    case Property::kContainerId:
      snapshot.container_id = Guid(value);
      break;
  }
}

}  // namespace

EndpointReader::EndpointReader(ComHandle<IMMDevice> device, std::optional<EDataFlow> flow)
    : device_(std::move(device)) {
  snapshot_.flow = flow;
}

void EndpointReader::ReadIdentity() {
  ReadState();
  ReadId();
  ReadProperties({Property::kFriendlyName, Property::kAdapterName, Property::kDescription});
}

void EndpointReader::ReadState() {
  DWORD state = 0;
  const HRESULT result = device_->GetState(&state);
  if (FAILED(result)) {
    // Whatever a failing endpoint left behind is not its state.
    snapshot_.failures.push_back({Part::kEndpoint, "GetState", result});
    return;
  }
  snapshot_.state = state;
}

void EndpointReader::ReadId() {
  TaskMemHandle<wchar_t> id;
  const HRESULT result = HandedBack(device_->GetId(id.Put()), id);
  if (FAILED(result)) {
    snapshot_.failures.push_back({Part::kEndpoint, "GetId", result});
    return;
  }
  snapshot_.id = id.Get();
}

void EndpointReader::ReadFlow() {
  ComHandle<IMMEndpoint> endpoint;
  HRESULT result = Query(*device_.Get(), endpoint);
  if (FAILED(result)) {
    snapshot_.failures.push_back(CallFailure{Part::kEndpoint, "QueryInterface", result}.OfInterface("IMMEndpoint"));
    return;
  }
  EDataFlow flow = eAll;
  result = endpoint->GetDataFlow(&flow);
  if (FAILED(result)) {
    snapshot_.failures.push_back({Part::kEndpoint, "GetDataFlow", result});
    return;
  }
  if (flow == eRender || flow == eCapture) {
    snapshot_.flow = flow;
  }
}

void EndpointReader::ReadProperties(std::initializer_list<Property> properties, Part part) {
  if (!store_asked_) {
    store_asked_ = true;
    const HRESULT result = OpenPropertyStore(*device_.Get(), store_);
    if (FAILED(result)) {
      snapshot_.failures.push_back({part, "OpenPropertyStore", result});
    }
  }
  if (!store_) {
    return;
  }
  for (const Property property : properties) {
    PropertyValue value;
    const HRESULT result = store_->GetValue(*TextOf(property).key, value.Put());
    // A value the store failed to give is absent, whatever it left behind.
    if (FAILED(result)) {
      snapshot_.failures.push_back(CallFailure{part, "GetValue", result}.AboutProperty(TextOf(property).member));
      continue;
    }
    Keep(snapshot_, property, value.Get());
  }
}

void EndpointReader::ProbeLayout() {
  snapshot_.layout =
      AcceptedLayout(*device_.Get(), snapshot_.flow.value_or(eRender), snapshot_.mix_format, snapshot_.failures);
}

void EndpointReader::ReadDetails() {
  ReadProperties({Property::kFormFactor, Property::kPhysicalSpeakers, Property::kDeviceFormat, Property::kContainerId},
                 Part::kDetails);
  snapshot_.volume = ::ReadVolume(*device_.Get(), snapshot_.failures);
  snapshot_.peak = ReadPeak(*device_.Get(), snapshot_.failures);
}

void EndpointReader::ReadFormat() {
  ReadProperties({Property::kDeviceFormat});
  if (!snapshot_.device_format) {
    snapshot_.mix_format = ReadMixFormat(*device_.Get(), snapshot_.failures);
  }
}

void EndpointReader::ReadVolume() { snapshot_.volume = ::ReadVolume(*device_.Get(), snapshot_.failures); }

void EndpointReader::ReadFormats() { snapshot_.formats = ReadFormatSupport(*device_.Get(), snapshot_.failures); }

void EndpointReader::ReadSessions(const SessionLookups& lookups) {
  session_volumes_.clear();
  snapshot_.sessions = ReadSessionList(*device_.Get(), lookups, snapshot_.failures, session_volumes_);
}

RoleIds ReadDefaultIds(IMMDeviceEnumerator& enumerator, EDataFlow flow) {
  RoleIds ids;
  for (std::size_t role = 0; role < kRoleCount; ++role) {
    // A role without a default, or one the platform fails to name, marks nothing.
    ComHandle<IMMDevice> device;
    if (FAILED(DefaultEndpoint(enumerator, flow, kRoles[role], device))) {
      continue;
    }
    EndpointReader reader(std::move(device));
    reader.ReadId();
    ids[role] = reader.Snapshot().id.value_or(std::wstring());
  }
  return ids;
}
