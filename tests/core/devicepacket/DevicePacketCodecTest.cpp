// The packet as bytes: encoding and decoding without any port.
#include <gtest/gtest.h>

#include <vector>

#include "core/protocol/devicepacket/DevicePacket.h"

namespace corvel::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(DevicePacketCodec, GoldenFrames) {
  const Bytes five = {1, 2, 3, 4, 5};
  const Bytes eeprom_request = {1, 3, 0x10, 0x02};
  const struct {
    const char* name;
    DevicePacket packet;
    Bytes frame;
  } cases[] = {
      // The modem settings request with no data.
      {"modem request", DevicePacket(0, 1, 0x8E, 0, nullptr), {0x00, 0x01, 0x8E, 0x00, 0xFF, 0x71}},
      // 0+1+0x8C+4+1+3+0x10+2 = 0xA7 -> 0x10000 - 0xA7 = 0xFF59.
      {"eeprom read", DevicePacket(0, 1, 0x8C, 4, eeprom_request.data()),
       {0x00, 0x01, 0x8C, 0x04, 0x01, 0x03, 0x10, 0x02, 0xFF, 0x59}},
      // 1+0+0xFF+5+15 = 0x114 -> 0xFEEC: the sum carries past one byte.
      {"relay answer", DevicePacket(1, 0, 0xFF, 5, five.data()),
       {0x01, 0x00, 0xFF, 0x05, 1, 2, 3, 4, 5, 0xFE, 0xEC}},
      {"empty packet", DevicePacket(), {0, 0, 0, 0, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.packet.Encode(), c.frame) << c.name;
    const auto decoded = DevicePacket::Decode(c.frame);
    ASSERT_EQ(decoded.status, DevicePacket::DecodeStatus::Ok) << c.name;
    EXPECT_EQ(decoded.consumed, c.frame.size()) << c.name;
    EXPECT_EQ(decoded.packet, c.packet) << c.name;
  }
}

TEST(DevicePacketCodec, LargestPacketIs261BytesAndRoundTrips) {
  Bytes data(255);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xFF - i);
  const DevicePacket packet(0, 1, 0x81, 255, data.data());
  const Bytes frame = packet.Encode();
  ASSERT_EQ(frame.size(), 261u);
  EXPECT_EQ(frame[3], 255);
  const auto decoded = DevicePacket::Decode(frame);
  ASSERT_EQ(decoded.status, DevicePacket::DecodeStatus::Ok);
  EXPECT_EQ(Bytes(decoded.packet.Data(), decoded.packet.Data() + decoded.packet.Length()), data);
}

TEST(DevicePacketCodec, EveryTruncatedPrefixIsIncompleteAndTrailingBytesAreLeft) {
  const Bytes data = {9, 8, 7};
  Bytes frame = DevicePacket(0, 1, 0xFF, 3, data.data()).Encode();
  for (std::size_t n = 0; n < frame.size(); ++n) {
    const auto decoded = DevicePacket::Decode(std::span<const uint8_t>(frame.data(), n));
    EXPECT_EQ(decoded.status, DevicePacket::DecodeStatus::Incomplete) << n << " bytes";
  }
  const std::size_t length = frame.size();
  frame.push_back(0x55);
  const auto decoded = DevicePacket::Decode(frame);
  EXPECT_EQ(decoded.status, DevicePacket::DecodeStatus::Ok);
  EXPECT_EQ(decoded.consumed, length);
}

TEST(DevicePacketCodec, EverySingleBitFlipIsRejected) {
  const Bytes data = {0x00, 0x7F, 0x80, 0xFF};
  const Bytes good = DevicePacket(1, 0, 0x8C, 4, data.data()).Encode();
  for (std::size_t byte = 0; byte < good.size(); ++byte) {
    if (byte == 3) continue;  // a changed length announces a different frame
    for (int bit = 0; bit < 8; ++bit) {
      Bytes bad = good;
      bad[byte] ^= static_cast<uint8_t>(1 << bit);
      EXPECT_EQ(DevicePacket::Decode(bad).status, DevicePacket::DecodeStatus::BadChecksum)
          << "byte " << byte << " bit " << bit;
    }
  }
}

TEST(DevicePacketCodec, FillReplacesEveryFieldAndCopiesTheData) {
  Bytes source = {1, 2, 3, 4, 5, 6};
  DevicePacket packet(7, 8, 9, 6, source.data());
  source[0] = 0xEE;  // the packet owns a copy
  EXPECT_EQ(packet.DataAt(0), 1);
  packet.Fill(0, 1, 0x7E, 2, source.data() + 4);
  EXPECT_EQ(packet.ReceiverAddress(), 0);
  EXPECT_EQ(packet.SenderAddress(), 1);
  EXPECT_EQ(packet.PacketType(), 0x7E);
  ASSERT_EQ(packet.Length(), 2);
  EXPECT_EQ(packet.DataAt(0), 5);
  EXPECT_EQ(packet.DataAt(1), 6);
  EXPECT_EQ(packet.DataAt(2), 0);  // past the end reads as 0
  packet.Fill(0, 1, 0x7E, 0, nullptr);
  EXPECT_EQ(packet.Length(), 0);
  EXPECT_EQ(packet.Encode().size(), 6u);
}

}  // namespace
}  // namespace corvel::test
