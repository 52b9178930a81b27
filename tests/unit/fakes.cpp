#include "tests/unit/fakes.h"

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "modes/modes.h"
#include "text/output.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <mutex>
#include <set>
#include <thread>

namespace {

// Blocks handed out at the very end of a page whose next page cannot be
// touched, so that reading or writing one byte past them ends the test.
std::mutex guarded_lock;
std::set<void*> guarded_blocks;

// Frees a block CopyToGuardedMemory handed out; false for any other.
bool FreeGuarded(void* block) {
  const std::lock_guard<std::mutex> held(guarded_lock);
  if (guarded_blocks.erase(block) == 0) {
    return false;
  }
  MEMORY_BASIC_INFORMATION region{};
  VirtualQuery(block, &region, sizeof region);
  VirtualFree(region.AllocationBase, 0, MEM_RELEASE);
  return true;
}

// Counts the blocks of the COM task allocator: the real allocator does the
// work, the spy only watches it.
class TaskMemorySpy : public IMallocSpy {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
  void* STDMETHODCALLTYPE PostAlloc(void* block) override {
    if (block != nullptr) {
      ++outstanding;
    }
    return block;
  }
  void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override {
    if (FreeGuarded(block)) {
      --outstanding;
      return nullptr;  // the allocator itself has nothing to free
    }
    if (block != nullptr && spied) {
      --outstanding;
    }
    return block;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** out, BOOL) override {
    *out = block;
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
  void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int allocated) override { return allocated; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

  long outstanding = 0;
};

TaskMemorySpy& Spy() {
  static TaskMemorySpy spy;
  static const bool registered = SUCCEEDED(CoRegisterMallocSpy(&spy));
  (void)registered;
  return spy;
}

// Platform calls made inside a callback that Notify delivers.
thread_local bool in_callback = false;
std::atomic<int> calls_from_callbacks{0};

std::mutex call_log_lock;
std::vector<std::string> call_log;


// What operator new has handed out; each block carries its size in front.
std::atomic<long long> live_heap_bytes{0};

// The platform the fake CoCreateInstance answers for; set while a run lasts.
FakePlatform* current_platform = nullptr;

HRESULT WINAPI FakeCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
  NoteCall("CoCreateInstance");
  FakePlatform& platform = *current_platform;
  if (IsEqualCLSID(clsid, kClsidPolicyConfig) && IsEqualIID(iid, kIidIPolicyConfig)) {
    *out = nullptr;
    if (platform.policy_create_fault) {
      return *platform.policy_create_fault;
    }
    platform.policy.HandOut(reinterpret_cast<IPolicyConfig**>(out));
    return S_OK;
  }
  ++platform.create_calls;
  platform.create_context = context;
  platform.create_right_ids = outer == nullptr && IsEqualCLSID(clsid, __uuidof(MMDeviceEnumerator)) &&
                              IsEqualIID(iid, __uuidof(IMMDeviceEnumerator));
  *out = nullptr;
  const HRESULT answer = platform.create_fault.value_or(S_OK);
  if (FAILED(answer)) {
    return answer;
  }
  if (!platform.create_hands_back_nothing) {
    platform.enumerator.HandOut(reinterpret_cast<IMMDeviceEnumerator**>(out));
  }
  return answer;
}

void CountPause() { ++current_platform->pauses; }

// Standard error as a console that keeps what the run writes there.
BOOL WINAPI KeepErrors(HANDLE, const VOID* text, DWORD units, LPDWORD written, LPVOID) {
  current_platform->errors.append(static_cast<const wchar_t*>(text), units);
  *written = units;
  return TRUE;
}

// The bytes in a block of exactly their size, freed by CoTaskMemFree like any other.
BYTE* CopyToGuardedMemory(const std::vector<BYTE>& bytes) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  const SIZE_T page = system.dwPageSize;
  const SIZE_T pages = (bytes.size() + page - 1) / page + 1;
  auto* region = static_cast<BYTE*>(VirtualAlloc(nullptr, pages * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD previous = 0;
  VirtualProtect(region + (pages - 1) * page, page, PAGE_NOACCESS, &previous);
  BYTE* block = region + (pages - 1) * page - bytes.size();
  std::memcpy(block, bytes.data(), bytes.size());
  const std::lock_guard<std::mutex> held(guarded_lock);
  guarded_blocks.insert(block);
  ++Spy().outstanding;
  return block;
}

bool SameKey(REFPROPERTYKEY a, unsigned long first, DWORD pid) { return a.fmtid.Data1 == first && a.pid == pid; }

LPWSTR CopyToTaskMemory(const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

WAVEFORMATEX* CopyToTaskMemory(const std::vector<BYTE>& format) {
  return reinterpret_cast<WAVEFORMATEX*>(CopyToGuardedMemory(format));
}

}  // namespace

std::vector<BYTE> MixFormat(WORD tag, WORD channels, DWORD rate, WORD bits, WORD cb_size) {
  std::vector<BYTE> bytes(sizeof(WAVEFORMATEX) + cb_size, 0);
  WAVEFORMATEX header{};
  header.wFormatTag = tag;
  header.nChannels = channels;
  header.nSamplesPerSec = rate;
  header.wBitsPerSample = bits;
  header.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  header.nAvgBytesPerSec = header.nBlockAlign * rate;
  header.cbSize = cb_size;
  std::memcpy(bytes.data(), &header, sizeof header);
  if (cb_size >= 22) {
    WAVEFORMATEXTENSIBLE extensible{};
    std::memcpy(&extensible, bytes.data(), sizeof extensible);
    extensible.Samples.wValidBitsPerSample = bits;
    extensible.dwChannelMask = channels == 1 ? 0x4 : 0x3;
    // KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, as shared-mode mixes usually are.
    extensible.SubFormat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    std::memcpy(bytes.data(), &extensible, sizeof extensible);
  }
  return bytes;
}

HRESULT FakePropertyStore::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
  NoteCall("GetValue");
  const int call = get_value_calls++;
  keys_read.push_back(key);
  PropVariantInit(value);
  const std::string name = "GetValue#" + std::to_string(call);
  if (const auto fault = Failure(name)) {
    if (leave_text_on_failure) {
      value->vt = VT_LPWSTR;
      value->pwszVal = CopyToTaskMemory(L"left behind");
    }
    return *fault;
  }
  for (const auto& [id, property] : values) {
    if (!SameKey(key, id.first, id.second)) {
      continue;
    }
    value->vt = property.type;
    if (property.type == VT_LPWSTR) {
      value->pwszVal = CopyToTaskMemory(property.text);
    } else if (property.type == VT_UI4) {
      value->ulVal = property.number;
    } else if (property.type == VT_BLOB) {
      value->blob.cbSize = static_cast<ULONG>(property.blob.size());
      value->blob.pBlobData = property.blob.empty() ? nullptr : CopyToGuardedMemory(property.blob);
    } else if (property.type == VT_CLSID) {
      value->puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
      *value->puuid = property.guid;
    }
  }
  return Success(name);
}

void FakeDevice::SetNames(const std::wstring& friendly, const std::wstring& adapter,
                          const std::wstring& description) {
  store.values[{0xA45C254E, 14}] = {VT_LPWSTR, friendly};
  store.values[{0x026E516E, 2}] = {VT_LPWSTR, adapter};
  store.values[{0xA45C254E, 2}] = {VT_LPWSTR, description};
}

HRESULT FakeDevice::QueryInterface(REFIID iid, void** out) {
  NoteCall("QueryInterface");
  *out = nullptr;
  if (!IsEqualIID(iid, __uuidof(IMMEndpoint))) {
    return E_NOINTERFACE;
  }
  if (const auto fault = Failure("QueryInterface")) {
    return *fault;
  }
  endpoint.HandOut(reinterpret_cast<IMMEndpoint**>(out));
  return S_OK;
}

HRESULT FakeDevice::Activate(REFIID iid, DWORD context, PROPVARIANT* parameters, void** out) {
  NoteCall("Activate");
  activate_iids.push_back(iid);
  activate_contexts.push_back(context);
  activate_parameters_given = activate_parameters_given || parameters != nullptr;
  *out = nullptr;
  const auto hand_out_other = [this](const std::string& call, auto& fake, auto** interface_out) {
    if (const auto fault = Failure(call)) {
      return *fault;
    }
    if (!hand_back_nothing[call]) {
      fake.HandOut(interface_out);
    }
    return Success(call);
  };
  if (IsEqualIID(iid, __uuidof(IAudioEndpointVolume))) {
    return hand_out_other("Activate#IAudioEndpointVolume", volume, reinterpret_cast<IAudioEndpointVolume**>(out));
  }
  if (IsEqualIID(iid, kIidIAudioMeterInformation)) {
    return hand_out_other("Activate#IAudioMeterInformation", meter,
                          reinterpret_cast<IAudioMeterInformation**>(out));
  }
  if (IsEqualIID(iid, __uuidof(IAudioSessionManager2))) {
    return hand_out_other("Activate#IAudioSessionManager2", session_manager,
                          reinterpret_cast<IAudioSessionManager2**>(out));
  }
  if (const auto fault = Failure("Activate")) {
    return *fault;
  }
  if (hand_back_nothing["Activate"]) {
    return S_OK;
  }
  clients.push_back(std::make_unique<FakeAudioClient>(*this));
  clients.back()->faults = client_faults;
  clients.back()->HandOut(reinterpret_cast<IAudioClient**>(out));
  return Success("Activate");
}

HRESULT FakeDevice::OpenPropertyStore(DWORD access, IPropertyStore** out) {
  NoteCall("OpenPropertyStore");
  store_access = access;
  *out = nullptr;
  if (const auto fault = Failure("OpenPropertyStore")) {
    return *fault;
  }
  if (!hand_back_nothing["OpenPropertyStore"]) {
    store.HandOut(out);
  }
  return Success("OpenPropertyStore");
}

HRESULT FakeDevice::GetId(LPWSTR* out) {
  NoteCall("GetId");
  *out = nullptr;
  if (const auto fault = Failure("GetId")) {
    return *fault;
  }
  if (has_id) {
    *out = CopyToTaskMemory(id);
  }
  return Success("GetId");
}

HRESULT FakeDevice::GetState(DWORD* out) {
  NoteCall("GetState");
  if (const auto fault = Failure("GetState")) {
    // A failing endpoint may leave anything behind; this one leaves a state
    // that every filter would let through.
    *out = 0xFFFFFFFF;
    return *fault;
  }
  *out = state;
  return Success("GetState");
}

HRESULT FakeAudioClient::Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                                    REFERENCE_TIME periodicity, const WAVEFORMATEX* format, LPCGUID session) {
  NoteCall("Initialize");
  ++initialize_calls;
  Offer offer;
  offer.tag = format->wFormatTag;
  offer.channels = format->nChannels;
  offer.rate = format->nSamplesPerSec;
  offer.bits = format->wBitsPerSample;
  offer.block_align = format->nBlockAlign;
  offer.byte_rate = format->nAvgBytesPerSec;
  if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE && format->cbSize >= 22) {
    offer.mask = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format)->dwChannelMask;
  }
  offer.share_mode = mode;
  offer.stream_flags = flags;
  offer.buffer_duration = duration;
  offer.periodicity = periodicity;
  offer.session_guid = session != nullptr;
  device_.offers.push_back(offer);
  if (const auto fault = Fault("Initialize")) {
    return *fault;
  }
  if (device_.decide) {
    return device_.decide(*format);
  }
  const auto* mix = reinterpret_cast<const WAVEFORMATEX*>(device_.mix_format.data());
  return format->nChannels == mix->nChannels ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
}

