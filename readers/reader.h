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
#include <utility>
#include <vector>

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
  // The device format property and, when the endpoint has none, the mix
  // format of a fresh audio client: the format a change of it starts from.
  void ReadFormat();
  // The volume control's levels, mute and range.
  void ReadVolume();
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

// The sample rates the formats grid offers, ascending; a format set must be one of them.
inline constexpr DWORD kSampleRates[] = {8000,  11025, 16000,  22050,  32000,  44100, 48000,
                                         88200, 96000, 176400, 192000, 352800, 384000};

// An extensible record's numbers: everything but its sample type.
struct PcmLayout {
  std::uint32_t rate = 0;
  std::uint32_t channels = 0;
  std::uint32_t channel_mask = 0;
  WORD container_bits = 0;
  WORD valid_bits = 0;
};
WAVEFORMATEXTENSIBLE ExtensibleFormat(const PcmLayout& layout, const GUID& sub_format);

// What an endpoint's audio client says, in exclusive mode, of PCM formats a
// change would set, asked in order until one is taken. When it takes none,
// what it does take at the same channels and mask, as rate and valid bits.
struct FormatCheck {
  enum class Answer { kAccepted, kUnsupported, kNotAllowed, kFailed };
  Answer answer = Answer::kFailed;
  std::size_t accepted = 0;  // the candidate taken
  const char* call = nullptr;  // of a failure
  HRESULT code = S_OK;
  std::vector<std::pair<std::uint32_t, std::uint16_t>> takes;
};
FormatCheck CheckExclusiveFormats(IMMDevice& device, const std::vector<PcmLayout>& candidates);

// Rewrites a format in place for the layout's channel count and mask; a
// record too short to be extensible gets no mask.
void ApplyLayout(WAVEFORMATEX& format, const ChannelLayout& layout);
// The facts of a format record the platform gave.
MixFormatFacts DescribeMixFormat(const WAVEFORMATEX& format);
