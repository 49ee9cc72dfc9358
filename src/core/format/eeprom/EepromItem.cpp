#include "core/format/eeprom/EepromItem.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string_view>
#include <unordered_map>

#include "core/format/hex/HexImage.h"

namespace corvel {

namespace {

constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    table[i] = crc;
  }
  return table;
}

constexpr auto kCrc16Table = MakeCrc16Table();
constexpr auto kCrc32Table = MakeCrc32Table();

// The slot of the item's own type as its stored bit pattern (an INT as its
// 16 bits, a FLOAT as its IEEE bits); 0 for a described type.
uint32_t RawSlot(const EepromItem& item) {
  uint32_t raw = 0;
  switch (item.type_code) {
    case TypeCode::kByte: raw = item.byte_value; break;
    case TypeCode::kWord: raw = item.word_value; break;
    case TypeCode::kInt: raw = static_cast<uint16_t>(item.int_value); break;
    case TypeCode::kDword: raw = item.dword_value; break;
    case TypeCode::kFloat: std::memcpy(&raw, &item.float_value, 4); break;
    default: break;
  }
  return raw;
}

void SetRawSlot(EepromItem& item, uint32_t raw) {
  switch (item.type_code) {
    case TypeCode::kByte: item.byte_value = static_cast<uint8_t>(raw); break;
    case TypeCode::kWord: item.word_value = static_cast<uint16_t>(raw); break;
    case TypeCode::kInt: item.int_value = static_cast<int16_t>(static_cast<uint16_t>(raw)); break;
    case TypeCode::kDword: item.dword_value = raw; break;
    case TypeCode::kFloat: std::memcpy(&item.float_value, &raw, 4); break;
    default: break;
  }
}

// The value of an item's slot as stored, least significant byte first.
uint32_t ValueBytes(const EepromItem& item, uint8_t out[4]) {
  const uint32_t raw = RawSlot(item);
  for (uint32_t i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(raw >> (8 * i));
  return PrimitiveSize(item.type_code);
}

// Replaces the first n bytes (LSB first) of the item's slot; the others keep
// their value, as a read cut short by the end of the image leaves them.
void SetValueBytes(EepromItem& item, const uint8_t* bytes, uint32_t n) {
  uint32_t raw = RawSlot(item);
  for (uint32_t i = 0; i < n; ++i) {
    raw &= ~(0xFFu << (8 * i));
    raw |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  }
  SetRawSlot(item, raw);
}

uint32_t ChecksumOver(ChecksumKind kind, std::span<const uint8_t> body) {
  switch (kind) {
    case ChecksumKind::kChk:
    case ChecksumKind::kChkMsb: {
      uint32_t sum = 0;
      for (uint8_t b : body) sum += b;
      return sum & 0xFFFF;
    }
    case ChecksumKind::kCrc16:
    case ChecksumKind::kCrc16Msb: return Crc16Update(kCrc16Start, body);
    case ChecksumKind::kCrc32:
    case ChecksumKind::kCrc32Msb: return Crc32Update(kCrc32Start, body);
    case ChecksumKind::kNone: break;
  }
  return 0;
}

void AppendFieldBytes(ChecksumKind kind, uint32_t value, std::vector<uint8_t>& out) {
  const uint32_t n = ChecksumFieldSize(kind);
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t shift = IsMsbFirst(kind) ? 8 * (n - 1 - i) : 8 * i;
    out.push_back(static_cast<uint8_t>(value >> shift));
  }
}

// Walks an item in file order. `stream` receives what the parent sums: the
// item's own bytes followed by its checksum field. With an image, the same
// bytes are written at its cursor, skipped space is stepped over.
void Emit(const EepromItem& item, HexImage* image, std::vector<uint8_t>& stream) {
  if (item.skip_count != 0) {
    if (image) image->Skip(item.ItemSize());
    // The parent still counts the checksum the skipped item would carry.
    if (item.HasChecksum()) AppendFieldBytes(item.checksum_kind, ChecksumOver(item.checksum_kind, {}), stream);
    return;
  }
  const std::size_t mark = stream.size();
  if (item.IsDescribed()) {
    for (const auto& member : item.Members()) Emit(*member, image, stream);
  } else {
    uint8_t bytes[4];
    const uint32_t n = ValueBytes(item, bytes);
    for (uint32_t i = 0; i < n; ++i) stream.push_back(bytes[i]);
    if (image) image->Write(bytes, n);
  }
  if (item.HasChecksum()) {
    const std::size_t before = stream.size();
    const uint32_t value =
        ChecksumOver(item.checksum_kind, std::span<const uint8_t>(stream.data() + mark, before - mark));
    AppendFieldBytes(item.checksum_kind, value, stream);
    if (image) image->Write(stream.data() + before, static_cast<uint32_t>(stream.size() - before));
  }
}