HRESULT FakeAudioClient::IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                           WAVEFORMATEX** closest) {
  NoteCall("IsFormatSupported");
  FormatOffer offer{mode, closest != nullptr, {}};
  std::memcpy(&offer.format, format, sizeof(WAVEFORMATEX) + std::min<std::size_t>(format->cbSize, 22));
  device_.format_offers.push_back(offer);
  const bool shared = mode == AUDCLNT_SHAREMODE_SHARED;
  const FormatAnswers& answers = shared ? device_.shared_formats : device_.exclusive_formats;
  const auto at = answers.answer_at.find(shared ? shared_offers++ : exclusive_offers++);
  if (closest != nullptr) {
    *closest = answers.closest_match ? CopyToTaskMemory(device_.mix_format) : nullptr;
  }
  if (at != answers.answer_at.end()) {
    return at->second;
  }
  const WAVEFORMATEXTENSIBLE& record = offer.format;
  const auto point = std::make_tuple(format->nChannels, record.dwChannelMask, format->wBitsPerSample,
                                     record.Samples.wValidBitsPerSample, record.SubFormat.Data1 == 3,
                                     format->nSamplesPerSec);
  return answers.accepted.count(point) != 0 ? S_OK : answers.closest_match ? S_FALSE : AUDCLNT_E_UNSUPPORTED_FORMAT;
}

