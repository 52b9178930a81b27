#include "readers/steps.h"

#include <algorithm>

namespace {

// No endpoint has more channels than a format can describe (16 bits); a
// broken count must not turn into billions of calls.
constexpr UINT kMostChannels = 0xFFFF;

// One getter of the platform: its value, or nothing and a recorded failure.
template <typename Value, typename Call>
std::optional<Value> Ask(Failures& failures, const char* name, Call call) {
  Value value{};
  const HRESULT result = call(&value);
  if (FAILED(result)) {
    failures.push_back({Part::kDetails, name, result});
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<VolumeFacts> ReadVolume(IMMDevice& device, Failures& failures) {
  const auto control = ActivateFor<IAudioEndpointVolume>(device, Part::kDetails, failures);
  if (!control) {
    return std::nullopt;
  }
  IAudioEndpointVolume& volume = *control.Get();
  VolumeFacts facts;
  facts.level = Ask<float>(failures, "GetMasterVolumeLevelScalar",
                           [&volume](float* level) { return volume.GetMasterVolumeLevelScalar(level); });
  facts.level_db = Ask<float>(failures, "GetMasterVolumeLevel",
                              [&volume](float* level) { return volume.GetMasterVolumeLevel(level); });
  if (const auto muted = Ask<BOOL>(failures, "GetMute", [&volume](BOOL* mute) { return volume.GetMute(mute); })) {
    facts.muted = *muted != FALSE;
  }
  facts.range_db = Ask<VolumeFacts::Range>(failures, "GetVolumeRange", [&volume](VolumeFacts::Range* range) {
    return volume.GetVolumeRange(&range->min_db, &range->max_db, &range->step_db);
  });
  if (const auto count =
          Ask<UINT>(failures, "GetChannelCount", [&volume](UINT* channels) { return volume.GetChannelCount(channels); })) {
    std::vector<std::optional<float>> levels;
    for (UINT channel = 0; channel < std::min(*count, kMostChannels); ++channel) {
      levels.push_back(Ask<float>(failures, "GetChannelVolumeLevelScalar", [&volume, channel](float* level) {
        return volume.GetChannelVolumeLevelScalar(channel, level);
      }));
    }
    facts.channel_levels = std::move(levels);
  }
  return facts;
}

std::optional<float> ReadPeak(IMMDevice& device, Failures& failures) {
  const auto meter = ActivateFor<IAudioMeterInformation>(device, Part::kDetails, failures);
  if (!meter) {
    return std::nullopt;
  }
  return Ask<float>(failures, "GetPeakValue", [&meter](float* peak) { return meter->GetPeakValue(peak); });
}
