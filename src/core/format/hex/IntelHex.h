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
// After the checksum only white space may follow: anything else (a second
// record run onto the same line, stray text) makes the record a broken one.
// A line ends at CR, LF or CR LF, whichever the file's writer used.
// Images are fixed-size byte arrays whose unwritten bytes are 0xFF.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/Outcome.h"

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

// Why a text or file did not load as Intel HEX.
enum class HexErrorKind {
  CannotOpen,          // the file could not be opened
  NotAFile,            // a folder, a pipe or a device: no image is read from those
  ReadFailed,          // reading the file stopped with an error
  NoRecords,           // the text holds not one record
  LineTooLong,         // a line longer than kMaxLineLength
  RecordCutShort,      // fewer digits than count, address and type need
  ShorterThanCount,    // fewer data and checksum digits than the count says
  BadChecksum,         // the record's bytes do not sum to 0
  BeyondImage,         // data past the end of the image
  Overlap,             // data on a byte that is no longer 0xFF
  AddressRecordShort,  // an extended address record without its two bytes
  UnknownType,         // a record type other than 00..05
  TextAfterRecord,     // something other than white space after the checksum
};
// The reason as the trace says it ("bad checksum").
const char* HexErrorKindName(HexErrorKind kind);
// The kind, the file (empty for a text in memory) and the 1-based line (0
// when no line is to blame: the file could not be opened, held no record).
// text carries the reason as the trace says it; the tools word the message.
using HexError = ParseError<HexErrorKind>;
using HexLoad = Result<void, HexError>;

// One record as it stands on its line, before it touches any image.
struct HexRecord {
  uint8_t count = 0;
  uint16_t address = 0;
  uint8_t type = 0;
  uint8_t data[255] = {};
};
// A line either holds a record or is blank (no ":" in it).
enum class HexLine { Blank, Record };
// Decodes one line (without its line break; trailing carriage returns are
// allowed) into record. Checks the fields' lengths, the checksum and that
// nothing but white space follows it.
Result<HexLine, HexErrorKind> DecodeHexLine(std::string_view line, HexRecord& record);

// Reads an Intel HEX text into buffer[0..size-1] line by line. The caller fills
// the buffer with 0xFF first (LoadIntelHex does). Each data byte must land on a
// byte that is still 0xFF: that is how overlapping records, and overlapping
// files merged into one image, are found.
class IntelHexParser {
 public:
  enum class Step { Continue, End, Fail };

  IntelHexParser(uint8_t* buffer, uint32_t size, bool wrap_segments)
      : m_buffer(buffer), m_size(size), m_wrap_segments(wrap_segments) {}

  // One line, without its line break (a trailing carriage return is allowed):
  // decoded, then applied to the image. After Fail, Error() says why.
  Step Line(std::string_view line);
  // What a decoded record does to the image and the address base.
  Result<Step, HexErrorKind> Apply(const HexRecord& record);
  // After the last line: true when the text held at least one record.
  bool Finish() const { return m_records > 0; }
  uint64_t Base() const { return m_base; }
  unsigned LineNumber() const { return m_line; }
  const HexError& Error() const { return m_error; }

 private:
  Step Fail(HexErrorKind kind);

  uint8_t* m_buffer;
  uint32_t m_size;
  bool m_wrap_segments;
  uint64_t m_base = 0;
  unsigned m_line = 0;
  unsigned m_records = 0;
  HexError m_error;
};

// Fills buffer[0..size-1] with 0xFF, then reads the file into it. A missing
// end-of-file record is success. On failure the buffer holds what was read up
// to the failing record. A text with no record at all fails, and so does a
// path that names no regular file (a pipe would never end).
HexLoad ReadIntelHexFile(const std::string& path, uint8_t* buffer, uint32_t size, bool wrap_segments = false);
// The same for a text already in memory.
HexLoad ReadIntelHexText(std::string_view text, uint8_t* buffer, uint32_t size, bool wrap_segments = false);

// ReadIntelHexFile, true on success.
bool LoadIntelHex(const std::string& path, uint8_t* buffer, uint32_t size, bool wrap_segments = false);
// ReadIntelHexFile, telling a file that cannot be opened from one that is not valid.
enum class HexLoadResult { Ok, CannotOpen, Invalid };
HexLoadResult LoadIntelHexFile(const std::string& path, uint8_t* buffer, uint32_t size, bool wrap_segments = false);
HexLoadResult HexLoadResultOf(const HexLoad& load);
// ReadIntelHexText, true on success.
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
