#include "core/format/eeprom/EepromDefinitionLibrary.h"

#include <charconv>
#include <cstdio>

#include "core/base/DebugLog.h"
#include "core/base/FileUtil.h"
#include "core/format/eeprom/EepromMessages.h"
#include "core/base/Text.h"

namespace corvel {

namespace {

namespace text = eeprom_text;

constexpr const char* kTokenDelimiters = "\n\r\t ";
constexpr const char* kNameTrim = "\n\r\t \"";


void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
}

// An unsigned decimal number: leading blanks skipped, reading stops at the
// first non-digit; at least one digit. Numbers beyond 32 bits saturate.
bool ReadUnsigned(const std::string& s, std::size_t& pos, uint32_t& value) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
  if (pos >= s.size() || s[pos] < '0' || s[pos] > '9') return false;
  uint64_t v = 0;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
    v = v * 10 + static_cast<uint64_t>(s[pos] - '0');
    if (v > 0xFFFFFFFFu) v = 0x100000000u;
    ++pos;
  }
  value = v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
  return true;
}

// The array text "8", "8,1" or "8:1": a count, then optionally any one
// character and a start index. The start counts only when all three are there.
bool ReadArrayText(const std::string& s, uint32_t& count, uint32_t& start) {
  std::size_t pos = 0;
  if (!ReadUnsigned(s, pos, count)) return false;
  start = 0;
  if (pos < s.size()) {
    ++pos;  // the separator, whatever it is
    uint32_t index = 0;
    if (ReadUnsigned(s, pos, index)) start = index;
  }
  return true;
}

struct TypeKeyword {
  const char* keyword;
  const char* canonical;
  TypeCode code;
};
constexpr TypeKeyword kTypeKeywords[] = {
    {"B", "BYTE", TypeCode::kByte},    {"BYTE", "BYTE", TypeCode::kByte},    {"UINT8_T", "BYTE", TypeCode::kByte},
    {"W", "WORD", TypeCode::kWord},    {"WORD", "WORD", TypeCode::kWord},    {"UINT16_T", "WORD", TypeCode::kWord},
    {"I", "INT", TypeCode::kInt},      {"INT", "INT", TypeCode::kInt},       {"INT16_T", "INT", TypeCode::kInt},
    {"D", "DWORD", TypeCode::kDword},  {"DWORD", "DWORD", TypeCode::kDword}, {"UINT32_T", "DWORD", TypeCode::kDword},
    {"F", "FLOAT", TypeCode::kFloat},  {"FLOAT", "FLOAT", TypeCode::kFloat},
};

// Parses one logical line token by token.
class LineParser {
 public:
  LineParser(const std::string& line, const SymbolTable* symbols) : m_line(line), m_symbols(symbols) {}

  DefinitionLine Parse() {
    if (m_line.find_first_not_of(kTokenDelimiters) == std::string::npos) return m_d;  // blank
    for (;;) {
      const std::size_t scan_begin = m_pos;
      const std::size_t start = m_line.find_first_not_of(kTokenDelimiters, m_pos);
      if (start == std::string::npos) break;
      std::size_t end = m_line.find_first_of(kTokenDelimiters, start);
      if (end == std::string::npos) end = m_line.size();
      std::string token = m_line.substr(start, end - start);
      m_token_start = start;
      m_pos = end < m_line.size() ? end + 1 : end;

      if (token.back() == ';' || token.back() == ',') token.pop_back();
      if (token.empty()) break;  // the rest of the line is ignored

      if (m_symbols && !m_define) {
        const std::string& replacement = m_symbols->Lookup(token);
        if (replacement != token) {
          if (!Substitute(scan_begin, replacement)) break;
          continue;
        }
      }
      ++m_tokens;
      if (token[0] == '#') {
        Directive(token.substr(1));
      } else if (token[0] == '-') {
        Option(token.substr(1));
      } else {
        Name(token);
      }
      if (Failed() || m_done) break;
    }
    if (Failed()) return m_d;
    if (m_define) {
      if (!m_symbol_read) {
        Fail();
      } else {
        m_d.kind = LineKind::Define;
      }
      return m_d;
    }
    if (m_include) {
      m_d.kind = LineKind::Include;
      return m_d;
    }
    Validate();
    if (!Failed()) m_d.kind = m_start ? LineKind::Start : m_end ? LineKind::End : LineKind::Field;
    return m_d;
  }

