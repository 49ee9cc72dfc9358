#include "core/format/hex/IntelHex.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>
#include <algorithm>

#include "core/base/DebugLog.h"
#include "core/base/FileActivity.h"
#include "core/base/FileUtil.h"

namespace corvel {

namespace {

// Digit values; anything that is not a hex digit counts as 0.
constexpr std::array<uint8_t, 256> MakeDigitTable() {
  std::array<uint8_t, 256> table{};
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 10);
  return table;
}
constexpr std::array<uint8_t, 256> kDigit = MakeDigitTable();

inline uint8_t HexByte(const char* p) {
  return static_cast<uint8_t>(kDigit[static_cast<uint8_t>(p[0])] << 4 | kDigit[static_cast<uint8_t>(p[1])]);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Where the next line break (CR or LF) lies in [from, to), or nullptr.
const char* FindLineBreak(const char* from, const char* to) {
  for (const char* p = from; p < to; ++p) {
    if (*p == '\n' || *p == '\r') return p;
  }
  return nullptr;
}

// Hands out the file's lines one at a time, reading in large blocks. A line
// ends at CR, LF or CR LF (the LF of a CR LF may lie in the next block). A
// line longer than kMaxLineLength stops the reading.
class LineReader {
 public:
  enum class Status { Line, End, TooLong, Error };

  explicit LineReader(std::FILE* file) : m_file(file), m_block(kBlock) {}

  Status Next(std::string_view& line) {
    for (;;) {
      if (m_pos < m_end && m_after_cr) {
        // The LF of a CR LF ends the line the CR already ended.
        if (m_block[m_pos] == '\n') ++m_pos;
        m_after_cr = false;
      }
      if (m_pos < m_end) {
        const char* start = m_block.data() + m_pos;
        const char* line_break = FindLineBreak(start, m_block.data() + m_end);
        if (line_break) {
          const std::size_t length = static_cast<std::size_t>(line_break - start);
          m_pos += length + 1;
          m_after_cr = *line_break == '\r';
          if (m_carry.empty()) {
            if (length > kMaxLineLength) return Status::TooLong;
            line = std::string_view(start, length);
          } else {
            m_carry.append(start, length);
            if (m_carry.size() > kMaxLineLength) return Status::TooLong;
            m_line.swap(m_carry);
            m_carry.clear();
            line = m_line;
          }
          return Status::Line;
        }
        m_carry.append(start, m_end - m_pos);
        m_pos = m_end;
        if (m_carry.size() > kMaxLineLength) return Status::TooLong;
      }
      if (m_eof) {
        if (m_carry.empty()) return Status::End;
        m_line.swap(m_carry);
        m_carry.clear();
        line = m_line;
        return Status::Line;
      }
      m_end = std::fread(m_block.data(), 1, m_block.size(), m_file);
      m_pos = 0;
      if (m_end < m_block.size()) {
        if (std::ferror(m_file)) return Status::Error;
        m_eof = true;
      }
    }
  }

 private:
  static constexpr std::size_t kBlock = 1 << 16;
  std::FILE* m_file;
  std::vector<char> m_block;
  std::size_t m_pos = 0;
  std::size_t m_end = 0;
  bool m_eof = false;
  bool m_after_cr = false;  // the last line ended at a CR
  std::string m_carry;
  std::string m_line;
};

// A file opened for reading, or why not. Only regular files are read: opening
// a pipe would wait for a writer, and a device or folder holds no image. The
// open does not block, so a pipe is refused at once.
struct OpenedFile {
  FilePtr file;
  std::optional<HexErrorKind> kind;
};

OpenedFile OpenRegularFile(const std::string& path) {
#ifdef _WIN32
  // Windows has no pipes or devices among file names a person picks; a
  // folder is what is refused there.
  if (!IsRegularFile(path)) {
    std::error_code error;
    return {nullptr, std::filesystem::exists(path, error) ? HexErrorKind::NotAFile : HexErrorKind::CannotOpen};
  }
  std::FILE* opened = std::fopen(path.c_str(), "rb");
  if (!opened) return {nullptr, HexErrorKind::CannotOpen};
  NoteFileRead(path);
  return {FilePtr(opened), std::nullopt};
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {nullptr, HexErrorKind::CannotOpen};
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return {nullptr, HexErrorKind::NotAFile};
  }
  std::FILE* file = ::fdopen(fd, "rb");
  if (!file) {
    ::close(fd);
    return {nullptr, HexErrorKind::CannotOpen};
  }
  NoteFileRead(path);
  return {FilePtr(file), std::nullopt};
#endif
}

}  // namespace

