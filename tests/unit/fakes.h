// In-process fakes of the Core Audio and property-system interfaces. Every
// fake counts the references the tool holds on it, every call can be made to
// fail, and blocks handed out come from the real COM task allocator, which a
// spy counts, so each test can prove that nothing leaked or was freed twice.
#pragma once

#include "platform/core_audio.h"
#include "platform/policy_config.h"

#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// Failure codes the platform is known to return.
inline constexpr HRESULT kDeviceInvalidated = static_cast<HRESULT>(0x88890004);
inline constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490);

// Every call the tool makes of a fake is logged by name, in order, from
// the making of the FakePlatform on.
void NoteCall(const char* name);
std::vector<std::string> CallLog();
// Empties the log and gives its memory back.
void ForgetCalls();

// A fake's reference count as the tool sees it: 0 when the tool holds none.
template <typename Interface>
class FakeObject : public Interface {
 public:
  // A getter's answer: the value, unless the named call is made to fail.
  template <typename Value, typename Out>
  HRESULT Give(const std::string& call, const Value& value, Out* out) {
    NoteCall(call.c_str());
    if (const auto fault = Failure(call)) {
      return *fault;
    }
    *out = value;
    return Success(call);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override {
    if (references <= 0) {
      ++extra_releases;
      return 0;
    }
    return static_cast<ULONG>(--references);
  }

  // The code a named call answers with instead of doing its work, if any.
  std::optional<HRESULT> Fault(const std::string& call) const {
    const auto found = faults.find(call);
    if (found == faults.end()) {
      return std::nullopt;
    }
    return found->second;
  }

  // A failure the named call must answer with, without doing its work.
  std::optional<HRESULT> Failure(const std::string& call) const {
    const auto fault = Fault(call);
    return fault && FAILED(*fault) ? fault : std::nullopt;
  }
  // What the named call answers after doing its work: S_OK or another success code.
  HRESULT Success(const std::string& call) const { return Fault(call).value_or(S_OK); }

  // A setter's answer: the value kept and the event context noted, unless
  // the named call is made to fail.
  template <typename Value, typename Into>
  HRESULT Take(const char* call, Value value, LPCGUID context, Into& into) {
    NoteCall(call);
    contexts.push_back(context != nullptr ? *context : GUID{});
    if (const auto fault = Failure(call)) {
      return *fault;
    }
    into = value;
    return Success(call);
  }

  // Hands this object out through an out parameter, as the platform would.
  template <typename Out>
  void HandOut(Out** out) {
    AddRef();
    *out = this;
  }

  long references = 0;
  long extra_releases = 0;
  std::map<std::string, HRESULT> faults;
  std::vector<GUID> contexts;  // the event context of each setter's call
};

// One callback registered on a fake, kept with a reference as the platform
// keeps it, until it is unregistered. Delivered from the caller's thread
// (as the platform calls from threads of its own), where any call made of a
// fake counts as one made inside a callback; an unregistration waits for a
// callback under way.
class CallbackSlot {
 public:
  HRESULT Register(IUnknown* callback);
  void Unregister(IUnknown* callback);
  // False when none is registered.
  template <typename Callback>
  bool Notify(const std::function<void(Callback&)>& call) {
    return Deliver([&call](IUnknown& callback) { call(static_cast<Callback&>(callback)); });
  }
  // Waits, 10 s at most, until a callback is or has been registered.
  bool WaitForRegistration();
  bool Registered() const;

 private:
  bool Deliver(const std::function<void(IUnknown&)>& call);

