// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/serial_number.h"

#include <array>
#include <string_view>

namespace pw {
namespace {

constexpr std::string_view kUnsetSerialNumber = "0000000000";
constexpr std::string_view kLengthError = "*** Serial Number ***\nLength error! Please input again";

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }

bool IsPrefix(std::string_view s) { return s == "CV"; }
bool IsLetter(std::string_view s) { return IsUpper(s[0]); }
bool IsFlex(std::string_view s) { return s == "F"; }
bool IsMonth(std::string_view s) { return IsUpper(s[0]) && s[0] != 'I' && s[0] != 'O'; }
bool AreDigits(std::string_view s) {
  for (char c : s)
    if (!IsDigit(c)) return false;
  return true;
}

// The positions of a serial number, checked in this order.
struct SerialPosition {
  std::size_t first; // 0-based
  std::size_t count;
  bool (*holds)(std::string_view);
  std::string_view message;
};
constexpr std::array<SerialPosition, 7> kSerialPositions = {{
    {0, 2, IsPrefix, "*** Serial Number ***\nNot CV! Please input again"},
    {2, 1, IsLetter, "*** Serial Number ***\nInput customer is not correct ! Please input again"},
    {3, 1, IsFlex, "*** Serial Number ***\nNot Flex! Please input again"},
    {4, 1, IsLetter, "*** Serial Number ***\nYear is not! Please input again"},
    {5, 1, IsMonth, "*** Serial Number ***\nMonth is not! Please input again"},
    {6, 1, IsLetter, "*** Serial Number ***\nLetter is not! Please input again"},
    {7, 3, AreDigits, "*** Serial Number ***\nNumber is not! Please input again"},
}};

void StoreSerialNumber(Codeplug& cp, std::string_view text) {
  for (int i = 0; i < map::kSerialNumberLength; ++i)
    cp.At(map::kSerialNumber + std::size_t(i)) = std::uint8_t(text[std::size_t(i)]);
}

} // namespace

bool ValidateSerialNumber(Codeplug& cp, std::string& text, Messages& out) {
  for (char& c : text)
    if (IsLower(c)) c = char(c - 'a' + 'A');
  if (text.size() != std::size_t(map::kSerialNumberLength)) {
    out.push_back(Plain(std::string(kLengthError)));
    return false;
  }
  if (text == kUnsetSerialNumber) {
    StoreSerialNumber(cp, text);
    return true;
  }
  const std::string_view view(text);
  for (const SerialPosition& pos : kSerialPositions) {
    if (!pos.holds(view.substr(pos.first, pos.count))) {
      out.push_back(Plain(std::string(pos.message)));
      return false;
    }
  }
  StoreSerialNumber(cp, text);
  return true;
}

std::string SerialNumberShown(const Codeplug& cp) {
  std::string shown;
  for (int i = 0; i < map::kSerialNumberLength; ++i) {
    const std::uint8_t b = cp.WorkingImage[map::kSerialNumber + std::size_t(i)];
    if (b == 0) break;
    shown.push_back(char(b));
  }
  return shown;
}

bool SerialNumberKeyAllowed(char ch) {
  return IsDigit(ch) || IsUpper(ch) || IsLower(ch) || ch == '\b';
}

} // namespace pw
