// SPDX-License-Identifier: GPL-3.0-or-later
// The serial number field: upper-casing, the length rule, the unset number and the position
// rules in their order.
#include <gtest/gtest.h>

#include <cstring>

#include "codeplug/codeplug.h"
#include "files/serial_number.h"

namespace pw {
namespace {

const std::string kHead = "*** Serial Number ***\n";

std::string StoredSerial(const Codeplug& cp) {
  return std::string(reinterpret_cast<const char*>(&cp.WorkingImage[map::kSerialNumber]),
                     map::kSerialNumberLength);
}

void SetStoredSerial(Codeplug& cp, const char* ten) {
  std::memcpy(&cp.WorkingImage[map::kSerialNumber], ten, map::kSerialNumberLength);
}

TEST(ValidateSerialNumber, WellFormedNumbersAreStored) {
  struct Case {
    const char* typed;
    const char* stored;
  };
  const Case cases[] = {
      {"CVAFABC123", "CVAFABC123"},
      {"cvafabc123", "CVAFABC123"}, // upper-cased before the check
      {"CVAFAHC123", "CVAFAHC123"},
      {"CVZFZZZ999", "CVZFZZZ999"},
      {"0000000000", "0000000000"}, // unset number, no format checks
  };
  for (const Case& c : cases) {
    Codeplug cp;
    SetStoredSerial(cp, "CVBFBBB000");
    std::string text = c.typed;
    Messages out;
    EXPECT_TRUE(ValidateSerialNumber(cp, text, out)) << c.typed;
    EXPECT_TRUE(out.empty()) << c.typed;
    EXPECT_EQ(text, c.stored) << c.typed;
    EXPECT_EQ(StoredSerial(cp), c.stored) << c.typed;
  }
}

TEST(ValidateSerialNumber, FirstBrokenRuleNamesItselfAndNothingIsStored) {
  struct Case {
    const char* typed;
    const char* shown; // the box keeps the upper-cased text
    const char* message;
  };
  const Case cases[] = {
      {"CVAFAB1234", "CVAFAB1234", "Letter is not! Please input again"},
      {"CVAFAIC123", "CVAFAIC123", "Month is not! Please input again"},
      {"cvafaoc123", "CVAFAOC123", "Month is not! Please input again"},
      {"CVAXABC123", "CVAXABC123", "Not Flex! Please input again"},
      {"CWAFABC123", "CWAFABC123", "Not CV! Please input again"},
      {"CWXXXXXXXX", "CWXXXXXXXX", "Not CV! Please input again"},
      {"CV1FABC123", "CV1FABC123", "Input customer is not correct ! Please input again"},
      {"CVAF1BC123", "CVAF1BC123", "Year is not! Please input again"},
      {"CVAFABC12X", "CVAFABC12X", "Number is not! Please input again"},
      {"CVAFABC1", "CVAFABC1", "Length error! Please input again"},
      {"000000000", "000000000", "Length error! Please input again"},
      {"", "", "Length error! Please input again"},
      {"CVAFABC1234", "CVAFABC1234", "Length error! Please input again"},
  };
  for (const Case& c : cases) {
    Codeplug cp;
    SetStoredSerial(cp, "CVBFBBB000");
    std::string text = c.typed;
    Messages out;
    EXPECT_FALSE(ValidateSerialNumber(cp, text, out)) << c.typed;
    ASSERT_EQ(out.size(), 1u) << c.typed;
    EXPECT_EQ(out[0], Plain(kHead + c.message)) << c.typed;
    EXPECT_EQ(text, c.shown) << c.typed;
    EXPECT_EQ(StoredSerial(cp), "CVBFBBB000") << c.typed;
  }
}

TEST(SerialNumberShown, StopsAtTheFirstZeroByteAndAtTenCharacters) {
  Codeplug cp;
  SetStoredSerial(cp, "CVAF\0\0\0\0\0\0");
  EXPECT_EQ(SerialNumberShown(cp), "CVAF");
  SetStoredSerial(cp, "CVAFABC123"); // the stamp follows without a terminator
  EXPECT_EQ(SerialNumberShown(cp), "CVAFABC123");
  SetStoredSerial(cp, "\0VAFABC123");
  EXPECT_EQ(SerialNumberShown(cp), "");
}

TEST(SerialNumberKeyFilter, PassesDigitsLettersAndBackspace) {
  std::string typed;
  for (char ch : std::string("cV-a 9_Z.")) if (SerialNumberKeyAllowed(ch)) typed += ch;
  EXPECT_EQ(typed, "cVa9Z");
  EXPECT_TRUE(SerialNumberKeyAllowed('\b'));
}

} // namespace
} // namespace pw
