#pragma once
// A small owned memory image with a cursor, 0xFF where nothing was written.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvel {

class HexImage {
 public:
  // Drops any old data and makes size bytes of 0xFF; the cursor goes to 0.
  void Allocate(uint32_t size);
  // Allocate(size), then the Intel HEX file without segment wrap.
  bool LoadHex(const std::string& path, uint32_t size);
  // False when there is no data, else the whole image as Intel HEX.
  bool SaveHex(const std::string& path) const;
  // The cursor moves to offset, at most to the end; returns the new position.
  uint32_t Seek(uint32_t offset);
  // The cursor moves by delta, kept between 0 and the end; returns the new position.
  uint32_t Skip(int64_t delta);
  // Copies up to n bytes from the cursor on, advancing it; the count copied.
  uint32_t Read(uint8_t* destination, uint32_t n);
  // Overwrites up to n bytes from the cursor on, advancing it; the count written.
  uint32_t Write(const uint8_t* source, uint32_t n);
  // The whole image as the hex viewer shows it, untrimmed; empty when there
  // is no data. The tool that owns the image shows it.
  std::string View() const;

  bool HasData() const { return m_allocated; }
  uint8_t* data() { return m_allocated ? m_data.data() : nullptr; }
  const uint8_t* data() const { return m_allocated ? m_data.data() : nullptr; }
  uint32_t size() const { return static_cast<uint32_t>(m_data.size()); }
  uint32_t position() const { return m_position; }

 private:
  std::vector<uint8_t> m_data;
  bool m_allocated = false;
  uint32_t m_position = 0;
};

}  // namespace corvel
