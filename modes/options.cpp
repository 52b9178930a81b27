#include "modes/options.h"

#include "text/text.h"

#include <algorithm>

bool EndpointFilter::Lists(EDataFlow flow) const { return std::find(flows.begin(), flows.end(), flow) != flows.end(); }

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): an endpoint's identifier and name, both text
bool EndpointFilter::Keeps(const wchar_t* id, const wchar_t* friendly_name) const {
  if (!Chooses()) {
    return true;
  }
  const bool id_matches = id != nullptr && std::any_of(ids.begin(), ids.end(), [id](const std::wstring& wanted) {
                            return EqualsIgnoringCase(id, wanted);
                          });
  return id_matches ||
         (friendly_name != nullptr && std::any_of(names.begin(), names.end(), [friendly_name](const std::wstring& part) {
            return ContainsIgnoringCase(friendly_name, part);
          }));
}

bool EndpointFilter::Keeps(const EndpointSnapshot& endpoint) const {
  return Lets(endpoint.state.value_or(0)) &&
         Keeps(endpoint.id ? endpoint.id->c_str() : nullptr,
               endpoint.friendly_name ? endpoint.friendly_name->c_str() : nullptr);
}
