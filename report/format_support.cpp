#include "report/report.h"
#include "text/text.h"

#include <iterator>
#include <string>
#include <string_view>

namespace {

struct SampleType {
  const char* name;
  WORD container_bits;
  WORD valid_bits;
  const GUID* sub_format;
};

constexpr SampleType kSampleTypes[] = {
    {"pcm16", 16, 16, &kSubtypePcm},     {"pcm24", 24, 24, &kSubtypePcm}, {"pcm24in32", 32, 24, &kSubtypePcm},
    {"pcm32", 32, 32, &kSubtypePcm},     {"float32", 32, 32, &kSubtypeIeeeFloat},
};

constexpr DWORD kSampleRates[] = {8000,  11025, 16000,  22050,  32000,  44100, 48000,
                                  88200, 96000, 176400, 192000, 352800, 384000};

constexpr std::size_t kRatesPerType = std::size(kSampleRates);
constexpr std::size_t kOffersPerLayout = std::size(kSampleTypes) * kRatesPerType;
constexpr std::size_t kOffersPerMode = kChannelLayoutCount * kOffersPerLayout;

WAVEFORMATEXTENSIBLE Offer(const ChannelLayout& layout, const SampleType& type, DWORD rate) {
  WAVEFORMATEXTENSIBLE offer{};
  offer.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  offer.Format.nChannels = static_cast<WORD>(layout.channels);
  offer.Format.nSamplesPerSec = rate;
  offer.Format.wBitsPerSample = type.container_bits;
  offer.Format.nBlockAlign = static_cast<WORD>(layout.channels * type.container_bits / 8);
  offer.Format.nAvgBytesPerSec = offer.Format.nBlockAlign * rate;
  offer.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
  offer.Samples.wValidBitsPerSample = type.valid_bits;
  offer.dwChannelMask = layout.channel_mask;
  offer.SubFormat = *type.sub_format;
  return offer;
}

// Exclusive mode has no closest match to give. In shared mode the platform
// may hand one back with any answer; it is of no use here and freed at once.
HRESULT Ask(IAudioClient& client, AUDCLNT_SHAREMODE mode, const WAVEFORMATEX& offer) {
  if (mode == AUDCLNT_SHAREMODE_EXCLUSIVE) {
    return client.IsFormatSupported(mode, &offer, nullptr);
  }
  TaskMemHandle<WAVEFORMATEX> closest;
  return client.IsFormatSupported(mode, &offer, closest.Put());
}

// An answer that says "not this one" and lets the next offer be asked. Only
// S_OK means supported: in shared mode S_FALSE proposes something else.
bool IsRefusal(AUDCLNT_SHAREMODE mode, HRESULT result) {
  return result == AUDCLNT_E_UNSUPPORTED_FORMAT || (mode == AUDCLNT_SHAREMODE_SHARED && result == S_FALSE);
}

// Adds the rate to the entry of its layout and sample type, which is the
// last one when the grid is walked in order.
void AddRate(std::vector<FormatEntry>& entries, const ChannelLayout& layout, const SampleType& type, DWORD rate) {
  if (entries.empty() || entries.back().layout != &layout || entries.back().sample_type != type.name) {
    entries.push_back({&layout, type.name, {}});
  }
  entries.back().sample_rates.push_back(rate);
}

// Offers the grid in one mode, layouts outer, sample types inner, rates
// ascending. The answer that ended the mode early, if any.
std::optional<HRESULT> OfferGrid(IAudioClient& client, AUDCLNT_SHAREMODE mode, std::vector<FormatEntry>& entries) {
  for (std::size_t at = 0; at < kOffersPerMode; ++at) {
    const ChannelLayout& layout = ChannelLayoutTable[at / kOffersPerLayout];
    const SampleType& type = kSampleTypes[at % kOffersPerLayout / kRatesPerType];
    const DWORD rate = kSampleRates[at % kRatesPerType];
    const WAVEFORMATEXTENSIBLE offer = Offer(layout, type, rate);
    const HRESULT result = Ask(client, mode, offer.Format);
    if (result == S_OK) {
      AddRate(entries, layout, type, rate);
    } else if (!IsRefusal(mode, result)) {
      return result;
    }
  }
  return std::nullopt;
}

void Stopped(ModeSupport& support, HRESULT result, const char* mode, Findings& findings) {
  support.stopped = result;
  findings.failures.push_back({"IsFormatSupported", result, nullptr, nullptr, mode});
}

// The columns of an entry: the longest layout name and the longest sample
// type, each with a space after it; then rates, wrapped before column 80,
// where some consoles would wrap the line themselves and add an empty one.
constexpr std::size_t kLayoutWidth = 20;
constexpr std::size_t kTypeWidth = 10;
constexpr std::size_t kLineEnd = 79;

std::string Padded(std::string_view text, std::size_t width) {
  std::string padded(text);
  padded.resize(width, ' ');
  return padded;
}

// 44100 as "44.1", 8000 as "8".
std::string Kilohertz(std::uint32_t rate) {
  std::string text = FixedDecimal(rate / 1000.0, 3);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') {
    text.pop_back();
  }
  return text;
}