  mutable std::mutex lock_;
  std::condition_variable registered_;
  IUnknown* callback_ = nullptr;
  bool ever_registered_ = false;
};

// What one IAudioClient::Initialize call was offered, and with which arguments.
struct Offer {
  WORD tag = 0;
  WORD channels = 0;
  DWORD rate = 0;
  WORD bits = 0;
  WORD block_align = 0;
  DWORD byte_rate = 0;
  std::optional<DWORD> mask;  // set only for a record with the extensible layout
  AUDCLNT_SHAREMODE share_mode = AUDCLNT_SHAREMODE_EXCLUSIVE;
  DWORD stream_flags = 0;
  REFERENCE_TIME buffer_duration = -1;
  REFERENCE_TIME periodicity = -1;
  bool session_guid = true;
};

// One IsFormatSupported call: the record as far as its cbSize reaches, and
// whether a closest match could have been handed back.
struct FormatOffer {
  AUDCLNT_SHAREMODE share_mode;
  bool closest_asked;
  WAVEFORMATEXTENSIBLE format;
};

// How one sharing mode answers IsFormatSupported: S_OK for the accepted
// points (channels, mask, container bits, valid bits, float, rate), otherwise
// AUDCLNT_E_UNSUPPORTED_FORMAT, or S_FALSE with closest_match, which also
// hands back a closest match with every answer. A client's N-th offer in the
// mode, from 0, answers answer_at[N] instead.
struct FormatAnswers {
  std::set<std::tuple<WORD, DWORD, WORD, WORD, bool, DWORD>> accepted;
  bool closest_match = false;
  std::map<int, HRESULT> answer_at;
};

class FakeAudioClient;

// A mix format as raw bytes, so a test can hand out any record, even a malformed one.
std::vector<BYTE> MixFormat(WORD tag, WORD channels, DWORD rate, WORD bits, WORD cb_size);
inline std::vector<BYTE> ExtensibleMix(WORD channels = 2, DWORD rate = 48000, WORD bits = 32) {
  return MixFormat(WAVE_FORMAT_EXTENSIBLE, channels, rate, bits, 22);
}

// One property as the store gives it: a wide string, a number, a blob, a
// GUID, or nothing. Whatever it holds comes from the task allocator; a blob,
// like a mix format, in a block of exactly its size at the end of a page
// that nothing may read past.
struct FakeProperty {
  FakeProperty(VARTYPE of_type = VT_EMPTY, std::wstring with_text = {})  // NOLINT(google-explicit-constructor)
      : type(of_type), text(std::move(with_text)) {}
  static FakeProperty Number(ULONG value) {
    FakeProperty property(VT_UI4);
    property.number = value;
    return property;
  }
  static FakeProperty Blob(std::vector<BYTE> bytes) {
    FakeProperty property(VT_BLOB);
    property.blob = std::move(bytes);
    return property;
  }
  static FakeProperty Guid(const GUID& value) {
    FakeProperty property(VT_CLSID);
    property.guid = value;
    return property;
  }

  VARTYPE type = VT_EMPTY;
  std::wstring text;
  ULONG number = 0x12345678;  // for VT_UI4
  std::vector<BYTE> blob;     // for VT_BLOB
  GUID guid{};                // for VT_CLSID
};

// The endpoint's volume control: fixed values, and any getter can fail.
// "GetChannelVolumeLevelScalar#1" fails only channel 1's.
class FakeEndpointVolume final : public FakeObject<IAudioEndpointVolume> {
 public:
  HRESULT STDMETHODCALLTYPE RegisterControlChangeNotify(IAudioEndpointVolumeCallback* callback) override;
  HRESULT STDMETHODCALLTYPE UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* callback) override;
  // Tells the registered callback of a change to these values, with the context.
  bool Notify(float level, BOOL mute, const GUID& context, const std::vector<float>& channels);
  HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* count) override {
    return Give("GetChannelCount", channel_count.value_or(static_cast<UINT>(channel_levels.size())), count);
  }
  HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(float db, LPCGUID context) override {
    return Take("SetMasterVolumeLevel", db, context, level_db);
  }
  // Refuses a level outside 0.0 to 1.0, as the platform does; with steps,
  // keeps the step nearest to the level given, as stepped hardware does.
  HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(float scalar, LPCGUID context) override {
    if (scalar < 0.0F || scalar > 1.0F) {
      NoteCall("SetMasterVolumeLevelScalar");
      contexts.push_back(context != nullptr ? *context : GUID{});
      return E_INVALIDARG;
    }
    const float kept = steps > 0 ? std::round(scalar * steps) / steps : scalar;
    return Take("SetMasterVolumeLevelScalar", kept, context, level);
  }
  HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(float* out) override { return Give("GetMasterVolumeLevel", level_db, out); }
  HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(float* out) override {
    return Give("GetMasterVolumeLevelScalar", level, out);
  }
  HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT, float, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT, float, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT, float*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT channel, float* level) override;
  HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID context) override { return Take("SetMute", mute, context, muted); }
  HRESULT STDMETHODCALLTYPE GetMute(BOOL* out) override { return Give("GetMute", muted, out); }
  HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT*, UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetVolumeRange(float* min_db, float* max_db, float* step_db) override {
    const HRESULT result = Give("GetVolumeRange", range[0], min_db);
    if (SUCCEEDED(result)) {
      *max_db = range[1];
      *step_db = range[2];
    }
    return result;
  }

  float level = 0.75F;
  float level_db = -6.25F;
  BOOL muted = FALSE;
  float range[3] = {-65.25F, 0.0F, 0.03125F};
  float steps = 0;  // steps in the whole range, 0 for none
  std::vector<float> channel_levels = {0.5F, 1.0F};
  // A count to answer instead of the levels' own, as a broken driver might.
  std::optional<UINT> channel_count;
  CallbackSlot changes;
};

