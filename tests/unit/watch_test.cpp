// --watch on the fakes, whose callbacks come from a thread of their own as
// the platform's do: every event kind as JSON and as text, the flow filter,
// previous states and the choice, property bursts, a flood through a slow
// writer, callbacks racing registration and unregistration, each call on the
// way failing, the options and every way a watch stops.
#include "tests/unit/platform_test.h"
#include "text/output.h"
#include "watch/watching.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;
using Platform = FakeEnumerator;

class Watching : public PlatformTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(CallsFromCallbacks(), 0) << "a callback called the platform";
    PlatformTest::TearDown();
  }
};

struct Outcome {
  int status;
  std::string text;
};

// Runs the words as main does while `fire` delivers callbacks from another
// thread once the client is registered.
Outcome Watch(FakePlatform& platform, const std::vector<std::string>& words,
              const std::function<void(Platform&)>& fire = {}) {
  std::thread platform_thread([&platform, &fire] {
    if (platform.enumerator.WaitForRegistration() && fire) {
      fire(platform.enumerator);
    }
  });
  CapturedOutput output;
  const int status = platform.RunCommandLine(words);
  platform_thread.join();
  return {status, output.Text()};
}

void State(Platform& platform, const FakeDevice& device, DWORD state) {
  platform.Notify([&](IMMNotificationClient& client) { client.OnDeviceStateChanged(device.id.c_str(), state); });
}
void Added(Platform& platform, const FakeDevice& device) {
  platform.Notify([&](IMMNotificationClient& client) { client.OnDeviceAdded(device.id.c_str()); });
}
void Removed(Platform& platform, const FakeDevice& device) {
  platform.Notify([&](IMMNotificationClient& client) { client.OnDeviceRemoved(device.id.c_str()); });
}
void Default(Platform& platform, EDataFlow flow, ERole role, const FakeDevice* device) {
  platform.Notify([&](IMMNotificationClient& client) {
    client.OnDefaultDeviceChanged(flow, role, device != nullptr ? device->id.c_str() : nullptr);
  });
}
void Property(Platform& platform, const FakeDevice& device, const PROPERTYKEY& key) {
  platform.Notify([&](IMMNotificationClient& client) { client.OnPropertyValueChanged(device.id.c_str(), key); });
}

// Each line as JSON, its time checked and taken out.
std::vector<Json> JsonLines(const std::string& text) {
  static const std::regex kTime(R"x(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)x");
  std::vector<Json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    Json value = Json::parse(line, nullptr, false);
    if (value.contains("time")) {
      EXPECT_TRUE(std::regex_match(value["time"].get<std::string>(), kTime)) << line;
      value.erase("time");
    }
    lines.push_back(std::move(value));
  }
  return lines;
}

std::vector<Json> Parse(const std::vector<std::string>& lines) {
  std::vector<Json> values;
  for (const std::string& line : lines) {
    values.push_back(Json::parse(line));
  }
  return values;
}

const PROPERTYKEY kOtherKey = {{0x01234567, 0x89AB, 0xCDEF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}}, 5};

// Endpoints for every kind of event: "usb" stands for one that arrives
// after the start, which cannot read it.
void AddEveryKindEndpoints(FakePlatform& platform) {
  platform.AddDevice(L"spk");
  platform.AddDevice(L"off", DEVICE_STATE_DISABLED);
  platform.AddDevice(L"usb");
  platform.AddDevice(L"mic", DEVICE_STATE_ACTIVE, eCapture);
  platform.enumerator.collection.item_faults[2] = E_FAIL;
}

void FireEveryKind(FakePlatform& platform, Platform& enumerator) {
  const auto& devices = platform.devices;
  State(enumerator, *devices[0], DEVICE_STATE_UNPLUGGED);
  Added(enumerator, *devices[2]);
  Removed(enumerator, *devices[1]);
  Default(enumerator, eCapture, eCommunications, devices[3].get());
  Default(enumerator, eRender, eConsole, nullptr);
  Property(enumerator, *devices[0], kPkeyDeviceFriendlyName);
  Property(enumerator, *devices[3], kOtherKey);
}

