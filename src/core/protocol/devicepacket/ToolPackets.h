#pragma once
// Payloads of the device tools carried by the device packet link: the modem
// settings of a Meridel master board and the calibration of a control board.
//
//   modem settings data (255 bytes, both directions; 0x8E asks, 0x8F sends)
//     [0   .. 120] dial-up initialisation string, zero-padded
//     [121 .. 241] leased line initialisation string, zero-padded
//     [242 .. 254] dial-up command string, zero-padded
//
//   calibration read request (type 0x80)   [0] step: 1 scale factors, 2 thresholds
//   its answer (type 0x80)                 [0] step  [1] count C  [2..] C values
//   calibration write request (type 0x81)  [0] step  [1] count C  [2..] C values
//   its answer (type 0x81)                 [0] step
//
//   Values travel least significant byte first: a scale factor as the four
//   bytes of its IEEE 754 single float, a threshold as 16 bits.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/base/Outcome.h"
#include "core/protocol/devicepacket/DevicePacket.h"

namespace corvel::devicepacket {

// Modem settings.
inline constexpr std::size_t kModemDialInitOffset = 0;
inline constexpr std::size_t kModemDialInitSize = 121;
inline constexpr std::size_t kModemLeasedInitOffset = 121;
inline constexpr std::size_t kModemLeasedInitSize = 121;
inline constexpr std::size_t kModemDialCommandOffset = 242;
inline constexpr std::size_t kModemDialCommandSize = 13;
inline constexpr std::size_t kModemSettingsLength = 255;

struct ModemStrings {
  std::string dial_up_init;
  std::string leased_line_init;
  std::string dial_up_command;
  bool operator==(const ModemStrings&) const = default;
};

// The 255 bytes: zeros, then each string cut to its field.
std::array<uint8_t, kModemSettingsLength> EncodeModemSettings(const ModemStrings& strings);
// Each field up to its first zero byte (at most the field), blanks trimmed.
// `data` must hold at least kModemSettingsLength bytes.
ModemStrings DecodeModemSettings(const uint8_t* data);

// Asks the board on the cable for its modem settings (0x8E). Fails when no
// answer comes, it has another type, or it carries fewer than 255 bytes.
LinkResult<ModemStrings> FetchModemSettings(SerialPort& port);
// Sends new settings (0x8F); succeeds on an answer of type 0x8F.
LinkStatus SendModemSettings(SerialPort& port, const ModemStrings& strings);

// Calibration.
inline constexpr uint8_t kCalStepScaleFactors = 1;
inline constexpr uint8_t kCalStepThresholds = 2;
inline constexpr std::size_t kCalStepOffset = 0;
inline constexpr std::size_t kCalCountOffset = 1;
inline constexpr std::size_t kCalValuesOffset = 2;
inline constexpr std::size_t kCalScaleFactorSize = 4;
inline constexpr std::size_t kCalThresholdSize = 2;
// What one packet carries: 2 + 4 x 63 = 254, 2 + 2 x 126 = 254.
inline constexpr std::size_t kCalMaxScaleFactors = (kMaxDataLength - kCalValuesOffset) / kCalScaleFactorSize;
inline constexpr std::size_t kCalMaxThresholds = (kMaxDataLength - kCalValuesOffset) / kCalThresholdSize;
// Relayed, the request also carries the relay's 3 bytes: 62 and 125.
inline constexpr std::size_t kCalMaxRelayedScaleFactors =
    (kMaxRelayedDataLength - kCalValuesOffset) / kCalScaleFactorSize;
inline constexpr std::size_t kCalMaxRelayedThresholds = (kMaxRelayedDataLength - kCalValuesOffset) / kCalThresholdSize;

std::vector<uint8_t> EncodeScaleFactors(const std::vector<float>& values);   // step 1, count, values
std::vector<uint8_t> EncodeThresholds(const std::vector<uint16_t>& values);  // step 2, count, values

// One read step: request 0x80 [step], answer 0x80 [step, count, values]. The
// values' raw bytes (count x value size) are returned. A missing answer, one
// of another type or step, or one shorter than its count fails.
LinkResult<std::vector<uint8_t>> ReadCalibrationStep(SerialPort& port, uint8_t sub_address, uint8_t step,
                                                     std::size_t value_size);
// One write step: request 0x81 with `data`, answer 0x81 [step].
LinkStatus WriteCalibrationStep(SerialPort& port, uint8_t sub_address, const std::vector<uint8_t>& data);

std::vector<float> DecodeScaleFactors(const std::vector<uint8_t>& raw);
std::vector<uint16_t> DecodeThresholds(const std::vector<uint8_t>& raw);

}  // namespace corvel::devicepacket
