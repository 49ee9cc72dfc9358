// libFuzzer target: any text through the Intel HEX reader, into images of a
// few sizes, with and without segment wrap. It must never read or write
// outside the image, and whatever it writes must stay inside [0, size).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "core/format/hex/IntelHex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the image size and the wrap flag.
  static constexpr uint32_t kSizes[] = {1, 16, 0x1000, 0x1DF00, 0x20000, 0x110000};
  const uint32_t image_size = kSizes[data[0] % 6];
  const bool wrap = (data[0] & 0x80) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<uint8_t> image(image_size);
  const bool ok = corvel::ParseIntelHex(text, image.data(), image_size, wrap);
  if (ok && image_size <= 0x1000) {
    // What loaded must save and load again to the same bytes.
    const std::string saved = corvel::FormatIntelHex(image.data(), image_size);
    std::vector<uint8_t> again(image_size);
    if (!corvel::ParseIntelHex(saved, again.data(), image_size, false) || again != image) std::abort();
  }
  return 0;
}
