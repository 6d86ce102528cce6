// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-256, for the fingerprint of each image the programming log records: small, without a
// crypto library, so the static builds carry no extra dependency.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace pw {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
public:
  Sha256();
  // Adds bytes; may be called any number of times before Finish.
  void Update(std::span<const std::uint8_t> data);
  // The digest of everything added; the object must not be updated afterwards.
  Sha256Digest Finish();

private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0; // bytes added so far
};

// Lower-case hexadecimal, two digits per byte.
std::string HexText(std::span<const std::uint8_t> bytes);
// The digest of data as 64 lower-case hex digits.
std::string Sha256Hex(std::span<const std::uint8_t> data);

} // namespace pw
