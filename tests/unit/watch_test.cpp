// --watch on the fakes, whose callbacks come from a thread of their own as
// the platform's do: every event kind as JSON and as text, flows, previous
// states and the choice, bursts, a flood through a slow writer, callbacks
// racing registration and unregistration, each call failing, the options
// and every way a watch stops.
#include "tests/unit/platform_test.h"
#include "text/output.h"
#include "platform/console_stop.h"
#include "platform/event_context.h"

#include <algorithm>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Enumerator = FakeEnumerator;
using Watching = PlatformTest;

// Runs the words as main does while `fire` delivers callbacks from another
// thread once a client is registered, none of which may call the platform.
// Each line's time is checked and cut.
Outcome Watch(FakePlatform& platform, const std::vector<std::string>& words,
              const std::function<void(Enumerator&)>& fire = {}) {
  std::thread notifier([&] {
    if (fire && platform.enumerator.WaitForClient()) {
      fire(platform.enumerator);
    }
  });
  CapturedOutput output;
  const int status = platform.RunCommandLine(words);
  notifier.join();
  const std::string text = output.Text();
  EXPECT_EQ(CallsFromCallbacks(), 0);
  EXPECT_EQ(platform.RegisteredCallbacks(), 0) << "a callback left registered";
  static const std::regex kJsonTime(R"x((^|\n)\{"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z",)x");
  static const std::regex kTextTime(R"x((^|\n)\d\d:\d\d:\d\d\.\d{3}  )x");
  return {status, std::regex_replace(std::regex_replace(text, kJsonTime, "$1{"), kTextTime, "$1")};
}

using Client = IMMNotificationClient;
void State(Enumerator& e, const FakeDevice& d, DWORD s) {
  e.Notify([&](Client& c) { c.OnDeviceStateChanged(d.id.c_str(), s); });
}
void Added(Enumerator& e, const FakeDevice& d) { e.Notify([&](Client& c) { c.OnDeviceAdded(d.id.c_str()); }); }
void Removed(Enumerator& e, const FakeDevice& d) { e.Notify([&](Client& c) { c.OnDeviceRemoved(d.id.c_str()); }); }
void Default(Enumerator& e, EDataFlow flow, ERole role, const FakeDevice* d) {
  e.Notify([&](Client& c) { c.OnDefaultDeviceChanged(flow, role, d != nullptr ? d->id.c_str() : nullptr); });
}
void Property(Enumerator& e, const FakeDevice& d, const PROPERTYKEY& k) {
  e.Notify([&](Client& c) { c.OnPropertyValueChanged(d.id.c_str(), k); });
}

const PROPERTYKEY kOtherKey = {{0x01234567, 0x89AB, 0xCDEF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}}, 5};

// Every kind of event once; "usb" stands for an endpoint that arrives after
// the start, which cannot read it.
Outcome EveryKind(FakePlatform& platform, const std::vector<std::string>& words) {
  FakeDevice& speakers = platform.AddDevice(L"spk");
  FakeDevice& off = platform.AddDevice(L"off", DEVICE_STATE_DISABLED);
  FakeDevice& usb = platform.AddDevice(L"usb");
  FakeDevice& mic = platform.AddDevice(L"mic", DEVICE_STATE_ACTIVE, eCapture);
  platform.enumerator.collection.item_faults[2] = E_FAIL;
  return Watch(platform, words, [&](Enumerator& e) {
    State(e, speakers, DEVICE_STATE_UNPLUGGED);
    Added(e, usb);
    Removed(e, off);
    Default(e, eCapture, eCommunications, &mic);
    Default(e, eRender, eConsole, nullptr);
    Property(e, speakers, kPkeyDeviceFriendlyName);
    Property(e, mic, kOtherKey);
  });
}