const char* HexErrorKindName(HexErrorKind kind) {
  switch (kind) {
    case HexErrorKind::CannotOpen: return "cannot open";
    case HexErrorKind::NotAFile: return "not a file";
    case HexErrorKind::ReadFailed: return "cannot read";
    case HexErrorKind::NoRecords: return "no records";
    case HexErrorKind::LineTooLong: return "line too long";
    case HexErrorKind::RecordCutShort: return "record cut short";
    case HexErrorKind::ShorterThanCount: return "record shorter than its count";
    case HexErrorKind::BadChecksum: return "bad checksum";
    case HexErrorKind::BeyondImage: return "data beyond the end of the image";
    case HexErrorKind::Overlap: return "data overlaps earlier data";
    case HexErrorKind::AddressRecordShort: return "address record without its two bytes";
    case HexErrorKind::UnknownType: return "unknown record type";
    case HexErrorKind::TextAfterRecord: return "text after the record's checksum";
  }
  return "unknown";
}

Result<HexLine, HexErrorKind> DecodeHexLine(std::string_view line, HexRecord& record) {
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::size_t colon = line.find(kRecordStart);
  if (colon == std::string_view::npos) return HexLine::Blank;  // blank or comment line
  const std::string_view text = line.substr(colon + 1);
  if (text.size() < kRecordHeaderDigits) return Fail(HexErrorKind::RecordCutShort);
  const char* p = text.data();
  record.count = HexByte(p);
  const uint8_t address_high = HexByte(p + 2);
  const uint8_t address_low = HexByte(p + 4);
  record.address = static_cast<uint16_t>(address_high << 8 | address_low);
  record.type = HexByte(p + 6);
  if (text.size() < kRecordHeaderDigits + 2u * record.count + kRecordChecksumDigits) {
    return Fail(HexErrorKind::ShorterThanCount);
  }
  uint8_t sum = static_cast<uint8_t>(record.count + address_high + address_low + record.type);
  p += kRecordHeaderDigits;
  for (unsigned i = 0; i < record.count; ++i, p += 2) {
    record.data[i] = HexByte(p);
    sum = static_cast<uint8_t>(sum + record.data[i]);
  }
  sum = static_cast<uint8_t>(sum + HexByte(p));
  if (sum != 0) return Fail(HexErrorKind::BadChecksum);
  const std::string_view rest = text.substr(kRecordHeaderDigits + 2u * record.count + kRecordChecksumDigits);
  // White space may follow, and the Ctrl+Z that old DOS tools put after the
  // last record; anything else is a second record or stray text.
  if (rest.find_first_not_of(" \t\v\f\x1a") != std::string_view::npos) return Fail(HexErrorKind::TextAfterRecord);
  return HexLine::Record;
}

IntelHexParser::Step IntelHexParser::Fail(HexErrorKind kind) {
  m_error = HexError{kind, "", m_line, HexErrorKindName(kind)};
  DebugPrintf("Intel HEX line %u: %s", m_line, HexErrorKindName(kind));
  return Step::Fail;
}

IntelHexParser::Step IntelHexParser::Line(std::string_view line) {
  ++m_line;
  HexRecord record;
  const auto decoded = DecodeHexLine(line, record);
  if (!decoded) return Fail(decoded.error());
  if (*decoded == HexLine::Blank) return Step::Continue;
  ++m_records;
  const auto applied = Apply(record);
  if (!applied) return Fail(applied.error());
  return *applied;
}

Result<IntelHexParser::Step, HexErrorKind> IntelHexParser::Apply(const HexRecord& record) {
  switch (record.type) {
    case kRecordData: {
      // 64-bit so that a record near the top of the address space cannot wrap
      // round to the start of the image.
      const uint64_t target = m_base + record.address;
      if (target + record.count > m_size) return corvel::Fail(HexErrorKind::BeyondImage);
      uint8_t* destination = m_buffer + target;
      for (unsigned i = 0; i < record.count; ++i) {
        if (destination[i] != kErasedByte) return corvel::Fail(HexErrorKind::Overlap);
        destination[i] = record.data[i];
      }
      return Step::Continue;
    }
    case kRecordEndOfFile:
      return Step::End;
    case kRecordExtendedSegmentAddress: {
      if (record.count < 2) return corvel::Fail(HexErrorKind::AddressRecordShort);
      const uint64_t previous = m_base;
      uint64_t base = static_cast<uint64_t>(record.data[0] << 8 | record.data[1]) << 4;
      // Images above 1 MiB written with segment records start again at
      // segment 0; continue them a MiB further up.
      if (m_wrap_segments) {
        while (base < previous && base < m_size) base += kSegmentWrap;
      }
      m_base = base;
      return Step::Continue;
    }
    case kRecordExtendedLinearAddress:
      if (record.count < 2) return corvel::Fail(HexErrorKind::AddressRecordShort);
      m_base = static_cast<uint64_t>(record.data[0] << 8 | record.data[1]) << 16;
      return Step::Continue;
    case kRecordStartSegmentAddress:
    case kRecordStartLinearAddress:
      return Step::Continue;
    default:
      return corvel::Fail(HexErrorKind::UnknownType);
  }
}

