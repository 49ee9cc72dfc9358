// Any bytes from the line: decoding never reads past them, and a frame that
// decodes encodes back to exactly the bytes it came from.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/protocol/devicepacket/DevicePacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const auto decoded = corvel::DevicePacket::Decode(std::span<const uint8_t>(data, size));
  if (decoded.status == corvel::DevicePacket::DecodeStatus::Incomplete && decoded.consumed != 0) std::abort();
  if (decoded.consumed > size) std::abort();
  if (decoded.status == corvel::DevicePacket::DecodeStatus::Ok) {
    const auto frame = decoded.packet.Encode();
    if (frame.size() != decoded.consumed || std::memcmp(frame.data(), data, frame.size()) != 0) std::abort();
  }
  return 0;
}
