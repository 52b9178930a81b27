// Runs the whole listing against fakes in which each platform call in turn
// fails, alone and in pairs, with the codes the platform is known to return.
// Every run must give exactly the text and status the tool defines for that
// failure, report the other endpoints in full, and leave nothing held.
#include "tests/unit/fakes.h"
#include "text/text.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <iostream>
#include <set>
#include <string>
#include <vector>

namespace {

// Where a fault is injected: a call of the listing itself, or a call made
// for one endpoint (a collection index, or the endpoint and what it hands out).
struct FaultPoint {
  std::string call;
  int endpoint;  // -1 for the calls made once per run
};

struct Fault {
  FaultPoint point;
  HRESULT code;
};

constexpr HRESULT kCodes[] = {E_FAIL, E_OUTOFMEMORY, E_POINTER, kDeviceInvalidated, kNotFound, S_FALSE};

const char* const kRunCalls[] = {"CoCreateInstance", "EnumAudioEndpoints", "GetCount"};
const char* const kEndpointCalls[] = {"Item",     "GetState",   "GetId",        "OpenPropertyStore",
                                      "GetValue#0", "GetValue#1", "GetValue#2", "Activate",
                                      "GetMixFormat", "Initialize"};

// The endpoints of every run: three active ones with different mixes, and a
// disabled one that the filter must always keep out.
struct Endpoint {
  const wchar_t* name;
  DWORD state;
  std::vector<BYTE> mix;
  const char* format;  // what the probe settles on when nothing fails
};

std::vector<Endpoint> Endpoints() {
  return {
      {L"stereo", DEVICE_STATE_ACTIVE, ExtensibleMix(2, 48000, 32), "Stereo"},
      {L"surround", DEVICE_STATE_ACTIVE, ExtensibleMix(6, 44100, 16), "Surround 5.1 (Side)"},
      {L"mono", DEVICE_STATE_ACTIVE, MixFormat(WAVE_FORMAT_PCM, 1, 16000, 16, 0), "Mono"},
      {L"off", DEVICE_STATE_DISABLED, ExtensibleMix(2), "Stereo"},
  };
}

// The calls only the document makes of each endpoint: the four detail
// properties, the volume control and the peak meter.
const char* const kDetailCalls[] = {"GetValue#3",
                                    "GetValue#4",
                                    "GetValue#5",
                                    "GetValue#6",
                                    "Activate#IAudioEndpointVolume",
                                    "GetMasterVolumeLevelScalar",
                                    "GetMasterVolumeLevel",
                                    "GetMute",
                                    "GetVolumeRange",
                                    "GetChannelCount",
                                    "GetChannelVolumeLevelScalar#1",
                                    "Activate#IAudioMeterInformation",
                                    "GetPeakValue"};

std::vector<FaultPoint> FaultPoints(bool with_details = false) {
  std::vector<FaultPoint> points;
  for (const char* call : kRunCalls) {
    points.push_back({call, -1});
  }
  for (int endpoint = 0; endpoint < static_cast<int>(Endpoints().size()); ++endpoint) {
    for (const char* call : kEndpointCalls) {
      points.push_back({call, endpoint});
    }
    for (const char* call : kDetailCalls) {
      if (with_details) {
        points.push_back({call, endpoint});
      }
    }
  }
  return points;
}

void Inject(FakePlatform& platform, const Fault& fault) {
  const std::string& call = fault.point.call;
  if (call == "CoCreateInstance") {
    platform.create_fault = fault.code;
  } else if (call == "EnumAudioEndpoints") {
    platform.enumerator.faults[call] = fault.code;
  } else if (call == "GetCount") {
    platform.enumerator.collection.faults[call] = fault.code;
  } else if (call == "Item") {
    platform.enumerator.collection.item_faults[static_cast<UINT>(fault.point.endpoint)] = fault.code;
  } else {
    FakeDevice& device = *platform.devices[static_cast<std::size_t>(fault.point.endpoint)];
    const std::set<std::string> volume_calls = {"GetMasterVolumeLevelScalar", "GetMasterVolumeLevel", "GetMute",
                                                "GetVolumeRange", "GetChannelCount", "GetChannelVolumeLevelScalar#1"};
    if (call.rfind("GetValue#", 0) == 0) {
      device.store.faults[call] = fault.code;
    } else if (volume_calls.count(call) != 0) {
      device.volume.faults[call] = fault.code;
    } else if (call == "GetPeakValue") {
      device.meter.faults[call] = fault.code;
    } else if (call == "GetMixFormat" || call == "Initialize") {
      device.client_faults[call] = fault.code;
    } else {
      device.faults[call] = fault.code;
    }
  }
}

// What the tool must do under the faults: the status and the exact text.
struct Expected {
  int status;
  std::string text;
};

class Faults {
 public:
  explicit Faults(const std::vector<Fault>& faults) : faults_(faults) {}