void AppendHex(std::string& out, uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += "0x";
  for (int i = digits - 1; i >= 0; --i) out += kDigits[(value >> (4 * i)) & 0xF];
}

template <typename T>
void AppendDecimal(std::string& out, T value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void AppendValueText(const EepromItem& item, std::string& out) {
  switch (item.type_code) {
    case TypeCode::kByte:
      if (item.hex_display) {
        AppendHex(out, item.byte_value, 2);
      } else if (item.char_display) {
        // Control codes and bytes above 0x7E have no dependable glyph in a
        // listing or tree; they show as ".", as in a hex dump.
        const uint8_t c = item.byte_value;
        out += (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
      } else {
        AppendDecimal(out, static_cast<int>(item.byte_value));
      }
      break;
    case TypeCode::kWord:
      if (item.hex_display) {
        AppendHex(out, item.word_value, 4);
      } else {
        AppendDecimal(out, static_cast<int>(item.word_value));
      }
      break;
    case TypeCode::kInt: AppendDecimal(out, static_cast<int>(item.int_value)); break;
    case TypeCode::kDword:
      if (item.hex_display) {
        AppendHex(out, item.dword_value, 8);
      } else {
        // Shown signed: 0xFFFFFFFF reads -1.
        AppendDecimal(out, static_cast<int32_t>(item.dword_value));
      }
      break;
    case TypeCode::kFloat: {
      // "%f": fixed, six decimals, as the C library prints it.
      char buffer[64];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(item.float_value),
                                        std::chars_format::fixed, 6);
      // Any float fits: the largest prints with 39 digits before the point.
      out.append(buffer, result.ec == std::errc() ? result.ptr : buffer);
      break;
    }
    default: break;
  }
}

void AppendNameText(const EepromItem& item, std::string& out) {
  out += item.type_name;
  if (!item.instance_name.empty()) {
    out += ' ';
    out += item.instance_name;
  }
}

void AppendSuffix(const EepromItem& item, std::string& out) {
  if (!item.HasChecksum()) return;
  // " (Chk: 0x1234)", " (CRC16MSB: 0x532D)", " (CRC32: 0x373C5870)": the kind's
  // name, "MSB" for the kinds stored most significant byte first, and the
  // computed value with as many digits as the field has nibbles.
  const ChecksumKind kind = item.checksum_kind;
  const bool chk = kind == ChecksumKind::kChk || kind == ChecksumKind::kChkMsb;
  const uint32_t field_bytes = ChecksumFieldSize(kind);
  out += chk ? " (Chk" : field_bytes == 2 ? " (CRC16" : " (CRC32";
  if (IsMsbFirst(kind)) out += "MSB";
  out += ": ";
  AppendHex(out, item.ChecksumValue(), static_cast<int>(2 * field_bytes));
  out += ')';
}

void AppendSkipped(const EepromItem& item, std::string& out) {
  out += "Skipped ";
  AppendDecimal(out, item.ItemSize());
  out += " bytes";
}

// Label pieces: the label cut at backspace, tab and line feed.
template <typename OnPiece, typename OnControl>
void SplitLabel(const std::string& label, OnPiece on_piece, OnControl on_control) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= label.size(); ++i) {
    const bool end = i == label.size();
    const char c = end ? '\0' : label[i];
    if (end || c == '\b' || c == '\t' || c == '\n') {
      if (i > start) on_piece(std::string_view(label).substr(start, i - start));
      if (!end) on_control(c);
      start = i + 1;
    }
  }
}

void AddTreeNodes(const EepromItem& item, EepromTreeNode& parent) {
  EepromTreeNode& node = parent.Add(item.LabelText(), &item);
  EepromTreeNode* current = &node;
  EepromTreeNode* last = nullptr;
  SplitLabel(
      item.label,
      [&](std::string_view piece) { last = &current->Add(std::string(piece), nullptr); },
      [&](char c) {
        if (c == '\t') {
          if (last) current = last;
        } else if (c == '\b') {
          // One level up, never above the top level.
          if (current->parent) current = current->parent;
        }
      });
  if (item.skip_count != 0) return;  // skipped space shows no members
  for (const auto& member : item.Members()) AddTreeNodes(*member, node);
}

}  // namespace

const std::string& SharedText::Empty() {
  static const std::string empty;
  return empty;
}

std::ostream& operator<<(std::ostream& out, const SharedText& text) { return out << text.str(); }