 private:
  bool Failed() const { return m_d.kind == LineKind::Error; }
  void Fail(std::string error_text = {}) {
    if (Failed()) return;  // the first error met is the one reported
    m_d.kind = LineKind::Error;
    m_d.error_text = std::move(error_text);
  }

  // The line again with the replacement in place of the token; the scan goes
  // on where the token began, so the replacement may hold several tokens.
  bool Substitute(std::size_t scan_begin, const std::string& replacement) {
    if (++m_substitutions > kMaxSymbolSubstitutionsPerLine) {
      Fail(text::kSubstitutionDoesNotEnd);
      return false;
    }
    std::string rebuilt = m_line.substr(0, scan_begin);
    rebuilt += ' ';
    rebuilt += replacement;
    rebuilt += ' ';
    rebuilt += m_line.substr(m_pos);
    if (rebuilt.size() > kMaxLogicalLineLength) {
      Fail(text::kSubstitutionDoesNotEnd);
      return false;
    }
    m_line = std::move(rebuilt);
    m_pos = scan_begin;
    return true;
  }

  std::string RestOfLine() const { return Trim(m_pos < m_line.size() ? m_line.substr(m_pos) : "", kNameTrim); }

  void Directive(const std::string& word) {
    if (word.empty()) return Fail(text::kEmptyDirective);
    if (EqualsNoCase(word, "include")) {
      m_include = true;
      m_d.first_name = RestOfLine();
      if (m_d.first_name.empty() || m_tokens != 1) Fail();
      m_done = true;
    } else if (EqualsNoCase(word, "define")) {
      m_define = true;
    } else {
      Fail(Format(text::kUnrecognizedDirective, word.c_str()));
    }
  }

  // The value between the first double quote at or after the fifth character
  // of the token and the next one, taken from the line so it may hold blanks.
  bool Quoted(std::string& value, const char* missing_first, const char* missing_second) {
    const std::size_t open = m_line.find('"', m_token_start + 4);
    if (open == std::string::npos) {
      Fail(missing_first);
      return false;
    }
    const std::size_t close = m_line.find('"', open + 1);
    if (close == std::string::npos) {
      Fail(missing_second);
      return false;
    }
    value = m_line.substr(open + 1, close - open - 1);
    m_pos = close + 1;
    return true;
  }

