// The kernel loader's frames, byte for byte, without any port.
#include <gtest/gtest.h>

#include <vector>

#include "core/protocol/kernel/KernelPacket.h"

namespace corvel::kernel {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(KernelPacketTest, GoldenHeaders) {
  const Bytes raw = {0x11, 0x22};
  struct Case {
    const char* name;
    KernelPacket packet;
    Bytes wire;
  };
  const Case cases[] = {
      {"status query", KernelPacket::StatusQuery(), {0xFE, 0x00}},
      {"data header", KernelPacket::Data(0x00001000, raw), {0xFE, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x02}},
      {"data header, high bytes", KernelPacket::Data(0x12345678, Bytes(4096, 0)),
       {0xFE, 0x01, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x10, 0x00}},
      {"start", KernelPacket::Start(0xFFC01000), {0xFE, 0x02, 0xFF, 0xC0, 0x10, 0x00}},
      // Fields are never escaped, even where they hold 0xFE.
      {"start at 0xFEFEFEFE", KernelPacket::Start(0xFEFEFEFE), {0xFE, 0x02, 0xFE, 0xFE, 0xFE, 0xFE}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.packet.EncodeHeader(), c.wire) << c.name;
}

TEST(KernelPacketTest, UnknownTypeEncodesNothing) {
  KernelPacket packet = KernelPacket::Start(0x1000);
  packet.type = 3;
  EXPECT_FALSE(packet.HasKnownType());
  EXPECT_TRUE(packet.EncodeHeader().empty());
}

TEST(KernelPacketTest, PayloadDoublesEveryFeWhileCountAndChecksumStayRaw) {
  struct Case {
    Bytes raw;
    Bytes wire;
    uint32_t checksum;
  };
  const Case cases[] = {
      {{}, {}, 0},
      {{0xFE}, {0xFE, 0xFE}, 0xFE},
      {{0x01, 0xFE, 0x02, 0xFE, 0xFE}, {0x01, 0xFE, 0xFE, 0x02, 0xFE, 0xFE, 0xFE, 0xFE}, 0x01 + 0x02 + 3 * 0xFE},
      {{0xFF, 0xFD, 0x00}, {0xFF, 0xFD, 0x00}, 0xFF + 0xFD},
  };
  for (const auto& c : cases) {
    const KernelPacket packet = KernelPacket::Data(0x2000, c.raw);
    EXPECT_EQ(packet.payload, c.wire);
    EXPECT_EQ(packet.PayloadLength(), c.wire.size());
    EXPECT_EQ(packet.count, c.raw.size());
    EXPECT_EQ(packet.checksum, c.checksum);
  }
}

TEST(KernelPacketTest, ChecksumIsA32BitSumThatWraps) {
  // 8 MiB of 0xFF sums to 0x7F800000; a sum past 2^32 wraps as the loader's does.
  EXPECT_EQ(Checksum32(Bytes(kMaxKernelSize, 0xFF)), 0x7F800000u);
  EXPECT_EQ(Checksum32(Bytes{0xFF, 0x01}), 0x100u);
}

TEST(KernelPacketTest, StatusDecodesOnlyExactlyTwelveBytes) {
  const Bytes report = {0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0xF8, 0x01};
  const auto status = KernelStatus::Decode(report);
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, (KernelStatus{0x2000, 0, 0x7F801}));
  for (std::size_t n = 0; n < report.size(); ++n) {
    EXPECT_FALSE(KernelStatus::Decode(std::span(report.data(), n))) << n << " bytes";
  }
  Bytes longer = report;
  longer.push_back(0);
  EXPECT_FALSE(KernelStatus::Decode(longer));
}

}  // namespace
}  // namespace corvel::kernel
