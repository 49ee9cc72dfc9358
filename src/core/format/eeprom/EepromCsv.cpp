#include "core/format/eeprom/EepromCsv.h"

#include <cstdio>

#include "core/format/eeprom/EepromImage.h"
#include "core/base/Text.h"

namespace corvel {

namespace {

namespace text {
#define CORVEL_CSV_AT_LINE "Import error on line %d:"
inline constexpr const char* kNoMoreLines = CORVEL_CSV_AT_LINE;
inline constexpr const char* kOneColumn = CORVEL_CSV_AT_LINE " Only one column found";
inline constexpr const char* kInvalidDataType = CORVEL_CSV_AT_LINE " Invalid data type";
inline constexpr const char* kTwoColumns = CORVEL_CSV_AT_LINE " Only two columns found";
inline constexpr const char* kEmptyName = CORVEL_CSV_AT_LINE;
inline constexpr const char* kExpected = CORVEL_CSV_AT_LINE " Expected  %s, found %s";
inline constexpr const char* kMissingData = CORVEL_CSV_AT_LINE " Missing data";
inline constexpr const char* kInvalidFormat = CORVEL_CSV_AT_LINE " Data in invalid format";
#undef CORVEL_CSV_AT_LINE
}  // namespace text


std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kCsvTrim);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kCsvTrim);
  return s.substr(first, last - first + 1);
}

void Export(const EepromItem& item, int depth, std::string& out) {
  if (item.skip_count != 0) return;
  if (depth > 0 || !item.IsDescribed()) {
    out += item.type_name;
    out += kCsvSeparator;
    out += item.instance_name;
    out += kCsvSeparator;
    out += item.ValueText();
    out += '\n';
  }
  if (!item.IsDescribed()) return;
  for (const auto& member : item.Members()) Export(*member, depth + 1, out);
}

// Reads the text a line at a time, as a text file is read: lines end at a
// line feed only.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : m_text(text) {}
  bool Next(std::string_view& line) {
    if (m_pos >= m_text.size()) return false;
    const auto end = m_text.find('\n', m_pos);
    const std::size_t stop = end == std::string_view::npos ? m_text.size() : end;
    line = m_text.substr(m_pos, stop - m_pos);
    m_pos = stop + 1;
    ++m_count;
    return true;
  }
  int Count() const { return m_count; }

 private:
  std::string_view m_text;
  std::size_t m_pos = 0;
  int m_count = 0;
};

using Import = Result<void, CsvError>;

Failed<CsvError> Error(CsvErrorKind kind, std::string message, int line) {
  return Fail(CsvError{kind, static_cast<uint32_t>(line), std::move(message)});
}

Import ImportItem(EepromItem& item, int depth, LineReader& lines);

Import ImportMembers(EepromItem& item, int depth, LineReader& lines) {
  for (std::size_t i = 0; i < item.MemberCount(); ++i) {
    if (Import done = ImportItem(item.Member(i), depth + 1, lines); !done) return done;
  }
  return {};
}

Import ImportItem(EepromItem& item, int depth, LineReader& lines) {
  if (item.skip_count != 0) return {};
  if (depth == 0 && item.IsDescribed()) return ImportMembers(item, depth, lines);
  std::string_view line;
  if (!lines.Next(line)) return Error(CsvErrorKind::MissingLine, Format(text::kNoMoreLines, lines.Count()), lines.Count());
  const int n = lines.Count();
  const auto first = line.find(kCsvSeparator);
  if (first == std::string_view::npos) return Error(CsvErrorKind::OneColumn, Format(text::kOneColumn, n), n);
  if (Trim(line.substr(0, first)).empty()) {
    return Error(CsvErrorKind::InvalidDataType, Format(text::kInvalidDataType, n), n);
  }
  const auto second = line.find(kCsvSeparator, first + 1);
  if (second == std::string_view::npos) return Error(CsvErrorKind::TwoColumns, Format(text::kTwoColumns, n), n);
  const std::string name(Trim(line.substr(first + 1, second - first - 1)));
  if (name.empty()) return Error(CsvErrorKind::EmptyName, Format(text::kEmptyName, n), n);
  if (name != item.instance_name) {
    return Error(CsvErrorKind::NameMismatch, Format(text::kExpected, n, item.instance_name.c_str(), name.c_str()),
                 n);
  }
  const auto third_end = line.find(kCsvSeparator, second + 1);
  const std::string value(Trim(line.substr(second + 1, third_end == std::string_view::npos
                                                            ? std::string_view::npos
                                                            : third_end - second - 1)));
  if (item.IsDescribed()) return ImportMembers(item, depth, lines);
  if (item.type_code == TypeCode::kByte && item.char_display) {
    item.byte_value = ' ';
    return {};
  }
  if (value.empty()) return Error(CsvErrorKind::MissingData, Format(text::kMissingData, n), n);
  if (!EditItemValue(item, value).parsed) {
    return Error(CsvErrorKind::InvalidFormat, Format(text::kInvalidFormat, n), n);
  }
  return {};
}

}  // namespace

std::string ExportCsv(const EepromItem& item) {
  std::string out;
  Export(item, 0, out);
  return out;
}

Result<void, CsvError> ImportCsv(EepromItem& item, std::string_view text) {
  LineReader lines(text);
  return ImportItem(item, 0, lines);
}

}  // namespace corvel
