#include "text/text.h"

#include <climits>

namespace {

// The platform's own case table, so "Ö" matches "ö" and "Д" matches "д",
// not only the ASCII letters.
bool SameIgnoringCase(const wchar_t* a, const wchar_t* b, std::size_t length) {
  return CompareStringOrdinal(a, static_cast<int>(length), b, static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size() || a.size() > static_cast<std::size_t>(INT_MAX)) {
    return false;
  }
  return a.empty() || SameIgnoringCase(a.data(), b.data(), a.size());
}

bool ContainsIgnoringCase(std::wstring_view text, std::wstring_view part) {
  if (part.empty()) {
    return true;
  }
  if (part.size() > text.size() || part.size() > static_cast<std::size_t>(INT_MAX)) {
    return false;
  }
  for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
    if (SameIgnoringCase(text.data() + at, part.data(), part.size())) {
      return true;
    }
  }
  return false;
}
