#pragma once
// Comparing two decoded trees item by item, and checking the checksum fields
// a file holds against the ones its values give. Neither changes anything.
#include <cstdint>
#include <string>
#include <vector>

#include "core/format/eeprom/EepromItem.h"

namespace corvel {

class HexImage;

// One item whose value differs, or that one side lacks (its pointer there is
// nullptr). Items match as CopyValuesFrom matches them: the same instance
// name and the same type name, version texts aside.
struct EepromDifference {
  std::string path;  // instance names from below the root, joined by "."
  const EepromItem* left = nullptr;
  const EepromItem* right = nullptr;
};

std::vector<EepromDifference> CompareEepromItems(const EepromItem& left, const EepromItem& right);

// The instance-name path of an item below its root ("" for the root).
std::string ItemPath(const EepromItem& item);

// One checksum field as the file stores it and as the values compute it.
struct ChecksumHealth {
  const EepromItem* item = nullptr;
  std::string path;
  uint32_t offset = 0;    // of the checksum field in the image
  uint32_t stored = 0;    // the field's bytes, in the kind's byte order
  uint32_t computed = 0;  // ChecksumValue() of the decoded values
  bool Good() const { return stored == computed; }
};

// Every checksum field of the decoded tree that lies wholly inside the bytes.
// Run it right after Decode, before an Encode rewrites the fields.
std::vector<ChecksumHealth> CheckChecksums(const EepromItem& root, const HexImage& bytes);

// "Checksums: all 3 good" / "Checksums: 1 of 3 bad: ID (stored 0x1234, computed 0x5678)" /
// "Checksums: none".
std::string ChecksumHealthLine(const std::vector<ChecksumHealth>& health);

}  // namespace corvel