  void Option(const std::string& word) {
    if (word.empty()) return Fail(text::kEmptyOption);
    if (EqualsNoCase(word, "chk")) {
      m_d.checksum_kind = ChecksumKind::kChk;
    } else if (EqualsNoCase(word, "crc16")) {
      m_d.checksum_kind = ChecksumKind::kCrc16;
    } else if (EqualsNoCase(word, "crc32")) {
      m_d.checksum_kind = ChecksumKind::kCrc32;
    } else if (EqualsNoCase(word, "chkmsb")) {
      m_d.checksum_kind = ChecksumKind::kChkMsb;
    } else if (EqualsNoCase(word, "crc16msb")) {
      m_d.checksum_kind = ChecksumKind::kCrc16Msb;
    } else if (EqualsNoCase(word, "crc32msb")) {
      m_d.checksum_kind = ChecksumKind::kCrc32Msb;
    } else if (Upper(word[0]) == 'A') {
      m_d.array = ArraySpec{};
      const std::string rest = word.substr(1);
      if (rest.empty()) return Fail(text::kMustIncludeArrayLength);
      if (!ReadArrayText(rest, m_d.array->count, m_d.array->start)) return Fail(text::kArrayFormatIncorrect);
    } else if (Upper(word[0]) == 'V') {
      const std::string version = word.substr(1);
      if (version.empty() || m_d.first_name.empty()) return Fail(text::kVersionStringEmpty);
      m_d.version_text = version;
      m_d.first_name += version;
    } else if (StartsWithNoCase(word, "file")) {
      m_d.file_type = true;
      if (word.size() > 4) {
        Quoted(m_d.file_type_name, text::kMissingQuotesFileName, text::kMissingSecondQuoteFileName);
      }
    } else if (StartsWithNoCase(word, "swver")) {
      if (word.size() == 5) return Fail(text::kEmptySoftwareVersion);
      std::string version;
      if (!Quoted(version, text::kMissingQuotesSoftwareVersion, text::kMissingSecondQuoteSoftwareVersion)) return;
      if (version.empty()) return Fail(text::kEmptySoftwareVersion);
      m_d.software_versions.push_back(Upper(version));
    } else if (StartsWithNoCase(word, "equip")) {
      if (m_equipment_seen) return Fail(text::kMoreThanOneEquipment);
      if (word.size() == 5) return Fail(text::kEquipmentNeedsString);
      std::string equipment;
      if (!Quoted(equipment, text::kMissingQuotesEquipment, text::kMissingSecondQuoteEquipment)) return;
      if (equipment.empty()) return Fail(text::kEquipmentEmpty);
      m_d.equipment = Upper(equipment);
      m_equipment_seen = true;
    } else if (EqualsNoCase(word, "start")) {
      m_start = true;
      m_d.type_code = TypeCode::kDescribed;
    } else if (EqualsNoCase(word, "end")) {
      m_end = true;
      m_d.type_code = TypeCode::kDescribed;
    } else if (EqualsNoCase(word, "hex")) {
      m_d.hex_display = true;
    } else if (EqualsNoCase(word, "char")) {
      m_d.char_display = true;
    } else if (StartsWithNoCase(word, "label\"")) {
      std::string label;
      if (!Quoted(label, text::kLabelMustBeInQuotes, text::kMissingSecondQuoteLabel)) return;
      ReplaceAll(label, "\\n", "\n");
      ReplaceAll(label, "\\t", "\t");
      ReplaceAll(label, "\\b", "\b");
      m_d.label = label;
    } else if (StartsWithNoCase(word, "skip")) {
      m_d.skip_count = 1;
      if (word.size() > 4) {
        std::size_t pos = 4;
        if (!ReadUnsigned(word, pos, m_d.skip_count)) return Fail(text::kSkipLengthFormat);
      }
    } else {
      Fail(Format(text::kUnknownOption, word.c_str()));
    }
  }

  void Name(const std::string& token) {
    if (m_define) {
      // The symbol: it must be the token right after the directive.
      if (m_tokens != 2) return Fail();
      m_d.first_name = Upper(token);
      m_d.second_name = RestOfLine();
      m_symbol_read = true;
      m_done = true;
      return;
    }
    ++m_name_count;
    if (m_name_count == 1) {
      m_d.first_name = Upper(token);
      m_d.type_code = TypeCode::kDescribed;
      for (const auto& k : kTypeKeywords) {
        if (m_d.first_name == k.keyword) {
          m_d.first_name = k.canonical;
          m_d.type_code = k.code;
          break;
        }
      }
    } else if (m_name_count == 2) {
      // NAME[8] or NAME[8,1] declares an array as -a8 or -a8,1 would.
      const std::size_t open = token.size() > 1 ? token.find('[', 1) : std::string::npos;
      if (token.back() == ']' && open != std::string::npos && open + 2 < token.size()) {
        ArraySpec array;
        if (ReadArrayText(token.substr(open + 1, token.size() - open - 2), array.count, array.start)) {
          m_d.array = array;
          m_d.second_name = Upper(token.substr(0, open));
          return;
        }
      }
      m_d.second_name = Upper(token);
    } else {
      Fail(text::kTooManyNames);
    }
  }

