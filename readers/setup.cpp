#include "readers/setup.h"

#include "readers/vocabulary.h"
#include "text/json.h"
#include "text/text.h"

#include <iterator>
#include <limits>

namespace {

std::optional<std::wstring> Text(const Json& object, const char* member) {
  const auto found = object.find(member);
  if (found == object.end() || !found->is_string()) {
    return std::nullopt;
  }
  return Utf8ToWide(found->get<std::string>());
}

template <typename Number>
std::optional<Number> Whole(const Json& object, const char* member) {
  const auto found = object.find(member);
  if (found == object.end() || !found->is_number_unsigned() ||
      found->get<std::uint64_t>() > std::numeric_limits<Number>::max()) {
    return std::nullopt;
  }
  return static_cast<Number>(found->get<std::uint64_t>());
}

std::optional<float> Decimal(const Json& object, const char* member) {
  const auto found = object.find(member);
  if (found == object.end() || !found->is_number()) {
    return std::nullopt;
  }
  return static_cast<float>(found->get<double>());
}

std::optional<bool> Flag(const Json& object, const char* member) {
  const auto found = object.find(member);
  if (found == object.end() || !found->is_boolean()) {
    return std::nullopt;
  }
  return found->get<bool>();
}

const Json* Object(const Json& object, const char* member) {
  const auto found = object.find(member);
  return found != object.end() && found->is_object() ? &*found : nullptr;
}

std::optional<EDataFlow> FlowOf(const Json& endpoint) {
  const auto found = endpoint.find("flow");
  if (found == endpoint.end() || !found->is_string()) {
    return std::nullopt;
  }
  for (const EDataFlow flow : {eRender, eCapture}) {
    if (found->get<std::string>() == FlowWord(flow)) {
      return flow;
    }
  }
  return std::nullopt;
}

std::optional<DWORD> StateOf(const Json& endpoint) {
  const auto found = endpoint.find("state");
  if (found == endpoint.end() || !found->is_string()) {
    return std::nullopt;
  }
  for (const StateText& state : kStates) {
    if (found->get<std::string>() == state.word) {
      return state.state;
    }
  }
  return std::nullopt;
}

// The numbers a format change needs: without a rate and bits, no format.
std::optional<MixFormatFacts> FormatOf(const Json& endpoint) {
  const Json* format = Object(endpoint, "device_format");
  if (format == nullptr) {
    return std::nullopt;
  }
  const auto rate = Whole<std::uint32_t>(*format, "sample_rate");
  const auto bits = Whole<std::uint16_t>(*format, "bits_per_sample");
  if (!rate || !bits) {
    return std::nullopt;
  }
  MixFormatFacts facts;
  facts.sample_rate = *rate;
  facts.bits_per_sample = *bits;
  facts.valid_bits = Whole<std::uint16_t>(*format, "valid_bits");
  facts.channels = Whole<std::uint16_t>(*format, "channels").value_or(0);
  facts.channel_mask = Whole<std::uint32_t>(*format, "channel_mask");
  const auto type = format->find("sample_type");
  facts.sample_type = type != format->end() && type->is_string() && type->get<std::string>() == "pcm" ? "pcm" : "other";
  return facts;
}

std::vector<ERole> RolesOf(const Json& endpoint) {
  std::vector<ERole> roles;
  const auto found = endpoint.find("default_for");
  if (found == endpoint.end() || !found->is_array()) {
    return roles;
  }
  for (const Json& word : *found) {
    for (const ERole role : kRoles) {
      if (word.is_string() && word.get<std::string>() == RoleWord(role)) {
        roles.push_back(role);
      }
    }
  }
  return roles;
}

// Why the setup gives one role of a flow to two endpoints, or empty.
std::string TwoDefaults(const SavedSetup& setup) {
  for (std::size_t first = 0; first < setup.endpoints.size(); ++first) {
    for (std::size_t second = first + 1; second < setup.endpoints.size(); ++second) {
      const SavedEndpoint& one = setup.endpoints[first];
      const SavedEndpoint& other = setup.endpoints[second];
      if (one.flow != other.flow) {
        continue;
      }
      for (const ERole role : one.default_for) {
        for (const ERole same : other.default_for) {
          if (role == same) {
            return std::string("two ") + FlowWord(one.flow) + " endpoints are the default for " + RoleWord(role) +
                   ": " + WideToUtf8(one.id) + " and " + WideToUtf8(other.id);
          }
        }
      }
    }
  }
  return {};
}

// Finds where text stops being JSON, without an exception: the parser
// hands the place to this reader, which accepts everything else. Its
// methods are the parser's to call, by the names and signatures it expects.
// NOLINTBEGIN(readability-convert-member-functions-to-static,readability-named-parameter)
struct WhereItStops {
  std::size_t byte = 0;
  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool number_integer(Json::number_integer_t) { return true; }
  bool number_unsigned(Json::number_unsigned_t) { return true; }
  bool number_float(Json::number_float_t, const std::string&) { return true; }
  bool string(std::string&) { return true; }
  bool binary(Json::binary_t&) { return true; }
  bool start_object(std::size_t) { return true; }
  bool key(std::string&) { return true; }
  bool end_object() { return true; }
  bool start_array(std::size_t) { return true; }
  bool end_array() { return true; }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
    byte = position;
    return false;
  }
};
// NOLINTEND(readability-convert-member-functions-to-static,readability-named-parameter)

}  // namespace

SetupReading ReadSetup(std::string_view text) {
  WhereItStops stops;
  if (!Json::sax_parse(text.begin(), text.end(), &stops)) {
    return {std::nullopt, "it is not JSON from byte " + std::to_string(stops.byte) + " on"};
  }
  const Json document = Json::parse(text.begin(), text.end(), nullptr, false);
  const auto endpoints = document.is_object() ? document.find("endpoints") : document.end();
  if (!document.is_object() || endpoints == document.end() || !endpoints->is_array()) {
    return {std::nullopt, "it is not a trelmo document: it has no \"endpoints\" array"};
  }
  SavedSetup setup;
  for (std::size_t at = 0; at < endpoints->size(); ++at) {
    const Json& entry = (*endpoints)[at];
    const std::string which = "endpoint " + std::to_string(at + 1);
    const std::optional<std::wstring> id = entry.is_object() ? Text(entry, "id") : std::nullopt;
    const std::optional<EDataFlow> flow = entry.is_object() ? FlowOf(entry) : std::nullopt;
    if (!id || !flow) {
      return {std::nullopt, "it is not a trelmo document: " + which + R"( has no "id" string and "flow" word)"};
    }
    SavedEndpoint saved;
    saved.id = *id;
    saved.flow = *flow;
    saved.friendly_name = Text(entry, "friendly_name");
    saved.state = StateOf(entry);
    saved.device_format = FormatOf(entry);
    saved.default_for = RolesOf(entry);
    if (const Json* volume = Object(entry, "volume")) {
      saved.level_db = Decimal(*volume, "level_db");
      saved.level = Decimal(*volume, "level");
      saved.muted = Flag(*volume, "muted");
    }
    setup.endpoints.push_back(std::move(saved));
  }
  if (std::string why = TwoDefaults(setup); !why.empty()) {
    return {std::nullopt, why};
  }
  return {std::move(setup), {}};
}