// The entry's line, its rates wrapped under the first one.
std::string EntryLines(const std::string& lead, const FormatEntry& entry) {
  std::string lines;
  std::string line = lead + Padded(entry.layout->name, kLayoutWidth) + Padded(entry.sample_type, kTypeWidth);
  const std::size_t rates_column = line.size();
  for (const std::uint32_t rate : entry.sample_rates) {
    const std::string rate_text = Kilohertz(rate);
    if (line.size() > rates_column && line.size() + 1 + rate_text.size() > kLineEnd) {
      lines += line + "\n";
      line.assign(rates_column, ' ');
    }
    line += (line.size() > rates_column ? " " : "") + rate_text;
  }
  return lines + line + "\n";
}

std::string ModeLines(const char* label, const ModeSupport& mode, const char* without_entries) {
  std::string lines;
  std::string lead = BlockLabel(label);
  for (const FormatEntry& entry : mode.entries) {
    lines += EntryLines(lead, entry);
    lead.assign(lead.size(), ' ');
  }
  if (mode.stopped) {
    lines += lead + "Couldn't check the remaining formats [0x" + FormatCode(static_cast<std::uint32_t>(*mode.stopped)) +
             "]\n";
  } else if (mode.entries.empty()) {
    lines += lead + without_entries + "\n";
  }
  return lines;
}

}  // namespace

std::optional<FormatSupport> ReadFormatSupport(IMMDevice& device, Findings& findings) {
  ComHandle<IAudioClient> client;
  const HRESULT result = HandedBack(device.Activate(kIidIAudioClient, kClsctxAll, nullptr, client.PutVoid()), client);
  if (FAILED(result)) {
    findings.failures.push_back({"Activate", result});
    return std::nullopt;
  }
  FormatSupport support;
  if (const auto end = OfferGrid(*client.Get(), AUDCLNT_SHAREMODE_SHARED, support.shared.entries)) {
    Stopped(support.shared, *end, "shared", findings);
  }
  if (const auto end = OfferGrid(*client.Get(), AUDCLNT_SHAREMODE_EXCLUSIVE, support.exclusive.entries)) {
    // Exclusive mode turned off for the endpoint is an answer, not a failure,
    // and it holds for every offer, those that came before it too.
    if (*end == AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED) {
      support.exclusive_allowed = false;
      support.exclusive.entries.clear();
    } else {
      Stopped(support.exclusive, *end, "exclusive", findings);
    }
  }
  return support;
}

std::wstring FormatSupportLines(const std::optional<FormatSupport>& formats, const Findings& findings) {
  if (!formats) {
    // The findings of a reading that had no client hold just its activation.
    const std::string reason = findings.failures.empty() ? "Unknown"
                                                         : "Couldn't activate Device: [0x" +
                                                               FormatCode(static_cast<std::uint32_t>(
                                                                   findings.failures.back().code)) +
                                                               "]";
    return Utf8ToWide(BlockLabel("Shared formats") + reason + "\n" + BlockLabel("Exclusive formats") + reason + "\n");
  }
  return Utf8ToWide(ModeLines("Shared formats", formats->shared, "none") +
                    ModeLines("Exclusive formats", formats->exclusive,
                              formats->exclusive_allowed ? "none" : "not allowed"));
}
