#include "core/format/hex/HexImage.h"

#include <algorithm>
#include <cstring>

#include "core/format/hex/IntelHex.h"
#include "core/format/hex/HexDump.h"

namespace corvel {

void HexImage::Allocate(uint32_t size) {
  m_data.assign(size, kErasedByte);
  m_data.shrink_to_fit();
  m_allocated = true;
  m_position = 0;
}

bool HexImage::LoadHex(const std::string& path, uint32_t size) {
  Allocate(size);
  return LoadIntelHex(path, m_data.data(), size, false);
}

bool HexImage::SaveHex(const std::string& path) const {
  if (!m_allocated) return false;
  return SaveIntelHex(path, m_data.data(), size());
}

uint32_t HexImage::Seek(uint32_t offset) {
  m_position = std::min(offset, size());
  return m_position;
}

uint32_t HexImage::Skip(int64_t delta) {
  const int64_t moved = std::clamp<int64_t>(static_cast<int64_t>(m_position) + delta, 0, size());
  m_position = static_cast<uint32_t>(moved);
  return m_position;
}

uint32_t HexImage::Read(uint8_t* destination, uint32_t n) {
  if (!m_allocated) return 0;
  const uint32_t count = std::min(n, size() - m_position);
  if (count) std::memcpy(destination, m_data.data() + m_position, count);
  m_position += count;
  return count;
}

uint32_t HexImage::Write(const uint8_t* source, uint32_t n) {
  if (!m_allocated) return 0;
  const uint32_t count = std::min(n, size() - m_position);
  if (count) std::memcpy(m_data.data() + m_position, source, count);
  m_position += count;
  return count;
}

std::string HexImage::View() const {
  if (!m_allocated || m_data.empty()) return {};
  return HexDumpText(m_data.data(), size(), false);
}

}  // namespace corvel