TEST_F(Watching, EveryEventKindAsJsonLines) {
  AddEveryKindEndpoints(platform);
  const Outcome run = Watch(platform, {"--watch", "--json", "--render", "--capture", "--events", "7", "--timeout", "10"},
                            [this](Platform& enumerator) { FireEveryKind(platform, enumerator); });
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(JsonLines(run.text), Parse({
      R"x({"event":"present","flow":"render","id":"{0.0.0.00000000}.{spk}","friendly_name":"spk (Speakers)","state":"active"})x",
      R"x({"event":"present","flow":"capture","id":"{0.0.0.00000000}.{mic}","friendly_name":"mic (Speakers)","state":"active"})x",
      R"x({"event":"state","flow":"render","id":"{0.0.0.00000000}.{spk}","friendly_name":"spk (Speakers)","state":"unplugged","previous_state":"active"})x",
      R"x({"event":"added","flow":"render","id":"{0.0.0.00000000}.{usb}","friendly_name":"usb (Speakers)","state":"active"})x",
      R"x({"event":"removed","flow":"render","id":"{0.0.0.00000000}.{off}","friendly_name":"off (Speakers)"})x",
      R"x({"event":"default","flow":"capture","id":"{0.0.0.00000000}.{mic}","friendly_name":"mic (Speakers)","role":"communications"})x",
      R"x({"event":"default","flow":"render","id":null,"friendly_name":null,"role":"console"})x",
      R"x({"event":"property","flow":"render","id":"{0.0.0.00000000}.{spk}","friendly_name":"spk (Speakers)","property":"friendly_name"})x",
      R"x({"event":"property","flow":"capture","id":"{0.0.0.00000000}.{mic}","friendly_name":"mic (Speakers)","property":"{01234567-89AB-CDEF-FEDC-BA9876543210},5"})x",
  })) << run.text;
  // Every endpoint of both flows, in every state, is read once at the start.
  const std::vector<std::pair<EDataFlow, DWORD>> all = {{eRender, DEVICE_STATEMASK_ALL}, {eCapture, DEVICE_STATEMASK_ALL}};
  EXPECT_EQ(platform.enumerator.enumerations, all);
  EXPECT_EQ(platform.enumerator.unregistrations, 1);
}

TEST_F(Watching, EveryEventKindAsText) {
  AddEveryKindEndpoints(platform);
  const Outcome run = Watch(platform, {"--watch", "--render", "--capture", "--events=7", "--timeout=10"},
                            [this](Platform& enumerator) { FireEveryKind(platform, enumerator); });
  EXPECT_EQ(run.status, 0);
  const std::regex time(R"x(\d\d:\d\d:\d\d\.\d{3}  )x");
  std::string lines;
  std::istringstream in(run.text);
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(std::regex_search(line, time, std::regex_constants::match_continuous)) << line;
    lines += line.substr(14) + "\n";
  }
  EXPECT_EQ(lines,
            "present   render   Active                      spk (Speakers)                {0.0.0.00000000}.{spk}\n"
            "present   capture  Active                      mic (Speakers)                {0.0.0.00000000}.{mic}\n"
            "state     render   Unplugged (was Active)      spk (Speakers)                {0.0.0.00000000}.{spk}\n"
            "added     render   Active                      usb (Speakers)                {0.0.0.00000000}.{usb}\n"
            "removed   render   Removed (was Disabled)      off (Speakers)                {0.0.0.00000000}.{off}\n"
            "default   capture  default for communications  mic (Speakers)                {0.0.0.00000000}.{mic}\n"
            "default   render   no default for console\n"
            "property  render   Device name changed         spk (Speakers)                {0.0.0.00000000}.{spk}\n"
            "property  capture  Property {01234567-89AB-CDEF-FEDC-BA9876543210},5 changed  mic (Speakers)                "
            "{0.0.0.00000000}.{mic}\n");
}

