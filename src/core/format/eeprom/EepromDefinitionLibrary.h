#pragma once
// The library of EEPROM layout descriptions: a plain-text file
// ("EEPROM_library_definitions.txt" in the program folder) and the files it
// includes, read into a list of described types.
//
// A description, as written in a library file:
//
//   #define CAL_POINTS -a8          // symbols replace whole tokens only
//   CONTROLLER -start -file -equip"TX-CTRL" -swver"2.1" -crc16 -label"Main board"
//     DWORD SERIAL -hex
//     FLOAT CAL CAL_POINTS          // CAL[0] .. CAL[7]; also FLOAT CAL[8]
//     BYTE  SPARE -skip16
//   CONTROLLER -end
//
// The loader returns the first language error (kind, file, line and the text
// a person is shown); the first error ends the whole load. Showing it is the
// caller's business.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/base/FileUtil.h"
#include "core/base/Outcome.h"
#include "core/format/eeprom/EepromItem.h"

namespace corvel {

inline constexpr const char* kEepromLibraryFileName = "EEPROM_library_definitions.txt";

// Guards against libraries that would never finish loading or instantiating.
// Each one ends the load (or the instantiation) with a message.
// All the files of one load together (the top file and every include): real
// libraries take a few kilobytes, so a chain of includes of a huge file is
// refused before it costs minutes and gigabytes.
inline constexpr std::size_t kMaxLibraryBytes = 16u * 1024 * 1024;
inline constexpr int kMaxSymbolSubstitutionsPerLine = 256;  // a #define cycle
inline constexpr std::size_t kMaxLogicalLineLength = 65536;
inline constexpr int kMaxIncludeDepth = 16;                  // a file that includes itself
inline constexpr int kMaxFilesPerLoad = 1024;
inline constexpr uint32_t kMaxArrayCount = 32768;            // the largest EEPROM has 32768 bytes
inline constexpr std::size_t kMaxLibraryFields = 262144;
inline constexpr int kMaxNestingDepth = 64;                  // descriptions inside descriptions
inline constexpr std::size_t kMaxInstanceItems = 262144;

// The #define symbols of one library file, with the includer's table as parent.
class SymbolTable {
 public:
  explicit SymbolTable(const SymbolTable* parent = nullptr) : m_parent(parent) {}
  // Stores name (in upper case) with its text; a name this table already holds
  // gets the new text.
  void Define(const std::string& name, const std::string& text);
  // The text of name (any case) here or in a parent; name itself when unknown.
  const std::string& Lookup(const std::string& name) const;
  std::size_t Size() const { return m_symbols.size(); }

 private:
  const std::string* Find(const std::string& upper_name) const;