HRESULT FakeAudioClient::GetMixFormat(WAVEFORMATEX** out) {
  NoteCall("GetMixFormat");
  *out = nullptr;
  if (const auto fault = Failure("GetMixFormat")) {
    return *fault;
  }
  if (device_.hand_back_nothing["GetMixFormat"]) {
    return S_OK;
  }
  *out = CopyToTaskMemory(device_.mix_format);
  return Success("GetMixFormat");
}

HRESULT FakeEndpointVolume::GetChannelVolumeLevelScalar(UINT channel, float* value) {
  NoteCall("GetChannelVolumeLevelScalar");
  const std::string own = "GetChannelVolumeLevelScalar#" + std::to_string(channel);
  if (const auto fault = Failure(own)) {
    return *fault;
  }
  if (const auto fault = Failure("GetChannelVolumeLevelScalar")) {
    return *fault;
  }
  if (channel >= channel_levels.size()) {
    return E_INVALIDARG;
  }
  *value = channel_levels[channel];
  return Success("GetChannelVolumeLevelScalar");
}

HRESULT FakeSession::QueryInterface(REFIID iid, void** out) {
  NoteCall("QueryInterface");
  *out = nullptr;
  const auto hand_out = [this](const char* name, auto& fake, auto** interface_out) {
    if (const auto fault = Failure(std::string("QueryInterface#") + name)) {
      return *fault;
    }
    fake.HandOut(interface_out);
    return S_OK;
  };
  if (IsEqualIID(iid, __uuidof(IAudioSessionControl2))) {
    return hand_out("IAudioSessionControl2", *this, reinterpret_cast<IAudioSessionControl2**>(out));
  }
  if (IsEqualIID(iid, __uuidof(ISimpleAudioVolume))) {
    return hand_out("ISimpleAudioVolume", volume, reinterpret_cast<ISimpleAudioVolume**>(out));
  }
  if (IsEqualIID(iid, kIidIAudioMeterInformation)) {
    return hand_out("IAudioMeterInformation", meter, reinterpret_cast<IAudioMeterInformation**>(out));
  }
  return E_NOINTERFACE;
}

