// The reader through the fakes: the calls a plain listing makes, in their
// order; each property present, absent, of another type or failing; and
// what a broken driver may hand out.
#include "readers/reader.h"
#include "text/json.h"
#include "views/views.h"
#include "tests/unit/platform_test.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

namespace {

using Reader = PlatformTest;

EndpointReader ReaderOf(FakeDevice& device) {
  ComHandle<IMMDevice> handle;
  device.HandOut(handle.Put());
  return EndpointReader(std::move(handle), eRender);
}

TEST_F(Reader, APlainListingMakesTenCallsPerEndpointInTheirOrder) {
  platform.AddDevice(L"on").mix_format = ExtensibleMix(1);  // the first layout is accepted
  platform.AddDevice(L"off", DEVICE_STATE_DISABLED);
  {
    const CapturedOutput output;
    ASSERT_EQ(platform.RunListing(), 0);
  }
  const std::vector<std::string> identity = {"Item", "GetState", "GetId", "OpenPropertyStore",
                                             "GetValue", "GetValue", "GetValue"};
  std::vector<std::string> expected = {"CoCreateInstance", "EnumAudioEndpoints", "GetCount"};
  expected.insert(expected.end(), identity.begin(), identity.end());
  expected.insert(expected.end(), {"Activate", "GetMixFormat", "Initialize"});
  // The endpoint the states leave out is read no further than its identity.
  expected.insert(expected.end(), identity.begin(), identity.end());
  EXPECT_EQ(CallLog(), expected);
}

// The fake store's key of each property, and whether the snapshot has it.
struct PropertyCase {
  Property property;
  std::pair<unsigned long, DWORD> key;
  FakeProperty right;
  FakeProperty wrong;
  std::function<bool(const EndpointSnapshot&)> has;
};

TEST_F(Reader, EachPropertyIntoItsOwnPlaceAbsentOfAnotherTypeOrFailing) {
  const PropertyCase cases[] = {
      {Property::kFriendlyName, {0xA45C254E, 14}, {VT_LPWSTR, L"a"}, FakeProperty::Number(1),
       [](const EndpointSnapshot& e) { return e.friendly_name == L"a"; }},
      {Property::kAdapterName, {0x026E516E, 2}, {VT_LPWSTR, L"b"}, FakeProperty::Number(1),
       [](const EndpointSnapshot& e) { return e.adapter_name == L"b"; }},
      {Property::kDescription, {0xA45C254E, 2}, {VT_LPWSTR, L"c"}, FakeProperty::Number(1),
       [](const EndpointSnapshot& e) { return e.description == L"c"; }},
      {Property::kFormFactor, {0x1DA5D803, 0}, FakeProperty::Number(5), {VT_LPWSTR, L"5"},
       [](const EndpointSnapshot& e) { return e.form_factor == 5U; }},
      {Property::kPhysicalSpeakers, {0x1DA5D803, 3}, FakeProperty::Number(3), {VT_LPWSTR, L"3"},
       [](const EndpointSnapshot& e) { return e.physical_speakers == 3U; }},
      {Property::kDeviceFormat, {0xF19F064D, 0}, FakeProperty::Blob(MixFormat(WAVE_FORMAT_PCM, 2, 8000, 16, 0)),
       FakeProperty::Number(18),
       [](const EndpointSnapshot& e) { return e.device_format && e.device_format->sample_rate == 8000; }},
      {Property::kContainerId, {0x8C7ED206, 2}, FakeProperty::Guid({1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}),
       {VT_LPWSTR, L"{x}"}, [](const EndpointSnapshot& e) { return e.container_id && e.container_id->Data1 == 1; }},
  };
  for (const PropertyCase& property : cases) {
    SCOPED_TRACE(TextOf(property.property).member);
    // Every property but this one holds a value that would pass for it.
    const auto read = [&](const FakeProperty& value, std::optional<HRESULT> fault) {
      FakeDevice& device = platform.AddDevice(L"d");
      for (const PropertyCase& other : cases) {
        device.store.values[other.key] = other.right;
      }
      device.store.values[property.key] = value;
      if (fault) {
        device.store.faults["GetValue#0"] = *fault;
      }
      EndpointReader reader = ReaderOf(device);
      reader.ReadProperties({property.property});
      return reader.TakeSnapshot();
    };
    const EndpointSnapshot right = read(property.right, std::nullopt);
    EXPECT_TRUE(property.has(right));
    EXPECT_TRUE(right.failures.empty());
    for (const PropertyCase& other : cases) {
      EXPECT_EQ(other.has(right), &other == &property) << TextOf(other.property).member;
    }
    for (const FakeProperty& absent : {FakeProperty(), property.wrong}) {
      const EndpointSnapshot none = read(absent, std::nullopt);
      EXPECT_FALSE(property.has(none));
      EXPECT_TRUE(none.failures.empty()) << "a value that is not there is no failure";
    }
    const EndpointSnapshot failed = read(property.right, kDeviceInvalidated);
    EXPECT_FALSE(property.has(failed));
    ASSERT_EQ(failed.failures.size(), 1U);
    EXPECT_STREQ(failed.failures[0].call, "GetValue");
    EXPECT_EQ(failed.failures[0].code, kDeviceInvalidated);
    EXPECT_STREQ(failed.failures[0].property, TextOf(property.property).member);
  }
}

TEST_F(Reader, OneStoreServesEveryPropertyAndAStoreThatWillNotOpenIsOneFailure) {
  FakeDevice& device = platform.AddDevice(L"d");
  EndpointReader reader = ReaderOf(device);
  reader.ReadIdentity();
  reader.ReadDetails();
  const std::vector<std::string> calls = CallLog();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "OpenPropertyStore"), 1);
  EXPECT_EQ(device.store.keys_read.size(), 7U);

  FakeDevice& closed = platform.AddDevice(L"closed");
  closed.faults["OpenPropertyStore"] = E_ACCESSDENIED;
  EndpointReader unread = ReaderOf(closed);
  unread.ReadIdentity();
  unread.ReadDetails();
  const EndpointSnapshot& endpoint = unread.Snapshot();
  EXPECT_EQ(endpoint.id, closed.id);
  EXPECT_FALSE(endpoint.friendly_name || endpoint.form_factor);
  ASSERT_FALSE(endpoint.failures.empty());
  EXPECT_STREQ(endpoint.failures[0].call, "OpenPropertyStore");
  EXPECT_EQ(std::count_if(endpoint.failures.begin(), endpoint.failures.end(),
                          [](const CallFailure& failure) { return std::string(failure.call) == "OpenPropertyStore"; }),
            1);
}

