#include "app/state_mask.h"
#include "report/report.h"
#include "text/output.h"
#include "text/progress.h"
#include "text/text.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

namespace {

// Text the block shows for one endpoint, gathered before anything is printed.
// Named fields, because five text pointers in a row are easily passed in the wrong order.
struct BlockText {
  const wchar_t* id = nullptr;
  const wchar_t* friendly_name = nullptr;
  const wchar_t* adapter_name = nullptr;
  const wchar_t* description = nullptr;
  const wchar_t* state = nullptr;
  std::wstring format;
  std::wstring extra_lines;  // what the options add, each line ended
};

std::wstring Line(const char* label, const std::string& value) {
  return Utf8ToWide(BlockLabel(label) + value + "\n");
}

std::wstring FormatBlock(const BlockText& text) {
  std::wstring block = L"===== Device =====\n";
  const auto line = [&block](const wchar_t* label, const wchar_t* value) {
    block += label;
    block += value;
    block += L'\n';
  };
  // The identifier has no fallback: a missing one shows as "(null)".
  line(L"Device ID          : ", text.id != nullptr ? text.id : L"(null)");
  line(L"Device name        : ", OrUnknown(text.friendly_name));
  line(L"Adapter name       : ", OrUnknown(text.adapter_name));
  line(L"Device description : ", OrUnknown(text.description));
  line(L"Device state       : ", text.state);
  line(L"Current format     : ", text.format.c_str());
  block += text.extra_lines;
  block += L'\n';
  return block;
}

std::string FormatText(const std::optional<MixFormatFacts>& format) {
  if (!format) {
    return "Unknown";
  }
  const char* type = std::string_view(format->sample_type) == "pcm"     ? "PCM"
                     : std::string_view(format->sample_type) == "float" ? "float"
                                                                        : "other";
  return std::to_string(format->sample_rate) + " Hz, " + std::to_string(format->bits_per_sample) + " bits, " +
         std::to_string(format->channels) + (format->channels == 1 ? " channel, " : " channels, ") + type;
}

// Bit 0 up, as the platform names the speaker positions.
constexpr const char* kSpeakerNames[] = {
    "Front Left",     "Front Right",     "Front Center",    "Low Frequency",  "Back Left",     "Back Right",
    "Front Left of Center", "Front Right of Center", "Back Center", "Side Left", "Side Right", "Top Center",
    "Top Front Left", "Top Front Center", "Top Front Right", "Top Back Left", "Top Back Center", "Top Back Right",
};

std::string SpeakersText(const std::optional<std::uint32_t>& mask) {
  if (!mask) {
    return "Unknown";
  }
  if (*mask == 0) {
    return "None";
  }
  std::string text;
  std::uint32_t unnamed = 0;
  for (unsigned bit = 0; bit < 32; ++bit) {
    const std::uint32_t position = 1U << bit;
    if ((*mask & position) == 0) {
      continue;
    }
    if (bit >= std::size(kSpeakerNames)) {
      unnamed |= position;
      continue;
    }
    text += (text.empty() ? "" : ", ") + std::string(kSpeakerNames[bit]);
  }
  // Bits the platform gives no name keep their value rather than vanish.
  if (unnamed != 0) {
    text += (text.empty() ? "0x" : ", 0x") + FormatCode(unnamed);
  }
  return text;
}

std::string VolumeText(const std::optional<VolumeFacts>& volume) {
  if (!volume) {
    return "Unknown";
  }
  std::string text;
  if (volume->level) {
    text = FixedDecimal(static_cast<double>(*volume->level) * 100.0, 0) + " %";
  }
  if (volume->level_db) {
    const std::string decibels = FixedDecimal(static_cast<double>(*volume->level_db), 1) + " dB";
    text += text.empty() ? decibels : " (" + decibels + ")";
  }
  if (volume->muted && *volume->muted) {
    text += text.empty() ? "muted" : ", muted";
  }
  return text.empty() ? "Unknown" : text;
}

std::wstring DetailLines(const EndpointDetails& details) {
  std::wstring lines;
  lines += Line("Form factor", details.form_factor ? FormFactorName(*details.form_factor) : "Unknown");
  lines += Line("Device format", FormatText(details.device_format));
  lines += Line("Speakers", SpeakersText(details.physical_speakers));
  lines += Line("Container ID", details.container_id ? FormatGuid(*details.container_id) : "Unknown");
  lines += Line("Volume", VolumeText(details.volume));
  lines += Line("Peak", details.peak ? FixedDecimal(static_cast<double>(*details.peak), 2) : "Unknown");
  return lines;
}

struct StateText {
  std::uint32_t state;
  const wchar_t* name;  // the block's
  const char* word;     // the document's
};

// The last entry stands for any other value.
constexpr StateText kStateTexts[] = {
    {DEVICE_STATE_ACTIVE, L"Active", "active"},
    {DEVICE_STATE_DISABLED, L"Disabled", "disabled"},
    {DEVICE_STATE_NOTPRESENT, L"Not present", "not-present"},
    {DEVICE_STATE_UNPLUGGED, L"Unplugged", "unplugged"},
    {0, L"Unknown", "unknown"},
};

const StateText& LookUpState(std::uint32_t state) {
  const auto* found = std::find_if(std::begin(kStateTexts), std::end(kStateTexts) - 1,
                                   [state](const StateText& text) { return text.state == state; });
  return *found;
}

}  // namespace