static void Erase(uint8_t* buffer, uint32_t size) {
  if (size > 0) std::memset(buffer, kErasedByte, size);  // an empty image may have no buffer at all
}

static HexLoad Failure(HexErrorKind kind, const std::string& file, unsigned line) {
  return corvel::Fail(HexError{kind, file, line, HexErrorKindName(kind)});
}

HexLoad ReadIntelHexText(std::string_view text, uint8_t* buffer, uint32_t size, bool wrap_segments) {
  Erase(buffer, size);
  IntelHexParser parser(buffer, size, wrap_segments);
  while (!text.empty()) {
    const std::size_t newline = text.find_first_of("\r\n");
    const std::string_view line = text.substr(0, newline);
    if (line.size() > kMaxLineLength) {
      DebugPrintf("Intel HEX line %u: line too long", parser.LineNumber() + 1);
      return Failure(HexErrorKind::LineTooLong, "", parser.LineNumber() + 1);
    }
    switch (parser.Line(line)) {
      case IntelHexParser::Step::End:
        return {};
      case IntelHexParser::Step::Fail:
        return corvel::Fail(parser.Error());
      case IntelHexParser::Step::Continue:
        break;
    }
    if (newline == std::string_view::npos) break;
    // CR, LF and CR LF each end one line.
    const bool crlf = text[newline] == '\r' && newline + 1 < text.size() && text[newline + 1] == '\n';
    text.remove_prefix(newline + (crlf ? 2 : 1));
  }
  if (!parser.Finish()) {
    DebugPrintf("Intel HEX: no records");
    return Failure(HexErrorKind::NoRecords, "", 0);
  }
  return {};
}

bool ParseIntelHex(std::string_view text, uint8_t* buffer, uint32_t size, bool wrap_segments) {
  return ReadIntelHexText(text, buffer, size, wrap_segments).ok();
}

bool LoadIntelHex(const std::string& path, uint8_t* buffer, uint32_t size, bool wrap_segments) {
  return ReadIntelHexFile(path, buffer, size, wrap_segments).ok();
}

HexLoadResult HexLoadResultOf(const HexLoad& load) {
  if (load) return HexLoadResult::Ok;
  return load.error().kind == HexErrorKind::CannotOpen ? HexLoadResult::CannotOpen : HexLoadResult::Invalid;
}

HexLoadResult LoadIntelHexFile(const std::string& path, uint8_t* buffer, uint32_t size, bool wrap_segments) {
  return HexLoadResultOf(ReadIntelHexFile(path, buffer, size, wrap_segments));
}

HexLoad ReadIntelHexFile(const std::string& path, uint8_t* buffer, uint32_t size, bool wrap_segments) {
  Erase(buffer, size);
  OpenedFile opened = OpenRegularFile(path);
  if (opened.kind) {
    DebugPrintf(*opened.kind == HexErrorKind::CannotOpen ? "Cannot open %s" : "Cannot read %s", path.c_str());
    return Failure(*opened.kind, path, 0);
  }
  IntelHexParser parser(buffer, size, wrap_segments);
  LineReader reader(opened.file.get());
  std::string_view line;
  for (;;) {
    switch (reader.Next(line)) {
      case LineReader::Status::Line:
        break;
      case LineReader::Status::End:
        if (parser.Finish()) return {};
        DebugPrintf("Intel HEX: no records in %s", path.c_str());
        return Failure(HexErrorKind::NoRecords, path, 0);
      case LineReader::Status::TooLong:
        DebugPrintf("Intel HEX line %u: line too long", parser.LineNumber() + 1);
        return Failure(HexErrorKind::LineTooLong, path, parser.LineNumber() + 1);
      case LineReader::Status::Error:
        DebugPrintf("Cannot read %s", path.c_str());
        return Failure(HexErrorKind::ReadFailed, path, parser.LineNumber() + 1);
    }
    switch (parser.Line(line)) {
      case IntelHexParser::Step::End:
        return {};
      case IntelHexParser::Step::Fail: {
        HexError error = parser.Error();
        error.file = path;
        return corvel::Fail(std::move(error));
      }
      case IntelHexParser::Step::Continue:
        break;
    }
  }
}

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