TEST_F(Watching, EveryEventKindAsJsonLinesAndAsText) {
  const Outcome json = EveryKind(platform, {"--watch", "--json", "--render", "--capture", "--events=7", "--timeout=10"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.text, R"x({"event":"present","flow":"render","id":"{0.0.0.00000000}.{spk}","friendly_name":"spk (Speakers)","state":"active"}
{"event":"present","flow":"capture","id":"{0.0.0.00000000}.{mic}","friendly_name":"mic (Speakers)","state":"active"}
{"event":"state","flow":"render","id":"{0.0.0.00000000}.{spk}","friendly_name":"spk (Speakers)","state":"unplugged","previous_state":"active"}
{"event":"added","flow":"render","id":"{0.0.0.00000000}.{usb}","friendly_name":"usb (Speakers)","state":"active"}
{"event":"removed","flow":"render","id":"{0.0.0.00000000}.{off}","friendly_name":"off (Speakers)"}
{"event":"default","flow":"capture","id":"{0.0.0.00000000}.{mic}","friendly_name":"mic (Speakers)","role":"communications"}
{"event":"default","flow":"render","id":null,"friendly_name":null,"role":"console"}
{"event":"property","flow":"render","id":"{0.0.0.00000000}.{spk}","friendly_name":"spk (Speakers)","property":"friendly_name"}
{"event":"property","flow":"capture","id":"{0.0.0.00000000}.{mic}","friendly_name":"mic (Speakers)","property":"{01234567-89AB-CDEF-FEDC-BA9876543210},5"}
)x");
  // Every endpoint of both flows, in every state, is read once at the start.
  const std::vector<std::pair<EDataFlow, DWORD>> all = {{eRender, DEVICE_STATEMASK_ALL},
                                                        {eCapture, DEVICE_STATEMASK_ALL}};
  EXPECT_EQ(platform.enumerator.enumerations, all);
  EXPECT_EQ(platform.enumerator.unregistrations, 1);

  FakePlatform fresh;
  const Outcome text = EveryKind(fresh, {"--watch", "--render", "--capture", "--events=7", "--timeout=10"});
  EXPECT_EQ(text.text, R"x(present   render   Active                      spk (Speakers)                {0.0.0.00000000}.{spk}
present   capture  Active                      mic (Speakers)                {0.0.0.00000000}.{mic}
state     render   Unplugged (was Active)      spk (Speakers)                {0.0.0.00000000}.{spk}
added     render   Active                      usb (Speakers)                {0.0.0.00000000}.{usb}
removed   render   Removed (was Disabled)      off (Speakers)                {0.0.0.00000000}.{off}
default   capture  default for communications  mic (Speakers)                {0.0.0.00000000}.{mic}
default   render   no default for console
property  render   Device name changed         spk (Speakers)                {0.0.0.00000000}.{spk}
property  capture  Property {01234567-89AB-CDEF-FEDC-BA9876543210},5 changed  mic (Speakers)                {0.0.0.00000000}.{mic}
)x");
  EXPECT_EQ(fresh.OutstandingReferences(), 0);
}

TEST_F(Watching, FlowsFilterPreviousStatesFollowAndTheChoiceRemembersNames) {
  const FakeDevice& speakers = platform.AddDevice(L"spk");
  platform.AddDevice(L"mic", DEVICE_STATE_ACTIVE, eCapture).SetNames(L"Mikr\u00F3fono", L"", L"");
  const FakeDevice& off = platform.AddDevice(L"off", DEVICE_STATE_DISABLED, eCapture);
  const FakeDevice& late = platform.AddDevice(L"late", DEVICE_STATE_NOTPRESENT, eCapture);
  platform.enumerator.capture_collection.item_faults[2] = E_FAIL;  // unknown until its event
  const std::vector<std::string> words = {"--watch", "--json", "--capture", "--events", "3", "--timeout", "10"};
  const Outcome run = Watch(platform, words, [&](Enumerator& e) {
    State(e, speakers, DEVICE_STATE_DISABLED);
    Default(e, eRender, eConsole, &speakers);
    Property(e, speakers, kPkeyDeviceFriendlyName);
    State(e, off, DEVICE_STATE_ACTIVE);
    State(e, off, DEVICE_STATE_UNPLUGGED);
    State(e, late, DEVICE_STATE_ACTIVE);
  });
  // Off a console every character beyond ASCII is escaped, as in the document.
  EXPECT_EQ(run.text, R"x({"event":"present","flow":"capture","id":"{0.0.0.00000000}.{mic}","friendly_name":"Mikr\u00f3fono","state":"active"}
{"event":"state","flow":"capture","id":"{0.0.0.00000000}.{off}","friendly_name":"off (Speakers)","state":"active","previous_state":"disabled"}
{"event":"state","flow":"capture","id":"{0.0.0.00000000}.{off}","friendly_name":"off (Speakers)","state":"unplugged","previous_state":"active"}
{"event":"state","flow":"capture","id":"{0.0.0.00000000}.{late}","friendly_name":"late (Speakers)","state":"active","previous_state":null}
)x");
  // A change of a flow not listed is dropped before anything is read for it.
  EXPECT_EQ(platform.enumerator.devices_asked.count(speakers.id), 0u);

  // --name still knows an endpoint whose name can no longer be read.
  FakePlatform named;
  const FakeDevice& other = named.AddDevice(L"spk");
  FakeDevice& headset = named.AddDevice(L"headset");
  headset.store.faults["GetValue#1"] = E_FAIL;
  const Outcome chosen = Watch(named, {"--watch", "--json", "--name=HEAD", "--events=2", "--timeout=10"}, [&](Enumerator& e) {
    State(e, other, DEVICE_STATE_UNPLUGGED);
    Removed(e, headset);
    Default(e, eRender, eConsole, &other);
    Default(e, eRender, eMultimedia, &headset);
  });
  EXPECT_EQ(chosen.text, R"x({"event":"present","flow":"render","id":"{0.0.0.00000000}.{headset}","friendly_name":"headset (Speakers)","state":"active"}
{"event":"removed","flow":"render","id":"{0.0.0.00000000}.{headset}","friendly_name":null}
{"event":"default","flow":"render","id":"{0.0.0.00000000}.{headset}","friendly_name":"headset (Speakers)","role":"multimedia"}
)x");
  EXPECT_EQ(named.OutstandingReferences(), 0);
}

TEST_F(Watching, ABurstOfTheSameChangeIsShownOnce) {
  const FakeDevice& speakers = platform.AddDevice(L"spk");
  const Outcome run = Watch(platform, {"--watch", "--json", "--events", "4", "--timeout", "10"}, [&](Enumerator& e) {
    for (const PROPERTYKEY& key : {kPkeyDeviceFriendlyName, kPkeyDeviceDeviceDesc}) {
      for (int repeat = 0; repeat < 50; ++repeat) {
        Property(e, speakers, key);
      }
    }
    Sleep(300);
    Property(e, speakers, kPkeyDeviceFriendlyName);
    Property(e, speakers, kPkeyAudioEndpointFormFactor);
  });
  EXPECT_EQ(std::regex_replace(run.text, std::regex(R"x(\{.*"(state|property)":"(\w+)"\})x"), "$2"),
            "active\nfriendly_name\ndescription\nfriendly_name\nform_factor\n");
}

// The flood: changes numbered from kFirst to kLast, written to a console
// that pauses every 500 lines. The numbers all have six digits, so that the
// first and the last line take the same memory.
constexpr int kFirst = 100000;
constexpr int kLast = 200001;
struct Flood {
  int next = kFirst;
  bool in_order = true;
  long long first_heap = 0, last_heap = 0, most_heap = 0;
  std::vector<PROPERTYKEY>* keys_read = nullptr;  // the fake's own log, not the watch's memory
  HANDLE written = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // the first line, the flood, the last line
} flood;

BOOL WINAPI SlowWrite(HANDLE, const VOID* buffer, DWORD units, LPDWORD written, LPVOID) {
  *written = units;
  const std::wstring line(static_cast<const wchar_t*>(buffer), units);
  if (line.find(L"present") != std::wstring::npos) {
    return TRUE;
  }
  const int number = std::stoi(line.substr(line.find(L"},") + 2));
  flood.in_order = flood.in_order && number == flood.next;
  flood.next = number + 1;
  std::vector<PROPERTYKEY>().swap(*flood.keys_read);
  ForgetCalls();
  const long long heap = LiveHeapBytes();
  flood.most_heap = std::max(flood.most_heap, heap);
  if (number % 500 == 0) {
    Sleep(1);
  }
  (number == kFirst ? flood.first_heap : flood.last_heap) = heap;
  if (number == kFirst || number >= kLast - 1) {
    SetEvent(flood.written);
  }
  return TRUE;
}

TEST_F(Watching, AFloodThroughASlowWriterLosesNothingAndGivesItsMemoryBack) {
  FakeDevice& speakers = platform.AddDevice(L"spk");
  flood.keys_read = &speakers.store.keys_read;
  SelectOutput(reinterpret_cast<HANDLE>(0x1234), SlowWrite);
  const auto change = [&speakers](Enumerator& e, int number) {
    Property(e, speakers, {kOtherKey.fmtid, static_cast<DWORD>(number)});
  };
  const std::vector<std::string> words = {"--watch", "--events", std::to_string(kLast - kFirst + 1), "--timeout", "60"};
  const Outcome run = Watch(platform, words, [&](Enumerator& e) {
    // One change alone; the flood; one alone again once the flood is written
    // and out of the burst memory's reach. This thread holds what it held.
    change(e, kFirst);
    WaitForSingleObject(flood.written, 20000);
    for (int number = kFirst + 1; number < kLast; ++number) {
      change(e, number);
    }
    WaitForSingleObject(flood.written, 20000);
    Sleep(300);
    change(e, kLast);
    WaitForSingleObject(flood.written, 20000);
  });
  SelectOutput(nullptr, nullptr);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(flood.in_order);
  EXPECT_EQ(flood.next, kLast + 1);
  EXPECT_GT(flood.most_heap - flood.first_heap, 1000000);  // the flood took memory
  EXPECT_EQ(flood.last_heap, flood.first_heap);             // and gave it all back
}

TEST_F(Watching, CallbacksRacingRegistrationAndUnregistration) {
  FakeDevice& speakers = platform.AddDevice(L"spk");
  platform.enumerator.while_registering = [&] {
    State(platform.enumerator, speakers, DEVICE_STATE_UNPLUGGED);
    State(platform.enumerator, speakers, DEVICE_STATE_ACTIVE);
  };
  platform.enumerator.while_unregistering = [&] { Default(platform.enumerator, eRender, eConsole, &speakers); };
  bool delivered_after = true;
  // Floods the client with changes of a flow not listed until it is unregistered.
  const Outcome run = Watch(platform, {"--watch", "--json", "--events", "2", "--timeout", "10"}, [&](Enumerator& e) {
    while (e.Notify([](Client& c) { c.OnDefaultDeviceChanged(eCapture, eConsole, nullptr); })) {
    }
    delivered_after = e.Notify([](Client&) {});
  });
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(std::regex_replace(run.text, std::regex(R"x(\{"event":"(\w+)".*"state":"(\w+)".*)x"), "$1 $2"),
            "present active\nstate unplugged\nstate active\n");
  EXPECT_FALSE(delivered_after);
  EXPECT_EQ(platform.enumerator.unregistrations, 1);
}

TEST_F(Watching, EachCallOnTheWayFailing) {
  const std::string present =
      R"x({"event":"present","flow":"render","id":"{0.0.0.00000000}.{spk}","friendly_name":"spk (Speakers)","state":"active"})x";
  const auto changed = [](const char* flow, const char* name, const char* previous) {
    return std::string(R"x({"event":"state","flow":)x") + flow + R"x(,"id":"{0.0.0.00000000}.{spk}","friendly_name":)x" +
           name + R"x(,"state":"unplugged","previous_state":)x" + previous + "}\n";
  };
  const char* const name = R"x("spk (Speakers)")x";
  const std::string seen = changed(R"x("render")x", name, R"x("active")x");
  const std::string unknown = changed(R"x("render")x", name, "null");
  const std::string nameless = changed(R"x("render")x", "null", R"x("active")x");
  const std::string flowless = changed("null", name, "null");
  const struct {
    std::vector<std::string> faults;  // where.call
    int status;
    std::string text;
  } cases[] = {
      {{}, 0, present + "\n" + seen},
      {{"enumerator.RegisterEndpointNotificationCallback"}, -1,
       R"x({"error":{"call":"RegisterEndpointNotificationCallback","code":"0x80004005","message":"Couldn't register for notifications"}})x" "\n"},
      {{"enumerator.EnumAudioEndpoints"}, -1,
       R"x({"error":{"call":"EnumAudioEndpoints","code":"0x80004005","message":"Couldn't enumerate"}})x" "\n"},
      {{"enumerator.UnregisterEndpointNotificationCallback"}, 0, present + "\n" + seen},
      {{"collection.GetCount"}, 0, unknown},
      {{"device.GetId"}, 0, unknown},
      {{"device.GetState"}, 0, unknown},
      {{"enumerator.GetDevice"}, 0, present + "\n" + nameless},
      {{"store.GetValue#1"}, 0, present + "\n" + nameless},
      {{"device.OpenPropertyStore"}, 0,
       present.substr(0, present.find(name)) + "null,\"state\":\"active\"}\n" + nameless},
      {{"device.GetId", "device.QueryInterface"}, 0, flowless},
      {{"device.GetId", "flow.GetDataFlow"}, 0, flowless},
  };
  for (const auto& run : cases) {
    FakePlatform fresh;
    FakeDevice& speakers = fresh.AddDevice(L"spk");
    for (const std::string& fault : run.faults) {
      const std::string where = fault.substr(0, fault.find('.'));
      auto& faults = where == "enumerator" ? fresh.enumerator.faults
                     : where == "collection" ? fresh.enumerator.collection.faults
                     : where == "store"      ? speakers.store.faults
                     : where == "flow"       ? speakers.endpoint.faults
                                             : speakers.faults;
      faults[fault.substr(where.size() + 1)] = E_FAIL;
    }
    SCOPED_TRACE(run.faults.empty() ? "no fault" : run.faults.back());
    // A watch that does not start waits for no change.
    std::function<void(Enumerator&)> change = [&](Enumerator& e) { State(e, speakers, DEVICE_STATE_UNPLUGGED); };
    const Outcome outcome =
        Watch(fresh, {"--watch", "--json", "--events", "1", "--timeout", "10"}, run.status == 0 ? change : nullptr);
    EXPECT_EQ(outcome.status, run.status);
    EXPECT_EQ(outcome.text, run.text);
    // The message goes to standard error beside the document.
    EXPECT_EQ(fresh.errors.empty(), run.status == 0);
    EXPECT_EQ(fresh.enumerator.unregistrations, run.text.find("RegisterEndpoint") == std::string::npos ? 1 : 0);
    EXPECT_EQ(fresh.OutstandingReferences(), 0);
    EXPECT_EQ(fresh.ExtraReleases(), 0);
  }
  // As text, the tool's message form, on standard error.
  platform.create_fault = E_OUTOFMEMORY;
  EXPECT_EQ(Watch(platform, {"--watch"}).text, "");
  EXPECT_EQ(platform.errors, L"Couldn't create Device Enumerator: [0x8007000E]\n");
  platform.create_fault.reset();
  platform.enumerator.faults["RegisterEndpointNotificationCallback"] = E_ACCESSDENIED;
  EXPECT_EQ(Watch(platform, {"--watch"}).text, "");
  EXPECT_EQ(platform.errors, L"Couldn't register for notifications: [0x80070005]\n");
}

TEST_F(Watching, EventsAndTimeoutTakeWholeNumbersAndOnlyWithWatch) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--watch", "--events", "0"},         {"--watch", "--events", "-1"},  {"--watch", "--events", "+1"},
           {"--watch", "--events", "1x"},        {"--watch", "--events", " 1"},  {"--watch", "--events", "4294967296"},
           {"--watch", "--timeout=99999999999"}, {"--watch", "--events"},       {"--watch", "--timeout="},
           {"--events", "2"},                    {"--timeout=5", "--json"},     {"--watch", "--timeout", "1.5"}}) {
    const Outcome run = Watch(platform, words);
    EXPECT_EQ(run.status, 2) << words.back();
    EXPECT_EQ(run.text, "==== Help ====\nUsage:\n    trelmo [Active|Disabled|Unplugged|Not-Present]\n");
  }
  EXPECT_EQ(platform.create_calls, 0);
  // The deadline alone ends with 0; before the changes waited for, with 1.
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Watch(platform, {"--watch", "--timeout=1"}).status, 0);
  EXPECT_EQ(Watch(platform, {"--WATCH", "--events=1000000", "--timeout", "1"}).status, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

// A console that takes the first line and fails every write after it.
BOOL WINAPI FailAfterOneLine(HANDLE, const VOID*, DWORD units, LPDWORD written, LPVOID) {
  static int calls = 0;
  *written = ++calls == 1 ? units : 0;
  return calls == 1 ? TRUE : FALSE;
}

// A console that fails every write.
BOOL WINAPI FailEveryLine(HANDLE, const VOID*, DWORD, LPDWORD written, LPVOID) {
  *written = 0;
  return FALSE;
}

TEST_F(Watching, StopsOnTheConsolesEventsAndWhenWritingFails) {
  for (const int control : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_SHUTDOWN_EVENT}) {
    FakePlatform fresh;
    fresh.AddDevice(L"spk");
    const Outcome run = Watch(fresh, {"--watch"}, [control](Enumerator& e) {
      EXPECT_EQ(StopWatching(static_cast<DWORD>(control)), TRUE);
      // After a close is handled the process ends: by then everything is let go.
      if (control == CTRL_CLOSE_EVENT || control == CTRL_SHUTDOWN_EVENT) {
        EXPECT_EQ(e.references, 0) << control;
        EXPECT_EQ(e.unregistrations, 1) << control;
      }
    });
    EXPECT_EQ(run.status, 0) << control;
  }
  // The reader of the output has gone: the watch ends without waiting for the second change.
  const FakeDevice& speakers = platform.AddDevice(L"spk");
  SelectOutput(reinterpret_cast<HANDLE>(0x1234), FailAfterOneLine);
  const Outcome run = Watch(platform, {"--watch", "--events", "2", "--timeout", "10"},
                            [&](Enumerator& e) { State(e, speakers, DEVICE_STATE_DISABLED); });
  SelectOutput(nullptr, nullptr);
  EXPECT_EQ(run.status, 0);
  // Gone before the first line: the watch ends at once, waiting for no change at all.
  FakePlatform fresh;
  fresh.AddDevice(L"spk");
  SelectOutput(reinterpret_cast<HANDLE>(0x1234), FailEveryLine);
  const auto started = std::chrono::steady_clock::now();
  const Outcome at_once = Watch(fresh, {"--watch", "--timeout", "10"});
  SelectOutput(nullptr, nullptr);
  EXPECT_EQ(at_once.status, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(fresh.enumerator.unregistrations, 1);
}

// --details and --sessions: what they register, the events that come
// through it, and each registration failing.
const GUID kOtherContext = {0x01234567, 0x89AB, 0xCDEF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};

void Wait(CallbackSlot& slot) { ASSERT_TRUE(slot.WaitForRegistration()); }
void SessionEvent(FakeSession& session, const std::function<void(IAudioSessionEvents&)>& call) {
  session.events.Notify<IAudioSessionEvents>(call);
}

// A playback endpoint with two programs on it, this test's own process and
// the system's, and one that becomes active later; a change of each kind.
Outcome EveryOptionEvent(FakePlatform& platform, const std::vector<std::string>& words) {
  FakeDevice& speakers = platform.AddDevice(L"spk");
  speakers.volume.muted = TRUE;
  FakeSession& own = speakers.session_manager.AddSession(GetCurrentProcessId());
  speakers.session_manager.AddSession(0, L"System").system_sounds = true;
  FakeDevice& late = platform.AddDevice(L"late", DEVICE_STATE_DISABLED);
  return Watch(platform, words, [&](Enumerator& e) {
    Wait(speakers.volume.changes);
    Wait(own.events);
    speakers.volume.Notify(0.35F, TRUE, kTrelmoEventContext, {0.35F, 0.25F});
    speakers.volume.Notify(0.5F, FALSE, kOtherContext, {});
    SessionEvent(own, [](IAudioSessionEvents& c) { c.OnStateChanged(AudioSessionStateExpired); });
    SessionEvent(own, [](IAudioSessionEvents& c) { c.OnSimpleVolumeChanged(0.25F, TRUE, &kTrelmoEventContext); });
    SessionEvent(own, [](IAudioSessionEvents& c) { c.OnDisplayNameChanged(L"Song", &kOtherContext); });
    FakeSession* added = speakers.session_manager.NotifyCreated(0);
    ASSERT_NE(added, nullptr);
    Wait(added->events);
    SessionEvent(*added, [](IAudioSessionEvents& c) { c.OnSessionDisconnected(DisconnectReasonDeviceRemoval); });
    State(e, late, DEVICE_STATE_ACTIVE);
    Wait(late.volume.changes);
    late.volume.Notify(1.0F, FALSE, GUID{}, {1.0F});
  });
}

TEST_F(Watching, DetailsAndSessionsAsJsonLinesAndAsText) {
  const Outcome json = EveryOptionEvent(platform, {"--watch", "--json", "--details", "--sessions", "--events=9", "--timeout=10"});
  EXPECT_EQ(json.status, 0);
  const std::string own = R"x("process_id":)x" + std::to_string(GetCurrentProcessId()) +
                          R"x(,"process_name":"trelmo_unit_tests.exe")x";
  const std::string spk = R"x("flow":"render","id":"{0.0.0.00000000}.{spk}","friendly_name":"spk (Speakers)")x";
  const std::string ids = R"x("session_id":"{session}","instance_id":"{instance}"})x";
  EXPECT_EQ(json.text, R"x({"event":"present",)x" + spk + R"x(,"state":"active","level":0.75,"muted":true}
{"event":"session-present",)x" + spk + R"x(,"session":{)x" + own + R"x(,"display_name":null,"state":"active","system_sounds":false,"volume":0.5,"muted":false,)x" + ids + R"x(}
{"event":"session-present",)x" + spk + R"x(,"session":{"process_id":0,"process_name":null,"display_name":"System","state":"active","system_sounds":true,"volume":0.5,"muted":false,)x" + ids + R"x(}
{"event":"volume",)x" + spk + R"x(,"level":0.35,"muted":true,"channel_levels":[0.35,0.25],"by_trelmo":true}
{"event":"volume",)x" + spk + R"x(,"level":0.5,"muted":false,"channel_levels":[],"by_trelmo":false}
{"event":"session-state",)x" + spk + R"x(,"session":{)x" + own + R"x(,"display_name":null,)x" + ids + R"x(,"state":"expired"}
{"event":"session-volume",)x" + spk + R"x(,"session":{)x" + own + R"x(,"display_name":null,)x" + ids + R"x(,"volume":0.25,"muted":true,"by_trelmo":true}
{"event":"session-name",)x" + spk + R"x(,"session":{)x" + own + R"x(,"display_name":"Song",)x" + ids + R"x(,"display_name":"Song"}
{"event":"session-added",)x" + spk + R"x(,"session":{"process_id":0,"process_name":null,"display_name":null,"state":"active","system_sounds":false,"volume":0.5,"muted":false,)x" + ids + R"x(}
{"event":"session-removed",)x" + spk + R"x(,"session":{"process_id":0,"process_name":null,"display_name":null,)x" + ids + R"x(,"reason":"device-removed"}
{"event":"state","flow":"render","id":"{0.0.0.00000000}.{late}","friendly_name":"late (Speakers)","state":"active","previous_state":"disabled"}
{"event":"volume","flow":"render","id":"{0.0.0.00000000}.{late}","friendly_name":"late (Speakers)","level":1.0,"muted":false,"channel_levels":[1.0],"by_trelmo":false}
)x");

  FakePlatform fresh;
  const Outcome text = EveryOptionEvent(fresh, {"--watch", "--details", "--sessions", "--events=9", "--timeout=10"});
  const std::string id = "  {0.0.0.00000000}.{spk}\n";
  const std::string self = "trelmo_unit_tests.exe (pid " + std::to_string(GetCurrentProcessId()) + ")";
  EXPECT_EQ(text.text, "present   render   Active, 75 %, muted         spk (Speakers)                {0.0.0.00000000}.{spk}\n"
                       "session-present  render   spk (Speakers): " + self + ", active, volume 50 %" + id +
                       "session-present  render   spk (Speakers): System (pid 0), active, volume 50 %" + id +
                       "volume    render   spk (Speakers): 35 %, muted" + id +
                       "volume    render   spk (Speakers): 50 %" + id +
                       "session-state  render   spk (Speakers): " + self + " expired" + id +
                       "session-volume  render   spk (Speakers): " + self + " volume 25 %, muted" + id +
                       "session-name  render   spk (Speakers): " + self + " named Song" + id +
                       "session-added  render   spk (Speakers): Unknown (pid 0), active, volume 50 %" + id +
                       "session-removed  render   spk (Speakers): Unknown (pid 0) removed: device-removed" + id +
                       "state     render   Active (was Disabled)       late (Speakers)               {0.0.0.00000000}.{late}\n"
                       "volume    render   late (Speakers): 100 %  {0.0.0.00000000}.{late}\n");
  EXPECT_EQ(fresh.OutstandingReferences(), 0);
  EXPECT_EQ(fresh.ExtraReleases(), 0);
}

TEST_F(Watching, WithoutTheirOptionsNothingIsReadOrRegisteredAndAppAndDefaultChoose) {
  const auto made = [](const char* call) {
    const std::vector<std::string> log = CallLog();
    return std::count(log.begin(), log.end(), call);
  };
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--watch", "--timeout=1"}, {"--watch", "--details", "--timeout=1"}, {"--watch", "--sessions", "--timeout=1"}}) {
    FakePlatform fresh;
    fresh.AddDevice(L"spk").session_manager.AddSession(0);
    Watch(fresh, words);
    const bool details = words[1] == "--details";
    const bool sessions = words[1] == "--sessions";
    EXPECT_EQ(made("Activate"), details || sessions ? 1 : 0) << words[1];
    EXPECT_EQ(made("RegisterControlChangeNotify") + made("GetMasterVolumeLevelScalar"), details ? 2 : 0);
    EXPECT_EQ(made("GetSessionEnumerator") + made("RegisterSessionNotification"), sessions ? 2 : 0);
    EXPECT_EQ(made("RegisterAudioSessionNotification"), sessions ? 1 : 0);
    EXPECT_EQ(made("GetPeakValue"), 0);  // the peak meter is never watched
  }

  // --app keeps the programs it names; --default the endpoint that is the default at the start.
  FakeDevice& speakers = platform.AddDevice(L"spk");
  FakeDevice& headset = platform.AddDevice(L"headset");
  headset.session_manager.AddSession(0, L"System");
  FakeSession& own = headset.session_manager.AddSession(GetCurrentProcessId());
  platform.enumerator.defaults[{eRender, eCommunications}] = &headset;
  ForgetCalls();
  const Outcome run = Watch(platform, {"--watch", "--default=communications", "--app=UNIT_TESTS", "--events=1", "--timeout=10"},
                            [&](Enumerator& e) {
                              Wait(own.events);
                              Default(e, eRender, eCommunications, &speakers);
                              SessionEvent(own, [](IAudioSessionEvents& c) { c.OnStateChanged(AudioSessionStateInactive); });
                            });
  EXPECT_EQ(std::regex_replace(run.text, std::regex(R"x((\S+) .*\{(\w+)\}\n)x"), "$1 $2\n"),
            "present headset\nsession-present headset\nsession-state headset\n");
  EXPECT_EQ(made("RegisterAudioSessionNotification"), 1);  // the system's session is not followed
}

TEST_F(Watching, EachRegistrationFailingIsAnErrorEventAndTheWatchGoesOn) {
  const struct {
    const char* where;  // volume, device, manager or session
    const char* call;
    std::string errors;
  } cases[] = {
      {"volume", "RegisterControlChangeNotify", "RegisterControlChangeNotify 0x80004001\n"},
      {"device", "Activate#IAudioEndpointVolume", "Activate 0x80004001\n"},
      {"device", "Activate#IAudioSessionManager2", "Activate 0x80004001\n"},
      {"manager", "GetSessionEnumerator", "GetSessionEnumerator 0x80004001\n"},
      {"manager", "RegisterSessionNotification", "RegisterSessionNotification 0x80004001\n"},
      {"session", "RegisterAudioSessionNotification", "RegisterAudioSessionNotification 0x80004001 4312\n"},
  };
  for (const auto& run : cases) {
    FakePlatform fresh;
    FakeDevice& speakers = fresh.AddDevice(L"spk");
    FakeSession& session = speakers.session_manager.AddSession(4312);
    const std::string where = run.where;
    auto& faults = where == "volume"    ? speakers.volume.faults
                   : where == "manager" ? speakers.session_manager.faults
                   : where == "session" ? session.faults
                                        : speakers.faults;
    faults[run.call] = E_NOTIMPL;
    // Error events are not counted: the watch ends with the default's line.
    const Outcome outcome = Watch(fresh, {"--watch", "--json", "--details", "--sessions", "--events=1", "--timeout=10"},
                                  [&](Enumerator& e) { Default(e, eRender, eConsole, &speakers); });
    EXPECT_EQ(outcome.status, 0) << run.call;
    const std::regex error(R"x(\{"event":"error".*)x");
    std::string errors;
    std::smatch found;
    for (std::sregex_iterator line(outcome.text.begin(), outcome.text.end(), error), end; line != end; ++line) {
      const std::string text = line->str();
      std::regex_search(text, found, std::regex(R"x("call":"(\w+)","code":"(\w+)")x"));
      errors += found[1].str() + " " + found[2].str();
      if (std::regex_search(text, found, std::regex(R"x("process_id":(\d+))x"))) {
        errors += " " + found[1].str();
      }
      errors += "\n";
    }
    EXPECT_EQ(errors, run.errors) << run.call;
    EXPECT_NE(outcome.text.find(R"x("event":"default")x"), std::string::npos) << run.call;
    // The calls after a failure are still made.
    const std::vector<std::string> log = CallLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "RegisterSessionNotification"),
              where == "device" && std::string(run.call).find("Manager") != std::string::npos ? 0 : 1);
    EXPECT_EQ(fresh.OutstandingReferences(), 0);
  }
}

TEST_F(Watching, WhatWasRegisteredGoesOnEveryWayTheWatchEnds) {
  const std::vector<std::string> words = {"--watch", "--details", "--sessions"};
  const auto ready = [](FakeDevice& device) {
    Wait(device.volume.changes);
    Wait(device.session_manager.enumerator.sessions[0]->events);
  };
  for (const int control : {CTRL_C_EVENT, CTRL_CLOSE_EVENT}) {
    FakePlatform fresh;
    FakeDevice& speakers = fresh.AddDevice(L"spk");
    speakers.session_manager.AddSession(0);
    const Outcome run = Watch(fresh, words, [&](Enumerator&) {
      ready(speakers);
      // A new session that comes as the watch ends: its control is let go all the same.
      speakers.session_manager.NotifyCreated(0);
      EXPECT_EQ(StopWatching(static_cast<DWORD>(control)), TRUE);
      if (control == CTRL_CLOSE_EVENT) {
        EXPECT_EQ(fresh.RegisteredCallbacks(), 0);
        EXPECT_EQ(fresh.OutstandingReferences(), 0);
      }
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(fresh.OutstandingReferences(), 0);
    EXPECT_EQ(fresh.ExtraReleases(), 0);
  }
  FakeDevice& speakers = platform.AddDevice(L"spk");
  speakers.session_manager.AddSession(0);
  std::vector<std::string> timed = words;
  timed.emplace_back("--timeout=1");
  EXPECT_EQ(Watch(platform, timed).status, 0);
  SelectOutput(reinterpret_cast<HANDLE>(0x1234), FailEveryLine);
  EXPECT_EQ(Watch(platform, words).status, 0);
  SelectOutput(nullptr, nullptr);
}

}  // namespace