  void Validate() {
    DefinitionLine& d = m_d;
    const bool has_name = !d.first_name.empty();
    if (!has_name || d.type_code == TypeCode::kNoType) return Fail();
    if (m_start && m_end) return Fail(text::kStartEndOptions);
    if ((m_start || m_end) && (d.type_code != TypeCode::kDescribed || d.array || m_name_count > 1)) {
      return Fail(text::kStartEndOptions);
    }
    if (d.file_type && !m_start) return Fail(text::kFileTypeOnlyAtStart);
    if (!(m_start && d.file_type) && (!d.software_versions.empty() || m_equipment_seen)) {
      return Fail(text::kEquipmentOnlyAtFileTypeStart);
    }
    if (d.skip_count != 0 && m_end) return Fail(text::kSkipOnlyAtBeginning);
    if (d.hex_display && d.type_code != TypeCode::kByte && d.type_code != TypeCode::kWord && d.type_code != TypeCode::kDword) {
      return Fail(text::kNoHexForType);
    }
    if (d.char_display && (d.hex_display || d.type_code != TypeCode::kByte)) return Fail(text::kCharDisplayNotValid);
    // A typing slip such as -a4000000000 would otherwise build billions of fields.
    if (d.array && d.array->count > kMaxArrayCount) return Fail(Format(text::kArrayTooLong, kMaxArrayCount));
  }

  std::string m_line;
  const SymbolTable* m_symbols;
  DefinitionLine m_d;
  std::size_t m_pos = 0;
  std::size_t m_token_start = 0;
  int m_tokens = 0;
  int m_substitutions = 0;
  bool m_done = false;
  bool m_symbol_read = false;
  bool m_equipment_seen = false;
  // What the line turned out to be, as its tokens say.
  bool m_define = false;
  bool m_include = false;
  bool m_start = false;
  bool m_end = false;
  int m_name_count = 0;
};

// The folder part of a library path, with its separator; "" when there is none.
std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The physical lines of a file's text, one at a time, as views into the
// text: line ends removed, a carriage return before the line feed too. A
// file of millions of blank lines costs no more than its own bytes.
class PhysicalLines {
 public:
  explicit PhysicalLines(std::string_view content) : m_content(content) {}
  bool AtEnd() const { return m_start >= m_content.size(); }
  std::string_view Next() {
    std::size_t end = m_content.find('\n', m_start);
    if (end == std::string_view::npos) end = m_content.size();
    std::size_t stop = end;
    if (stop > m_start && m_content[stop - 1] == '\r') --stop;
    const std::string_view line = m_content.substr(m_start, stop - m_start);
    m_start = end + 1;
    return line;
  }

 private:
  std::string_view m_content;
  std::size_t m_start = 0;
};

// Comment removal: false for a blank line. Everything from the first "//"
// on goes, even inside quotes. The first `clean` characters are known to be
// the start of a line already stripped (a continued line), so only what was
// joined to them is searched: a long continuation costs linear time.
bool StripComment(std::string& line, std::size_t clean = 0) {
  if (clean == 0) {
    const auto first = line.find_first_not_of(kWhiteSpace);
    if (first == std::string::npos) return false;
    line.erase(0, first);
    if (line.compare(0, 2, "//") == 0) return false;
  }
  // A "//" may begin on the last character of the clean part.
  const auto comment = line.find("//", clean == 0 ? 0 : clean - 1);
  if (comment != std::string::npos) line.erase(comment);
  const auto last = line.find_last_not_of(kWhiteSpace);
  if (last == std::string::npos) return false;
  line.erase(last + 1);
  return true;
}

bool EndsWithContinuation(const std::string& line) {
  if (line.empty() || line.back() != '\\') return false;
  if (line.size() == 1) return true;
  const char before = line[line.size() - 2];
  return before == ' ' || before == '\t';
}

}  // namespace

// --- SymbolTable ------------------------------------------------------------

void SymbolTable::Define(const std::string& name, const std::string& replacement) {
  const std::string key = Upper(name);
  const auto found = m_index.find(key);
  if (found != m_index.end()) {
    m_symbols[found->second].second = replacement;
    return;
  }
  m_index.emplace(key, m_symbols.size());
  m_symbols.emplace_back(key, replacement);
}

const std::string* SymbolTable::Find(const std::string& upper_name) const {
  for (const SymbolTable* table = this; table; table = table->m_parent) {
    if (table->m_symbols.empty()) continue;
    const auto found = table->m_index.find(upper_name);
    if (found != table->m_index.end()) return &table->m_symbols[found->second].second;
  }
  return nullptr;
}

