#include "core/format/eeprom/EepromCompare.h"

#include "core/base/Text.h"
#include "core/format/hex/HexImage.h"

namespace corvel {

namespace {

std::string Join(const std::string& path, const std::string& name) { return path.empty() ? name : path + "." + name; }

// The type name without its version text, as CopyValuesFrom compares them.
std::string BaseTypeName(const EepromItem& item) {
  const std::string& name = item.type_name;
  const std::size_t cut = item.version_text.size() <= name.size() ? item.version_text.size() : 0;
  return name.substr(0, name.size() - cut);
}

bool SameKind(const EepromItem& a, const EepromItem& b) {
  if (a.type_name == b.type_name) return true;
  if (a.version_text.empty() && b.version_text.empty()) return false;
  return BaseTypeName(a) == BaseTypeName(b);
}

void Compare(const EepromItem& left, const EepromItem& right, const std::string& path,
             std::vector<EepromDifference>& out) {
  if (left.skip_count != 0 || right.skip_count != 0) return;  // never decoded
  if (!left.IsDescribed() || !right.IsDescribed()) {
    if (left.ValueText() != right.ValueText()) out.push_back({path, &left, &right});
    return;
  }
  std::vector<bool> matched(right.MemberCount(), false);
  for (const auto& member : left.Members()) {
    if (member->skip_count != 0) continue;
    const EepromItem* partner = nullptr;
    for (std::size_t i = 0; i < right.MemberCount() && !partner; ++i) {
      const EepromItem& candidate = right.Member(i);
      if (!matched[i] && candidate.instance_name == member->instance_name && SameKind(*member, candidate)) {
        matched[i] = true;
        partner = &candidate;
      }
    }
    const std::string member_path = Join(path, member->instance_name);
    if (partner) {
      Compare(*member, *partner, member_path, out);
    } else {
      out.push_back({member_path, member.get(), nullptr});
    }
  }
  for (std::size_t i = 0; i < right.MemberCount(); ++i) {
    const EepromItem& member = right.Member(i);
    if (!matched[i] && member.skip_count == 0) out.push_back({Join(path, member.instance_name), nullptr, &member});
  }
}

uint32_t StoredField(const HexImage& bytes, uint32_t offset, ChecksumKind kind) {
  const uint32_t size = ChecksumFieldSize(kind);
  uint32_t value = 0;
  for (uint32_t i = 0; i < size; ++i) {
    const uint32_t shift = IsMsbFirst(kind) ? 8 * (size - 1 - i) : 8 * i;
    value |= static_cast<uint32_t>(bytes.data()[offset + i]) << shift;
  }
  return value;
}

// Walks the tree at the offsets the encoder uses; returns the offset after it.
uint64_t Check(const EepromItem& item, uint64_t offset, const HexImage& bytes, std::vector<ChecksumHealth>& out) {
  if (item.skip_count != 0) return offset + item.ItemSize();
  uint64_t at = offset;
  if (item.IsDescribed()) {
    for (const auto& member : item.Members()) at = Check(*member, at, bytes, out);
  } else {
    at += PrimitiveSize(item.type_code);
  }
  const uint32_t field = ChecksumFieldSize(item.checksum_kind);
  if (field != 0 && at + field <= bytes.size()) {
    const auto where = static_cast<uint32_t>(at);
    out.push_back({&item, ItemPath(item), where, StoredField(bytes, where, item.checksum_kind), item.ChecksumValue()});
  }
  return at + field;
}

}  // namespace

std::string ItemPath(const EepromItem& item) {
  std::string path;
  for (const EepromItem* at = &item; at && at->Parent(); at = at->Parent()) {
    path = path.empty() ? at->instance_name : at->instance_name + "." + path;
  }
  return path;
}

std::vector<EepromDifference> CompareEepromItems(const EepromItem& left, const EepromItem& right) {
  std::vector<EepromDifference> out;
  Compare(left, right, "", out);
  return out;
}

std::vector<ChecksumHealth> CheckChecksums(const EepromItem& root, const HexImage& bytes) {
  std::vector<ChecksumHealth> out;
  Check(root, 0, bytes, out);
  return out;
}

std::string ChecksumHealthLine(const std::vector<ChecksumHealth>& health) {
  if (health.empty()) return "Checksums: none";
  std::size_t bad = 0;
  std::string details;
  for (const auto& h : health) {
    if (h.Good()) continue;
    ++bad;
    const int digits = ChecksumFieldSize(h.item->checksum_kind) == 4 ? 8 : 4;
    details += (details.empty() ? ": " : ", ") + (h.path.empty() ? h.item->type_name : h.path) +
               Format(" (stored 0x%0*X, computed 0x%0*X)", digits, h.stored, digits, h.computed);
  }
  if (bad == 0) return Format("Checksums: all %zu good", health.size());
  return Format("Checksums: %zu of %zu bad", bad, health.size()) + details;
}

}  // namespace corvel