// A string from the task allocator, unless the call is made to fail.
HRESULT GiveText(const char* call, const std::optional<HRESULT>& fault, const std::wstring& text, LPWSTR* out) {
  NoteCall(call);
  *out = fault ? nullptr : CopyToTaskMemory(text);
  return fault.value_or(S_OK);
}

HRESULT FakeSession::GetDisplayName(LPWSTR* out) {
  return GiveText("GetDisplayName", Failure("GetDisplayName"), display_name, out);
}
HRESULT FakeSession::GetSessionIdentifier(LPWSTR* out) {
  return GiveText("GetSessionIdentifier", Failure("GetSessionIdentifier"), session_id, out);
}
HRESULT FakeSession::GetSessionInstanceIdentifier(LPWSTR* out) {
  return GiveText("GetSessionInstanceIdentifier", Failure("GetSessionInstanceIdentifier"), instance_id, out);
}

HRESULT FakeSession::IsSystemSoundsSession() {
  NoteCall("IsSystemSoundsSession");
  if (const auto fault = Failure("IsSystemSoundsSession")) {
    return *fault;
  }
  return system_sounds ? S_OK : S_FALSE;
}

HRESULT FakeSessionEnumerator::GetCount(int* out) {
  return Give("GetCount", count.value_or(static_cast<int>(sessions.size())), out);
}

HRESULT FakeSessionEnumerator::GetSession(int index, IAudioSessionControl** out) {
  NoteCall("GetSession");
  *out = nullptr;
  if (const auto fault = Failure("GetSession#" + std::to_string(index))) {
    return *fault;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= sessions.size()) {
    return E_INVALIDARG;
  }
  sessions[static_cast<std::size_t>(index)]->HandOut(out);
  return S_OK;
}

HRESULT FakeSessionManager::GetSessionEnumerator(IAudioSessionEnumerator** out) {
  NoteCall("GetSessionEnumerator");
  *out = nullptr;
  if (const auto fault = Failure("GetSessionEnumerator")) {
    return *fault;
  }
  enumerator.HandOut(out);
  return S_OK;
}

FakeSession& FakeSessionManager::AddSession(DWORD process_id, const std::wstring& display_name) {
  enumerator.sessions.push_back(std::make_unique<FakeSession>());
  FakeSession& session = *enumerator.sessions.back();
  session.process_id = process_id;
  session.display_name = display_name;
  return session;
}

HRESULT FakePolicyConfig::Unexpected(const char* method) {
  NoteCall(method);
  ADD_FAILURE() << "IPolicyConfig::" << method << " called";
  return E_NOTIMPL;
}

