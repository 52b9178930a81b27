#include "views/views.h"

#include "text/text.h"

#include <algorithm>

namespace {

std::wstring Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// The text and the spaces that bring it to the column's width, then the gap
// to the next column.
std::wstring Column(const std::wstring& text, std::size_t width, TextWidthFunction measure) {
  const std::size_t shown = measure(text);
  return text + std::wstring(width > shown ? width - shown : 0, L' ') + L"  ";
}

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// The line whole when it fits the columns, otherwise as much of it as
// leaves room for "..." after it; a character, a surrogate pair whole, goes
// in only when all of it fits.
std::wstring Fit(const std::wstring& line, std::size_t columns, TextWidthFunction measure) {
  if (columns == 0 || measure(line) <= columns) {
    return line;
  }
  const std::size_t room = columns > 3 ? columns - 3 : 0;
  std::size_t used = 0;
  std::size_t end = 0;
  while (end < line.size()) {
    const std::size_t units = IsHighSurrogate(line[end]) && end + 1 < line.size() ? 2 : 1;
    const std::size_t width = measure(std::wstring_view(line).substr(end, units));
    if (used + width > room) {
      break;
    }
    used += width;
    end += units;
  }
  return line.substr(0, end) + std::wstring(L"...", std::min<std::size_t>(3, columns));
}

}  // namespace

std::vector<std::wstring> BriefLines(const std::vector<BriefEntry>& entries, bool with_flow,
                                     TextWidthFunction measure, std::size_t columns) {
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
    name_width = std::max(name_width, measure(cells.name));
    rows.push_back(std::move(cells));
  }
  std::vector<std::wstring> lines;
  for (std::size_t at = 0; at < rows.size(); ++at) {
    const Cells& cells = rows[at];
    std::wstring line = cells.marks + L"  " + Column(cells.state, state_width, measure);
    if (with_flow) {
      line += Column(cells.flow, flow_width, measure);
    }
    const EndpointSnapshot& endpoint = *entries[at].endpoint;
    lines.push_back(
        Fit(line + Column(cells.name, name_width, measure) + (endpoint.id ? *endpoint.id : L"(null)"), columns, measure));
  }
  return lines;
}
