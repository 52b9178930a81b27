#include "views/views.h"

#include "text/text.h"

#include <iterator>

namespace {

// The block's labels and values beyond the names are ASCII: widened here,
// they need no conversion by the platform.
void Append(std::wstring& text, std::string_view ascii) { text.append(ascii.begin(), ascii.end()); }

std::wstring Widen(std::string_view ascii) {
  std::wstring text;
  Append(text, ascii);
  return text;
}

// A line of the block: its label in the label column, the value, the line end.
void AppendLine(std::wstring& block, std::string_view label, std::wstring_view value) {
  Append(block, BlockLabel(label));
  block += value;
  block += L'\n';
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a label and its value, as the line has them
void AppendLine(std::wstring& block, std::string_view label, std::string_view value) {
  Append(block, BlockLabel(label));
  Append(block, value);
  block += L'\n';
}

std::string FormatText(const std::optional<MixFormatFacts>& format) {
  if (!format) {
    return "Unknown";
  }
  const std::string_view sample_type = format->sample_type;
  const char* type = sample_type == "pcm" ? "PCM" : sample_type == "float" ? "float" : "other";
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

// The columns of a formats entry: the longest layout name and the longest
// sample type, each with a space after it; then rates, wrapped before column
// 80, where some consoles would wrap the line themselves and add an empty one.
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

std::string ModeLines(std::string_view label, const ModeSupport& mode, std::string_view without_entries) {
  std::string lines;
  std::string lead = BlockLabel(label);
  for (const FormatEntry& entry : mode.entries) {
    lines += EntryLines(lead, entry);
    lead.assign(lead.size(), ' ');
  }
  if (mode.stopped) {
    lines += lead + MessageText("Couldn't check the remaining formats [0x", *mode.stopped) + "\n";
  } else if (mode.entries.empty()) {
    lines += lead + std::string(without_entries) + "\n";
  }
  return lines;
}

}  // namespace

std::wstring SessionLabel(const SessionFacts& session) {
  std::wstring text = session.process_name   ? *session.process_name
                      : session.display_name ? *session.display_name
                      : session.system_sounds.value_or(false) ? L"System sounds"
                                                               : L"Unknown";
  Append(text, " (pid " + (session.process_id ? std::to_string(*session.process_id) : "unknown") + ")");
  return text;
}

std::wstring SessionText(const SessionFacts& session, bool with_peak) {
  std::string facts = std::string(", ") + (session.state ? SessionStateWord(*session.state) : "unknown") +
                      ", volume " +
                      (session.volume ? FixedDecimal(static_cast<double>(*session.volume) * 100.0, 0) + " %"
                                      : std::string("unknown"));
  if (session.muted.value_or(false)) {
    facts += ", muted";
  }
  if (with_peak) {
    facts += ", peak " + (session.peak ? FixedDecimal(static_cast<double>(*session.peak), 2) : "unknown");
  }
  std::wstring text = SessionLabel(session);
  Append(text, facts);
  return text;
}

std::string MessageText(std::string_view prefix, HRESULT code) {
  return std::string(prefix) + FormatCode(static_cast<std::uint32_t>(code)) + "]";
}

std::string HeaderLine(std::size_t count, EDataFlow flow) {
  // Playback keeps the header it has always had; recording gets its own word.
  return "====== Found " + std::to_string(count) + (flow == eCapture ? " capture devices ======" : " audio devices ======");
}

std::string BlockLabel(std::string_view label) {
  std::string text(label);
  text.resize(19, ' ');
  return text + ": ";
}

std::vector<std::string> ProbeMessages(const EndpointSnapshot& endpoint) {
  std::vector<std::string> messages;
  for (const CallFailure& failure : endpoint.failures) {
    if (failure.part == Part::kLayout) {
      messages.push_back(MessageText(std::string_view(failure.call) == "GetMixFormat" ? "Couldn't acquire Wave Format [0x"
                                                                                    : "Couldn't activate Device: [0x",
                                     failure.code));
    }
  }
  return messages;
}

std::wstring LayoutName(const EndpointSnapshot& endpoint) {
  return endpoint.layout != nullptr ? Widen(endpoint.layout->name) : L"Unknown";
}

std::wstring Block(const EndpointSnapshot& endpoint, const BlockParts& parts, const RoleIds& defaults) {
  std::wstring block = L"===== Device =====\n";
  // The identifier has no fallback: a missing one shows as "(null)".
  AppendLine(block, "Device ID", endpoint.id ? std::wstring_view(*endpoint.id) : L"(null)");
  for (const auto& [property, text] : {std::pair(Property::kFriendlyName, &endpoint.friendly_name),
                                       std::pair(Property::kAdapterName, &endpoint.adapter_name),
                                       std::pair(Property::kDescription, &endpoint.description)}) {
    AppendLine(block, TextOf(property).label, *text ? std::wstring_view(**text) : L"Unknown");
  }
  AppendLine(block, "Device state", StateName(endpoint.state.value_or(0)));
  AppendLine(block, "Current format", LayoutName(endpoint));
  if (parts.details) {
    block += DetailLines(endpoint, defaults);
  }
  if (parts.formats) {
    block += FormatLines(endpoint);
  }
  if (parts.sessions) {
    block += SessionLines(endpoint);
  }
  return block + L'\n';
}

std::wstring DetailLines(const EndpointSnapshot& endpoint, const RoleIds& defaults) {
  const std::pair<Property, std::string> properties[] = {
      {Property::kFormFactor, endpoint.form_factor ? FormFactorName(*endpoint.form_factor) : "Unknown"},
      {Property::kDeviceFormat, FormatText(endpoint.device_format)},
      {Property::kPhysicalSpeakers, SpeakersText(endpoint.physical_speakers)},
      {Property::kContainerId, endpoint.container_id ? FormatGuid(*endpoint.container_id) : "Unknown"},
  };
  std::wstring lines;
  for (const auto& [property, value] : properties) {
    AppendLine(lines, TextOf(property).label, std::string_view(value));
  }
  AppendLine(lines, "Volume", std::string_view(VolumeText(endpoint.volume)));
  AppendLine(lines, "Peak",
             std::string_view(endpoint.peak ? FixedDecimal(static_cast<double>(*endpoint.peak), 2) : "Unknown"));
  std::string roles;
  for (std::size_t role = 0; role < kRoleCount; ++role) {
    if (IsDefault(endpoint, defaults, role)) {
      roles += (roles.empty() ? "" : ", ") + std::string(RoleWord(kRoles[role]));
    }
  }
  AppendLine(lines, "Default for", std::string_view(roles.empty() ? "none" : roles));
  return lines;
}

bool IsDefault(const EndpointSnapshot& endpoint, const RoleIds& defaults, std::size_t role) {
  return endpoint.id && !defaults[role].empty() && defaults[role] == *endpoint.id;
}

std::wstring FormatLines(const EndpointSnapshot& endpoint) {
  std::string lines;
  if (!endpoint.formats) {
    // Without a grid, the formats' own activation failure says why.
    std::string reason = "Unknown";
    for (const CallFailure& failure : endpoint.failures) {
      if (failure.part == Part::kFormats) {
        reason = MessageText("Couldn't activate Device: [0x", failure.code);
      }
    }
    lines = BlockLabel("Shared formats") + reason + "\n" + BlockLabel("Exclusive formats") + reason + "\n";
  } else {
    lines = ModeLines("Shared formats", endpoint.formats->shared, "none") +
            ModeLines("Exclusive formats", endpoint.formats->exclusive,
                      endpoint.formats->exclusive_allowed ? "none" : "not allowed");
  }
  return Widen(lines);
}

std::wstring SessionLines(const EndpointSnapshot& endpoint) {
  std::wstring lines;
  if (!endpoint.sessions) {
    // The call that left them unread says why.
    std::string reason = "unknown";
    for (const CallFailure& failure : endpoint.failures) {
      if (failure.part == Part::kSessions && !failure.session) {
        reason = MessageText("unknown (" + std::string(failure.call) + " [0x", failure.code) + ")";
      }
    }
    AppendLine(lines, "Session", std::string_view(reason));
    return lines;
  }
  if (endpoint.sessions->empty()) {
    AppendLine(lines, "Session", std::string_view("none"));
  }
  for (const SessionFacts& session : *endpoint.sessions) {
    AppendLine(lines, "Session", std::wstring_view(SessionText(session, true)));
  }
  return lines;
}