FakeDevice* FakePolicyConfig::Find(PCWSTR id) const {
  for (FakeCollection* flow : {&enumerator_.collection, &enumerator_.capture_collection}) {
    for (FakeDevice* device : flow->devices) {
      if (device->id == id) {
        return device;
      }
    }
  }
  return nullptr;
}

HRESULT FakePolicyConfig::SetEndpointVisibility(PCWSTR id, INT visible) {
  NoteCall("SetEndpointVisibility");
  made_visible.emplace_back(id, visible);
  if (const auto fault = Failure("SetEndpointVisibility")) {
    return *fault;
  }
  FakeDevice* device = Find(id);
  if (device == nullptr) {
    return kNotFound;
  }
  device->state = visible != FALSE ? DEVICE_STATE_ACTIVE : DEVICE_STATE_DISABLED;
  return S_OK;
}

HRESULT FakePolicyConfig::SetDeviceFormat(PCWSTR id, WAVEFORMATEX* endpoint, WAVEFORMATEX* mix) {
  NoteCall("SetDeviceFormat");
  FormatSet set{id, {}, {}};
  std::memcpy(&set.endpoint, endpoint, sizeof(WAVEFORMATEX) + std::min<std::size_t>(endpoint->cbSize, 22));
  std::memcpy(&set.mix, mix, sizeof(WAVEFORMATEX) + std::min<std::size_t>(mix->cbSize, 22));
  formats_set.push_back(set);
  if (const auto fault = Failure("SetDeviceFormat")) {
    return *fault;
  }
  FakeDevice* device = Find(id);
  if (device == nullptr) {
    return kNotFound;
  }
  WAVEFORMATEXTENSIBLE kept = set.endpoint;
  kept.Format.nSamplesPerSec = kept_rate.value_or(kept.Format.nSamplesPerSec);
  const auto* bytes = reinterpret_cast<const BYTE*>(&kept);
  device->store.values[{0xF19F064D, 0}] = FakeProperty::Blob({bytes, bytes + sizeof kept});
  const auto* mix_bytes = reinterpret_cast<const BYTE*>(&set.mix);
  device->mix_format.assign(mix_bytes, mix_bytes + sizeof set.mix);
  return S_OK;
}

HRESULT FakePolicyConfig::SetDefaultEndpoint(PCWSTR id, ERole role) {
  NoteCall("SetDefaultEndpoint");
  made_default.emplace_back(id, role);
  if (const auto fault = Failure("SetDefaultEndpoint")) {
    return *fault;
  }
  for (const EDataFlow flow : {eRender, eCapture}) {
    for (FakeDevice* device : (flow == eCapture ? enumerator_.capture_collection : enumerator_.collection).devices) {
      if (device->id == id) {
        enumerator_.defaults[{flow, role}] = device;
        return S_OK;
      }
    }
  }
  return kNotFound;
}

HRESULT FakeCollection::GetCount(UINT* out) {
  NoteCall("GetCount");
  if (const auto fault = Failure("GetCount")) {
    *out = 0xDEADBEEF;  // what a failing collection might leave behind
    return *fault;
  }
  *out = static_cast<UINT>(devices.size());
  return Success("GetCount");
}

HRESULT FakeCollection::Item(UINT index, IMMDevice** out) {
  NoteCall("Item");
  items_asked.push_back(index);
  *out = nullptr;
  const auto fault = item_faults.find(index);
  const HRESULT answer = fault != item_faults.end() ? fault->second : S_OK;
  if (FAILED(answer)) {
    return answer;
  }
  if (index >= devices.size()) {
    return E_INVALIDARG;
  }
  for (const UINT empty : empty_items) {
    if (empty == index) {
      return answer;
    }
  }
  devices[index]->HandOut(out);
  return answer;
}

HRESULT FakeEnumerator::EnumAudioEndpoints(EDataFlow flow, DWORD mask, IMMDeviceCollection** out) {
  NoteCall("EnumAudioEndpoints");
  enumerations.emplace_back(flow, mask);
  *out = nullptr;
  // "EnumAudioEndpoints#capture" fails only the recording endpoints' enumeration.
  std::optional<HRESULT> fault = Failure("EnumAudioEndpoints");
  if (!fault && flow == eCapture) {
    fault = Failure("EnumAudioEndpoints#capture");
  }
  if (fault) {
    return *fault;
  }
  if (!hand_back_nothing) {
    (flow == eCapture ? capture_collection : collection).HandOut(out);
  }
  return Success("EnumAudioEndpoints");
}