uint32_t ChecksumFieldSize(ChecksumKind kind) {
  switch (kind) {
    case ChecksumKind::kChk:
    case ChecksumKind::kCrc16:
    case ChecksumKind::kChkMsb:
    case ChecksumKind::kCrc16Msb: return 2;
    case ChecksumKind::kCrc32:
    case ChecksumKind::kCrc32Msb: return 4;
    case ChecksumKind::kNone: break;
  }
  return 0;
}

bool IsMsbFirst(ChecksumKind kind) {
  return kind == ChecksumKind::kChkMsb || kind == ChecksumKind::kCrc16Msb || kind == ChecksumKind::kCrc32Msb;
}

uint16_t Crc16Update(uint16_t crc, std::span<const uint8_t> bytes) {
  for (uint8_t b : bytes) crc = static_cast<uint16_t>((crc << 8) ^ kCrc16Table[((crc >> 8) ^ b) & 0xFF]);
  return crc;
}

uint32_t Crc32Update(uint32_t crc, std::span<const uint8_t> bytes) {
  for (uint8_t b : bytes) crc = (crc << 8) ^ kCrc32Table[((crc >> 24) ^ b) & 0xFF];
  return crc;
}

uint32_t PrimitiveSize(TypeCode code) {
  switch (code) {
    case TypeCode::kByte: return 1;
    case TypeCode::kWord:
    case TypeCode::kInt: return 2;
    case TypeCode::kDword:
    case TypeCode::kFloat: return 4;
    default: return 0;
  }
}

EepromItem& EepromItem::AppendMember(std::unique_ptr<EepromItem> member) {
  member->m_parent = this;
  m_members.push_back(std::move(member));
  return *m_members.back();
}

uint32_t EepromItem::ItemSize() const {
  uint64_t size = PrimitiveSize(type_code);
  if (IsDescribed()) {
    for (const auto& member : m_members) size += member->ItemSize();
  }
  size += ChecksumFieldSize(checksum_kind);
  // Clamped before the skip count multiplies it, so that the product cannot
  // pass 64 bits and wrap to a small size.
  constexpr uint64_t kLargest = 0xFFFFFFFFu;
  if (size > kLargest) size = kLargest;
  if (skip_count != 0) size *= skip_count;
  return size > kLargest ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
}

void EepromItem::ReadFromImage(HexImage& image) {
  if (skip_count != 0) {
    image.Skip(ItemSize());
    return;
  }
  if (IsDescribed()) {
    for (auto& member : m_members) member->ReadFromImage(image);
  } else {
    uint8_t bytes[4];
    const uint32_t n = image.Read(bytes, PrimitiveSize(type_code));
    SetValueBytes(*this, bytes, n);
  }
  // The stored checksum is passed over: the shown ones are always computed.
  if (HasChecksum()) image.Skip(ChecksumFieldSize(checksum_kind));
}

void EepromItem::WriteToImage(HexImage& image) const {
  std::vector<uint8_t> stream;
  Emit(*this, &image, stream);
}

void AppendChecksumBytes(const EepromItem& item, std::vector<uint8_t>& out) {
  if (item.skip_count != 0) return;
  if (item.IsDescribed()) {
    for (const auto& member : item.Members()) Emit(*member, nullptr, out);
  } else {
    uint8_t bytes[4];
    const uint32_t n = ValueBytes(item, bytes);
    for (uint32_t i = 0; i < n; ++i) out.push_back(bytes[i]);
  }
}

void AppendChecksumField(ChecksumKind kind, std::span<const uint8_t> body, std::vector<uint8_t>& out) {
  AppendFieldBytes(kind, ChecksumOver(kind, body), out);
}

uint16_t EepromItem::ComputeChk() const {
  std::vector<uint8_t> body;
  AppendChecksumBytes(*this, body);
  return static_cast<uint16_t>(ChecksumOver(ChecksumKind::kChk, body));
}

uint16_t EepromItem::ComputeCrc16(uint16_t start) const {
  std::vector<uint8_t> body;
  AppendChecksumBytes(*this, body);
  return Crc16Update(start, body);
}

uint32_t EepromItem::ComputeCrc32(uint32_t start) const {
  std::vector<uint8_t> body;
  AppendChecksumBytes(*this, body);
  return Crc32Update(start, body);
}

uint32_t EepromItem::ChecksumValue() const {
  if (!HasChecksum()) return 0;
  std::vector<uint8_t> body;
  AppendChecksumBytes(*this, body);
  return ChecksumOver(checksum_kind, body);
}

std::string EepromItem::ValueText() const {
  std::string out;
  AppendValueText(*this, out);
  return out;
}

std::string EepromItem::NameText() const {
  std::string out;
  AppendNameText(*this, out);
  return out;
}

std::string EepromItem::ChecksumSuffix() const {
  std::string out;
  AppendSuffix(*this, out);
  return out;
}

