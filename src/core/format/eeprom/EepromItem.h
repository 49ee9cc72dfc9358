#pragma once
// One node of an EEPROM layout: a field of a described type, a whole
// description in the library, or a decoded value in an image. The library
// builds descriptions out of these; an image holds a resolved copy and keeps
// its values in the per-type slots.
//
// Layout of an item in the EEPROM, at the cursor:
//
//   +--------------------------------+-----------------------+
//   | value bytes (LSB first), or    | checksum field        |
//   | the members one after another  | 0, 2 or 4 bytes       |
//   +--------------------------------+-----------------------+
//
// An item with a skip count n stands for n times that space and is never
// decoded or encoded: those bytes stay as they are in the image.
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace corvel {

class HexImage;

enum class TypeCode : uint8_t {
  kByte = 0,    // unsigned 8-bit
  kWord = 1,    // unsigned 16-bit
  kInt = 2,     // signed 16-bit
  kDword = 3,   // unsigned 32-bit
  kFloat = 4,   // IEEE 754 single
  kDescribed = 5,  // a type described in the library
  kNoType = 6,     // a line that named no type: never valid
};

enum class ChecksumKind : uint8_t {
  kNone = 0,
  kChk = 1,       // 16-bit byte sum, LSB first
  kCrc16 = 2,     // LSB first
  kCrc32 = 3,     // LSB first
  kChkMsb = 4,    // the same values, MSB first
  kCrc16Msb = 5,
  kCrc32Msb = 6,
};

// Bytes of the checksum field that follows an item's data: 0, 2 or 4.
uint32_t ChecksumFieldSize(ChecksumKind kind);
bool IsMsbFirst(ChecksumKind kind);

// The register start values every item's CRCs begin with.
inline constexpr uint16_t kCrc16Start = 0x1D0F;
inline constexpr uint32_t kCrc32Start = 0xC704DD7B;

// CRC-16, polynomial 0x1021, MSB first, no reflection, no final XOR.
uint16_t Crc16Update(uint16_t crc, std::span<const uint8_t> bytes);
// CRC-32, polynomial 0x04C11DB7, MSB first, no reflection, no final XOR.
uint32_t Crc32Update(uint32_t crc, std::span<const uint8_t> bytes);

// Size in bytes of a primitive type; 0 for described types and no type.
uint32_t PrimitiveSize(TypeCode code);

// A text that copies of an item share instead of copying: every element of
// an array holds its field line's label, and every image its description's,
// so a long label on a 32768-element array is stored once, not 32768 times.
// It reads as a const std::string; assigning a new text never changes the
// text other items hold.
class SharedText {
 public:
  SharedText() = default;
  SharedText(std::string text)  // NOLINT: implicit, as the std::string it replaces
      : m_text(text.empty() ? nullptr : std::make_shared<const std::string>(std::move(text))) {}
  SharedText(const char* text) : SharedText(std::string(text)) {}  // NOLINT: implicit

  const std::string& str() const { return m_text ? *m_text : Empty(); }
  operator const std::string&() const { return str(); }  // NOLINT: implicit
  bool empty() const { return str().empty(); }
  std::size_t size() const { return str().size(); }
  // The same stored text, not merely an equal one.
  bool SharesStorageWith(const SharedText& other) const { return m_text && m_text == other.m_text; }

  friend bool operator==(const SharedText& a, const SharedText& b) { return a.str() == b.str(); }
  friend bool operator==(const SharedText& a, const std::string& b) { return a.str() == b; }
  friend bool operator==(const SharedText& a, const char* b) { return a.str() == b; }
  friend std::ostream& operator<<(std::ostream& out, const SharedText& text);

 private:
  static const std::string& Empty();
  std::shared_ptr<const std::string> m_text;
};

class EepromItem {
 public:
  EepromItem() = default;
  EepromItem(const EepromItem&) = delete;
  EepromItem& operator=(const EepromItem&) = delete;

  // Fields in the order the item holds them.
  std::string equipment;        // `equip` of a file-type description, upper case
  std::string file_type_name;   // quoted name of the `file` option (a template file)
  std::string version_text;     // text of the `v` option, as written
  uint32_t skip_count = 0;      // 0: a normal item; n: n times its size skipped
  SharedText label;             // may hold backspace, tab and line feed
  bool char_display = false;
  bool hex_display = false;
  bool file_type = false;
  std::string instance_name;    // "SERIAL", "CAL[3]"; empty for a description
  bool unresolved_reference = false;
  std::string type_name;        // "BYTE" ... "FLOAT" or a described type's name
  TypeCode type_code = TypeCode::kNoType;
  // The value slots, one per primitive type; only the slot of the item's own
  // type is read from or written to an image.
  uint8_t byte_value = 0;
  uint16_t word_value = 0;
  int16_t int_value = 0;
  uint32_t dword_value = 0;
  float float_value = 0.0f;
  ChecksumKind checksum_kind = ChecksumKind::kNone;
  std::vector<std::string> software_versions;  // upper case, in the order given

  // Members, in definition order; the item owns them.
  uint32_t MemberCount() const { return static_cast<uint32_t>(m_members.size()); }
  const std::vector<std::unique_ptr<EepromItem>>& Members() const { return m_members; }
  EepromItem& Member(std::size_t i) { return *m_members[i]; }
  const EepromItem& Member(std::size_t i) const { return *m_members[i]; }
  EepromItem& AppendMember(std::unique_ptr<EepromItem> member);
  void ReserveMembers(std::size_t n) { m_members.reserve(n); }
  // The item this one is a member of; nullptr for a root.
  const EepromItem* Parent() const { return m_parent; }

  bool IsDescribed() const { return type_code == TypeCode::kDescribed; }
  bool HasChecksum() const { return checksum_kind != ChecksumKind::kNone; }

  // Bytes the item occupies in an image, its checksum field and skip count
  // included. Saturates at 0xFFFFFFFF instead of wrapping.
  uint32_t ItemSize() const;

  // Decodes this item at the image's position (skipped items are stepped over).
  void ReadFromImage(HexImage& image);
  // Encodes this item at the image's position with fresh checksum fields;
  // skipped items are stepped over and their bytes left untouched.
  void WriteToImage(HexImage& image) const;

  // Checksums over the item's own bytes (members with their checksum fields),
  // never its own checksum field.
  uint16_t ComputeChk() const;
  uint16_t ComputeCrc16(uint16_t start) const;
  uint32_t ComputeCrc32(uint32_t start) const;
  // The value of this item's own checksum field (0 without one).
  uint32_t ChecksumValue() const;

  std::string ValueText() const;
  std::string NameText() const;
  std::string LabelText() const;
  // " (CRC16MSB: 0x532D)" or "" without a checksum.
  std::string ChecksumSuffix() const;
  // The item's label and the name texts of its ancestors, for the edit dialog.
  std::string PathText() const;

  // The text listing: one line per item, one more tab per level.
  void WriteText(std::string& out, const std::string& indent) const;

  // Takes the source's value slots; for two described types, copies each
  // source member into the first destination member of the same instance name
  // and the same type (version texts aside).
  void CopyValuesFrom(const EepromItem& source);

  // A copy of every attribute, flag, value, label and name, without members.
  std::unique_ptr<EepromItem> CopyWithoutMembers() const;
  // A copy of this item with copies of all its members.
  std::unique_ptr<EepromItem> DeepCopy() const;

 private:
  std::vector<std::unique_ptr<EepromItem>> m_members;
  EepromItem* m_parent = nullptr;
};

// Appends the bytes an item contributes to its parent's sum and CRCs: its
// value bytes, or its members each followed by their checksum field as it is
// stored. Never the item's own checksum field; nothing for a skipped item.
void AppendChecksumBytes(const EepromItem& item, std::vector<uint8_t>& out);

// Appends the stored bytes of a checksum field of the given kind over the
// body bytes (the item's own bytes as AppendChecksumBytes gives them).
void AppendChecksumField(ChecksumKind kind, std::span<const uint8_t> body, std::vector<uint8_t>& out);

// A node of the image tree as the window shows it: an item's LabelText, or a
// plain line of an item's label (item == nullptr).
struct EepromTreeNode {
  std::string text;
  const EepromItem* item = nullptr;
  EepromTreeNode* parent = nullptr;
  std::vector<std::unique_ptr<EepromTreeNode>> children;

  EepromTreeNode& Add(std::string node_text, const EepromItem* node_item);
};

// The tree rebuilt from the root. The returned node is the tree's invisible
// top: its children are the root's node and any label lines that a backspace
// moved up to the top level.
std::unique_ptr<EepromTreeNode> BuildEepromTree(const EepromItem& root);

}  // namespace corvel