const std::string& SymbolTable::Lookup(const std::string& name) const {
  bool any = false;
  for (const SymbolTable* table = this; table && !any; table = table->m_parent) any = !table->m_symbols.empty();
  if (!any) return name;
  const std::string* found = Find(Upper(name));
  return found ? *found : name;
}

// --- Parsing ----------------------------------------------------------------

DefinitionLine ParseDefinitionLine(const std::string& line, const SymbolTable* symbols) {
  return LineParser(line, symbols).Parse();
}

LibraryFileText OpenLibraryFileFromDisk(const std::string& path) {
  std::string local = path;
#ifndef _WIN32
  // Libraries written on Windows name their includes with "\".
  for (char& c : local) {
    if (c == '\\') c = '/';
  }
#endif
  auto read = ReadRegularFile(local, kMaxLibraryBytes);
  if (!read) return LibraryFileText::Refused(read.error().kind);
  std::string text = std::move(read.value());
  // Editors on Windows often save with a UTF-8 byte-order mark; it is not
  // part of the first line.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  return LibraryFileText(std::move(text));
}

std::string EepromLibraryPath(const std::string& program_folder) { return program_folder + kEepromLibraryFileName; }

// --- Loading ----------------------------------------------------------------

struct EepromDefinitionLibrary::FileLoad {
  std::string path;
  SymbolTable symbols;
  unsigned line_number = 0;
  int depth = 0;
  EepromItem* description = nullptr;  // while inside a description

  // The error of this line; its text names the line and the file first.
  Failed<LibraryError> Error(LibraryErrorKind kind, std::string message) const {
    return Fail(LibraryError{kind, path, line_number, std::move(message)});
  }
};

EepromDefinitionLibrary::EepromDefinitionLibrary(LibraryFileOpener opener) : m_opener(std::move(opener)) {}

void EepromDefinitionLibrary::Clear() {
  m_descriptions.clear();
  m_by_upper_name.clear();
  m_field_count = 0;
  m_loaded = false;
}

LibraryLoad EepromDefinitionLibrary::Load(const std::string& path) {
  Clear();
  m_files_loaded = 0;
  m_bytes_loaded = 0;
  LibraryLoad loaded = LoadFile(path, nullptr, 0);
  if (!loaded) {
    if (loaded.error().kind != LibraryErrorKind::CannotOpen) {
      DebugPrintf("EEPROM library: %s", loaded.error().text.c_str());
    }
    return loaded;
  }
  if (m_descriptions.empty()) return Fail(LibraryError{LibraryErrorKind::NoDescriptions, path, 0, {}});
  m_loaded = true;
  return {};
}

LibraryLoad EepromDefinitionLibrary::LoadFile(const std::string& path, const SymbolTable* parent_symbols, int depth) {
  const LibraryFileText opened = m_opener(path);
  if (!opened.text) {
    std::string message =
        opened.refused == FileReadErrorKind::NotRegular ? Format(text::kLibraryNotAFile, path.c_str())
        : opened.refused == FileReadErrorKind::TooLarge ? Format(text::kLibraryFileTooLarge, path.c_str(), kMaxLibraryBytes)
                                                        : Format(text::kCannotOpenLibrary, path.c_str());
    return Fail(LibraryError{LibraryErrorKind::CannotOpen, path, 0, std::move(message)});
  }
  const std::string& content = *opened.text;
  // Every file of a load counts against one budget, so that a chain of
  // includes costs no more time and memory than one large file.
  m_bytes_loaded += content.size();
  if (m_bytes_loaded > kMaxLibraryBytes) {
    return Fail(LibraryError{LibraryErrorKind::Bounds, path, 0, Format(text::kLibraryTooLarge, kMaxLibraryBytes, path.c_str())});
  }
  ++m_files_loaded;
  FileLoad file{path, SymbolTable(parent_symbols), 0, depth, nullptr};
  PhysicalLines lines(content);
  std::string line;
  while (!lines.AtEnd()) {
    ++file.line_number;
    const std::string_view physical = lines.Next();
    // Blank lines are passed over without a copy.
    if (physical.find_first_not_of(kWhiteSpace) == std::string_view::npos) continue;
    line.assign(physical);
    bool blank = !StripComment(line);
    while (!blank && EndsWithContinuation(line) && !lines.AtEnd()) {
      // The joined line goes through comment removal again.
      line.pop_back();
      const std::size_t clean = line.size();
      line += lines.Next();
      ++file.line_number;
      blank = !StripComment(line, clean);
    }
    if (blank) continue;
    if (LibraryLoad processed = ProcessLine(file, ParseDefinitionLine(line, &file.symbols)); !processed) {
      return processed;
    }
  }
  if (file.description) return file.Error(LibraryErrorKind::UnmatchedTerminator, Format(text::kUnmatchedTerminator, file.line_number, file.path.c_str()));
  return {};
}