TEST_F(Watching, FlowsFilterPreviousStatesFollowAndTheChoiceRemembersNames) {
  const FakeDevice& speakers = platform.AddDevice(L"spk");
  const FakeDevice& mic = platform.AddDevice(L"mic", DEVICE_STATE_ACTIVE, eCapture);
  const FakeDevice& off = platform.AddDevice(L"off", DEVICE_STATE_DISABLED, eCapture);
  const FakeDevice& late = platform.AddDevice(L"late", DEVICE_STATE_NOTPRESENT, eCapture);
  platform.enumerator.capture_collection.item_faults[2] = E_FAIL;  // unknown until its event
  const Outcome run = Watch(platform, {"--watch", "--json", "--capture", "--events", "4"}, [&](Platform& enumerator) {
    State(enumerator, speakers, DEVICE_STATE_DISABLED);
    Default(enumerator, eRender, eConsole, &speakers);
    State(enumerator, off, DEVICE_STATE_ACTIVE);
    State(enumerator, off, DEVICE_STATE_UNPLUGGED);
    State(enumerator, late, DEVICE_STATE_ACTIVE);
    Property(enumerator, speakers, kPkeyDeviceFriendlyName);
    Default(enumerator, eCapture, eMultimedia, &mic);
  });
  EXPECT_EQ(JsonLines(run.text), Parse({
      R"x({"event":"present","flow":"capture","id":"{0.0.0.00000000}.{mic}","friendly_name":"mic (Speakers)","state":"active"})x",
      R"x({"event":"state","flow":"capture","id":"{0.0.0.00000000}.{off}","friendly_name":"off (Speakers)","state":"active","previous_state":"disabled"})x",
      R"x({"event":"state","flow":"capture","id":"{0.0.0.00000000}.{off}","friendly_name":"off (Speakers)","state":"unplugged","previous_state":"active"})x",
      R"x({"event":"state","flow":"capture","id":"{0.0.0.00000000}.{late}","friendly_name":"late (Speakers)","state":"active","previous_state":null})x",
      R"x({"event":"default","flow":"capture","id":"{0.0.0.00000000}.{mic}","friendly_name":"mic (Speakers)","role":"multimedia"})x",
  })) << run.text;
  // A change of a flow not listed is dropped before anything is read for it.
  EXPECT_EQ(platform.enumerator.devices_asked.count(speakers.id), 0u);

  // --name keeps an endpoint whose name can no longer be read by the name it had.
  FakePlatform named;
  named.AddDevice(L"spk");
  FakeDevice& headset = named.AddDevice(L"headset");
  headset.store.faults["GetValue#1"] = E_FAIL;
  const Outcome chosen = Watch(named, {"--watch", "--json", "--name", "HEAD", "--events", "2"}, [&](Platform& enumerator) {
    State(enumerator, *named.devices[0], DEVICE_STATE_UNPLUGGED);
    Removed(enumerator, headset);
    Default(enumerator, eRender, eConsole, named.devices[0].get());
    Default(enumerator, eRender, eMultimedia, &headset);
  });
  EXPECT_EQ(JsonLines(chosen.text), Parse({
      R"x({"event":"present","flow":"render","id":"{0.0.0.00000000}.{headset}","friendly_name":"headset (Speakers)","state":"active"})x",
      R"x({"event":"removed","flow":"render","id":"{0.0.0.00000000}.{headset}","friendly_name":null})x",
      R"x({"event":"default","flow":"render","id":"{0.0.0.00000000}.{headset}","friendly_name":"headset (Speakers)","role":"multimedia"})x",
  })) << chosen.text;
  EXPECT_EQ(named.OutstandingReferences(), 0);
}