TEST_F(Reader, WhatABrokenDriverHandsOutIsReadWithinItsBytes) {
  // Records of exactly 18 bytes, each at the very end of what may be read:
  // one that claims the extensible tag has no room for a mask to read or write.
  FakeDevice& device = platform.AddDevice(L"d");
  device.store.values[{0xF19F064D, 0}] = FakeProperty::Blob(MixFormat(WAVE_FORMAT_EXTENSIBLE, 2, 48000, 16, 0));
  device.mix_format = MixFormat(WAVE_FORMAT_EXTENSIBLE, 2, 48000, 16, 0);
  // A channel count no endpoint has: read up to the most a format can carry.
  device.volume.channel_count = 0xFFFFFFFF;
  EndpointReader reader = ReaderOf(device);
  reader.ProbeLayout();
  reader.ReadDetails();
  const EndpointSnapshot& endpoint = reader.Snapshot();
  ASSERT_TRUE(endpoint.device_format && endpoint.mix_format);
  EXPECT_FALSE(endpoint.device_format->channel_mask);
  EXPECT_STREQ(endpoint.device_format->sample_type, "other");
  EXPECT_FALSE(endpoint.mix_format->channel_mask);
  ASSERT_EQ(device.offers.size(), 2U);
  EXPECT_FALSE(device.offers[0].mask) << "no mask was written past the record";
  ASSERT_TRUE(endpoint.volume && endpoint.volume->channel_levels);
  EXPECT_EQ(endpoint.volume->channel_levels->size(), 0xFFFFU);
  const std::vector<std::string> calls = CallLog();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "GetChannelVolumeLevelScalar"), 0xFFFF);
}

// Sessions: every part of two sessions, each call of one failing alone, the
// names a session can have, and the manager, enumerator and count.
using Sessions = PlatformTest;