HRESULT FakeEnumerator::GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** out) {
  NoteCall("GetDefaultAudioEndpoint");
  default_requests.emplace_back(flow, role);
  *out = nullptr;
  if (const auto fault = Failure("GetDefaultAudioEndpoint")) {
    return *fault;
  }
  const auto found = defaults.find({flow, role});
  if (found == defaults.end()) {
    return kNotFound;
  }
  found->second->HandOut(out);
  return S_OK;
}

HRESULT FakeEnumerator::GetDevice(LPCWSTR id, IMMDevice** out) {
  NoteCall("GetDevice");
  ++devices_asked[id];
  *out = nullptr;
  if (const auto fault = Failure("GetDevice")) {
    return *fault;
  }
  for (FakeCollection* flow : {&collection, &capture_collection}) {
    for (FakeDevice* device : flow->devices) {
      if (device->id == id) {
        device->HandOut(out);
        return S_OK;
      }
    }
  }
  return kNotFound;
}

HRESULT FakeEnumerator::RegisterEndpointNotificationCallback(IMMNotificationClient* client) {
  NoteCall("RegisterEndpointNotificationCallback");
  if (const auto fault = Failure("RegisterEndpointNotificationCallback")) {
    return *fault;
  }
  {
    const std::lock_guard<std::mutex> held(notify_lock_);
    client->AddRef();
    client_ = client;
    ever_registered_ = true;
  }
  registered_.notify_all();
  if (while_registering) {
    std::thread(while_registering).join();
  }
  return S_OK;
}

HRESULT FakeEnumerator::UnregisterEndpointNotificationCallback(IMMNotificationClient* client) {
  NoteCall("UnregisterEndpointNotificationCallback");
  ++unregistrations;
  if (while_unregistering) {
    std::thread(while_unregistering).join();
  }
  const std::lock_guard<std::mutex> held(notify_lock_);
  if (client_ != nullptr && client_ == client) {
    client_->Release();
    client_ = nullptr;
  }
  return Failure("UnregisterEndpointNotificationCallback").value_or(S_OK);
}

bool FakeEnumerator::Notify(const std::function<void(IMMNotificationClient&)>& callback) {
  const std::lock_guard<std::mutex> held(notify_lock_);
  if (client_ == nullptr) {
    return false;
  }
  in_callback = true;
  callback(*client_);
  in_callback = false;
  return true;
}

bool FakeEnumerator::WaitForClient() {
  std::unique_lock<std::mutex> held(notify_lock_);
  return registered_.wait_for(held, std::chrono::seconds(10), [this] { return ever_registered_; });
}

HRESULT CallbackSlot::Register(IUnknown* callback) {
  if (callback == nullptr) {
    return E_POINTER;
  }
  {
    const std::lock_guard<std::mutex> held(lock_);
    if (callback_ != nullptr) {
      return E_FAIL;  // one at a time is all the tool ever needs
    }
    callback->AddRef();
    callback_ = callback;
    ever_registered_ = true;
  }
  registered_.notify_all();
  return S_OK;
}

void CallbackSlot::Unregister(IUnknown* callback) {
  const std::lock_guard<std::mutex> held(lock_);
  if (callback_ != nullptr && callback_ == callback) {
    callback_->Release();
    callback_ = nullptr;
  }
}

bool CallbackSlot::Deliver(const std::function<void(IUnknown&)>& call) {
  const std::lock_guard<std::mutex> held(lock_);
  if (callback_ == nullptr) {
    return false;
  }
  in_callback = true;
  call(*callback_);
  in_callback = false;
  return true;
}

bool CallbackSlot::WaitForRegistration() {
  std::unique_lock<std::mutex> held(lock_);
  return registered_.wait_for(held, std::chrono::seconds(10), [this] { return ever_registered_; });
}

bool CallbackSlot::Registered() const {
  const std::lock_guard<std::mutex> held(lock_);
  return callback_ != nullptr;
}

// A registration's answer: the fault, or the slot's.
template <typename Fake>
HRESULT RegisterIn(Fake& fake, const char* call, CallbackSlot& slot, IUnknown* callback) {
  NoteCall(call);
  if (const auto fault = fake.Failure(call)) {
    return *fault;
  }
  return slot.Register(callback);
}

