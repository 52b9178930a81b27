#include "app/app.h"
#include "app/state_mask.h"
#include "platform/handles.h"
#include "report/report.h"
#include "text/output.h"
#include "text/text.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int ReportFailure(const std::string& prefix, HRESULT result) {
  WriteLine(prefix + FormatCode(static_cast<std::uint32_t>(result)) + "]");
  return -1;
}

// Playback keeps the header it has always had; recording gets its own word.
const char* HeaderNoun(EDataFlow flow) { return flow == eCapture ? " capture devices ======" : " audio devices ======"; }

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
    const UINT count = EndpointCount(*collection.Get());
    WriteLine("====== Found " + std::to_string(count) + HeaderNoun(flows[listed]));
    for (UINT index = 0; index < count; ++index) {
      ComHandle<IMMDevice> device;
      if (FAILED(collection->Item(index, device.Put()))) {
        continue;
      }
      PrintDevice(device, flows[listed]);
    }
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
