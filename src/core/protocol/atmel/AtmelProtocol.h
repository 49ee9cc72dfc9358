#pragma once
// The AVR boot loader's wire format.
//
// Every request except the wake-up code, and every reply except the wake-up
// answer, ends in the 16-bit serial checksum (two's complement of the byte
// sum, high byte first). Addresses are byte addresses, 32 bits, least
// significant byte first.
//
//  Requests
//   short      +------+--------+
//   (3)        | code | cs hi lo|
//              +------+--------+
//   addressed  +------+-----------------+--------+
//   (7)        | code | a0  a1  a2  a3  | cs     |
//              +------+-----------------+--------+
//   flash page +------+-----------------+------------------+--------+
//   (263)      | 0x75 | a0  a1  a2  a3  | 256 data bytes   | cs     |
//              +------+-----------------+------------------+--------+
//   EEPROM     +------+-----------------+------------------+--------+
//   (n + 7)    | 0x77 | a0  a1  a2  a3  | n data bytes     | cs     |
//              +------+-----------------+------------------+--------+
//   wake-up    +---------------------------------+
//   (8, raw)   | w0 w1 w2 w3 w4 w5 w6 w7         |   answer: 'B' 'L'
//              +---------------------------------+
//
//  Replies (byte 0 carries the echoed code for the speed commands only)
//   short      +----+--------+
//   (3)        | x  | cs     |
//   version    +----+-----------------+--------+
//   (7)        | x  | v0  v1  v2  v3  | cs     |
//   app        +----+-----------------+----------------------+--------+
//   (27)       | x  | v0  v1  v2  v3  | description, 20 bytes | cs     |
//   data       +--------------------+------------------+--------+
//   (263)      | x  x  x  x  x      | 256 data bytes   | cs     |
//   status     +--------------------+--------+--------+
//   (8)        | x  x  x  x  x      | status | cs     |
//              +--------------------+--------+--------+
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/format/hex/FlashLayout.h"