  // The code injected at the call, if any.
  const Fault* At(const std::string& call, int endpoint) const {
    for (const Fault& fault : faults_) {
      if (fault.point.call == call && fault.point.endpoint == endpoint) {
        return &fault;
      }
    }
    return nullptr;
  }
  bool Failed(const std::string& call, int endpoint = -1) const {
    const Fault* fault = At(call, endpoint);
    return fault != nullptr && FAILED(fault->code);
  }

 private:
  const std::vector<Fault>& faults_;
};

std::string Code(HRESULT code) { return FormatCode(static_cast<std::uint32_t>(code)); }

std::string ExpectedEndpoint(const Endpoint& endpoint, int index, const Faults& faults) {
  if (faults.Failed("Item", index) || faults.Failed("GetState", index) || endpoint.state != DEVICE_STATE_ACTIVE) {
    return "";
  }
  const std::string name = WideToUtf8(endpoint.name);
  const bool no_store = faults.Failed("OpenPropertyStore", index);
  const auto property = [&](int number, const std::string& text) {
    return no_store || faults.Failed("GetValue#" + std::to_string(number), index) ? "Unknown" : text;
  };
  std::string messages;
  std::string format = endpoint.format;
  if (const Fault* fault = faults.At("Activate", index); fault != nullptr && FAILED(fault->code)) {
    messages = EveryRow("Couldn't activate Device: [0x" + Code(fault->code) + "]");
    format = "Unknown";
  } else if (const Fault* mix = faults.At("GetMixFormat", index); mix != nullptr && FAILED(mix->code)) {
    messages = EveryRow("Couldn't acquire Wave Format [0x" + Code(mix->code) + "]");
    format = "Unknown";
  } else if (faults.At("Initialize", index) != nullptr) {
    format = "Unknown";  // every row answered with something other than S_OK
  }
  return messages + "===== Device =====\n" +
         "Device ID          : " + (faults.Failed("GetId", index) ? "(null)" : "{0.0.0.00000000}.{" + name + "}") +
         "\n" + "Device name        : " + property(0, name + " (Speakers)") + "\n" +
         "Adapter name       : " + property(1, name + " Adapter") + "\n" +
         "Device description : " + property(2, name) + "\n" + "Device state       : Active\n" +
         "Current format     : " + format + "\n\n";
}

Expected ExpectedRun(const std::vector<Endpoint>& endpoints, const std::vector<Fault>& list) {
  const Faults faults(list);
  if (const Fault* fault = faults.At("CoCreateInstance", -1); fault != nullptr && FAILED(fault->code)) {
    return {-1, "Couldn't create Device Enumerator: [0x" + Code(fault->code) + "]\n"};
  }
  if (const Fault* fault = faults.At("EnumAudioEndpoints", -1); fault != nullptr && FAILED(fault->code)) {
    return {-1, "Couldn't enumerate: [0x" + Code(fault->code) + "]\n"};
  }
  if (faults.Failed("GetCount")) {
    return {0, "====== Found 0 audio devices ======\n"};
  }
  std::string text = "====== Found " + std::to_string(endpoints.size()) + " audio devices ======\n";
  for (std::size_t index = 0; index < endpoints.size(); ++index) {
    text += ExpectedEndpoint(endpoints[index], static_cast<int>(index), faults);
  }
  return {0, text};
}

std::string Describe(const std::vector<Fault>& faults) {
  std::string text;
  for (const Fault& fault : faults) {
    text += fault.point.call + "@" + std::to_string(fault.point.endpoint) + "=0x" + Code(fault.code) + " ";
  }
  return text;
}

// Runs one listing under the faults and checks everything it must hold to.
void Check(const std::vector<Fault>& faults) {
  SCOPED_TRACE(Describe(faults));
  const std::vector<Endpoint> endpoints = Endpoints();
  const long task_memory_before = OutstandingTaskMemory();
  FakePlatform platform;
  platform.states = DEVICE_STATE_ACTIVE | DEVICE_STATE_UNPLUGGED;
  for (const Endpoint& endpoint : endpoints) {
    platform.AddDevice(endpoint.name, endpoint.state).mix_format = endpoint.mix;
  }
  for (const Fault& fault : faults) {
    Inject(platform, fault);
  }
  const Expected expected = ExpectedRun(endpoints, faults);
  CapturedOutput output;
  const int status = platform.RunListing();
  const std::string text = output.Text();
  EXPECT_EQ(status, expected.status);
  EXPECT_EQ(text, expected.text);
  EXPECT_EQ(platform.pauses, expected.status == 0 ? 1 : 0);
  EXPECT_EQ(platform.OutstandingReferences(), 0);
  EXPECT_EQ(platform.ExtraReleases(), 0);
  EXPECT_EQ(OutstandingTaskMemory(), task_memory_before);
}

using Sweep = ::testing::Test;

TEST_F(Sweep, NoFaultListsEveryActiveEndpointInFull) { Check({}); }

TEST_F(Sweep, EachCallFailingAloneWithEachCode) {
  int runs = 0;
  for (const FaultPoint& point : FaultPoints()) {
    for (const HRESULT code : kCodes) {
      Check({{point, code}});
      ++runs;
      if (HasFailure()) {
        return;
      }
    }
  }
  std::cout << "fault sweep: " << FaultPoints().size() << " fault points, " << runs << " single-fault runs\n";
}

TEST_F(Sweep, EveryPairOfCallsFailingTogether) {
  const std::vector<FaultPoint> points = FaultPoints();
  constexpr std::size_t kCodeCount = sizeof kCodes / sizeof kCodes[0];
  int runs = 0;
  std::size_t turn = 0;
  for (std::size_t first = 0; first < points.size(); ++first) {
    for (std::size_t second = first + 1; second < points.size(); ++second) {
      // The codes rotate so that every code meets every other over the sweep.
      const HRESULT code_a = kCodes[turn % kCodeCount];
      const HRESULT code_b = kCodes[(turn / kCodeCount + turn) % kCodeCount];
      ++turn;
      Check({{points[first], code_a}, {points[second], code_b}});
      ++runs;
      if (HasFailure()) {
        return;
      }
    }
  }
  std::cout << "fault sweep: " << runs << " two-fault runs\n";
}

TEST_F(Sweep, EveryCallOfOneEndpointFailingAtOnce) {
  for (int endpoint = 0; endpoint < 3; ++endpoint) {
    for (const HRESULT code : kCodes) {
      std::vector<Fault> faults;
      for (const char* call : kEndpointCalls) {
        faults.push_back({{call, endpoint}, code});
      }
      Check(faults);
    }
  }
}

// The document under each single fault: the same endpoints as the text
// listing, each failed call recorded against its endpoint, nothing held.
void CheckDocument(const Fault& fault) {
  SCOPED_TRACE(Describe({fault}));
  const std::vector<Endpoint> endpoints = Endpoints();
  const long task_memory_before = OutstandingTaskMemory();
  FakePlatform platform;
  for (const Endpoint& endpoint : endpoints) {
    platform.AddDevice(endpoint.name, endpoint.state).mix_format = endpoint.mix;
  }
  Inject(platform, fault);
  const Expected text = ExpectedRun(endpoints, {fault});
  CapturedOutput output;
  const int status = platform.RunCommandLine({"--json", "active", "unplugged"});
  const auto document = nlohmann::json::parse(output.Text(), nullptr, false);
  ASSERT_FALSE(document.is_discarded());
  EXPECT_EQ(status, text.status);
  EXPECT_EQ(platform.pauses, 0);
  EXPECT_EQ(platform.OutstandingReferences(), 0);
  EXPECT_EQ(platform.ExtraReleases(), 0);
  EXPECT_EQ(OutstandingTaskMemory(), task_memory_before);
  if (status != 0) {
    EXPECT_EQ(document["error"]["code"], "0x" + Code(fault.code));
    return;
  }
  // One entry for each block the text listing prints under the same fault.
  std::size_t blocks = 0;
  for (std::size_t at = text.text.find("===== Device"); at != std::string::npos;
       at = text.text.find("===== Device", at + 1)) {
    ++blocks;
  }
  ASSERT_EQ(document["endpoints"].size(), blocks);
  const std::string call = fault.point.call.substr(0, fault.point.call.find('#'));
  std::size_t recorded = 0;
  for (const auto& endpoint : document["endpoints"]) {
    for (const auto& error : endpoint["errors"]) {
      EXPECT_EQ(error["call"], call);
      EXPECT_EQ(error["code"], "0x" + Code(fault.code));
      ++recorded;
    }
  }
  // An endpoint that cannot be had is not listed, and a declined offer is an answer, not an error.
  const bool recordable = FAILED(fault.code) && call != "Item" && call != "GetState" && call != "GetCount" &&
                          call != "Initialize" && fault.point.endpoint != 3;  // the disabled one is never listed
  // The audio client is activated once per layout; everything else once.
  const bool per_layout = fault.point.call == "Activate" || call == "GetMixFormat";
  const std::size_t expected = !recordable ? 0 : per_layout ? 6 : 1;
  EXPECT_EQ(recorded, expected);
}

TEST_F(Sweep, EachCallFailingAloneInTheDocument) {
  for (const FaultPoint& point : FaultPoints(true)) {
    for (const HRESULT code : kCodes) {
      CheckDocument({point, code});
      if (HasFailure()) {
        return;
      }
    }
  }
}

}  // namespace
