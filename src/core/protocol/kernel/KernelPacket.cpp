#include "core/protocol/kernel/KernelPacket.h"

namespace corvel::kernel {

uint32_t Checksum32(std::span<const uint8_t> raw) {
  uint32_t sum = 0;
  for (uint8_t b : raw) sum += b;
  return sum;
}

std::vector<uint8_t> EscapePayload(std::span<const uint8_t> raw) {
  std::vector<uint8_t> out;
  out.reserve(raw.size() + raw.size() / 64 + 1);
  for (uint8_t b : raw) {
    out.push_back(b);
    if (b == kEscapedByte) out.push_back(b);
  }
  return out;
}

void PutBigEndian32(uint8_t* at, uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * (3 - i)));
}

uint32_t GetBigEndian32(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | uint32_t{at[3]};
}

KernelPacket KernelPacket::StatusQuery() { return KernelPacket{}; }

KernelPacket KernelPacket::Data(uint32_t address, std::span<const uint8_t> raw) {
  KernelPacket packet;
  packet.type = kTypeData;
  packet.address = address;
  packet.count = static_cast<uint32_t>(raw.size());
  packet.checksum = Checksum32(raw);
  packet.payload = EscapePayload(raw);
  return packet;
}

KernelPacket KernelPacket::Start(uint32_t address) {
  KernelPacket packet;
  packet.type = kTypeStartApplication;
  packet.address = address;
  return packet;
}

std::vector<uint8_t> KernelPacket::EncodeHeader() const {
  std::vector<uint8_t> out;
  switch (type) {
    case kTypeStatusQuery: out.resize(kStatusQueryLength); break;
    case kTypeData: out.resize(kDataHeaderLength); break;
    case kTypeStartApplication: out.resize(kStartLength); break;
    default: return out;
  }
  out[kMarkerOffset] = kPacketMarker;
  out[kTypeOffset] = type;
  if (type != kTypeStatusQuery) PutBigEndian32(&out[kAddressOffset], address);
  if (type == kTypeData) PutBigEndian32(&out[kCountOffset], count);
  return out;
}

std::optional<KernelStatus> KernelStatus::Decode(std::span<const uint8_t> bytes) {
  if (bytes.size() != kStatusLength) return std::nullopt;
  return KernelStatus{GetBigEndian32(&bytes[kStatusAddressOffset]), GetBigEndian32(&bytes[kStatusCountOffset]),
                      GetBigEndian32(&bytes[kStatusChecksumOffset])};
}

}  // namespace corvel::kernel