std::string BlockLabel(const char* label) {
  std::string text(label);
  text.resize(19, ' ');
  return text + ": ";
}

const wchar_t* OrUnknown(const wchar_t* text) { return text != nullptr ? text : L"Unknown"; }

const wchar_t* StateName(std::uint32_t state) { return LookUpState(state).name; }
const char* StateWord(std::uint32_t state) { return LookUpState(state).word; }

const char* RoleWord(ERole role) {
  switch (role) {
    case eConsole:
      return "console";
    case eMultimedia:
      return "multimedia";
    case eCommunications:
      return "communications";
    default:
      return "unknown";
  }
}

void ReadEndpoint(IMMDevice& device, EndpointReading& reading, Findings* findings) {
  const auto failed = [findings](const char* call, HRESULT result, const char* property = nullptr) {
    if (findings != nullptr) {
      findings->failures.push_back({call, result, property});
    }
  };
  // A state the endpoint failed to give counts as 0, which no filter lets through.
  if (FAILED(device.GetState(&reading.state))) {
    reading.state = 0;
  }
  HRESULT result = HandedBack(device.GetId(reading.id.Put()), reading.id);
  reading.has_id = SUCCEEDED(result);
  if (FAILED(result)) {
    failed("GetId", result);
  }
  result = HandedBack(device.OpenPropertyStore(STGM_READ, reading.store.Put()), reading.store);
  if (FAILED(result)) {
    failed("OpenPropertyStore", result);
    return;
  }
  // A value the store failed to give is absent, whatever it left behind.
  const auto read = [&](const PROPERTYKEY& key, PropertyValue& value, const char* property) {
    const HRESULT read_result = reading.store->GetValue(key, value.Put());
    if (FAILED(read_result)) {
      value.Clear();
      failed("GetValue", read_result, property);
    }
  };
  read(kPkeyDeviceFriendlyName, reading.friendly_name, "friendly_name");
  read(kPkeyDeviceInterfaceFriendlyName, reading.adapter_name, "adapter_name");
  read(kPkeyDeviceDeviceDesc, reading.description, "description");
}

void PrintDevice(const ComHandle<IMMDevice>& device, EDataFlow flow, const BlockExtras& extras) {
  if (!device) {
    return;
  }
  EndpointReading reading;
  ReadEndpoint(*device.Get(), reading, nullptr);
  if ((reading.state & StateMask) == 0) {
    return;
  }
  PrintReadEndpoint(*device.Get(), reading, flow, extras);
}

void PrintReadEndpoint(IMMDevice& device, const EndpointReading& reading, EDataFlow flow, const BlockExtras& extras) {
  BlockText text;
  text.id = reading.has_id ? reading.id.Get() : nullptr;
  text.friendly_name = reading.friendly_name.Text();
  text.adapter_name = reading.adapter_name.Text();
  text.description = reading.description.Text();
  text.state = StateName(reading.state);
  text.format = CurrentFormatName(device, flow);
  if (extras.details) {
    // The block shows what could not be had as "Unknown"; the failures
    // themselves are the document's to list.
    Findings unused;
    EndpointDetails details;
    ReadDetails(device, reading.store.Get(), details, unused);
    text.extra_lines += DetailLines(details);
  }
  if (extras.formats) {
    // The reading is the slow part of the block, and nothing is printed while
    // the progress line shows.
    ShowProbingProgress(extras.position, extras.count);
    Findings findings;
    const std::optional<FormatSupport> formats = ReadFormatSupport(device, findings);
    EraseProgress();
    text.extra_lines += FormatSupportLines(formats, findings);
  }
  WriteWide(FormatBlock(text));
}
