#pragma once
// The calibration of a transmitter's control board: meter scale factors
// (32-bit floats) and analog threshold values (16-bit), their ".cal" file
// layout and the texts that show them.
//
//   ".cal" file, every number least significant byte first, no header:
//     [0]        threshold count T
//     [2]        T thresholds, 2 bytes each
//     [2 + 2T]   scale factor count S
//     [4 + 2T]   S scale factors, 4 bytes each (IEEE 754 single)
//   A file with no data is 00 00 00 00.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/base/Outcome.h"

namespace corvel {

inline constexpr std::size_t kCalCountSize = 2;
inline constexpr std::size_t kCalFileThresholdSize = 2;
inline constexpr std::size_t kCalFileScaleFactorSize = 4;
// The largest file the layout allows: both counts at 65535.
inline constexpr std::size_t kCalMaxFileSize =
    2 * kCalCountSize + 65535 * (kCalFileThresholdSize + kCalFileScaleFactorSize);

struct CalibrationData {
  std::vector<uint16_t> thresholds;  // empty: absent
  std::vector<float> scale_factors;  // empty: absent

  void Clear() {
    thresholds.clear();
    scale_factors.clear();
  }
  std::vector<uint8_t> Serialize() const;
  bool operator==(const CalibrationData&) const = default;
};

enum class CalFileErrorKind {
  Truncated,     // ends before its counts are satisfied
  TrailingBytes, // holds bytes after them
};
struct CalFileError {
  CalFileErrorKind kind = CalFileErrorKind::Truncated;
  std::size_t offset = 0;  // where the reader stopped
};
// Reads a whole ".cal" file's bytes.
Result<CalibrationData, CalFileError> ParseCalibrationFile(std::span<const uint8_t> bytes);

// The equipment the calibration window offers, in order, and the base of the
// sub-device address of each.
inline constexpr int kCalEquipmentCount = 8;
inline constexpr int kCalEquipmentUnknown = 0;
inline constexpr int kCalEquipmentK35 = 2;
const std::vector<std::string>& CalibrationEquipmentList();
uint8_t CalibrationAddressBase(int equipment);
// 0 (direct) when not relayed; else base + position (A = 0 .. H = 7), 8 bits.
uint8_t CalibrationSubAddress(int equipment, int position, bool relayed);

inline constexpr const char* kCalNoData = "No data to display";
// The texts of the "Meter Scale Factors:" and "Analog Threshold Values:" boxes
// with the labels of `equipment`; lines joined by CR LF.
std::string ScaleFactorText(const CalibrationData& data, int equipment);
std::string ThresholdText(const CalibrationData& data, int equipment);
// "Save as Text File": a section per list that is present.
std::string CalibrationTextExport(const CalibrationData& data, int equipment);

}  // namespace corvel
