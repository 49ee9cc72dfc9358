#include "core/protocol/devicepacket/ToolPackets.h"

#include <algorithm>
#include <cstring>

#include "core/base/DebugLog.h"

namespace corvel::devicepacket {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string FieldText(const uint8_t* field, std::size_t size) {
  const auto* end = std::find(field, field + size, uint8_t{0});
  std::string text(reinterpret_cast<const char*>(field), static_cast<std::size_t>(end - field));
  std::size_t begin = 0;
  std::size_t stop = text.size();
  while (begin < stop && IsBlank(text[begin])) ++begin;
  while (stop > begin && IsBlank(text[stop - 1])) --stop;
  return text.substr(begin, stop - begin);
}

void CopyField(uint8_t* field, std::size_t size, const std::string& text) {
  std::memcpy(field, text.data(), std::min(size, text.size()));
}

// Sends `request` and receives its answer, directly or relayed. A relayed
// fetch asks for the request's type, so the answer starts from the request.
LinkResult<DevicePacket> Exchange(SerialPort& port, const DevicePacket& request, uint8_t sub_address) {
  if (LinkStatus sent = request.Send(port, sub_address); !sent) return Fail(sent.error());
  DevicePacket answer = request;
  if (LinkStatus got = answer.Receive(port, sub_address); !got) return Fail(got.error());
  return answer;
}

// One calibration step: the request goes out (relayed when sub_address is not
// 0) and its answer must be of the request's type and carry its step number.
LinkResult<DevicePacket> CalibrationExchange(SerialPort& port, uint8_t sub_address, uint8_t type,
                                             const std::vector<uint8_t>& data) {
  if (data.empty() || data.size() > kMaxDataLength) return LinkFail(LinkErrorKind::Refused, type);
  const uint8_t step = data[kCalStepOffset];
  const char* name = type == kTypeCalibrationRead ? "read" : "write";
  const DevicePacket request(kMasterAddress, kHostAddress, type, static_cast<uint8_t>(data.size()), data.data());
  auto answer = Exchange(port, request, sub_address);
  if (!answer) return answer;
  if (answer->PacketType() != type) {
    DebugPrintf("Calibration %s %d: answer of type 0x%X", name, step, answer->PacketType());
    return LinkFail(LinkErrorKind::WrongType, type, type, answer->PacketType());
  }
  if (answer->Length() <= kCalStepOffset || answer->DataAt(kCalStepOffset) != step) {
    DebugPrintf("Calibration %s %d: answer for step %d", name, step, answer->DataAt(kCalStepOffset));
    return LinkFail(LinkErrorKind::WrongType, type, step, answer->DataAt(kCalStepOffset));
  }
  return answer;
}

}  // namespace

std::array<uint8_t, kModemSettingsLength> EncodeModemSettings(const ModemStrings& strings) {
  std::array<uint8_t, kModemSettingsLength> data{};
  CopyField(data.data() + kModemDialInitOffset, kModemDialInitSize, strings.dial_up_init);
  CopyField(data.data() + kModemLeasedInitOffset, kModemLeasedInitSize, strings.leased_line_init);
  CopyField(data.data() + kModemDialCommandOffset, kModemDialCommandSize, strings.dial_up_command);
  return data;
}

ModemStrings DecodeModemSettings(const uint8_t* data) {
  return {FieldText(data + kModemDialInitOffset, kModemDialInitSize),
          FieldText(data + kModemLeasedInitOffset, kModemLeasedInitSize),
          FieldText(data + kModemDialCommandOffset, kModemDialCommandSize)};
}