std::string EepromItem::LabelText() const {
  std::string out;
  if (skip_count != 0) {
    AppendSkipped(*this, out);
    return out;
  }
  AppendNameText(*this, out);
  if (!IsDescribed()) {
    out += ": ";
    AppendValueText(*this, out);
  }
  AppendSuffix(*this, out);
  return out;
}

std::string EepromItem::PathText() const {
  std::string text = LabelText();
  for (const EepromItem* ancestor = m_parent; ancestor; ancestor = ancestor->m_parent) {
    text = ancestor->NameText() + "::\r\n" + text;
  }
  return text;
}

void EepromItem::WriteText(std::string& out, const std::string& indent) const {
  if (skip_count != 0) {
    out += indent;
    AppendSkipped(*this, out);
    out += '\n';
    return;
  }
  out += indent;
  AppendNameText(*this, out);
  out += IsDescribed() ? ":" : ": ";
  if (!IsDescribed()) AppendValueText(*this, out);
  AppendSuffix(*this, out);
  out += '\n';
  if (!label.empty()) {
    std::string current = indent + '\t';
    SplitLabel(
        label,
        [&](std::string_view piece) {
          out += current;
          out += piece;
          out += '\n';
        },
        [&](char c) {
          if (c == '\t') {
            current += '\t';
          } else if (c == '\b' && !current.empty()) {
            current.pop_back();
          }
        });
  }
  if (IsDescribed()) {
    const std::string deeper = indent + '\t';
    for (const auto& member : m_members) member->WriteText(out, deeper);
  }
}

void EepromItem::CopyValuesFrom(const EepromItem& source) {
  byte_value = source.byte_value;
  word_value = source.word_value;
  int_value = source.int_value;
  dword_value = source.dword_value;
  float_value = source.float_value;
  if (!IsDescribed() || !source.IsDescribed()) return;

  // The type name without the version text the item carries ("CAL2" -> "CAL").
  auto base_name = [](const EepromItem& item) {
    const std::size_t cut = item.version_text.size() <= item.type_name.size() ? item.version_text.size() : 0;
    return std::string_view(item.type_name).substr(0, item.type_name.size() - cut);
  };
  auto matches = [&](const EepromItem& from, const EepromItem& to) {
    if (to.type_name == from.type_name) return true;
    if (from.version_text.empty() && to.version_text.empty()) return false;
    return base_name(to) == base_name(from);
  };

  // Destination members by instance name, in order, so that each source
  // member finds the first fitting destination without a full scan.
  std::unordered_map<std::string_view, std::vector<EepromItem*>> by_name;
  by_name.reserve(m_members.size());
  for (auto& member : m_members) by_name[member->instance_name].push_back(member.get());
  for (const auto& from : source.m_members) {
    const auto found = by_name.find(from->instance_name);
    if (found == by_name.end()) continue;
    for (EepromItem* to : found->second) {
      if (matches(*from, *to)) {
        to->CopyValuesFrom(*from);
        break;
      }
    }
  }
}

std::unique_ptr<EepromItem> EepromItem::CopyWithoutMembers() const {
  auto copy = std::make_unique<EepromItem>();
  copy->equipment = equipment;
  copy->file_type_name = file_type_name;
  copy->version_text = version_text;
  copy->skip_count = skip_count;
  copy->label = label;
  copy->char_display = char_display;
  copy->hex_display = hex_display;
  copy->file_type = file_type;
  copy->instance_name = instance_name;
  copy->unresolved_reference = unresolved_reference;
  copy->type_name = type_name;
  copy->type_code = type_code;
  copy->byte_value = byte_value;
  copy->word_value = word_value;
  copy->int_value = int_value;
  copy->dword_value = dword_value;
  copy->float_value = float_value;
  copy->checksum_kind = checksum_kind;
  copy->software_versions = software_versions;
  return copy;
}

std::unique_ptr<EepromItem> EepromItem::DeepCopy() const {
  auto copy = CopyWithoutMembers();
  copy->ReserveMembers(m_members.size());
  for (const auto& member : m_members) copy->AppendMember(member->DeepCopy());
  return copy;
}

EepromTreeNode& EepromTreeNode::Add(std::string node_text, const EepromItem* node_item) {
  auto child = std::make_unique<EepromTreeNode>();
  child->text = std::move(node_text);
  child->item = node_item;
  child->parent = this;
  children.push_back(std::move(child));
  return *children.back();
}

std::unique_ptr<EepromTreeNode> BuildEepromTree(const EepromItem& root) {
  auto top = std::make_unique<EepromTreeNode>();
  AddTreeNodes(root, *top);
  return top;
}

}  // namespace corvel
