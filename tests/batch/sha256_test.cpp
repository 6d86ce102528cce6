// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-256 against the published example messages, fed whole and in pieces that straddle the
// 64-byte blocks.
#include <gtest/gtest.h>

#include <string>

#include "base/sha256.h"

namespace pw {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Sha256, ExampleMessagesGiveTheirDigestsHoweverTheyArrive) {
  struct Case {
    std::string message;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", // 56 bytes: padding spills
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sha256Hex(Bytes(c.message)), c.digest) << c.message.size() << " bytes whole";
    for (std::size_t piece : {1, 3, 63, 64, 65, 1000}) {
      Sha256 hash;
      for (std::size_t at = 0; at < c.message.size(); at += piece)
        hash.Update(Bytes(c.message.substr(at, piece)));
      EXPECT_EQ(HexText(hash.Finish()), c.digest) << c.message.size() << " bytes by " << piece;
    }
  }
}

} // namespace
} // namespace pw