template <typename Fake>
HRESULT UnregisterFrom(Fake& fake, const char* call, CallbackSlot& slot, IUnknown* callback) {
  NoteCall(call);
  slot.Unregister(callback);
  return fake.Failure(call).value_or(S_OK);
}

HRESULT FakeEndpointVolume::RegisterControlChangeNotify(IAudioEndpointVolumeCallback* callback) {
  return RegisterIn(*this, "RegisterControlChangeNotify", changes, callback);
}
HRESULT FakeEndpointVolume::UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* callback) {
  return UnregisterFrom(*this, "UnregisterControlChangeNotify", changes, callback);
}

bool FakeEndpointVolume::Notify(float new_level, BOOL mute, const GUID& context, const std::vector<float>& channels) {
  // The channels' levels run on past the structure, as the platform lays them out.
  const SIZE_T size = sizeof(AUDIO_VOLUME_NOTIFICATION_DATA) + channels.size() * sizeof(float);
  auto* data = static_cast<AUDIO_VOLUME_NOTIFICATION_DATA*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
  data->guidEventContext = context;
  data->bMuted = mute;
  data->fMasterVolume = new_level;
  data->nChannels = static_cast<UINT>(channels.size());
  std::memcpy(static_cast<float*>(data->afChannelVolumes), channels.data(), channels.size() * sizeof(float));
  const bool told =
      changes.Notify<IAudioEndpointVolumeCallback>([data](IAudioEndpointVolumeCallback& c) { c.OnNotify(data); });
  HeapFree(GetProcessHeap(), 0, data);
  return told;
}

HRESULT FakeSession::RegisterAudioSessionNotification(IAudioSessionEvents* callback) {
  return RegisterIn(*this, "RegisterAudioSessionNotification", events, callback);
}
HRESULT FakeSession::UnregisterAudioSessionNotification(IAudioSessionEvents* callback) {
  return UnregisterFrom(*this, "UnregisterAudioSessionNotification", events, callback);
}

HRESULT FakeSessionManager::RegisterSessionNotification(IAudioSessionNotification* callback) {
  return RegisterIn(*this, "RegisterSessionNotification", created, callback);
}
HRESULT FakeSessionManager::UnregisterSessionNotification(IAudioSessionNotification* callback) {
  return UnregisterFrom(*this, "UnregisterSessionNotification", created, callback);
}

FakeSession* FakeSessionManager::NotifyCreated(DWORD process_id) {
  created_sessions.push_back(std::make_unique<FakeSession>());
  FakeSession& session = *created_sessions.back();
  session.process_id = process_id;
  const bool told = created.Notify<IAudioSessionNotification>(
      [&session](IAudioSessionNotification& c) { c.OnSessionCreated(&session); });
  return told ? &session : nullptr;
}

int CallsFromCallbacks() { return calls_from_callbacks; }

void NoteCall(const char* name) {
  calls_from_callbacks += in_callback ? 1 : 0;
  const std::lock_guard<std::mutex> held(call_log_lock);
  call_log.emplace_back(name);
}

std::vector<std::string> CallLog() {
  const std::lock_guard<std::mutex> held(call_log_lock);
  return call_log;
}

void ForgetCalls() {
  const std::lock_guard<std::mutex> held(call_log_lock);
  std::vector<std::string>().swap(call_log);
}

FakePlatform::FakePlatform() {
  Spy();
  const std::lock_guard<std::mutex> held(call_log_lock);
  call_log.clear();
}
FakePlatform::~FakePlatform() = default;

FakeDevice& FakePlatform::AddDevice(const std::wstring& name, DWORD state, EDataFlow flow) {
  devices.push_back(std::make_unique<FakeDevice>());
  FakeDevice& device = *devices.back();
  device.id = L"{0.0.0.00000000}.{" + name + L"}";
  device.state = state;
  device.SetNames(name + L" (Speakers)", name + L" Adapter", name);
  device.endpoint.flow = flow;
  (flow == eCapture ? enumerator.capture_collection : enumerator.collection).devices.push_back(&device);
  return device;
}

// Adds up one count over every fake of the platform, the audio clients included.
template <typename Count>
long SumOverFakes(const FakePlatform& platform, Count count) {
  long total = count(platform.enumerator) + count(platform.enumerator.collection) +
               count(platform.enumerator.capture_collection) + count(platform.policy);
  for (const auto& device : platform.devices) {
    total += count(*device) + count(device->store) + count(device->volume) + count(device->meter) +
             count(device->endpoint) + count(device->session_manager) + count(device->session_manager.enumerator);
    for (const auto* list : {&device->session_manager.enumerator.sessions, &device->session_manager.created_sessions}) {
      for (const auto& session : *list) {
        total += count(*session) + count(session->volume) + count(session->meter);
      }
    }
    for (const auto& client : device->clients) {
      total += count(*client);
    }
  }
  return total;
}

