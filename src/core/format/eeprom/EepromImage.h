#pragma once
// One EEPROM file seen through one description of the library: the bytes in
// a HexImage and a resolved tree of items holding the decoded values. Every
// change of a value re-encodes the whole root, so the bytes always carry the
// current values with fresh checksum fields.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/format/eeprom/EepromItem.h"
#include "core/format/hex/HexImage.h"

namespace corvel {

struct EditResult {
  bool parsed = false;   // the text could be read for the item's type
  bool changed = false;  // the stored value differs (a FLOAT whenever it was read)
};

// Parses text by the item's type and stores it: the rules of the edit dialog
// and of a CSV import. Described types and skipped items take no value.
EditResult EditItemValue(EepromItem& item, const std::string& text);

// The edit dialog's texts for an item (nullptr: no item).
std::string EditDialogTitle(const EepromItem& item);
std::string EditDialogPrompt(const EepromItem* item);
// Whether the dialog offers an entry field and OK: not for described types.
bool EditDialogHasEntry(const EepromItem& item);

// The largest image a description or a size given by the person may ask
// for: far above the largest real EEPROM (32768 bytes), far below what would
// exhaust memory. A typing slip such as -skip4000000000 is refused, not
// allocated.
inline constexpr uint32_t kMaxEepromImageBytes = 16u * 1024 * 1024;

// Why an image of size bytes for the file type is not made; nothing when the
// size is allowed. given_size: the person named the size, the description
// did not.
std::optional<std::string> EepromImageSizeRefusal(const std::string& type_name, uint64_t size, bool given_size);

class EepromImage {
 public:
  EepromImage() = default;
  explicit EepromImage(std::unique_ptr<EepromItem> root) : m_root(std::move(root)) {}

  EepromItem* Root() { return m_root.get(); }
  const EepromItem* Root() const { return m_root.get(); }
  void SetRoot(std::unique_ptr<EepromItem> root) { m_root = std::move(root); }
  HexImage& Bytes() { return m_bytes; }
  const HexImage& Bytes() const { return m_bytes; }

  // Reads the tree from the bytes, from offset 0.
  void Decode();
  // Writes the tree into the bytes, from offset 0, with fresh checksum fields.
  void Encode();
  // Parses and stores one value; after a change the image is encoded again.
  EditResult EditValue(EepromItem& item, const std::string& text);

  // A blank image: size bytes of 0xFF, the described area then encoded (its
  // values 0, its checksum fields computed).
  void MakeBlank(uint32_t size);
  // The text listing of the whole tree ("Save as text").
  std::string Text() const;

 private:
  std::unique_ptr<EepromItem> m_root;
  HexImage m_bytes;
};

// The item at a path of instance names ("SERIAL", "BOARD.CAL[3]"); the
// root's type name may lead the path ("CONTROLLER.SERIAL"). Names compare
// without regard to case. nullptr when nothing is there.
EepromItem* FindItemByPath(EepromItem& root, const std::string& path);

}  // namespace corvel
