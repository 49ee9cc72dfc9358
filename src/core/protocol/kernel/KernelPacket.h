#pragma once
// The PowerPC kernel loader's wire format.
//
// Host to loader. Every packet starts with the marker 0xFE and a type byte.
// Address and count are sent most significant byte first and never escaped.
//
//   status query   +------+------+
//   (2)            | 0xFE | 0x00 |
//                  +------+------+
//   data header    +------+------+-------------+-------------+
//   (10)           | 0xFE | 0x01 | a3 a2 a1 a0 | c3 c2 c1 c0 |  ... later, after a
//                  +------+------+-------------+-------------+  good status, the payload
//   start          +------+------+-------------+
//   (6)            | 0xFE | 0x02 | a3 a2 a1 a0 |
//                  +------+------+-------------+
//
//   payload        the count raw bytes, every 0xFE sent twice (0xFE 0xFE), so a
//                  lone 0xFE always starts a packet; count and checksum are
//                  those of the raw bytes.
//
// Loader to host: the status, exactly 12 bytes, no marker.
//
//   status         +-------------+-------------+-------------+
//   (12)           | a3 a2 a1 a0 | c3 c2 c1 c0 | s3 s2 s1 s0 |
//                  +-------------+-------------+-------------+
//                  address, count, checksum (32-bit sum of the raw bytes).
//   Before a payload: the address and count the loader expects, checksum 0.
//   After it: the next address (start + count), count 0, the sum received.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace corvel::kernel {

inline constexpr uint32_t kLoaderBaud = 115200;

inline constexpr uint8_t kPacketMarker = 0xFE;
inline constexpr uint8_t kEscapedByte = 0xFE;  // doubled in the payload

inline constexpr uint8_t kTypeStatusQuery = 0x00;
inline constexpr uint8_t kTypeData = 0x01;
inline constexpr uint8_t kTypeStartApplication = 0x02;

inline constexpr std::size_t kMarkerOffset = 0;
inline constexpr std::size_t kTypeOffset = 1;
inline constexpr std::size_t kAddressOffset = 2;
inline constexpr std::size_t kFieldLength = 4;
inline constexpr std::size_t kCountOffset = kAddressOffset + kFieldLength;  // 6

inline constexpr std::size_t kStatusQueryLength = 2;
inline constexpr std::size_t kDataHeaderLength = kCountOffset + kFieldLength;  // 10
inline constexpr std::size_t kStartLength = kAddressOffset + kFieldLength;     // 6

inline constexpr std::size_t kStatusLength = 12;
inline constexpr std::size_t kStatusAddressOffset = 0;
inline constexpr std::size_t kStatusCountOffset = 4;
inline constexpr std::size_t kStatusChecksumOffset = 8;

// The transfer: the image goes in sections of this size, each tried this
// often before the upload gives up.
inline constexpr uint32_t kSectionSize = 4096;
inline constexpr int kSectionTries = 3;
// The largest kernel file the loader's memory takes (8 MiB).
inline constexpr uint32_t kMaxKernelSize = 8388608;

// 32-bit sum of the raw bytes, as the loader reports it.
uint32_t Checksum32(std::span<const uint8_t> raw);
// The payload as transmitted: every 0xFE doubled.
std::vector<uint8_t> EscapePayload(std::span<const uint8_t> raw);

void PutBigEndian32(uint8_t* at, uint32_t value);
uint32_t GetBigEndian32(const uint8_t* at);

// One packet to the loader.
struct KernelPacket {
  uint8_t type = kTypeStatusQuery;
  uint32_t address = 0;
  uint32_t count = 0;     // raw data bytes (type 1)
  uint32_t checksum = 0;  // 32-bit sum of the raw data bytes (type 1)
  std::vector<uint8_t> payload;  // as transmitted, escaped

  static KernelPacket StatusQuery();
  static KernelPacket Data(uint32_t address, std::span<const uint8_t> raw);
  static KernelPacket Start(uint32_t address);

  bool HasKnownType() const {
    return type == kTypeStatusQuery || type == kTypeData || type == kTypeStartApplication;
  }
  uint32_t PayloadLength() const { return static_cast<uint32_t>(payload.size()); }
  // The bytes sent before any status check: marker, type, and the address
  // and count fields the type carries. Empty for an unknown type.
  std::vector<uint8_t> EncodeHeader() const;
};

// The loader's status report.
struct KernelStatus {
  uint32_t address = 0;
  uint32_t count = 0;
  uint32_t checksum = 0;

  // Nothing unless the bytes are exactly one report.
  static std::optional<KernelStatus> Decode(std::span<const uint8_t> bytes);
  bool operator==(const KernelStatus&) const = default;
};

}  // namespace corvel::kernel