std::optional<std::wstring> FakeImageName(DWORD process_id) {
  return process_id == 666 ? std::nullopt : std::optional<std::wstring>(L"app" + std::to_wstring(process_id) + L".exe");
}

std::optional<std::wstring> FakeIndirectString(const std::wstring& text) {
  return text == L"@audiosrv.dll,-202" ? std::optional<std::wstring>(L"System Sounds") : std::nullopt;
}

EndpointSnapshot ReadSessionsOf(FakeDevice& device) {
  EndpointReader reader = ReaderOf(device);
  reader.ReadSessions({FakeImageName, FakeIndirectString});
  return reader.TakeSnapshot();
}

// The session's parts by their names in the document.
Json SessionJson(const EndpointSnapshot& endpoint, std::size_t place) {
  return DocumentEntry(endpoint, {}, {false, true})["sessions"][place];
}

TEST_F(Sessions, EveryPartOfEachSessionTheirNamesAndProcessesThatCannotBeOpened) {
  FakeDevice& device = platform.AddDevice(L"d");
  device.session_manager.AddSession(4312, L"Player").volume.muted = TRUE;
  FakeSession& system = device.session_manager.AddSession(0, L"@audiosrv.dll,-202");
  system.system_sounds = true;
  system.state = AudioSessionStateExpired;
  device.session_manager.AddSession(2, L"@nothing.dll,-1");
  device.session_manager.AddSession(666, L"");
  const EndpointSnapshot endpoint = ReadSessionsOf(device);
  ASSERT_TRUE(endpoint.sessions);
  ASSERT_EQ(endpoint.sessions->size(), 4U);
  EXPECT_EQ(SessionJson(endpoint, 0), Json::parse(R"({"process_id": 4312, "process_name": "app4312.exe",
      "display_name": "Player", "state": "active", "system_sounds": false, "volume": 0.5, "muted": true,
      "peak": 0.125, "session_id": "{session}", "instance_id": "{instance}"})"));
  // Process 0 is not looked up; "@" names are resolved, or kept as given.
  EXPECT_EQ(SessionJson(endpoint, 1)["process_name"], nullptr);
  EXPECT_EQ(SessionJson(endpoint, 1)["display_name"], "System Sounds");
  EXPECT_EQ(SessionJson(endpoint, 1)["system_sounds"], true);
  EXPECT_EQ(SessionJson(endpoint, 1)["state"], "expired");
  EXPECT_EQ(SessionJson(endpoint, 2)["display_name"], "@nothing.dll,-1");
  EXPECT_EQ(SessionJson(endpoint, 3)["display_name"], nullptr);
  EXPECT_EQ(SessionJson(endpoint, 3)["process_name"], nullptr);
  EXPECT_TRUE(endpoint.failures.empty()) << "a process that cannot be opened is no failure";
  // The platform's own lookups: this very process by its image, none for a process that is not there.
  EXPECT_EQ(ProcessImageName(GetCurrentProcessId()), L"trelmo_unit_tests.exe");
  EXPECT_FALSE(ProcessImageName(0xFFFFFFF0));
  EXPECT_FALSE(LoadIndirectString(L"@no-such-file.dll,-1"));
  // Plain text comes back as it is, ended where it ends, not as the whole buffer.
  EXPECT_EQ(LoadIndirectString(L"Player"), L"Player");
  // Each lookup closes the process it opened: as many handles to this
  // process are open after the lookups as before.
  const auto handles_to_self = [] {
    int count = 0;
    for (std::uintptr_t value = 4; value < 0x4000; value += 4) {
      count += GetProcessId(reinterpret_cast<HANDLE>(value)) == GetCurrentProcessId() ? 1 : 0;
    }
    return count;
  };
  const int before = handles_to_self();
  for (int lookup = 0; lookup < 4; ++lookup) {
    EXPECT_TRUE(ProcessImageName(GetCurrentProcessId()));
  }
  EXPECT_EQ(handles_to_self(), before);
}