// The endpoint's peak meter.
class FakeMeter final : public FakeObject<IAudioMeterInformation> {
 public:
  HRESULT STDMETHODCALLTYPE GetPeakValue(float* out) override { return Give("GetPeakValue", peak, out); }
  HRESULT STDMETHODCALLTYPE GetMeteringChannelCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetChannelsPeakValues(UINT32, float*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD*) override { return E_NOTIMPL; }

  float peak = 0.125F;
};

// A session's volume.
class FakeSimpleVolume final : public FakeObject<ISimpleAudioVolume> {
 public:
  HRESULT STDMETHODCALLTYPE SetMasterVolume(float value, LPCGUID context) override {
    return Take("SetMasterVolume", value, context, level);
  }
  HRESULT STDMETHODCALLTYPE GetMasterVolume(float* out) override { return Give("GetMasterVolume", level, out); }
  HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID context) override { return Take("SetMute", mute, context, muted); }
  HRESULT STDMETHODCALLTYPE GetMute(BOOL* out) override { return Give("GetMute", muted, out); }

  float level = 0.5F;
  BOOL muted = FALSE;
};

// One audio session: its control, which also hands out (through
// QueryInterface) its volume and its meter. "QueryInterface#ISimpleAudioVolume"
// and the like fault one interface.
class FakeSession final : public FakeObject<IAudioSessionControl2> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE GetState(AudioSessionState* out) override { return Give("GetState", state, out); }
  HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR* out) override;
  HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIconPath(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetIconPath(LPCWSTR, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetGroupingParam(GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetGroupingParam(LPCGUID, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterAudioSessionNotification(IAudioSessionEvents* callback) override;
  HRESULT STDMETHODCALLTYPE UnregisterAudioSessionNotification(IAudioSessionEvents* callback) override;
  HRESULT STDMETHODCALLTYPE GetSessionIdentifier(LPWSTR* out) override;
  HRESULT STDMETHODCALLTYPE GetSessionInstanceIdentifier(LPWSTR* out) override;
  HRESULT STDMETHODCALLTYPE GetProcessId(DWORD* out) override { return Give("GetProcessId", process_id, out); }
  HRESULT STDMETHODCALLTYPE IsSystemSoundsSession() override;
  HRESULT STDMETHODCALLTYPE SetDuckingPreference(BOOL) override { return E_NOTIMPL; }

  DWORD process_id = 4312;
  std::wstring display_name;
  AudioSessionState state = AudioSessionStateActive;
  bool system_sounds = false;
  std::wstring session_id = L"{session}";
  std::wstring instance_id = L"{instance}";
  FakeSimpleVolume volume;
  FakeMeter meter;
  // session.events.Notify<IAudioSessionEvents>(...) tells of a change.
  CallbackSlot events;
};

// The sessions of an endpoint, in order; "GetSession#1" faults the second.
class FakeSessionEnumerator final : public FakeObject<IAudioSessionEnumerator> {
 public:
  HRESULT STDMETHODCALLTYPE GetCount(int* out) override;
  HRESULT STDMETHODCALLTYPE GetSession(int index, IAudioSessionControl** out) override;

  std::vector<std::unique_ptr<FakeSession>> sessions;
  std::optional<int> count;  // answered instead of the sessions' own, as a broken driver might
};

class FakeSessionManager final : public FakeObject<IAudioSessionManager2> {
 public:
  HRESULT STDMETHODCALLTYPE GetAudioSessionControl(LPCGUID, DWORD, IAudioSessionControl**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetSimpleAudioVolume(LPCGUID, DWORD, ISimpleAudioVolume**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSessionEnumerator(IAudioSessionEnumerator** out) override;
  HRESULT STDMETHODCALLTYPE RegisterSessionNotification(IAudioSessionNotification* callback) override;
  HRESULT STDMETHODCALLTYPE UnregisterSessionNotification(IAudioSessionNotification* callback) override;
  HRESULT STDMETHODCALLTYPE RegisterDuckNotification(LPCWSTR, IAudioVolumeDuckNotification*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnregisterDuckNotification(IAudioVolumeDuckNotification*) override { return E_NOTIMPL; }

  // Adds a session playing as the process, with every part present.
  FakeSession& AddSession(DWORD process_id, const std::wstring& display_name = {});
  // Makes one as a program does once the watch has started, outside the
  // enumerator's list, and tells the registered callback of it, lending the
  // control for the call only; null when none is registered.
  FakeSession* NotifyCreated(DWORD process_id);

  FakeSessionEnumerator enumerator;
  CallbackSlot created;
  std::vector<std::unique_ptr<FakeSession>> created_sessions;
};

class FakePropertyStore final : public FakeObject<IPropertyStore> {
 public:
  HRESULT STDMETHODCALLTYPE GetCount(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Commit() override { return E_NOTIMPL; }

  // Keyed by the property number and the GUID's first field, enough to tell the three keys apart.
  std::map<std::pair<unsigned long, DWORD>, FakeProperty> values;
  std::vector<PROPERTYKEY> keys_read;
  // Each GetValue call can fail on its own: "GetValue#0" is the first call.
  int get_value_calls = 0;
  // When set, a failing GetValue still leaves a string behind, as a careless store might.
  bool leave_text_on_failure = false;
};

// The endpoint's flow, as its IMMEndpoint tells it.
class FakeEndpointFlow final : public FakeObject<IMMEndpoint> {
 public:
  HRESULT STDMETHODCALLTYPE GetDataFlow(EDataFlow* out) override {
    *out = flow;
    return Failure("GetDataFlow").value_or(S_OK);
  }

  EDataFlow flow = eRender;
};

class FakeDevice final : public FakeObject<IMMDevice> {
 public:
  // Hands out IMMEndpoint ("QueryInterface" faults it); nothing else.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* parameters, void** out) override;
  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** out) override;
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR* out) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD* out) override;

  // Sets the friendly name, adapter name and description as wide strings.
  void SetNames(const std::wstring& friendly, const std::wstring& adapter, const std::wstring& description);

  std::wstring id = L"{0.0.0.00000000}.{fake}";
  bool has_id = true;
  DWORD state = DEVICE_STATE_ACTIVE;
  FakePropertyStore store;
  // Activated for IAudioEndpointVolume and IAudioMeterInformation; "Activate"
  // faults only the audio client's activation, "Activate#IAudioEndpointVolume"
  // and "Activate#IAudioMeterInformation" these (in faults and hand_back_nothing).
  FakeEndpointVolume volume;
  FakeMeter meter;
  FakeEndpointFlow endpoint;
  // Activated for IAudioSessionManager2 ("Activate#IAudioSessionManager2").
  FakeSessionManager session_manager;
  std::vector<BYTE> mix_format = ExtensibleMix();
  // Decides each offer; the default accepts only the mix's own channel count.
  std::function<HRESULT(const WAVEFORMATEX&)> decide;
  // Faults given to every client this device activates.
  std::map<std::string, HRESULT> client_faults;
  // A successful call that hands back no object, for each named call.
  std::map<std::string, bool> hand_back_nothing;

  std::vector<std::unique_ptr<FakeAudioClient>> clients;
  std::vector<Offer> offers;
  FormatAnswers shared_formats;
  FormatAnswers exclusive_formats;
  std::vector<FormatOffer> format_offers;
  std::vector<DWORD> activate_contexts;
  std::vector<IID> activate_iids;
  bool activate_parameters_given = false;
  DWORD store_access = 0xFFFFFFFF;
};

class FakeAudioClient final : public FakeObject<IAudioClient> {
 public:
  explicit FakeAudioClient(FakeDevice& device) : device_(device) {}

  HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                                       REFERENCE_TIME periodicity, const WAVEFORMATEX* format,
                                       LPCGUID session) override;
  HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                              WAVEFORMATEX** closest) override;
  HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** out) override;
  HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Start() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetService(REFIID, void**) override { return E_NOTIMPL; }

  int initialize_calls = 0;
  int shared_offers = 0;
  int exclusive_offers = 0;

 private:
  FakeDevice& device_;
};

class FakeCollection final : public FakeObject<IMMDeviceCollection> {
 public:
  HRESULT STDMETHODCALLTYPE GetCount(UINT* out) override;
  HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** out) override;

  std::vector<FakeDevice*> devices;
  // Item fails for these indices, with the code given.
  std::map<UINT, HRESULT> item_faults;
  // Item succeeds for these indices but hands back no endpoint.
  std::vector<UINT> empty_items;
  std::vector<UINT> items_asked;
};