  const SymbolTable* m_parent;
  std::vector<std::pair<std::string, std::string>> m_symbols;
  std::unordered_map<std::string, std::size_t> m_index;
};

// What a logical line is; each kind uses its own fields of DefinitionLine.
enum class LineKind {
  Blank,    // nothing to do
  Error,    // error_text (may be empty)
  Include,  // first_name: the file to include
  Define,   // first_name: the symbol (upper case); second_name: its text
  Start,    // first_name: the type name; the description attributes
  End,      // first_name: the type name (version appended); version_text
  Field,    // first_name: the type name; second_name: the instance name; the field attributes
};

// "-a8,1" or NAME[8,1]: count elements, numbered from start.
struct ArraySpec {
  uint32_t count = 0;
  uint32_t start = 0;
};

// The result of parsing one logical line.
struct DefinitionLine {
  LineKind kind = LineKind::Blank;
  std::string error_text;
  std::string first_name;   // type name, include file name or define symbol
  std::string second_name;  // instance name or define value
  // Start lines.
  std::string equipment;
  std::vector<std::string> software_versions;
  std::string file_type_name;
  bool file_type = false;
  // Start and field lines.
  std::string version_text;
  uint32_t skip_count = 0;
  std::string label;
  ChecksumKind checksum_kind = ChecksumKind::kNone;
  // Field lines.
  TypeCode type_code = TypeCode::kNoType;
  bool hex_display = false;
  bool char_display = false;
  std::optional<ArraySpec> array;
};

// Parses one logical line (comments already removed) with the file's symbols.
DefinitionLine ParseDefinitionLine(const std::string& line, const SymbolTable* symbols);

// What an opener gives: the text of a library file, or nothing and, when the
// opener knows it, why (a folder, pipe or device; a file too large).
struct LibraryFileText {
  LibraryFileText(std::optional<std::string> file_text) : text(std::move(file_text)) {}  // NOLINT: implicit
  static LibraryFileText Refused(FileReadErrorKind why) {
    LibraryFileText refused(std::nullopt);
    refused.refused = why;
    return refused;
  }
  std::optional<std::string> text;
  std::optional<FileReadErrorKind> refused;
};
// Reads a library file into text; nothing when it cannot be opened.
using LibraryFileOpener = std::function<LibraryFileText(const std::string& path)>;
// The file on disk, "\" and "/" both taken as folder separators; only a
// regular file of at most kMaxLibraryBytes.
LibraryFileText OpenLibraryFileFromDisk(const std::string& path);

// Why a library did not load. Every kind but NoDescriptions carries the text
// a person is shown; file and line name where the loader stopped.
enum class LibraryErrorKind {
  CannotOpen,        // the file could not be read (line 0)
  LineFormat,        // a line the language does not accept
  MisplacedLine,     // an include or define inside a description, a field outside one
  Redefinition,      // a second description of the same name
  DescriptionMismatch,  // an end line naming another description
  UndefinedType,     // a field of a type not (yet) described
  UnmatchedTerminator,  // the file ends inside a description
  Bounds,            // a guard against a library that would never finish
  NoDescriptions,    // every line was accepted but nothing was described (no text)
};
using LibraryError = ParseError<LibraryErrorKind>;
using LibraryLoad = Result<void, LibraryError>;

class EepromDefinitionLibrary {
 public:
  explicit EepromDefinitionLibrary(LibraryFileOpener opener = OpenLibraryFileFromDisk);
  EepromDefinitionLibrary(const EepromDefinitionLibrary&) = delete;
  EepromDefinitionLibrary& operator=(const EepromDefinitionLibrary&) = delete;

  // Clears the library and reads the file with everything it includes. Ok
  // when every line was accepted and at least one description was read; the
  // library is then loaded and resolves references when it instantiates.
  LibraryLoad Load(const std::string& path);
  void Clear();
  // The last Load succeeded (and nothing cleared it since).
  bool Loaded() const { return m_loaded; }

  const EepromItem* FindType(const std::string& name) const;
  bool HasType(const std::string& name) const { return FindType(name) != nullptr; }
  // A deep copy of the description with every reference resolved through
  // this library (only once it loaded; before, references stay unresolved);
  // nothing when there is no such description, or when the copy would be
  // nested deeper than kMaxNestingDepth or hold more than kMaxInstanceItems
  // items (why_not then says which).
  std::unique_ptr<EepromItem> Instantiate(const std::string& name, std::string* why_not = nullptr) const;

  std::vector<std::string> ListFileTypes() const;
  std::vector<std::string> ListEquipment() const;
  std::vector<std::string> ListSoftwareVersions(const std::string& equipment) const;
  std::string TypeFor(const std::string& equipment, const std::string& software_version) const;

  std::size_t DescriptionCount() const { return m_descriptions.size(); }
  const EepromItem& Description(std::size_t i) const { return *m_descriptions[i]; }

 private:
  struct FileLoad;
  LibraryLoad LoadFile(const std::string& path, const SymbolTable* parent_symbols, int depth);
  LibraryLoad ProcessLine(FileLoad& file, const DefinitionLine& line);
  LibraryLoad ProcessInclude(FileLoad& file, const DefinitionLine& line);
  LibraryLoad StartDescription(FileLoad& file, const DefinitionLine& line);
  LibraryLoad EndDescription(FileLoad& file, const DefinitionLine& line);
  LibraryLoad AddFields(FileLoad& file, const DefinitionLine& line);
  EepromItem* FindExact(const std::string& name);

  LibraryFileOpener m_opener;
  std::vector<std::unique_ptr<EepromItem>> m_descriptions;
  std::unordered_map<std::string, std::size_t> m_by_upper_name;
  std::size_t m_field_count = 0;
  int m_files_loaded = 0;
  std::size_t m_bytes_loaded = 0;
  bool m_loaded = false;
};

// The library path in the program folder (given with its trailing separator).
std::string EepromLibraryPath(const std::string& program_folder);

}  // namespace corvel
