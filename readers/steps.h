// Between the reader's own files: the steps that activate something on the
// endpoint. Each records its failures in the list it is given.
#pragma once

#include "platform/endpoints.h"
#include "platform/processes.h"
#include "readers/snapshot.h"

#include <optional>
#include <vector>

using Failures = std::vector<CallFailure>;

// A new object of the interface on the endpoint, or an empty handle and the
// failure recorded against the interface's name.
template <typename Interface>
ComHandle<Interface> ActivateFor(IMMDevice& device, Part part, Failures& failures) {
  ComHandle<Interface> object;
  const HRESULT result = Activate(device, object);
  if (FAILED(result)) {
    failures.push_back(CallFailure{part, "Activate", result}.OfInterface(InterfaceId<Interface>::kName));
    object.Reset();
  }
  return object;
}

// The layout probe: the first layout accepted, or null. Fills the mix format
// the probe first obtained.
const ChannelLayout* AcceptedLayout(IMMDevice& device, EDataFlow flow, std::optional<MixFormatFacts>& mix_format,
                                    Failures& failures);

// The mix format of a fresh audio client.
std::optional<MixFormatFacts> ReadMixFormat(IMMDevice& device, Failures& failures);

std::optional<FormatSupport> ReadFormatSupport(IMMDevice& device, Failures& failures);

std::optional<VolumeFacts> ReadVolume(IMMDevice& device, Failures& failures);
std::optional<float> ReadPeak(IMMDevice& device, Failures& failures);

// Each session's volume control is kept in volumes, by its place, empty where it has none.
std::optional<std::vector<SessionFacts>> ReadSessionList(IMMDevice& device, const SessionLookups& lookups,
                                                         Failures& failures,
                                                         std::vector<ComHandle<ISimpleAudioVolume>>& volumes);