class FakeEnumerator final : public FakeObject<IMMDeviceEnumerator> {
 public:
  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask, IMMDeviceCollection** out) override;
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** out) override;
  // Finds the endpoint among both collections; E_NOTFOUND for any other.
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** out) override;
  // Keeps the client, with a reference, until it is unregistered.
  HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient* client) override;
  HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override;

  // Delivers one callback to the registered client, as the platform does,
  // from any thread; false when none is registered. An unregistration waits
  // for a callback under way.
  bool Notify(const std::function<void(IMMNotificationClient&)>& callback);
  // Waits, 10 s at most, until a client is or has been registered: a watch
  // may have ended before the wait begins.
  bool WaitForClient();

  FakeCollection collection;          // playback endpoints
  FakeCollection capture_collection;  // recording endpoints
  bool hand_back_nothing = false;
  std::vector<std::pair<EDataFlow, DWORD>> enumerations;
  // The default endpoint per flow and role; a pair without one answers E_NOTFOUND.
  std::map<std::pair<EDataFlow, ERole>, FakeDevice*> defaults;
  std::vector<std::pair<EDataFlow, ERole>> default_requests;
  // Run on a thread of their own while a registration or unregistration is
  // under way; it lasts until they end.
  std::function<void()> while_registering;
  std::function<void()> while_unregistering;
  std::map<std::wstring, int> devices_asked;  // GetDevice calls per identifier
  int unregistrations = 0;

 private:
  std::mutex notify_lock_;
  std::condition_variable registered_;
  IMMNotificationClient* client_ = nullptr;
  bool ever_registered_ = false;
};