EepromItem* EepromDefinitionLibrary::FindExact(const std::string& name) {
  const auto found = m_by_upper_name.find(Upper(name));
  if (found == m_by_upper_name.end()) return nullptr;
  EepromItem* description = m_descriptions[found->second].get();
  return description->type_name == name ? description : nullptr;
}

LibraryLoad EepromDefinitionLibrary::ProcessLine(FileLoad& file, const DefinitionLine& line) {
  switch (line.kind) {
    case LineKind::Blank:
      return {};
    case LineKind::Error:
      return line.error_text.empty()
                 ? file.Error(LibraryErrorKind::LineFormat, Format(text::kIncorrectFormatting, file.line_number, file.path.c_str()))
                 : file.Error(LibraryErrorKind::LineFormat, Format(text::kIncorrectFormattingError, file.line_number, file.path.c_str(), line.error_text.c_str()));
    case LineKind::Include:
      return ProcessInclude(file, line);
    case LineKind::Define:
      if (file.description) {
        return file.Error(LibraryErrorKind::MisplacedLine, Format(text::kDefineInsideDescription, file.line_number, file.path.c_str(), line.first_name.c_str(),
                          file.description->type_name.c_str()));
      }
      file.symbols.Define(line.first_name, line.second_name);
      return {};
    case LineKind::Start:
    case LineKind::End:
    case LineKind::Field:
      break;
  }
  if (!file.description) return StartDescription(file, line);
  // Inside a description a start line names a field of a described type.
  if (line.kind == LineKind::End) return EndDescription(file, line);
  return AddFields(file, line);
}

LibraryLoad EepromDefinitionLibrary::ProcessInclude(FileLoad& file, const DefinitionLine& line) {
  const char* name = line.first_name.c_str();
  if (file.description) {
    return file.Error(LibraryErrorKind::MisplacedLine, Format(text::kIncludeInsideDescription, file.line_number, file.path.c_str(), name,
                      file.description->type_name.c_str()));
  }
  if (file.depth + 1 > kMaxIncludeDepth) {
    return file.Error(LibraryErrorKind::Bounds, Format(text::kIncludesTooDeep, file.line_number, file.path.c_str(), name, kMaxIncludeDepth));
  }
  if (m_files_loaded >= kMaxFilesPerLoad) {
    return file.Error(LibraryErrorKind::Bounds, Format(text::kTooManyFiles, file.line_number, file.path.c_str(), name, kMaxFilesPerLoad));
  }
  return LoadFile(FolderOf(file.path) + line.first_name, &file.symbols, file.depth + 1);
}

