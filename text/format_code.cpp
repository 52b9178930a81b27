#include "text/text.h"

std::string FormatCode(std::uint32_t code) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (auto digit = text.rbegin(); digit != text.rend(); ++digit) {
    *digit = kDigits[code & 0xF];
    code >>= 4;
  }
  return text;
}