// The policy-configuration object the fake CoCreateInstance hands out: each
// SetDefaultEndpoint makes the endpoint its flow's default for the role,
// SetEndpointVisibility enables or disables it, SetDeviceFormat makes its
// device and mix formats the ones given. A call of any other method fails
// the test: trelmo has no use for them.
class FakePolicyConfig final : public FakeObject<IPolicyConfig> {
 public:
  explicit FakePolicyConfig(FakeEnumerator& enumerator) : enumerator_(enumerator) {}

  HRESULT STDMETHODCALLTYPE GetMixFormat(PCWSTR, WAVEFORMATEX**) override { return Unexpected("GetMixFormat"); }
  HRESULT STDMETHODCALLTYPE GetDeviceFormat(PCWSTR, INT, WAVEFORMATEX**) override {
    return Unexpected("GetDeviceFormat");
  }
  HRESULT STDMETHODCALLTYPE ResetDeviceFormat(PCWSTR) override { return Unexpected("ResetDeviceFormat"); }
  HRESULT STDMETHODCALLTYPE SetDeviceFormat(PCWSTR id, WAVEFORMATEX* endpoint, WAVEFORMATEX* mix) override;
  HRESULT STDMETHODCALLTYPE GetProcessingPeriod(PCWSTR, INT, PINT64, PINT64) override {
    return Unexpected("GetProcessingPeriod");
  }
  HRESULT STDMETHODCALLTYPE SetProcessingPeriod(PCWSTR, PINT64) override { return Unexpected("SetProcessingPeriod"); }
  HRESULT STDMETHODCALLTYPE GetShareMode(PCWSTR, void*) override { return Unexpected("GetShareMode"); }
  HRESULT STDMETHODCALLTYPE SetShareMode(PCWSTR, void*) override { return Unexpected("SetShareMode"); }
  HRESULT STDMETHODCALLTYPE GetPropertyValue(PCWSTR, const PROPERTYKEY&, PROPVARIANT*) override {
    return Unexpected("GetPropertyValue");
  }
  HRESULT STDMETHODCALLTYPE SetPropertyValue(PCWSTR, const PROPERTYKEY&, PROPVARIANT*) override {
    return Unexpected("SetPropertyValue");
  }
  HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(PCWSTR id, ERole role) override;
  HRESULT STDMETHODCALLTYPE SetEndpointVisibility(PCWSTR id, INT visible) override;