TEST_F(Watching, ABurstOfTheSameChangeIsShownOnce) {
  const FakeDevice& speakers = platform.AddDevice(L"spk");
  const Outcome run = Watch(platform, {"--watch", "--json", "--events", "4"}, [&](Platform& enumerator) {
    for (int repeat = 0; repeat < 50; ++repeat) {
      Property(enumerator, speakers, kPkeyDeviceFriendlyName);
    }
    for (int repeat = 0; repeat < 50; ++repeat) {
      Property(enumerator, speakers, kPkeyDeviceDeviceDesc);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Property(enumerator, speakers, kPkeyDeviceFriendlyName);
    Property(enumerator, speakers, kPkeyAudioEndpointFormFactor);
  });
  std::vector<std::string> properties;
  for (const Json& line : JsonLines(run.text)) {
    properties.push_back(line.value("property", "-"));
  }
  EXPECT_EQ(properties, (std::vector<std::string>{"-", "friendly_name", "description", "friendly_name", "form_factor"}));
}

// A console that takes each line slowly and checks the lines come in order:
// "Property {...},N changed" with N counting up from kFirst. The numbers all
// have six digits, so that the first and the last line take the same memory.
constexpr int kFirst = 100000;
constexpr int kFlood = 100000;
constexpr int kLast = kFirst + kFlood + 1;

// Set by one thread, waited for by another.
struct Signal {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Signal() = default;
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;
  ~Signal() { CloseHandle(event); }
  void Set() const { SetEvent(event); }
  void Wait() const { WaitForSingleObject(event, INFINITE); }
};

struct SlowConsole {
  int next = kFirst;
  bool in_order = true;
  long long heap_at_first = 0;
  long long heap_at_last = 0;
  long long heap_most = 0;
  std::vector<PROPERTYKEY>* keys_read = nullptr;  // the fake's own log, not the watch's memory
  Signal first_written;
  Signal burst_written;
  Signal last_written;
};
SlowConsole* slow = nullptr;

BOOL WINAPI SlowWrite(HANDLE, const VOID* buffer, DWORD units, LPDWORD written, LPVOID) {
  const std::wstring line(static_cast<const wchar_t*>(buffer), units);
  *written = units;
  const std::size_t at = line.find(L"},");
  if (at == std::wstring::npos) {
    return TRUE;  // the present line
  }
  const int number = std::stoi(line.substr(at + 2));
  slow->in_order = slow->in_order && number == slow->next;
  slow->next = number + 1;
  std::vector<PROPERTYKEY>().swap(*slow->keys_read);
  const long long heap = LiveHeapBytes();
  slow->heap_most = std::max(slow->heap_most, heap);
  if (number % 500 == 0) {
    Sleep(1);
  }
  if (number == kFirst) {
    slow->heap_at_first = heap;
    slow->first_written.Set();
  } else if (number == kLast - 1) {
    slow->burst_written.Set();
  } else if (number == kLast) {
    slow->heap_at_last = heap;
    slow->last_written.Set();
  }
  return TRUE;
}

TEST_F(Watching, AFloodThroughASlowWriterLosesNothingAndGivesItsMemoryBack) {
  FakeDevice& speakers = platform.AddDevice(L"spk");
  SlowConsole console;
  console.keys_read = &speakers.store.keys_read;
  slow = &console;
  SelectOutput(reinterpret_cast<HANDLE>(0x1234), SlowWrite);
  const auto changed = [&speakers](Platform& enumerator, int number) {
    Property(enumerator, speakers, {kOtherKey.fmtid, static_cast<DWORD>(number)});
  };
  const Outcome run = Watch(platform, {"--watch", "--events", std::to_string(kFlood + 2)}, [&](Platform& enumerator) {
    // One change alone first, then the flood, then one alone again once the
    // flood is written and the burst memory has nothing left to hold back.
    changed(enumerator, kFirst);
    console.first_written.Wait();
    for (int number = kFirst + 1; number < kLast; ++number) {
      changed(enumerator, number);
    }
    console.burst_written.Wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    changed(enumerator, kLast);
    console.last_written.Wait();  // this thread too holds what it held at the first sample
  });
  SelectOutput(nullptr, nullptr);
  slow = nullptr;
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(console.in_order);
  EXPECT_EQ(console.next, kLast + 1);
  // The watch's memory rose with the flood, and all of it went back.
  EXPECT_GT(console.heap_most - console.heap_at_first, 1000000);
  EXPECT_EQ(console.heap_at_last, console.heap_at_first);
}

TEST_F(Watching, CallbacksRacingRegistrationAndUnregistration) {
  FakeDevice& speakers = platform.AddDevice(L"spk");
  std::atomic<bool> delivered_after{false};
  platform.enumerator.while_registering = [&] {
    State(platform.enumerator, speakers, DEVICE_STATE_UNPLUGGED);
    State(platform.enumerator, speakers, DEVICE_STATE_ACTIVE);
  };
  platform.enumerator.while_unregistering = [&] { Default(platform.enumerator, eRender, eConsole, &speakers); };
  // Floods the client with changes of a flow not listed until it is unregistered.
  const Outcome run = Watch(platform, {"--watch", "--json", "--events", "3"}, [&](Platform& enumerator) {
    Default(enumerator, eRender, eMultimedia, &speakers);
    while (enumerator.Notify([](IMMNotificationClient& client) { client.OnDefaultDeviceChanged(eCapture, eConsole, nullptr); })) {
    }
    delivered_after = enumerator.Notify([](IMMNotificationClient&) {});
  });
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> events;
  for (const Json& line : JsonLines(run.text)) {
    events.push_back(line["event"].get<std::string>() + " " + line.value("state", line.value("role", "")));
  }
  EXPECT_EQ(events, (std::vector<std::string>{"present active", "state unplugged", "state active", "default multimedia"}));
  EXPECT_FALSE(delivered_after);
  EXPECT_EQ(platform.enumerator.unregistrations, 1);
}

// The watch of one endpoint, whose state changes once, under faults.
struct FaultCase {
  std::vector<std::pair<std::string, std::string>> faults;  // where, call
  int status;
  std::vector<std::string> lines;
};

constexpr const char* kPresent =
    R"x({"event":"present","flow":"render","id":"{0.0.0.00000000}.{spk}","friendly_name":"spk (Speakers)","state":"active"})x";

std::string StateLine(const char* flow, const char* name, const char* previous) {
  return std::string(R"x({"event":"state","flow":)x") + flow + R"x(,"id":"{0.0.0.00000000}.{spk}","friendly_name":)x" +
         name + R"x(,"state":"unplugged","previous_state":)x" + previous + "}";
}

TEST_F(Watching, EachCallOnTheWayFailing) {
  const std::string changed = StateLine(R"x("render")x", R"x("spk (Speakers)")x", R"x("active")x");
  const std::string unknown = StateLine(R"x("render")x", R"x("spk (Speakers)")x", "null");
  const std::string nameless = StateLine(R"x("render")x", "null", R"x("active")x");
  const std::string flowless = StateLine("null", R"x("spk (Speakers)")x", "null");
  const FaultCase cases[] = {
      {{}, 0, {kPresent, changed}},
      {{{"enumerator", "RegisterEndpointNotificationCallback"}}, -1,
       {R"x({"error":{"call":"RegisterEndpointNotificationCallback","code":"0x80004005","message":"Couldn't register for notifications"}})x"}},
      {{{"enumerator", "EnumAudioEndpoints"}}, -1,
       {R"x({"error":{"call":"EnumAudioEndpoints","code":"0x80004005","message":"Couldn't enumerate"}})x"}},
      {{{"enumerator", "UnregisterEndpointNotificationCallback"}}, 0, {kPresent, changed}},
      {{{"collection", "GetCount"}}, 0, {unknown}},
      {{{"device", "GetId"}}, 0, {unknown}},
      {{{"device", "GetState"}}, 0, {unknown}},
      {{{"enumerator", "GetDevice"}}, 0, {kPresent, nameless}},
      {{{"store", "GetValue#1"}}, 0, {kPresent, nameless}},
      {{{"device", "OpenPropertyStore"}},
       0,
       {R"x({"event":"present","flow":"render","id":"{0.0.0.00000000}.{spk}","friendly_name":null,"state":"active"})x",
        nameless}},
      {{{"collection", "GetCount"}, {"device", "QueryInterface"}}, 0, {flowless}},
      {{{"collection", "GetCount"}, {"flow", "GetDataFlow"}}, 0, {flowless}},
  };
  for (const FaultCase& run : cases) {
    FakePlatform fresh;
    FakeDevice& speakers = fresh.AddDevice(L"spk");
    std::string trace;
    for (const auto& [where, call] : run.faults) {
      trace += where + "." + call + " ";
      auto& faults = where == "enumerator" ? fresh.enumerator.faults
                     : where == "collection" ? fresh.enumerator.collection.faults
                     : where == "store"      ? speakers.store.faults
                     : where == "flow"       ? speakers.endpoint.faults
                                             : speakers.faults;
      faults[call] = E_FAIL;
    }
    SCOPED_TRACE(trace);
    const Outcome outcome = Watch(fresh, {"--watch", "--json", "--events", "1", "--timeout", "10"},
                                  [&](Platform& enumerator) { State(enumerator, speakers, DEVICE_STATE_UNPLUGGED); });
    EXPECT_EQ(outcome.status, run.status);
    EXPECT_EQ(JsonLines(outcome.text), Parse(run.lines)) << outcome.text;
    EXPECT_EQ(fresh.enumerator.unregistrations, run.status == 0 || run.faults[0].second == "EnumAudioEndpoints" ? 1 : 0);
    EXPECT_EQ(fresh.OutstandingReferences(), 0);
    EXPECT_EQ(fresh.ExtraReleases(), 0);
  }
  // As text, in the tool's message form.
  platform.create_fault = E_OUTOFMEMORY;
  CapturedOutput created;
  EXPECT_EQ(platform.RunCommandLine({"--watch"}), -1);
  EXPECT_EQ(created.Text(), "Couldn't create Device Enumerator: [0x8007000E]\n");
  platform.create_fault.reset();
  platform.enumerator.faults["RegisterEndpointNotificationCallback"] = E_ACCESSDENIED;
  EXPECT_EQ(Watch(platform, {"--watch"}).text, "Couldn't register for notifications: [0x80070005]\n");
}

TEST_F(Watching, EventsAndTimeoutTakeWholeNumbersAndOnlyWithWatch) {
  const std::string usage = "==== Help ====\nUsage:\n    trelmo [Active|Disabled|Unplugged|Not-Present]\n";
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--watch", "--events", "0"},         {"--watch", "--events", "-1"},  {"--watch", "--events", "+1"},
           {"--watch", "--events", "1x"},        {"--watch", "--events", " 1"},  {"--watch", "--events", "4294967296"},
           {"--watch", "--timeout=99999999999"}, {"--watch", "--events"},       {"--watch", "--timeout="},
           {"--events", "2"},                    {"--timeout=5", "--json"},     {"--watch", "--timeout", "1.5"}}) {
    CapturedOutput output;
    EXPECT_EQ(platform.RunCommandLine(words), 2) << words.back();
    EXPECT_EQ(output.Text(), usage);
  }
  EXPECT_EQ(platform.create_calls, 0);
  // The deadline alone ends with 0; before the changes waited for, with 1.
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Watch(platform, {"--watch", "--timeout=1"}).status, 0);
  EXPECT_EQ(Watch(platform, {"--WATCH", "--events=4294967295", "--timeout", "1"}).status, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

// A console that takes the first line and fails every write after it.
BOOL WINAPI FailAfterOneLine(HANDLE, const VOID*, DWORD units, LPDWORD written, LPVOID) {
  static int calls = 0;
  *written = ++calls == 1 ? units : 0;
  return calls == 1 ? TRUE : FALSE;
}

TEST_F(Watching, StopsOnTheConsolesEventsAndWhenWritingFails) {
  FakeDevice& speakers = platform.AddDevice(L"spk");
  for (const DWORD control : {DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}, DWORD{CTRL_CLOSE_EVENT}, DWORD{CTRL_SHUTDOWN_EVENT}}) {
    FakePlatform fresh;
    fresh.AddDevice(L"spk");
    long references_when_handled = -1;
    bool unregistered_when_handled = false;
    const Outcome run = Watch(fresh, {"--watch"}, [&](Platform& enumerator) {
      EXPECT_EQ(StopWatching(control), TRUE);
      // The process ends once a close is handled: by then everything is let go.
      references_when_handled = enumerator.references;
      unregistered_when_handled = enumerator.unregistrations == 1;
    });
    EXPECT_EQ(run.status, 0) << control;
    if (control == CTRL_CLOSE_EVENT || control == CTRL_SHUTDOWN_EVENT) {
      EXPECT_EQ(references_when_handled, 0) << control;
      EXPECT_TRUE(unregistered_when_handled) << control;
    }
  }
  // The reader of the output has gone: the watch ends, though it waits for a change.
  SelectOutput(reinterpret_cast<HANDLE>(0x1234), FailAfterOneLine);
  const Outcome run = Watch(platform, {"--watch", "--events", "2", "--timeout", "10"},
                            [&](Platform& enumerator) { State(enumerator, speakers, DEVICE_STATE_DISABLED); });
  SelectOutput(nullptr, nullptr);
  EXPECT_EQ(run.status, 0);
}

}  // namespace
