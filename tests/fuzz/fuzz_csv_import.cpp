// libFuzzer: random CSV text imported into an image of every value kind, then
// encoded, exported and imported again. Any crash, hang or sanitizer report
// is a finding; an import error is not.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/format/eeprom/EepromCsv.h"
#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/format/eeprom/EepromImage.h"

namespace {

const char* const kLibrary =
    "INNER -start -crc16msb\n"
    "BYTE a -hex\n"
    "WORD w -a3\n"
    "BYTE gap -skip2\n"
    "INNER -end\n"
    "T -start -file -crc32\n"
    "BYTE c -char -a4\n"
    "BYTE b\n"
    "INT i\n"
    "DWORD d\n"
    "DWORD h -hex\n"
    "FLOAT f\n"
    "INNER in -a2\n"
    "WORD tail -chk\n"
    "T -end\n";

const corvel::EepromDefinitionLibrary& Library() {
  static corvel::EepromDefinitionLibrary library(
      [](const std::string&) -> std::optional<std::string> { return std::string(kLibrary); });
  static const bool loaded = library.Load("lib.txt").ok();
  (void)loaded;
  return library;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  corvel::EepromImage image(Library().Instantiate("T"));
  if (!image.Root()) return 0;
  image.MakeBlank(size > 0 && (data[0] & 1) ? 16 : 128);  // also an image shorter than its type
  const std::string_view csv(reinterpret_cast<const char*>(data), size);
  // Into the whole image, and into one member (the second INNER).
  const auto whole = corvel::ImportCsv(*image.Root(), csv);
  const auto part = corvel::ImportCsv(image.Root()->Member(image.Root()->MemberCount() - 2), csv);
  (void)whole;
  (void)part;
  image.Encode();
  // Whatever was imported exports as text that imports without an error.
  const std::string again = corvel::ExportCsv(*image.Root());
  corvel::EepromImage copy(Library().Instantiate("T"));
  copy.MakeBlank(128);
  if (!corvel::ImportCsv(*copy.Root(), again)) __builtin_trap();
  return 0;
}
