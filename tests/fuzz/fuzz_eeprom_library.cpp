// Random library text into the EEPROM definition loader, then every
// description it accepted through instantiation, encoding, decoding and both
// renderings. The input holds up to four files separated by NUL bytes:
// "lib.txt" (the library), "a.txt", "b\\c.txt" and "sub/d.txt", so includes
// (and include cycles) are reached; nothing touches the disk.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/format/eeprom/EepromImage.h"

namespace {

std::size_t CountItems(const corvel::EepromItem& item) {
  std::size_t n = 1;
  for (const auto& member : item.Members()) n += CountItems(*member);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const char* const kNames[] = {"lib.txt", "a.txt", "b\\c.txt", "sub/d.txt"};
  std::map<std::string, std::string> files;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  for (const char* name : kNames) {
    if (start > input.size()) break;
    const std::size_t end = std::min(input.find('\0', start), input.size());
    files[name] = input.substr(start, end - start);
    start = end + 1;
  }
  corvel::EepromDefinitionLibrary library([&](const std::string& path) -> std::optional<std::string> {
    const auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second;
  });
  (void)library.Load("lib.txt");
  library.ListFileTypes();
  for (const auto& equipment : library.ListEquipment()) library.ListSoftwareVersions(equipment);

  // Keep one input's work bounded: a handful of descriptions, each at most
  // this many items rendered.
  std::size_t budget = 200000;
  const std::size_t n = std::min<std::size_t>(library.DescriptionCount(), 8);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string name = library.Description(i).type_name;
    auto root = library.Instantiate(name);
    if (!root) continue;
    const std::size_t items = CountItems(*root);
    if (items > budget) break;
    budget -= items;
    corvel::EepromImage image(std::move(root));
    const uint32_t size = std::min<uint32_t>(image.Root()->ItemSize(), 65536) + static_cast<uint32_t>(i % 3);
    image.MakeBlank(size);
    image.Decode();
    image.Encode();
    (void)image.Text();
    (void)corvel::BuildEepromTree(*image.Root());
    if (image.Root()->MemberCount() > 0) {
      corvel::EepromItem& first = image.Root()->Member(0);
      (void)first.PathText();
      image.EditValue(first, name);
      image.Root()->CopyValuesFrom(*image.Root());
    }
  }
  return 0;
}