LibraryLoad EepromDefinitionLibrary::StartDescription(FileLoad& file, const DefinitionLine& line) {
  if (line.kind != LineKind::Start) return file.Error(LibraryErrorKind::MisplacedLine, Format(text::kLookingForStart, file.line_number, file.path.c_str()));
  if (FindType(line.first_name)) {
    return file.Error(LibraryErrorKind::Redefinition, Format(text::kRedefinition, file.line_number, file.path.c_str(), line.first_name.c_str()));
  }
  auto description = std::make_unique<EepromItem>();
  description->type_name = line.first_name;
  description->type_code = TypeCode::kDescribed;
  description->equipment = line.equipment;
  description->file_type_name = line.file_type_name;
  description->version_text = line.version_text;
  description->skip_count = line.skip_count;
  description->label = line.label;
  description->file_type = line.file_type;
  description->checksum_kind = line.checksum_kind;
  description->software_versions = line.software_versions;
  m_by_upper_name.emplace(Upper(line.first_name), m_descriptions.size());
  m_descriptions.push_back(std::move(description));
  file.description = m_descriptions.back().get();
  return {};
}

LibraryLoad EepromDefinitionLibrary::EndDescription(FileLoad& file, const DefinitionLine& line) {
  const EepromItem& description = *file.description;
  file.description = nullptr;
  if (line.first_name != description.type_name || line.version_text != description.version_text) {
    return file.Error(LibraryErrorKind::DescriptionMismatch, Format(text::kDescriptionMismatch, file.line_number, file.path.c_str(), description.type_name.c_str(), line.first_name.c_str()));
  }
  return {};
}

namespace {

// One field item of a field line; the elements of an array share the label.
std::unique_ptr<EepromItem> MakeField(const DefinitionLine& line, const SharedText& label, std::string instance_name) {
  auto field = std::make_unique<EepromItem>();
  field->type_name = line.first_name;
  field->instance_name = std::move(instance_name);
  field->type_code = line.type_code;
  field->label = label;
  field->skip_count = line.skip_count;
  field->version_text = line.version_text;
  field->checksum_kind = line.checksum_kind;
  if (line.type_code == TypeCode::kDescribed) {
    field->unresolved_reference = true;
  } else {
    field->hex_display = line.hex_display;
    field->char_display = line.char_display;
  }
  return field;
}

// "%s[%d]": the index is printed signed, as the start index plus i.
std::string ElementName(const std::string& name, uint32_t index) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<int>(index)).ptr;
  std::string out;
  out.reserve(name.size() + static_cast<std::size_t>(end - digits) + 2);
  out += name;
  out += '[';
  out.append(digits, end);
  out += ']';
  return out;
}

}  // namespace

LibraryLoad EepromDefinitionLibrary::AddFields(FileLoad& file, const DefinitionLine& line) {
  EepromItem& description = *file.description;
  if (line.type_code == TypeCode::kDescribed) {
    const EepromItem* type = FindExact(line.first_name);
    if (!type) return file.Error(LibraryErrorKind::UndefinedType, Format(text::kTypeNotDefined, file.line_number, file.path.c_str(), line.first_name.c_str()));
    // Copying a type that holds itself would never end.
    if (type == &description) {
      return file.Error(LibraryErrorKind::Bounds, Format(text::kContainsItself, file.line_number, file.path.c_str(), line.first_name.c_str()));
    }
  }
  const std::size_t count = line.array ? line.array->count : 1;
  if (m_field_count + count > kMaxLibraryFields) {
    return file.Error(LibraryErrorKind::Bounds, Format(text::kTooManyFields, file.line_number, file.path.c_str(), kMaxLibraryFields));
  }
  m_field_count += count;
  const SharedText label(line.label);
  if (!line.array) {
    description.AppendMember(MakeField(line, label, line.second_name));
    return {};
  }
  description.ReserveMembers(description.MemberCount() + count);
  for (uint32_t i = 0; i < line.array->count; ++i) {
    description.AppendMember(MakeField(line, label, ElementName(line.second_name, line.array->start + i)));
  }
  return {};
}

// --- Queries ----------------------------------------------------------------

const EepromItem* EepromDefinitionLibrary::FindType(const std::string& name) const {
  const auto found = m_by_upper_name.find(Upper(name));
  return found == m_by_upper_name.end() ? nullptr : m_descriptions[found->second].get();
}

