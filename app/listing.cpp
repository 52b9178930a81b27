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

}  // namespace

int RunListing(CreateInstanceFunction create_instance, void (*pause)()) {
  ComHandle<IMMDeviceEnumerator> enumerator;
  HRESULT result = create_instance(kClsidMMDeviceEnumerator, nullptr, kClsctxAll, kIidIMMDeviceEnumerator,
                                   enumerator.PutVoid());
  // Success that hands back no object is a failure to create it.
  if (SUCCEEDED(result) && !enumerator) {
    result = E_POINTER;
  }
  if (FAILED(result)) {
    return ReportFailure("Couldn't create Device Enumerator: [0x", result);
  }

  ComHandle<IMMDeviceCollection> collection;
  result = enumerator->EnumAudioEndpoints(eRender, StateMask, collection.Put());
  if (SUCCEEDED(result) && !collection) {
    result = E_POINTER;
  }
  if (FAILED(result)) {
    return ReportFailure("Couldn't enumerate: [0x", result);
  }

  // A count the collection failed to give lists nothing rather than an
  // undefined number of endpoints.
  UINT count = 0;
  if (FAILED(collection->GetCount(&count))) {
    count = 0;
  }
  WriteLine("====== Found " + std::to_string(count) + " audio devices ======");

  for (UINT index = 0; index < count; ++index) {
    ComHandle<IMMDevice> device;
    if (FAILED(collection->Item(index, device.Put()))) {
      continue;
    }
    PrintDevice(device);
  }

  pause();
  return 0;
}

void Pause() {
  // The command interpreter writes its prompt straight to the console or
  // file, past the C runtime's buffer: what the buffer holds goes out first.
  static_cast<void>(std::fflush(stdout));
  // The pause is the command interpreter's own, by design; its status is of no use.
  static_cast<void>(std::system("pause"));  // NOLINT(cert-env33-c)
}
