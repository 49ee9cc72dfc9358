#pragma once
// SHA-256 (FIPS 180-4), for the fingerprints of the files a run read and
// wrote: a service record names exactly which image went into a board.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvel {

class Sha256 {
 public:
  static constexpr std::size_t kDigestSize = 32;
  using Digest = std::array<uint8_t, kDigestSize>;

  Sha256();
  void Update(std::span<const uint8_t> bytes);
  void Update(std::string_view text);
  // The digest of everything given; the object starts afresh afterwards.
  Digest Finish();

  // Lower-case hexadecimal, 64 characters.
  static std::string Hex(const Digest& digest);
  static std::string HexOf(std::string_view bytes);

 private:
  void Reset();
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> m_state{};
  std::array<uint8_t, 64> m_block{};
  std::size_t m_block_used = 0;
  uint64_t m_length = 0;  // bytes given so far
};

// The SHA-256 of a regular file of at most max_bytes, in hex; nothing when
// it cannot be read (missing, not a regular file, too large).
std::optional<std::string> FileSha256(const std::string& path, std::size_t max_bytes);

}  // namespace corvel