namespace {

// Counts the items a resolved copy would hold, stopping as soon as the count
// or the nesting passes its bound, so that no library can make it run long.
bool CountInstance(const EepromItem& item, const EepromDefinitionLibrary* current, int depth, std::size_t& count,
                   int& deepest) {
  if (++count > kMaxInstanceItems) return false;
  if (depth > deepest) deepest = depth;
  if (depth > kMaxNestingDepth) return false;
  if (item.type_code != TypeCode::kDescribed) return true;
  const EepromItem* source = &item;
  if (item.unresolved_reference) {
    source = current ? current->FindType(item.type_name) : nullptr;
    if (!source) return true;
  }
  for (const auto& member : source->Members()) {
    if (!CountInstance(*member, current, depth + 1, count, deepest)) return false;
  }
  return true;
}

std::unique_ptr<EepromItem> ResolvedCopy(const EepromItem& source, const EepromDefinitionLibrary* current) {
  auto copy = source.CopyWithoutMembers();
  if (source.type_code != TypeCode::kDescribed) return copy;
  if (!source.unresolved_reference) {
    copy->ReserveMembers(source.MemberCount());
    for (const auto& member : source.Members()) copy->AppendMember(ResolvedCopy(*member, current));
    return copy;
  }
  if (!current) return copy;  // stays a reference without members
  copy->unresolved_reference = false;
  const EepromItem* description = current->FindType(source.type_name);
  if (!description) return copy;
  if (description->file_type) {
    copy->file_type = true;
    if (copy->file_type_name.empty()) copy->file_type_name = description->file_type_name;
  }
  // The description decides the checksum: an option on the field has no effect.
  copy->checksum_kind = description->checksum_kind;
  if (copy->label.empty()) copy->label = description->label;
  if (copy->skip_count == 0) copy->skip_count = description->skip_count;
  if (copy->software_versions.empty()) copy->software_versions = description->software_versions;
  if (copy->equipment.empty()) copy->equipment = description->equipment;
  copy->ReserveMembers(description->MemberCount());
  for (const auto& member : description->Members()) copy->AppendMember(ResolvedCopy(*member, current));
  return copy;
}

}  // namespace

std::unique_ptr<EepromItem> EepromDefinitionLibrary::Instantiate(const std::string& name,
                                                                 std::string* why_not) const {
  const EepromItem* description = FindType(name);
  if (!description) return nullptr;
  // References resolve through this library only: an image made from one
  // library never picks up the descriptions of another.
  const EepromDefinitionLibrary* current = m_loaded ? this : nullptr;
  std::size_t count = 0;
  int deepest = 0;
  if (!CountInstance(*description, current, 0, count, deepest)) {
    if (why_not) {
      *why_not = deepest > kMaxNestingDepth
                     ? Format(text::kNestedTooDeep, description->type_name.c_str(), kMaxNestingDepth)
                     : Format(text::kTooManyItems, description->type_name.c_str(), kMaxInstanceItems);
    }
    return nullptr;
  }
  return ResolvedCopy(*description, current);
}

std::vector<std::string> EepromDefinitionLibrary::ListFileTypes() const {
  std::vector<std::string> names;
  for (const auto& d : m_descriptions) {
    if (d->file_type) names.push_back(d->type_name);
  }
  return names;
}

std::vector<std::string> EepromDefinitionLibrary::ListEquipment() const {
  std::vector<std::string> list;
  for (const auto& d : m_descriptions) {
    if (!d->file_type) continue;
    bool known = false;
    for (const auto& e : list) known = known || e == d->equipment;
    if (!known) list.push_back(d->equipment);
  }
  return list;
}

std::vector<std::string> EepromDefinitionLibrary::ListSoftwareVersions(const std::string& equipment) const {
  std::vector<std::string> list;
  for (const auto& d : m_descriptions) {
    if (!d->file_type || d->equipment != equipment) continue;
    list.insert(list.end(), d->software_versions.begin(), d->software_versions.end());
  }
  return list;
}

std::string EepromDefinitionLibrary::TypeFor(const std::string& equipment, const std::string& software_version) const {
  for (const auto& d : m_descriptions) {
    if (!d->file_type || d->equipment != equipment) continue;
    for (const auto& v : d->software_versions) {
      if (v == software_version) return d->type_name;
    }
  }
  return {};
}

}  // namespace corvel
