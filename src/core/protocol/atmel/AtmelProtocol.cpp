#include "core/protocol/atmel/AtmelProtocol.h"

#include <algorithm>
#include <cstring>

#include "core/transport/SerialPort.h"

namespace corvel::atmel {

namespace {

template <std::size_t N>
std::array<uint8_t, N> TwoWordCode(uint32_t low, uint32_t high) {
  std::array<uint8_t, N> code{};
  PutAddress(code.data(), low);
  PutAddress(code.data() + 4, high);
  return code;
}

bool ValidFrame(std::span<const uint8_t> bytes, std::size_t length) {
  return bytes.size() == length && CheckChecksum16(bytes.data(), length - kChecksumLength);
}

}  // namespace

void PutAddress(uint8_t* at, uint32_t address) {
  for (std::size_t i = 0; i < kAddressLength; ++i) at[i] = static_cast<uint8_t>(address >> (8 * i));
}

uint32_t GetLittleEndian32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

std::array<uint8_t, kWakeUpCodeLength> WakeUpCode() {
  return TwoWordCode<kWakeUpCodeLength>(kWakeUpCodeLow, kWakeUpCodeHigh);
}

std::array<uint8_t, kEnterBootLoaderCodeLength> EnterBootLoaderCode() {
  return TwoWordCode<kEnterBootLoaderCodeLength>(kEnterBootLoaderCodeLow, kEnterBootLoaderCodeHigh);
}

std::vector<uint8_t> ShortRequest::Encode() const {
  std::vector<uint8_t> frame(kShortRequestLength);
  frame[kCodeOffset] = code;
  AppendChecksum16(frame.data(), frame.size() - kChecksumLength);
  return frame;
}

std::vector<uint8_t> AddressedRequest::Encode() const {
  std::vector<uint8_t> frame(kAddressedRequestLength);
  frame[kCodeOffset] = code;
  PutAddress(&frame[kAddressOffset], address);
  AppendChecksum16(frame.data(), frame.size() - kChecksumLength);
  return frame;
}

std::vector<uint8_t> FlashWriteRequest::Encode() const {
  std::vector<uint8_t> frame(kFlashWriteRequestLength);
  frame[kCodeOffset] = kCmdWriteFlash;
  PutAddress(&frame[kAddressOffset], address);
  std::copy(data.begin(), data.end(), frame.begin() + kRequestDataOffset);
  AppendChecksum16(frame.data(), frame.size() - kChecksumLength);
  return frame;
}

std::vector<uint8_t> EepromWriteRequest::Encode() const {
  std::vector<uint8_t> frame(data.size() + kEepromWriteOverhead);
  frame[kCodeOffset] = kCmdWriteEeprom;
  PutAddress(&frame[kAddressOffset], address);
  std::copy(data.begin(), data.end(), frame.begin() + kRequestDataOffset);
  AppendChecksum16(frame.data(), frame.size() - kChecksumLength);
  return frame;
}

std::optional<ShortReply> ShortReply::Decode(std::span<const uint8_t> bytes) {
  if (!ValidFrame(bytes, kLength)) return std::nullopt;
  return ShortReply{bytes[kEchoOffset]};
}

std::optional<VersionReply> VersionReply::Decode(std::span<const uint8_t> bytes) {
  if (!ValidFrame(bytes, kLength)) return std::nullopt;
  return VersionReply{GetLittleEndian32(&bytes[kVersionOffset])};
}

std::optional<ApplicationReply> ApplicationReply::Decode(std::span<const uint8_t> bytes) {
  if (!ValidFrame(bytes, kLength)) return std::nullopt;
  const auto* text = reinterpret_cast<const char*>(&bytes[kDescriptionOffset]);
  // A description that fills all 20 bytes has no NUL and is taken whole.
  const std::size_t length = ::strnlen(text, kDescriptionLength);
  return ApplicationReply{GetLittleEndian32(&bytes[kVersionOffset]), std::string(text, length)};
}

std::optional<DataReply> DataReply::Decode(std::span<const uint8_t> bytes) {
  if (!ValidFrame(bytes, kLength)) return std::nullopt;
  DataReply reply{};
  std::copy_n(bytes.begin() + kReplyDataOffset, kReadLength, reply.data.begin());
  return reply;
}

std::optional<StatusReply> StatusReply::Decode(std::span<const uint8_t> bytes) {
  if (!ValidFrame(bytes, kLength)) return std::nullopt;
  return StatusReply{bytes[kStatusOffset]};
}

}  // namespace corvel::atmel
