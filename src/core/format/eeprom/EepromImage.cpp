#include "core/format/eeprom/EepromImage.h"

#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "core/base/Text.h"
#include "core/format/eeprom/EepromMessages.h"

namespace corvel {

namespace {

constexpr const char* kBlanks = " \t\r\n";

// The number form of BYTE, WORD and DWORD entries: blanks around it ignored;
// with an "X" anywhere, the hex digits after the first one; otherwise
// decimal digits. The whole rest must be digits. Numbers too large for 64
// bits saturate; the caller clamps to its type.
bool ParseUnsignedEntry(const std::string& entry, uint64_t& value) {
  const auto first = entry.find_first_not_of(kBlanks);
  if (first == std::string::npos) return false;
  std::string text = entry.substr(first, entry.find_last_not_of(kBlanks) - first + 1);
  for (char& c : text) c = Upper(c);
  int base = 10;
  const auto x = text.find('X');
  if (x != std::string::npos) {
    text.erase(0, x + 1);
    base = 16;
  }
  if (text.empty()) return false;
  uint64_t v = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (v > (std::numeric_limits<uint64_t>::max() - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) {
      v = std::numeric_limits<uint64_t>::max();
    } else {
      v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
  }
  value = v;
  return true;
}

// Leading blanks, then an optional sign: pos ends on what follows them. False
// when nothing but blanks is there.
bool SkipBlanksAndSign(const std::string& entry, std::size_t& pos, bool& negative) {
  pos = entry.find_first_not_of(kBlanks);
  if (pos == std::string::npos) return false;
  negative = entry[pos] == '-';
  if (entry[pos] == '+' || entry[pos] == '-') ++pos;
  return true;
}

// A signed decimal number after optional leading blanks; reading stops at the
// first character that is not a digit. Saturates far beyond 16 bits.
bool ParseSignedEntry(const std::string& entry, int64_t& value) {
  std::size_t pos;
  bool negative;
  if (!SkipBlanksAndSign(entry, pos, negative)) return false;
  if (pos >= entry.size() || entry[pos] < '0' || entry[pos] > '9') return false;
  int64_t v = 0;
  for (; pos < entry.size() && entry[pos] >= '0' && entry[pos] <= '9'; ++pos) {
    if (v < 1000000000000LL) v = v * 10 + (entry[pos] - '0');
  }
  value = negative ? -v : v;
  return true;
}

// A decimal floating-point number after optional leading blanks; reading stops
// where the number ends.
bool ParseFloatEntry(const std::string& entry, float& value) {
  std::size_t pos;
  bool negative;
  if (!SkipBlanksAndSign(entry, pos, negative)) return false;
  if (pos >= entry.size() || entry[pos] == '+' || entry[pos] == '-') return false;
  float v = 0.0f;
  const auto result = std::from_chars(entry.data() + pos, entry.data() + entry.size(), v);
  if (result.ec == std::errc::result_out_of_range) {
    // Beyond the float's range the entry is taken as the nearest limit.
    double wide = 0.0;
    std::from_chars(entry.data() + pos, entry.data() + entry.size(), wide);
    v = std::fabs(wide) < 1.0 ? 0.0f : std::numeric_limits<float>::max();
  } else if (result.ec != std::errc()) {
    return false;
  }
  value = negative ? -v : v;
  return true;
}

template <typename T>
EditResult Store(T& slot, T value) {
  const bool changed = slot != value;
  slot = value;
  return {true, changed};
}

}  // namespace

EditResult EditItemValue(EepromItem& item, const std::string& text) {
  if (item.skip_count != 0) return {};
  switch (item.type_code) {
    case TypeCode::kByte: {
      if (item.char_display) {
        if (text.empty()) return {};
        return Store(item.byte_value, static_cast<uint8_t>(text[0]));
      }
      uint64_t v;
      if (!ParseUnsignedEntry(text, v)) return {};
      return Store(item.byte_value, static_cast<uint8_t>(v > 255 ? 255 : v));
    }
    case TypeCode::kWord: {
      uint64_t v;
      if (!ParseUnsignedEntry(text, v)) return {};
      return Store(item.word_value, static_cast<uint16_t>(v > 65535 ? 65535 : v));
    }
    case TypeCode::kDword: {
      // A DWORD without hex display shows 0x80000000 and above as negative
      // numbers; the same text must read back, as its two's complement.
      const std::size_t sign = text.find_first_not_of(kBlanks);
      if (sign != std::string::npos && text[sign] == '-') {
        int64_t negative;
        if (!ParseSignedEntry(text, negative)) return {};
        if (negative < INT32_MIN) negative = INT32_MIN;
        return Store(item.dword_value, static_cast<uint32_t>(static_cast<int32_t>(negative)));
      }
      uint64_t v;
      if (!ParseUnsignedEntry(text, v)) return {};
      // Beyond 32 bits the entry is taken as the largest value.
      return Store(item.dword_value, static_cast<uint32_t>(v > 0xFFFFFFFFu ? 0xFFFFFFFFu : v));
    }
    case TypeCode::kInt: {
      int64_t v;
      if (!ParseSignedEntry(text, v)) return {};
      if (v > 32767) v = 32767;
      if (v < -32768) v = -32768;
      return Store(item.int_value, static_cast<int16_t>(v));
    }
    case TypeCode::kFloat: {
      float v;
      if (!ParseFloatEntry(text, v)) return {};
      item.float_value = v;
      return {true, true};
    }
    default: return {};
  }
}

std::string EditDialogTitle(const EepromItem& item) { return Format(eeprom_text::kEditTitle, item.NameText().c_str()); }

std::string EditDialogPrompt(const EepromItem* item) {
  if (!item) return Format(eeprom_text::kEditPrompt, eeprom_text::kUnknownItem);
  return Format(item->IsDescribed() ? eeprom_text::kEditDescribed : eeprom_text::kEditPrompt, item->PathText().c_str());
}

bool EditDialogHasEntry(const EepromItem& item) { return !item.IsDescribed(); }

void EepromImage::Decode() {
  if (!m_root) return;
  m_bytes.Seek(0);
  m_root->ReadFromImage(m_bytes);
}

void EepromImage::Encode() {
  if (!m_root) return;
  m_bytes.Seek(0);
  m_root->WriteToImage(m_bytes);
}

EditResult EepromImage::EditValue(EepromItem& item, const std::string& text) {
  const EditResult result = EditItemValue(item, text);
  if (result.changed) Encode();
  return result;
}

std::optional<std::string> EepromImageSizeRefusal(const std::string& type_name, uint64_t size, bool given_size) {
  if (size <= kMaxEepromImageBytes) return std::nullopt;
  return given_size ? Format(eeprom_text::kSizeTooLarge, static_cast<unsigned long long>(size), kMaxEepromImageBytes)
                    : Format(eeprom_text::kDescribedSizeTooLarge, type_name.c_str(),
                             static_cast<unsigned long long>(size), kMaxEepromImageBytes);
}

void EepromImage::MakeBlank(uint32_t size) {
  m_bytes.Allocate(size);
  Encode();
}

std::string EepromImage::Text() const {
  std::string out;
  if (m_root) m_root->WriteText(out, "");
  return out;
}

EepromItem* FindItemByPath(EepromItem& root, const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto dot = path.find('.', start);
    parts.push_back(path.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  auto child = [](EepromItem& parent, const std::string& name) -> EepromItem* {
    for (const auto& member : parent.Members()) {
      if (EqualsNoCase(member->instance_name, name)) return member.get();
    }
    return nullptr;
  };
  std::size_t i = 0;
  if (EqualsNoCase(parts[0], root.type_name) && !child(root, parts[0])) {
    if (parts.size() == 1) return &root;
    i = 1;
  }
  EepromItem* item = &root;
  for (; i < parts.size(); ++i) {
    item = child(*item, parts[i]);
    if (!item) return nullptr;
  }
  return item;
}

}  // namespace corvel
