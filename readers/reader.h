// Reading endpoints into snapshots. Each step makes its platform calls, keeps
// what they give in the snapshot and records each call that fails there;
// the caller asks for the steps it needs, in the order it needs them.
#pragma once

#include "platform/core_audio.h"
#include "platform/handles.h"
#include "platform/processes.h"
#include "readers/snapshot.h"

#include <initializer_list>
#include <optional>

class EndpointReader {
 public:
  // The flow is the one the endpoint was listed under; without one, ReadFlow asks.
  explicit EndpointReader(ComHandle<IMMDevice> device, std::optional<EDataFlow> flow = std::nullopt);

  // The state, the identifier and the three names, as a listing reads them.
  void ReadIdentity();
  void ReadState();
  void ReadId();
  void ReadFlow();
  // Properties from the endpoint's one store, opened at the first of them:
  // absent (VT_EMPTY) or of another type is no failure, a failed read is.
  // Without a store none is read.
  void ReadProperties(std::initializer_list<Property> properties, Part part = Part::kEndpoint);

  // The first of the six layouts a fresh audio client accepts with exactly
  // S_OK, each offered to a client of its own. A capture endpoint is offered
  // them without the loopback flag, which it rejects.
  void ProbeLayout();
  // The four detail properties, then the volume control and the peak meter.
  void ReadDetails();
  // The whole formats grid, offered to one audio client, shared mode first.
  void ReadFormats();
  // The endpoint's audio sessions, through one session manager, in its
  // enumerator's order; a session's part that fails leaves the rest read.
  // Each session's volume control is kept for what changes it.
  void ReadSessions(const SessionLookups& lookups = {});

  // The endpoint itself and a session's volume control (null where the
  // session has none), for what changes them.
  [[nodiscard]] IMMDevice& Device() const { return *device_.Get(); }
  [[nodiscard]] ISimpleAudioVolume* SessionVolume(std::size_t place) const {
    return place < session_volumes_.size() ? session_volumes_[place].Get() : nullptr;
  }

  [[nodiscard]] const EndpointSnapshot& Snapshot() const { return snapshot_; }
  EndpointSnapshot TakeSnapshot() { return std::move(snapshot_); }

 private:
  ComHandle<IMMDevice> device_;
  ComHandle<IPropertyStore> store_;
  bool store_asked_ = false;
  EndpointSnapshot snapshot_;
  std::vector<ComHandle<ISimpleAudioVolume>> session_volumes_;
};

// The identifiers of the flow's default endpoints, one per role.
RoleIds ReadDefaultIds(IMMDeviceEnumerator& enumerator, EDataFlow flow);

// The six layouts, in the order the probe offers them; the formats grid
// offers the same rows in the same order.
inline constexpr ChannelLayout kChannelLayouts[] = {
    {"Mono", 1, 0x4},
    {"Stereo", 2, 0x3},
    {"Quadraphonic", 4, 0x33},
    {"Surround 5.1 (Side)", 6, 0x60F},
    {"Surround 5.1 (Back)", 6, 0x3F},
    {"Surround 7.1", 8, 0x63F},
};

// Rewrites a format in place for the layout's channel count and mask; a
// record too short to be extensible gets no mask.
void ApplyLayout(WAVEFORMATEX& format, const ChannelLayout& layout);
// The facts of a format record the platform gave.
MixFormatFacts DescribeMixFormat(const WAVEFORMATEX& format);
