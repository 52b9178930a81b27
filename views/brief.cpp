#include "views/views.h"

#include "text/text.h"

#include <algorithm>

namespace {

std::wstring Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// The text and the spaces that bring it to the column's width, then the gap
// to the next column.
std::wstring Column(const std::wstring& text, std::size_t width) {
  const std::size_t shown = DisplayWidth(text);
  return text + std::wstring(width > shown ? width - shown : 0, L' ') + L"  ";
}

}  // namespace

std::vector<std::wstring> BriefLines(const std::vector<BriefEntry>& entries, bool with_flow) {
  struct Cells {
    std::wstring marks;
    std::wstring state;
    std::wstring flow;
    std::wstring name;
  };
  std::vector<Cells> rows;
  std::size_t state_width = 0;
  std::size_t flow_width = 0;
  std::size_t name_width = 0;
  for (const BriefEntry& entry : entries) {
    const EndpointSnapshot& endpoint = *entry.endpoint;
    Cells cells;
    for (std::size_t role = 0; role < kRoleCount; ++role) {
      cells.marks += IsDefault(endpoint, *entry.defaults, role) ? static_cast<wchar_t>(RoleMark(kRoles[role])) : L'-';
    }
    cells.state = Widen(StateWord(endpoint.state.value_or(0)));
    cells.flow = with_flow ? Widen(endpoint.flow ? FlowWord(*endpoint.flow) : "unknown") : std::wstring();
    cells.name = endpoint.friendly_name.value_or(L"Unknown");
    state_width = std::max(state_width, cells.state.size());
    flow_width = std::max(flow_width, cells.flow.size());
    name_width = std::max(name_width, DisplayWidth(cells.name));
    rows.push_back(std::move(cells));
  }
  std::vector<std::wstring> lines;
  for (std::size_t at = 0; at < rows.size(); ++at) {
    const Cells& cells = rows[at];
    std::wstring line = cells.marks + L"  " + Column(cells.state, state_width);
    if (with_flow) {
      line += Column(cells.flow, flow_width);
    }
    const EndpointSnapshot& endpoint = *entries[at].endpoint;
    lines.push_back(line + Column(cells.name, name_width) + (endpoint.id ? *endpoint.id : L"(null)"));
  }
  return lines;
}
