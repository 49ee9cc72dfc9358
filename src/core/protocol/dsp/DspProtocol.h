#pragma once
// The DSP boot loader's wire format: one frame per packet, both ways.
//
//   offset 0      1          5        7          7+N
//          +------+----------+--------+----------+--------+
//          | type | address  | length | data     | check  |
//          |  u8  | u32 LE   | u16 LE | N bytes  | u16 BE |
//          +------+----------+--------+----------+--------+
//
// check: the two's complement of the 16-bit sum of the N + 7 bytes before it,
// high byte first (the serial checksum every link of the program uses). The
// wake-up "####&" goes out raw, outside any frame.
//
// Pages travel raw (0x90) or run-length compressed (0x91):
//   literal        1 byte   any byte but 0x5C
//   escaped 0x5C   2 bytes  5C 5C
//   run            6 + L    5C 23, L u16 LE, K u16 LE, L pattern bytes: K copies
//   trailer        2 bytes  two's complement of the 16-bit sum of the page, LE
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvel::dsp {

// Frame layout.
inline constexpr std::size_t kTypeOffset = 0;
inline constexpr std::size_t kAddressOffset = 1;
inline constexpr std::size_t kLengthOffset = 5;
inline constexpr std::size_t kHeaderLength = 7;
inline constexpr std::size_t kChecksumLength = 2;
inline constexpr std::size_t kFrameOverhead = kHeaderLength + kChecksumLength;
inline constexpr std::size_t kMaxDataLength = 0xFFFF;

// Packet types.
inline constexpr uint8_t kPacketFlashPage = 0x90;
inline constexpr uint8_t kPacketFlashPageRle = 0x91;
inline constexpr uint8_t kPacketReadPage = 0x93;
inline constexpr uint8_t kPacketCommitBlock = 0x95;
inline constexpr uint8_t kPacketHighSpeed = 0x97;
inline constexpr uint8_t kPacketLowSpeed = 0x98;
inline constexpr uint8_t kPacketAck = 0x99;
inline constexpr uint8_t kPacketNotSupported = 0x9A;
inline constexpr uint8_t kPacketWait = 0x9B;
inline constexpr uint8_t kPacketComposeChecksum = 0x9C;
inline constexpr uint8_t kPacketStartApp = 0x9D;
inline constexpr uint8_t kPacketMemoryMap = 0x9E;

// Acknowledge: data[0] echoes the type acknowledged.
inline constexpr std::size_t kAckEchoOffset = 0;
// Wait: data[1..2] is the wait in milliseconds, little-endian.
inline constexpr std::size_t kWaitTimeOffset = 1;
inline constexpr std::size_t kWaitLength = 3;
// Read reply: data[0] status, then the page.
inline constexpr std::size_t kReadStatusOffset = 0;
inline constexpr uint8_t kReadStatusBlank = 0xC0;
inline constexpr uint8_t kReadStatusData = 0xC1;
// Commit: data is the 4-byte block checksum, little-endian.
inline constexpr std::size_t kCommitDataLength = 4;

inline constexpr std::array<uint8_t, 5> kWakeUp = {'#', '#', '#', '#', '&'};

inline constexpr uint32_t kLowBaud = 19200;
inline constexpr uint32_t kHighBaud = 115200;
inline constexpr uint32_t kMaxPageSize = 16384;

// Memory map reply (data of a 0x9E reply).
inline constexpr std::size_t kMapBoardIdOffset = 0;
inline constexpr std::size_t kMapLoaderVersionOffset = 4;
inline constexpr std::size_t kMapBoardNameOffset = 8;
inline constexpr std::size_t kMapBoardNameLength = 56;
inline constexpr std::size_t kMapBlockSizeOffset = 64;
inline constexpr std::size_t kMapMinAddressOffset = 68;
inline constexpr std::size_t kMapMaxAddressOffset = 72;
inline constexpr std::size_t kMapSectionCountOffset = 76;
inline constexpr std::size_t kMapHeaderLength = 80;
inline constexpr std::size_t kMapSectionsOffset = 80;
inline constexpr std::size_t kMapSectionLength = 48;
inline constexpr std::size_t kMaxSections = 5;
inline constexpr std::size_t kMapLength = kMapSectionsOffset + kMaxSections * kMapSectionLength;  // 320
// Section record.
inline constexpr std::size_t kSectionStartOffset = 0;
inline constexpr std::size_t kSectionSizeOffset = 4;
inline constexpr std::size_t kSectionExtensionOffset = 8;
inline constexpr std::size_t kSectionExtensionLength = 4;
inline constexpr std::size_t kSectionChecksumOffset = 12;
inline constexpr std::size_t kSectionDuplicateOffset = 16;
inline constexpr std::size_t kSectionNameOffset = 20;
inline constexpr std::size_t kSectionNameLength = 24;
inline constexpr std::size_t kSectionFlagsOffset = 44;

// Run-length items.
inline constexpr uint8_t kRleEscape = 0x5C;
inline constexpr uint8_t kRleRunMark = 0x23;
inline constexpr std::size_t kRleRunHeader = 6;
inline constexpr std::size_t kRleTrailerLength = 2;
inline constexpr uint32_t kRleMaxPattern = 32;
inline constexpr int64_t kRleMinScore = 8;
// VariableLengthRLE limits: 0 counts only, this one neither limits nor counts.
inline constexpr uint32_t kRleNoLimit = 0xFFFFFFFF;

// One loader packet in memory; filling it copies the caller's bytes.
struct DspLoaderPacket {
  uint8_t type = 0;
  uint32_t address = 0;
  std::vector<uint8_t> data;

  uint16_t length() const { return static_cast<uint16_t>(data.size()); }
  void Fill(uint8_t packet_type, uint32_t packet_address, std::span<const uint8_t> bytes = {}) {
    type = packet_type;
    address = packet_address;
    data.assign(bytes.begin(), bytes.end());
  }
  // The whole frame; nothing when the data does not fit a frame.
  std::optional<std::vector<uint8_t>> Encode() const;
};

uint16_t ReadLe16(const uint8_t* p);
uint32_t ReadLe32(const uint8_t* p);
void PutLe16(uint8_t* p, uint16_t v);
void PutLe32(uint8_t* p, uint32_t v);

// The frame header's fields.
struct FrameHeader {
  uint8_t type = 0;
  uint32_t address = 0;
  uint16_t length = 0;
};
FrameHeader DecodeHeader(std::span<const uint8_t, kHeaderLength> header);
// True when the header, data and checksum bytes (the whole frame) hold.
bool FrameChecksumHolds(std::span<const uint8_t> frame);

// The wait a 0x9B packet asks for; 0 when it carries too few bytes to say.
uint32_t WaitTime(const DspLoaderPacket& wait);

// One memory section of the map; an empty one has every field zero.
struct DspMemorySection {
  uint32_t requires_duplicate = 0;
  uint32_t requires_checksum = 0;
  uint32_t special_flags = 0;
  bool valid = false;
  std::string section_name;
  std::string extension;
  uint32_t start_address = 0;
  uint32_t size = 0;
};

struct DspMemoryMap {
  uint32_t board_id = 0;
  uint32_t flash_loader_version = 0;
  std::string board_name = "Unknown";
  uint32_t block_size = 0x20000;
  uint32_t page_size = kMaxPageSize;
  uint32_t min_allowed_address = 0xFFFFFFFF;
  uint32_t max_allowed_address = 0;
  uint32_t reported_sections = 0;  // as the loader said, before the clamp
  uint32_t num_sections = 0;       // at most kMaxSections
  std::array<DspMemorySection, kMaxSections> sections{};
};

// The page size a block size gives: the block size, at most 16384.
uint32_t PageSizeFor(uint32_t block_size);
// A 0x9E reply's data as a map. Nothing when the reply is shorter than the
// map's fixed fields. A section counts only when its whole record came.
std::optional<DspMemoryMap> DecodeMemoryMap(std::span<const uint8_t> data);
// The single-section map of a loader that answers 0x9A.
DspMemoryMap FixedMemoryMap();

// The two's complement of the 32-bit sum of the block's bytes.
uint32_t BlockChecksum(std::span<const uint8_t> block);
// The two's complement of the 16-bit sum of the page's bytes.
uint16_t PageChecksum(std::span<const uint8_t> page);

// Compresses in[0..n-1] into out. Returns the output length, 0 when it would
// exceed limit; limit 0 only counts, kRleNoLimit neither limits nor counts.
// out must hold limit bytes (or the whole output when there is no limit).
uint32_t VariableLengthRLE(const uint8_t* in, uint8_t* out, uint32_t n, uint32_t limit);

}  // namespace corvel::dsp
