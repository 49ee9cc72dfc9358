#pragma once
// Intel HEX and raw binary images.
//
// One record per text line:
//
//   :CCAAAATT<data: CC bytes as 2*CC hex digits>KK
//    |  |   |                                   +-- checksum: two's complement of the 8-bit
//    |  |   |                                       sum of CC, AAAA (both bytes), TT, data
//    |  |   +-- record type (kRecord*)
//    |  +------ 16-bit offset of the first data byte inside the current window
//    +--------- data byte count, 0..255
//
// Text before ":" is ignored; a digit that is not hexadecimal reads as 0.
// Images are fixed-size byte arrays whose unwritten bytes are 0xFF.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvel {

inline constexpr char kRecordStart = ':';
inline constexpr uint8_t kRecordData = 0x00;
inline constexpr uint8_t kRecordEndOfFile = 0x01;
inline constexpr uint8_t kRecordExtendedSegmentAddress = 0x02;
inline constexpr uint8_t kRecordStartSegmentAddress = 0x03;
inline constexpr uint8_t kRecordExtendedLinearAddress = 0x04;
inline constexpr uint8_t kRecordStartLinearAddress = 0x05;

// Characters of the fixed fields after ":": count (2), address (4), type (2).
inline constexpr std::size_t kRecordHeaderDigits = 8;
inline constexpr std::size_t kRecordChecksumDigits = 2;
// Data bytes per record the writer emits.
inline constexpr uint32_t kBytesPerRecord = 16;
// The writer's address window, and the largest image it still describes with
// extended segment (02) records; bigger images get extended linear (04) ones.
inline constexpr uint32_t kAddressWindow = 0x10000;
inline constexpr uint32_t kSegmentRecordLimit = 0x100000;
// Segment records can reach only the first MiB; a wrapped image continues a MiB higher.
inline constexpr uint64_t kSegmentWrap = 0x100000;
inline constexpr const char* kEndOfFileRecord = ":00000001FF";
inline constexpr uint8_t kErasedByte = 0xFF;
// No real record line comes close to this; a longer line is not Intel HEX and
// reading stops there instead of swallowing an endless line.
inline constexpr std::size_t kMaxLineLength = 64 * 1024;

// Reads an Intel HEX text into buffer[0..size-1] line by line. The caller fills
// the buffer with 0xFF first (LoadIntelHex does). Each data byte must land on a
// byte that is still 0xFF: that is how overlapping records, and overlapping
// files merged into one image, are found.
class IntelHexParser {
 public:
  enum class Step { Continue, End, Fail };

  IntelHexParser(uint8_t* buffer, uint32_t size, bool wrap_segments)
      : m_buffer(buffer), m_size(size), m_wrap_segments(wrap_segments) {}

  // One line, without its line break (a trailing carriage return is allowed).
  Step Line(std::string_view line);
  // After the last line: true when the text held at least one record.
  bool Finish() const { return m_records > 0; }
  uint64_t Base() const { return m_base; }
  unsigned LineNumber() const { return m_line; }

 private:
  Step Fail(const char* why);

  uint8_t* m_buffer;
  uint32_t m_size;
  bool m_wrap_segments;
  uint64_t m_base = 0;
  unsigned m_line = 0;
  unsigned m_records = 0;
};

// Fills buffer[0..size-1] with 0xFF, then reads the file into it. True on
// success; a missing end-of-file record is success. On failure the buffer holds
// what was read up to the failing record. A text with no record at all fails.
bool LoadIntelHex(const std::string& path, uint8_t* buffer, uint32_t size, bool wrap_segments = false);
// The same, telling a file that cannot be opened from one that is not valid.
enum class HexLoadResult { Ok, CannotOpen, Invalid };
HexLoadResult LoadIntelHexFile(const std::string& path, uint8_t* buffer, uint32_t size, bool wrap_segments = false);
// The same for a text already in memory.
bool ParseIntelHex(std::string_view text, uint8_t* buffer, uint32_t size, bool wrap_segments = false);

// All size bytes as Intel HEX text: 16-byte data records, upper-case digits,
// CR LF line ends, 02 records up to 0x100000 bytes and 04 records above.
std::string FormatIntelHex(const uint8_t* buffer, uint32_t size);
// Writes FormatIntelHex through a temporary file renamed over path; false when
// the file cannot be written.
bool SaveIntelHex(const std::string& path, const uint8_t* buffer, uint32_t size);

// Reads the whole file when it holds 1..capacity bytes; its length goes to
// *length when given. The rest of the buffer is left alone.
bool LoadBinaryFile(const std::string& path, uint8_t* buffer, std::size_t capacity, std::size_t* length = nullptr);
// Writes exactly count bytes through a temporary file renamed over path.
bool SaveBinaryFile(const std::string& path, const uint8_t* buffer, std::size_t count);

}  // namespace corvel