inline char* PutByte(char* out, uint8_t value) {
  out[0] = kHexDigits[value >> 4];
  out[1] = kHexDigits[value & 0x0F];
  return out + 2;
}

// One record with its checksum and CR LF.
char* PutRecord(char* out, uint8_t count, uint16_t address, uint8_t type, const uint8_t* data) {
  *out++ = kRecordStart;
  out = PutByte(out, count);
  out = PutByte(out, static_cast<uint8_t>(address >> 8));
  out = PutByte(out, static_cast<uint8_t>(address));
  out = PutByte(out, type);
  uint8_t sum = static_cast<uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
  for (unsigned i = 0; i < count; ++i) {
    out = PutByte(out, data[i]);
    sum = static_cast<uint8_t>(sum + data[i]);
  }
  out = PutByte(out, static_cast<uint8_t>(-sum));
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

}  // namespace

std::string FormatIntelHex(const uint8_t* buffer, uint32_t size) {
  const uint8_t address_type = size > kSegmentRecordLimit ? kRecordExtendedLinearAddress : kRecordExtendedSegmentAddress;
  const uint64_t records = (static_cast<uint64_t>(size) + kBytesPerRecord - 1) / kBytesPerRecord;
  const uint64_t windows = (static_cast<uint64_t>(size) + kAddressWindow - 1) / kAddressWindow;
  constexpr std::size_t kLineOverhead = 1 + kRecordHeaderDigits + kRecordChecksumDigits + 2;
  std::string text;
  text.resize(records * (kLineOverhead + 2 * kBytesPerRecord) + windows * (kLineOverhead + 4) + kLineOverhead);
  char* out = text.data();
  uint64_t base = 0;
  uint32_t offset = 0;
  uint64_t position = 0;
  while (position < size) {
    if (offset == kAddressWindow) {
      offset = 0;
      base += kAddressWindow;
      uint8_t address[2];
      if (address_type == kRecordExtendedSegmentAddress) {
        address[0] = static_cast<uint8_t>(base / 4096);  // segment base / 16, high byte
        address[1] = 0;
      } else {
        address[0] = static_cast<uint8_t>(base >> 24);
        address[1] = static_cast<uint8_t>(base >> 16);
      }
      out = PutRecord(out, 2, 0, address_type, address);
    }
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kBytesPerRecord, size - position));
    out = PutRecord(out, static_cast<uint8_t>(count), static_cast<uint16_t>(offset), kRecordData, buffer + position);
    position += count;
    offset += count;
  }
  out = PutRecord(out, 0, 0, kRecordEndOfFile, nullptr);
  text.resize(static_cast<std::size_t>(out - text.data()));
  return text;
}

bool SaveIntelHex(const std::string& path, const uint8_t* buffer, uint32_t size) {
  return WriteFileAtomically(path, FormatIntelHex(buffer, size));
}

bool LoadBinaryFile(const std::string& path, uint8_t* buffer, std::size_t capacity, std::size_t* length) {
  OpenedFile opened = OpenRegularFile(path);
  if (opened.kind) {
    DebugPrintf(*opened.kind == HexErrorKind::CannotOpen ? "Cannot open %s" : "Cannot read %s", path.c_str());
    return false;
  }
  FilePtr file = std::move(opened.file);
  std::error_code error;
  const auto file_length = static_cast<uint64_t>(std::filesystem::file_size(path, error));
  if (error) {
    DebugPrintf("Cannot read %s", path.c_str());
    return false;
  }
  if (file_length == 0 || file_length > capacity) {
    DebugPrintf("%s holds %llu bytes, room for %zu", path.c_str(), static_cast<unsigned long long>(file_length),
                capacity);
    return false;
  }
  const std::size_t read = std::fread(buffer, 1, static_cast<std::size_t>(file_length), file.get());
  if (read != file_length) {
    DebugPrintf("Cannot read %s", path.c_str());
    return false;
  }
  if (length) *length = read;
  return true;
}

bool SaveBinaryFile(const std::string& path, const uint8_t* buffer, std::size_t count) {
  return WriteFileAtomically(path, std::span<const uint8_t>(buffer, count));
}

}  // namespace corvel
