// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/echo.h"

#include <cstdint>
#include <cstdio>

namespace pw {

namespace {

// The length of the well-formed UTF-8 sequence at the start of s, 0 when there is none.
std::size_t SequenceLength(std::string_view s, char32_t& code) {
  const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t lead = b(0);
  std::size_t n;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (s.size() < n)
    return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xC0) != 0x80)
      return 0;
    code = (code << 6) | (b(i) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are ill-formed.
  if ((n == 3 && code < 0x800) || (n == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
      (code >= 0xD800 && code <= 0xDFFF))
    return 0;
  return n;
}

std::string Hex(const char* format, unsigned value) {
  char buffer[12];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

} // namespace

std::string EchoText(std::string_view text, std::size_t limit) {
  std::string out;
  std::size_t shown = 0; // characters in out
  std::string pending;   // the unit that would follow
  std::size_t pos = 0;
  const auto next = [&](std::string& unit) -> std::size_t { // characters of the unit
    char32_t code = 0;
    const std::size_t n = SequenceLength(text.substr(pos), code);
    if (n == 0) {
      unit = Hex("\\x%02X", static_cast<std::uint8_t>(text[pos++]));
      return unit.size();
    }
    pos += n;
    switch (code) {
    case '\n':
      unit = "\\n";
      return 2;
    case '\t':
      unit = "\\t";
      return 2;
    case '\r':
      unit = "\\r";
      return 2;
    case '\\':
      unit = "\\\\";
      return 2;
    default:
      break;
    }
    if (code < 0x20 || code == 0x7F) {
      unit = Hex("\\x%02X", static_cast<unsigned>(code));
      return unit.size();
    }
    if (code >= 0x80 && code <= 0x9F) {
      unit = Hex("\\u%04X", static_cast<unsigned>(code));
      return unit.size();
    }
    unit.assign(text.substr(pos - n, n));
    return 1;
  };
  std::size_t kept = 0; // the length of out while it shows at most limit - 1 characters
  while (pos < text.size()) {
    const std::size_t width = next(pending);
    if (shown + width > limit) {
      out.resize(kept);
      return out + "\u2026";
    }
    out += pending;
    shown += width;
    if (shown < limit)
      kept = out.size();
  }
  return out;
}

} // namespace pw