TEST_F(Sessions, EachCallOfOneSessionFailingLeavesOnlyItsOwnPartsAbsent) {
  const struct {
    const char* fault;  // of the second session
    std::vector<const char*> absent;
  } cases[] = {
      {"GetSession#1", {"process_id", "process_name", "display_name", "state", "system_sounds", "volume", "muted",
                        "peak", "session_id", "instance_id"}},
      {"QueryInterface#IAudioSessionControl2",
       {"process_id", "process_name", "system_sounds", "session_id", "instance_id"}},
      {"GetProcessId", {"process_id", "process_name"}},
      {"GetDisplayName", {"display_name"}},
      {"GetState", {"state"}},
      {"IsSystemSoundsSession", {"system_sounds"}},
      {"QueryInterface#ISimpleAudioVolume", {"volume", "muted"}},
      {"GetMasterVolume", {"volume"}},
      {"GetMute", {"muted"}},
      {"QueryInterface#IAudioMeterInformation", {"peak"}},
      {"GetPeakValue", {"peak"}},
      {"GetSessionIdentifier", {"session_id"}},
      {"GetSessionInstanceIdentifier", {"instance_id"}},
  };
  for (const auto& failure : cases) {
    SCOPED_TRACE(failure.fault);
    FakePlatform fresh;
    FakeDevice& device = fresh.AddDevice(L"d");
    device.session_manager.AddSession(1, L"first");
    FakeSession& second = device.session_manager.AddSession(2, L"second");
    const std::string fault = failure.fault;
    auto& faults = fault == "GetSession#1"                                  ? device.session_manager.enumerator.faults
                   : fault == "GetMasterVolume" || fault == "GetMute" ? second.volume.faults
                   : fault == "GetPeakValue"                          ? second.meter.faults
                                                                      : second.faults;
    faults[fault] = kDeviceInvalidated;
    const EndpointSnapshot endpoint = ReadSessionsOf(device);
    for (std::size_t place = 0; place < 2; ++place) {
      const Json session = SessionJson(endpoint, place);
      for (const auto& [member, value] : session.items()) {
        const bool absent = place == 1 && std::find(failure.absent.begin(), failure.absent.end(), member) !=
                                              failure.absent.end();
        EXPECT_EQ(value.is_null(), absent) << place << " " << member;
      }
    }
    ASSERT_EQ(endpoint.failures.size(), 1U);
    const CallFailure& recorded = endpoint.failures[0];
    const std::string call = fault.substr(0, fault.find('#'));
    EXPECT_EQ(std::make_tuple(std::string(recorded.call), recorded.code, recorded.session),
              std::make_tuple(call, kDeviceInvalidated, std::optional<std::uint32_t>(1)));
    if (call == "QueryInterface") {
      EXPECT_EQ(recorded.interface_name, fault.substr(fault.find('#') + 1));
    }
  }
}

TEST_F(Sessions, TheManagerTheEnumeratorAndTheCount) {
  for (const std::string call : {"Activate", "GetSessionEnumerator", "GetCount"}) {
    FakePlatform fresh;
    FakeDevice& device = fresh.AddDevice(L"d");
    device.session_manager.AddSession(1);
    (call == "Activate"               ? device.faults["Activate#IAudioSessionManager2"]
     : call == "GetSessionEnumerator" ? device.session_manager.faults[call]
                                      : device.session_manager.enumerator.faults[call]) = E_NOTIMPL;
    const EndpointSnapshot endpoint = ReadSessionsOf(device);
    EXPECT_FALSE(endpoint.sessions) << call;
    ASSERT_EQ(endpoint.failures.size(), 1U);
    EXPECT_EQ(std::make_tuple(std::string(endpoint.failures[0].call), endpoint.failures[0].session),
              std::make_tuple(call, std::optional<std::uint32_t>()));
  }
  // None is an empty list; a count no endpoint has is read up to 4,096.
  FakeDevice& none = platform.AddDevice(L"none");
  EXPECT_EQ(ReadSessionsOf(none).sessions.value_or(std::vector<SessionFacts>(1)).size(), 0U);
  FakeDevice& absurd = platform.AddDevice(L"absurd");
  absurd.session_manager.AddSession(1);
  absurd.session_manager.enumerator.count = 0x7FFFFFFF;
  EXPECT_EQ(ReadSessionsOf(absurd).sessions.value_or(std::vector<SessionFacts>()).size(), 4096U);
}

}  // namespace