LinkResult<ModemStrings> FetchModemSettings(SerialPort& port) {
  const DevicePacket request(kMasterAddress, kHostAddress, kTypeModemSettingsRead, 0, nullptr);
  auto answer = Exchange(port, request, 0);
  if (!answer) return Fail(answer.error());
  if (answer->PacketType() != kTypeModemSettingsRead) {
    DebugPrintf("Modem settings: answer of type 0x%X", answer->PacketType());
    return LinkFail(LinkErrorKind::WrongType, kTypeModemSettingsRead, kTypeModemSettingsRead, answer->PacketType());
  }
  if (answer->Length() < kModemSettingsLength) {
    DebugPrintf("Modem settings: answer of %d bytes", answer->Length());
    return LinkFail(LinkErrorKind::ShortReply, kTypeModemSettingsRead, kModemSettingsLength, answer->Length());
  }
  return DecodeModemSettings(answer->Data());
}

LinkStatus SendModemSettings(SerialPort& port, const ModemStrings& strings) {
  const auto data = EncodeModemSettings(strings);
  const DevicePacket request(kMasterAddress, kHostAddress, kTypeModemSettingsWrite,
                             static_cast<uint8_t>(data.size()), data.data());
  auto answer = Exchange(port, request, 0);
  if (!answer) return Fail(answer.error());
  if (answer->PacketType() != kTypeModemSettingsWrite) {
    DebugPrintf("Modem settings: answer of type 0x%X", answer->PacketType());
    return LinkFail(LinkErrorKind::WrongType, kTypeModemSettingsWrite, kTypeModemSettingsWrite, answer->PacketType());
  }
  return {};
}

std::vector<uint8_t> EncodeScaleFactors(const std::vector<float>& values) {
  std::vector<uint8_t> data{kCalStepScaleFactors, static_cast<uint8_t>(values.size())};
  for (float value : values) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  }
  return data;
}

std::vector<uint8_t> EncodeThresholds(const std::vector<uint16_t>& values) {
  std::vector<uint8_t> data{kCalStepThresholds, static_cast<uint8_t>(values.size())};
  for (uint16_t value : values) {
    data.push_back(static_cast<uint8_t>(value & 0xFF));
    data.push_back(static_cast<uint8_t>(value >> 8));
  }
  return data;
}

std::vector<float> DecodeScaleFactors(const std::vector<uint8_t>& raw) {
  std::vector<float> values(raw.size() / kCalScaleFactorSize);
  for (std::size_t i = 0; i < values.size(); ++i) {
    uint32_t bits = 0;
    for (std::size_t b = 0; b < 4; ++b) bits |= uint32_t{raw[i * 4 + b]} << (8 * b);
    std::memcpy(&values[i], &bits, sizeof bits);
  }
  return values;
}

std::vector<uint16_t> DecodeThresholds(const std::vector<uint8_t>& raw) {
  std::vector<uint16_t> values(raw.size() / kCalThresholdSize);
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<uint16_t>(raw[i * 2] | (raw[i * 2 + 1] << 8));
  }
  return values;
}

LinkResult<std::vector<uint8_t>> ReadCalibrationStep(SerialPort& port, uint8_t sub_address, uint8_t step,
                                                     std::size_t value_size) {
  auto answer = CalibrationExchange(port, sub_address, kTypeCalibrationRead, {step});
  if (!answer) return Fail(answer.error());
  const std::size_t count = answer->DataAt(kCalCountOffset);
  const std::size_t needed = kCalValuesOffset + count * value_size;
  if (answer->Length() < needed) {
    // The values past the answer's end are not the device's: take none.
    DebugPrintf("Calibration read %d: %d values announced, %d data bytes received", step, static_cast<int>(count),
                answer->Length());
    return LinkFail(LinkErrorKind::ShortReply, kTypeCalibrationRead, static_cast<uint32_t>(needed), answer->Length());
  }
  const auto bytes = answer->Bytes();
  return std::vector<uint8_t>(bytes.begin() + kCalValuesOffset, bytes.begin() + static_cast<std::ptrdiff_t>(needed));
}

LinkStatus WriteCalibrationStep(SerialPort& port, uint8_t sub_address, const std::vector<uint8_t>& data) {
  auto answer = CalibrationExchange(port, sub_address, kTypeCalibrationWrite, data);
  if (!answer) return Fail(answer.error());
  return {};
}

}  // namespace corvel::devicepacket
