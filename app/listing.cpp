#include "app/app.h"
#include "app/state_mask.h"
#include "platform/handles.h"
#include "report/report.h"
#include "text/output.h"
#include "text/text.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

int ReportFailure(const std::string& prefix, HRESULT result) {
  WriteLine(prefix + FormatCode(static_cast<std::uint32_t>(result)) + "]");
  return -1;
}

// Playback keeps the header it has always had; recording gets its own word.
const char* HeaderNoun(EDataFlow flow) { return flow == eCapture ? " capture devices ======" : " audio devices ======"; }

void WriteHeader(std::size_t count, EDataFlow flow) {
  WriteLine("====== Found " + std::to_string(count) + HeaderNoun(flow));
}

// An endpoint read and let through, waiting for its block.
struct ChosenEndpoint {
  ComHandle<IMMDevice> device;
  EndpointReading reading;
};

// The endpoints in the StateMask's states that the choice keeps. They are
// all read before anything is printed, because the header counts them.
std::vector<std::unique_ptr<ChosenEndpoint>> ChooseEndpoints(IMMDeviceCollection& collection,
                                                             const EndpointChoice& choice) {
  std::vector<std::unique_ptr<ChosenEndpoint>> chosen;
  const UINT count = EndpointCount(collection);
  for (UINT index = 0; index < count; ++index) {
    auto endpoint = std::make_unique<ChosenEndpoint>();
    if (FAILED(collection.Item(index, endpoint->device.Put())) || !endpoint->device) {
      continue;
    }
    ReadEndpoint(*endpoint->device.Get(), endpoint->reading, nullptr);
    const EndpointReading& reading = endpoint->reading;
    if ((reading.state & StateMask) != 0 &&
        choice.Keeps(reading.has_id ? reading.id.Get() : nullptr, reading.friendly_name.Text())) {
      chosen.push_back(std::move(endpoint));
    }
  }
  return chosen;
}

void ListFlow(IMMDeviceCollection& collection, EDataFlow flow, const Options& options) {
  BlockExtras extras;
  extras.details = options.details;
  extras.formats = options.formats;
  if (!options.choice.Empty()) {
    const std::vector<std::unique_ptr<ChosenEndpoint>> chosen = ChooseEndpoints(collection, options.choice);
    WriteHeader(chosen.size(), flow);
    extras.count = chosen.size();
    for (const auto& endpoint : chosen) {
      ++extras.position;
      PrintReadEndpoint(*endpoint->device.Get(), endpoint->reading, flow, extras);
    }
    return;
  }
  // Without a choice the header counts what the collection holds, as it
  // always has, and each block follows as soon as it is read.
  const UINT count = EndpointCount(collection);
  WriteHeader(count, flow);
  extras.count = count;
  for (UINT index = 0; index < count; ++index) {
    ComHandle<IMMDevice> device;
    if (FAILED(collection.Item(index, device.Put()))) {
      continue;
    }
    extras.position = index + 1;
    PrintDevice(device, flow, extras);
  }
}

}  // namespace

HRESULT CreateEnumerator(CreateInstanceFunction create_instance, ComHandle<IMMDeviceEnumerator>& enumerator) {
  return HandedBack(
      create_instance(kClsidMMDeviceEnumerator, nullptr, kClsctxAll, kIidIMMDeviceEnumerator, enumerator.PutVoid()),
      enumerator);
}

HRESULT EnumerateEndpoints(IMMDeviceEnumerator& enumerator, EDataFlow flow,
                           ComHandle<IMMDeviceCollection>& collection) {
  return HandedBack(enumerator.EnumAudioEndpoints(flow, StateMask, collection.Put()), collection);
}

UINT EndpointCount(IMMDeviceCollection& collection) {
  UINT count = 0;
  if (FAILED(collection.GetCount(&count))) {
    count = 0;
  }
  return count;
}

std::vector<EDataFlow> ListedFlows(const Options& options) {
  std::vector<EDataFlow> flows;
  if (options.render || !options.capture) {
    flows.push_back(eRender);
  }
  if (options.capture) {
    flows.push_back(eCapture);
  }
  return flows;
}

int RunListing(CreateInstanceFunction create_instance, void (*pause)()) {
  return RunListing(Options{}, create_instance, pause);
}

int RunListing(const Options& options, CreateInstanceFunction create_instance, void (*pause)()) {
  ComHandle<IMMDeviceEnumerator> enumerator;
  HRESULT result = CreateEnumerator(create_instance, enumerator);
  if (FAILED(result)) {
    return ReportFailure("Couldn't create Device Enumerator: [0x", result);
  }

  // Every collection is kept until after the pause and released before the
  // enumerator, as a listing of one flow always has been.
  const std::vector<EDataFlow> flows = ListedFlows(options);
  std::vector<ComHandle<IMMDeviceCollection>> collections(flows.size());
  for (std::size_t listed = 0; listed < flows.size(); ++listed) {
    ComHandle<IMMDeviceCollection>& collection = collections[listed];
    result = EnumerateEndpoints(*enumerator.Get(), flows[listed], collection);
    if (FAILED(result)) {
      return ReportFailure("Couldn't enumerate: [0x", result);
    }
    ListFlow(*collection.Get(), flows[listed], options);
  }

  if (!options.no_pause) {
    pause();
  }
  return 0;
}

void Pause() {
  // The command interpreter writes its prompt straight to the console or
  // file, past the C runtime's buffer: what the buffer holds goes out first.
  static_cast<void>(std::fflush(stdout));
  // The pause is the command interpreter's own, by design; its status is of no use.
  static_cast<void>(std::system("pause"));  // NOLINT(cert-env33-c)
}
