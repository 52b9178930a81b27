#include "modes/options.h"

#include "text/text.h"

#include <algorithm>

bool EndpointFilter::Lists(EDataFlow flow) const { return std::find(flows.begin(), flows.end(), flow) != flows.end(); }

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): an endpoint's identifier and name, both text
bool EndpointFilter::Keeps(const wchar_t* id, const wchar_t* friendly_name, const RoleIds& defaults) const {
  if (!Chooses()) {
    return true;
  }
  const bool id_matches = id != nullptr && std::any_of(ids.begin(), ids.end(), [id](const std::wstring& wanted) {
                            return EqualsIgnoringCase(id, wanted);
                          });
  const bool default_matches =
      id != nullptr && std::any_of(default_roles.begin(), default_roles.end(), [id, &defaults](ERole role) {
        const std::wstring& default_id = defaults[static_cast<std::size_t>(role)];
        return !default_id.empty() && default_id == id;
      });
  return id_matches || default_matches ||
         (friendly_name != nullptr && std::any_of(names.begin(), names.end(), [friendly_name](const std::wstring& part) {
            return ContainsIgnoringCase(friendly_name, part);
          }));
}

bool EndpointFilter::Keeps(const EndpointSnapshot& endpoint, const RoleIds& defaults) const {
  return Lets(endpoint.state.value_or(0)) &&
         Keeps(endpoint.id ? endpoint.id->c_str() : nullptr,
               endpoint.friendly_name ? endpoint.friendly_name->c_str() : nullptr, defaults);
}

void EndpointFilter::ChooseSessions(EndpointSnapshot& endpoint) const {
  if (endpoint.sessions) {
    auto& sessions = *endpoint.sessions;
    sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                                  [this](const SessionFacts& session) { return !KeepsSession(session); }),
                   sessions.end());
  }
}

bool EndpointFilter::KeepsSession(const SessionFacts& session) const {
  return apps.empty() || (session.process_name && std::any_of(apps.begin(), apps.end(), [&session](const auto& part) {
                            return ContainsIgnoringCase(*session.process_name, part);
                          }));
}