  std::vector<std::pair<std::wstring, ERole>> made_default;
  std::vector<std::pair<std::wstring, INT>> made_visible;
  // Each format set: the endpoint, and the two records as far as their cbSize reaches.
  struct FormatSet {
    std::wstring id;
    WAVEFORMATEXTENSIBLE endpoint;
    WAVEFORMATEXTENSIBLE mix;
  };
  std::vector<FormatSet> formats_set;
  // The rate a device keeps instead of the one set, as a device that rounds would.
  std::optional<DWORD> kept_rate;

 private:
  HRESULT Unexpected(const char* method);
  FakeDevice* Find(PCWSTR id) const;
  FakeEnumerator& enumerator_;
};

// Platform calls made from inside a callback Notify delivered: there must be none.
int CallsFromCallbacks();

// A whole platform for one listing run: the enumerator that the fake
// CoCreateInstance hands out, and the devices in its collection.
struct FakePlatform {
  FakePlatform();
  ~FakePlatform();

  FakeDevice& AddDevice(const std::wstring& name, DWORD state = DEVICE_STATE_ACTIVE, EDataFlow flow = eRender);

  // References the tool still holds and releases it made beyond its own.
  long OutstandingReferences() const;
  long ExtraReleases() const;
  // Callbacks the tool registered on volume controls, session managers and
  // sessions and has not unregistered.
  long RegisteredCallbacks() const;

  // Runs the playback listing of the states against these fakes, as with
  // no option; the pause is only counted.
  int RunListing();
  DWORD states = DEVICE_STATE_ACTIVE;
  // Runs the whole command line as main does, words after the program name;
  // the C library locale is put back to "C" afterwards. What it writes to
  // standard error, a console here, is kept in errors.
  int RunCommandLine(std::vector<std::string> words);
  std::wstring errors;
  // The same as trelmow.exe's main runs it; what it would show in a message
  // box is kept in messages.
  int RunWindowed(std::vector<std::string> words);
  std::vector<std::wstring> messages;

  FakeEnumerator enumerator;
  FakePolicyConfig policy{enumerator};
  std::optional<HRESULT> policy_create_fault;
  std::vector<std::unique_ptr<FakeDevice>> devices;
  std::optional<HRESULT> create_fault;
  bool create_hands_back_nothing = false;
  int create_calls = 0;
  DWORD create_context = 0;
  bool create_right_ids = false;
  int pauses = 0;
};

// The probe's message for a failing row, once for each of the six rows.
inline std::string EveryRow(const std::string& line) {
  std::string lines;
  for (int row = 0; row < 6; ++row) {
    lines += line + "\n";
  }
  return lines;
}

// Blocks taken from the COM task allocator and not yet given back.
long OutstandingTaskMemory();
// Bytes taken with operator new and not yet given back, on every thread.
long long LiveHeapBytes();

// Standard output of everything run inside the capture, bytes as written.
class CapturedOutput {
 public:
  CapturedOutput();
  ~CapturedOutput();
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;
  // Ends the capture (if still on) and returns what was written.
  std::string Text();

 private:
  int saved_ = -1;
  int file_ = -1;
  std::string path_;
  std::string text_;
};
