// Any bytes as a ".cal" file: the reader never reads past them, a file it
// takes serializes back to exactly its bytes, and its display texts and text
// export can be built for every equipment entry.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/tool/devicetools/CalibrationData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const auto parsed = corvel::ParseCalibrationFile(std::span<const uint8_t>(data, size));
  if (!parsed) {
    if (parsed.error().offset > size) std::abort();
    return 0;
  }
  const auto bytes = parsed->Serialize();
  if (bytes.size() != size || (size != 0 && std::memcmp(bytes.data(), data, size) != 0)) std::abort();
  for (int equipment = 0; equipment < corvel::kCalEquipmentCount; ++equipment) {
    const std::string scale = corvel::ScaleFactorText(*parsed, equipment);
    const std::string thresholds = corvel::ThresholdText(*parsed, equipment);
    if (scale.empty() || thresholds.empty()) std::abort();
    (void)corvel::CalibrationTextExport(*parsed, equipment);
  }
  return 0;
}