namespace corvel::atmel {

// Line speeds.
inline constexpr uint32_t kNormalBaud = 19200;
inline constexpr uint32_t kHighBaud = 115200;

// Command codes (the ASCII letters r to |).
inline constexpr uint8_t kCmdStartApplication = 0x72;
inline constexpr uint8_t kCmdQueryApplication = 0x73;
inline constexpr uint8_t kCmdQueryBootLoaderVersion = 0x74;
inline constexpr uint8_t kCmdWriteFlash = 0x75;
inline constexpr uint8_t kCmdReadFlash = 0x76;
inline constexpr uint8_t kCmdWriteEeprom = 0x77;
inline constexpr uint8_t kCmdReadEeprom = 0x78;
inline constexpr uint8_t kCmdEraseFlashPage = 0x79;
inline constexpr uint8_t kCmdEraseEepromBlock = 0x7A;
inline constexpr uint8_t kCmdHighSpeed = 0x7B;
inline constexpr uint8_t kCmdNormalSpeed = 0x7C;

// Offsets and lengths common to requests and replies.
inline constexpr std::size_t kCodeOffset = 0;
inline constexpr std::size_t kAddressOffset = 1;
inline constexpr std::size_t kAddressLength = 4;
inline constexpr std::size_t kRequestDataOffset = 5;
inline constexpr std::size_t kChecksumLength = 2;

inline constexpr std::size_t kShortRequestLength = 3;
inline constexpr std::size_t kAddressedRequestLength = 7;
inline constexpr std::size_t kFlashPageSize = 256;
inline constexpr std::size_t kFlashWriteRequestLength = kRequestDataOffset + kFlashPageSize + kChecksumLength;  // 263
inline constexpr std::size_t kEepromWriteOverhead = kRequestDataOffset + kChecksumLength;  // n + 7

inline constexpr std::size_t kShortReplyLength = 3;
inline constexpr std::size_t kEchoOffset = 0;
inline constexpr std::size_t kVersionReplyLength = 7;
inline constexpr std::size_t kVersionOffset = 1;
inline constexpr std::size_t kAppReplyLength = 27;
inline constexpr std::size_t kDescriptionOffset = 5;
inline constexpr std::size_t kDescriptionLength = 20;
inline constexpr std::size_t kDataReplyLength = 263;
inline constexpr std::size_t kReplyDataOffset = 5;
inline constexpr std::size_t kReadLength = 256;
inline constexpr std::size_t kStatusReplyLength = 8;
inline constexpr std::size_t kStatusOffset = 5;

// The greeting. Bytes 0-3 come from kWakeUpCodeLow and bytes 4-7 from
// kWakeUpCodeHigh, each least significant byte first:
// 54 4C 4D 4B 3C C3 A5 5A. The boot loader must expect exactly these.
inline constexpr uint32_t kWakeUpCodeLow = 0x4B4D4C54;
inline constexpr uint32_t kWakeUpCodeHigh = 0x5AA5C33C;
inline constexpr std::size_t kWakeUpCodeLength = 8;
inline constexpr std::array<uint8_t, 2> kWakeUpAnswer = {0x42, 0x4C};  // "BL"

// The code carried by the device packet that asks a running application to
// enter its boot loader (the packet's type and addresses are the device
// packet protocol's), assembled like the wake-up code:
// 45 4E 54 52 42 4C 44 52 ("ENTRBLDR").
inline constexpr uint32_t kEnterBootLoaderCodeLow = 0x52544E45;
inline constexpr uint32_t kEnterBootLoaderCodeHigh = 0x52444C42;
inline constexpr std::size_t kEnterBootLoaderCodeLength = 8;

// The boot loader's units of the device's memories (the memories themselves
// are the flash layout's: core/format/hex/FlashLayout.h). Programming covers
// the application pages and the fixed strings page after them.
inline constexpr uint32_t kEepromBlockSize = 16;
inline constexpr uint32_t kProgrammedPages = kApplicationAreaSize / kFlashPageSize + 1;  // 480
inline constexpr uint32_t kEepromBlocks = kEepromImageSize / kEepromBlockSize;             // 256

std::array<uint8_t, kWakeUpCodeLength> WakeUpCode();
std::array<uint8_t, kEnterBootLoaderCodeLength> EnterBootLoaderCode();

// Requests: pure encoders.
struct ShortRequest {
  uint8_t code;
  std::vector<uint8_t> Encode() const;
};

struct AddressedRequest {
  uint8_t code;
  uint32_t address;
  std::vector<uint8_t> Encode() const;
};

struct FlashWriteRequest {
  uint32_t address;
  std::span<const uint8_t, kFlashPageSize> data;
  std::vector<uint8_t> Encode() const;
};

struct EepromWriteRequest {
  uint32_t address;
  std::span<const uint8_t> data;  // the 16-bit count is its size
  std::vector<uint8_t> Encode() const;
};

// Replies: pure decoders. Each returns nothing unless the bytes are exactly
// the reply's length and the checksum holds.
struct ShortReply {
  static constexpr std::size_t kLength = kShortReplyLength;
  uint8_t echo;
  static std::optional<ShortReply> Decode(std::span<const uint8_t> bytes);
};

struct VersionReply {
  static constexpr std::size_t kLength = kVersionReplyLength;
  uint32_t version;
  static std::optional<VersionReply> Decode(std::span<const uint8_t> bytes);
};

struct ApplicationReply {
  static constexpr std::size_t kLength = kAppReplyLength;
  uint32_t version;
  std::string description;  // up to 20 characters, cut at the first NUL
  static std::optional<ApplicationReply> Decode(std::span<const uint8_t> bytes);
};

struct DataReply {
  static constexpr std::size_t kLength = kDataReplyLength;
  std::array<uint8_t, kReadLength> data;
  static std::optional<DataReply> Decode(std::span<const uint8_t> bytes);
};

struct StatusReply {
  static constexpr std::size_t kLength = kStatusReplyLength;
  uint8_t status;
  static std::optional<StatusReply> Decode(std::span<const uint8_t> bytes);
};

// Helpers shared by the codecs.
void PutAddress(uint8_t* at, uint32_t address);
uint32_t GetLittleEndian32(const uint8_t* at);

}  // namespace corvel::atmel
