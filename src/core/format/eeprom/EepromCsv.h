#pragma once
// The values of an item and everything below it as CSV text: one record per
// line, three columns, no header, no quoting.
//
//   column 1        column 2         column 3
//   type name   ,   instance name ,  value text (empty for a described type)
//   WORD,SERIAL,1234
//   IDENTITY,ID,
//   BYTE,CODE[0],0x1F
//
// Records follow the tree depth first from the exported item. Skipped space
// has no record (nor its members); the exported item itself has one only when
// it is not a described type.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/Outcome.h"
#include "core/format/eeprom/EepromItem.h"

namespace corvel {

// Column separator and the characters trimmed around a column.
inline constexpr char kCsvSeparator = ',';
inline constexpr const char* kCsvTrim = " \t\r\n";

// A CSV file of an EEPROM's values takes kilobytes; anything larger, or what
// is not a regular file, is not read.
inline constexpr std::size_t kMaxCsvFileBytes = 64u * 1024 * 1024;

std::string ExportCsv(const EepromItem& item);

// What stopped an import; every kind names the 1-based line in its text.
enum class CsvErrorKind {
  MissingLine,      // the file ended before every item was read
  OneColumn,        // no comma
  InvalidDataType,  // column 1 empty
  TwoColumns,       // no second comma
  EmptyName,        // column 2 empty
  NameMismatch,     // column 2 is not the instance name expected here
  MissingData,      // column 3 empty
  InvalidFormat,    // column 3 cannot be read as the item's value
};

struct CsvError {
  CsvErrorKind kind = CsvErrorKind::MissingLine;
  uint32_t line = 0;
  std::string text;  // the message a person is shown
};

// Reads records into the item's values, stopping at the first error. Values
// read before an error stay. Lines after the last item are ignored.
Result<void, CsvError> ImportCsv(EepromItem& item, std::string_view text);

}  // namespace corvel
