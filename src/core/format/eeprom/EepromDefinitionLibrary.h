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
// The loader reports every language error through the UserInterface as a
// modal OK box; the first error ends the whole load.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/format/eeprom/EepromItem.h"

namespace corvel {

class UserInterface;

inline constexpr const char* kEepromLibraryFileName = "EEPROM_library_definitions.txt";

// Guards against libraries that would never finish loading or instantiating.
// Each one ends the load (or the instantiation) with a message.
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

// The result of parsing one logical line.
struct DefinitionLine {
  std::string error_text;
  std::string equipment;
  std::vector<std::string> software_versions;
  std::string version_text;
  std::string file_type_name;
  uint32_t skip_count = 0;
  std::string label;
  bool define = false;
  bool char_display = false;
  bool include = false;
  bool hex = false;
  bool end = false;
  bool start = false;
  bool blank = false;
  uint32_t array_start = 0;
  uint32_t array_count = 0;
  bool array = false;
  bool error = false;
  TypeCode type_code = TypeCode::kNoType;
  ChecksumKind checksum_kind = ChecksumKind::kNone;
  bool file = false;
  std::string first_name;   // type name, include file name or define symbol
  std::string second_name;  // instance name or define value
  int name_count = 0;
};

// Parses one logical line (comments already removed) with the file's symbols.
DefinitionLine ParseDefinitionLine(const std::string& line, const SymbolTable* symbols);

// Reads a library file into text; nothing when it cannot be opened.
using LibraryFileOpener = std::function<std::optional<std::string>(const std::string& path)>;
// The file on disk, "\" and "/" both taken as folder separators.
std::optional<std::string> OpenLibraryFileFromDisk(const std::string& path);

class EepromDefinitionLibrary {
 public:
  explicit EepromDefinitionLibrary(UserInterface& ui, LibraryFileOpener opener = OpenLibraryFileFromDisk);
  ~EepromDefinitionLibrary();
  EepromDefinitionLibrary(const EepromDefinitionLibrary&) = delete;
  EepromDefinitionLibrary& operator=(const EepromDefinitionLibrary&) = delete;

  // Clears the library and reads the file with everything it includes. True
  // when every line was accepted and at least one description was read; the
  // library then becomes the current one.
  bool Load(const std::string& path);
  void Clear();

  const EepromItem* FindType(const std::string& name) const;
  bool HasType(const std::string& name) const { return FindType(name) != nullptr; }
  // A deep copy of the description with every reference resolved through the
  // current library; nothing when there is no such description, or when the
  // copy would be nested deeper than kMaxNestingDepth or hold more than
  // kMaxInstanceItems items (why_not then says which).
  std::unique_ptr<EepromItem> Instantiate(const std::string& name, std::string* why_not = nullptr) const;

  std::vector<std::string> ListFileTypes() const;
  std::vector<std::string> ListEquipment() const;
  std::vector<std::string> ListSoftwareVersions(const std::string& equipment) const;
  std::string TypeFor(const std::string& equipment, const std::string& software_version) const;

  std::size_t DescriptionCount() const { return m_descriptions.size(); }
  const EepromItem& Description(std::size_t i) const { return *m_descriptions[i]; }

  // The library last loaded successfully, or nullptr.
  static const EepromDefinitionLibrary* Current();

 private:
  struct FileLoad;
  bool LoadFile(const std::string& path, const SymbolTable* parent_symbols, int depth);
  bool ProcessLine(FileLoad& file, const DefinitionLine& line);
  void Report(const std::string& text);
  EepromItem* FindExact(const std::string& name);

  UserInterface& m_ui;
  LibraryFileOpener m_opener;
  std::vector<std::unique_ptr<EepromItem>> m_descriptions;
  std::unordered_map<std::string, std::size_t> m_by_upper_name;
  std::size_t m_field_count = 0;
  int m_files_loaded = 0;
};

// The library path in the program folder (given with its trailing separator).
std::string EepromLibraryPath(const std::string& program_folder);

}  // namespace corvel