long FakePlatform::OutstandingReferences() const {
  return SumOverFakes(*this, [](const auto& fake) { return fake.references; });
}

long FakePlatform::RegisteredCallbacks() const {
  long total = 0;
  for (const auto& device : devices) {
    total += (device->volume.changes.Registered() ? 1 : 0) + (device->session_manager.created.Registered() ? 1 : 0);
    for (const auto* list : {&device->session_manager.enumerator.sessions, &device->session_manager.created_sessions}) {
      for (const auto& session : *list) {
        total += session->events.Registered() ? 1 : 0;
      }
    }
  }
  return total;
}

long FakePlatform::ExtraReleases() const {
  return SumOverFakes(*this, [](const auto& fake) { return fake.extra_releases; });
}

int FakePlatform::RunListing() {
  current_platform = this;
  Options options;
  options.filter.states = states;
  const int status = ::RunListing(options, FakeCreateInstance, CountPause);
  current_platform = nullptr;
  return status;
}

namespace {

void KeepMessage(const std::wstring& text) { current_platform->messages.push_back(text); }

// Runs the words through the console's or the windowed run.
int RunWords(FakePlatform& platform, std::vector<std::string> words, bool windowed) {
  std::vector<char*> argv{const_cast<char*>("trelmo.exe")};
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  current_platform = &platform;
  platform.errors.clear();
  SelectErrorOutput(reinterpret_cast<HANDLE>(0x2222), KeepErrors);
  const int argc = static_cast<int>(words.size() + 1);
  const int status = windowed ? ::RunWindowed(argc, argv.data(), FakeCreateInstance, KeepMessage)
                              : ::RunCommandLine(argc, argv.data(), FakeCreateInstance, CountPause);
  SelectErrorOutput(nullptr, nullptr);
  current_platform = nullptr;
  std::setlocale(LC_ALL, "C");
  return status;
}

}  // namespace

int FakePlatform::RunCommandLine(std::vector<std::string> words) { return RunWords(*this, std::move(words), false); }

int FakePlatform::RunWindowed(std::vector<std::string> words) { return RunWords(*this, std::move(words), true); }

long OutstandingTaskMemory() { return Spy().outstanding; }

long long LiveHeapBytes() { return live_heap_bytes; }

void* operator new(std::size_t size) {
  auto* block = static_cast<std::max_align_t*>(std::malloc(size + sizeof(std::max_align_t)));
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  live_heap_bytes += static_cast<long long>(*reinterpret_cast<std::size_t*>(block) = size);
  return block + 1;
}

// Once operator new is inlined here, gcc takes the free for one of the block
// new handed out, not for the malloc it came from.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* memory) noexcept {
  if (memory != nullptr) {
    std::max_align_t* block = static_cast<std::max_align_t*>(memory) - 1;
    live_heap_bytes -= static_cast<long long>(*reinterpret_cast<std::size_t*>(block));
    std::free(block);
  }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* memory) noexcept { operator delete(memory); }
void operator delete(void* memory, std::size_t) noexcept { operator delete(memory); }
void operator delete[](void* memory, std::size_t) noexcept { operator delete(memory); }

CapturedOutput::CapturedOutput() {
  char directory[MAX_PATH];
  char name[MAX_PATH];
  GetTempPathA(MAX_PATH, directory);
  GetTempFileNameA(directory, "out", 0, name);
  path_ = name;
  std::fflush(stdout);
  file_ = _open(name, _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  saved_ = _dup(_fileno(stdout));
  _dup2(file_, _fileno(stdout));
}

CapturedOutput::~CapturedOutput() { Text(); }

std::string CapturedOutput::Text() {
  if (saved_ >= 0) {
    std::fflush(stdout);
    _dup2(saved_, _fileno(stdout));
    _close(saved_);
    saved_ = -1;
    _lseek(file_, 0, SEEK_SET);
    char buffer[4096];
    int read = 0;
    while ((read = _read(file_, buffer, sizeof buffer)) > 0) {
      text_.append(buffer, static_cast<std::size_t>(read));
    }
    _close(file_);
    std::remove(path_.c_str());
  }
  return text_;
}
