// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "base/echo.h"

namespace pw {
namespace {

TEST(EchoText, ShowsLettersAsTheyAreAndEverythingElseAsEscapesWithinTheLimit) {
  const std::string a58(58, 'a'), a59(59, 'a'), a60(60, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {"code.A.time", "code.A.time"},
      {"Gr\xC3\xBC\xC3\x9F \xE2\x80\x94 \xF0\x9F\x93\x9F",
       "Gr\xC3\xBC\xC3\x9F \xE2\x80\x94 \xF0\x9F\x93\x9F"},
      {"a\nb\tc\rd\\", "a\\nb\\tc\\rd\\\\"},
      {std::string("x\0y", 3), "x\\x00y"},
      {"\x1B[2J\x7F", "\\x1B[2J\\x7F"},
      {"\xC2\x85\xC2\x9B", "\\u0085\\u009B"},       // C1 controls
      {"\xFF\xFE", "\\xFF\\xFE"},                   // never UTF-8
      {"\xC3", "\\xC3"},                            // cut short
      {"\xC0\xAF", "\\xC0\\xAF"},                   // overlong
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},          // a surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}, // past U+10FFFF
      {a60, a60},
      {a60 + "b", a59 + "\u2026"},
      {a58 + "\n", a58 + "\\n"},
      {a59 + "\n", a59 + "\u2026"},
      {a58 + "\x01", a58 + "\u2026"},
      {a58 + "\xC3\xA9\xC3\xA9", a58 + "\xC3\xA9\xC3\xA9"},
      {std::string(1000000, 'z'), std::string(59, 'z') + "\u2026"},
  };
  for (const auto& [text, shown] : cases)
    EXPECT_EQ(EchoText(text), shown) << text.substr(0, 80);
  EXPECT_EQ(EchoText("abcdef", 4), "abc\u2026");
}

} // namespace
} // namespace pw
