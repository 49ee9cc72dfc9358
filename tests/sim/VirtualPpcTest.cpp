// The virtual PowerPC loader fed byte by byte, without a port.
#include <gtest/gtest.h>

#include <vector>

#include "sim/VirtualPpc.h"

namespace corvel::sim {
namespace {

using Bytes = std::vector<uint8_t>;

class Capture : public DeviceLink {
 public:
  void Send(std::vector<uint8_t> bytes, uint32_t, uint32_t) override { replies.push_back(std::move(bytes)); }
  uint32_t LineBaud() const override { return 115200; }
  std::vector<Bytes> replies;
};

void Feed(VirtualPpc& ppc, Capture& link, const Bytes& bytes, uint32_t baud = 115200) {
  ppc.OnReceive(bytes.data(), bytes.size(), baud, link);
}

TEST(VirtualPpcTest, GoldenSectionExchange) {
  VirtualPpc ppc;
  Capture link;
  // Header for 3 bytes at 0x00001000, a query, the escaped payload FE 01 FE, a query.
  Feed(ppc, link, {0xFE, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x03, 0xFE, 0x00});
  Feed(ppc, link, {0xFE, 0xFE, 0x01, 0xFE, 0xFE, 0xFE, 0x00});
  ASSERT_EQ(link.replies.size(), 2u);
  EXPECT_EQ(link.replies[0], (Bytes{0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(link.replies[1], (Bytes{0x00, 0x00, 0x10, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFD}));
  EXPECT_EQ(ppc.Memory(0x1000, 4), (Bytes{0xFE, 0x01, 0xFE, 0xFF}));
  ASSERT_EQ(ppc.packets.size(), 3u);
  EXPECT_EQ(ppc.packets[0].payload, (Bytes{0xFE, 0x01, 0xFE}));
  EXPECT_EQ(ppc.packets[0].wire_bytes, 5u);
  EXPECT_EQ(ppc.sections_completed, 1);
}

TEST(VirtualPpcTest, HearsOnly115200) {
  VirtualPpc ppc;
  Capture link;
  EXPECT_FALSE(ppc.ListensAt(19200));
  EXPECT_TRUE(ppc.ListensAt(115200));
  Feed(ppc, link, {0xFE, 0x00}, 19200);
  EXPECT_TRUE(link.replies.empty());
  EXPECT_TRUE(ppc.packets.empty());
}

TEST(VirtualPpcTest, ANewHeaderAbandonsAnUnfinishedPayload) {
  VirtualPpc ppc;
  Capture link;
  ppc.faults.refuse_once.insert(0x2000);
  Feed(ppc, link, {0xFE, 0x01, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x02, 0xFE, 0x00});
  ASSERT_EQ(link.replies.size(), 1u);
  EXPECT_EQ(link.replies[0][8], 0xBA);  // the refusal's non-zero checksum
  // The host withholds the payload and sends the header again.
  Feed(ppc, link, {0xFE, 0x01, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x02, 0xFE, 0x00, 0x07, 0x08, 0xFE, 0x00});
  ASSERT_EQ(link.replies.size(), 3u);
  EXPECT_EQ(link.replies[1], (Bytes{0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(link.replies[2], (Bytes{0x00, 0x00, 0x20, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0F}));
  EXPECT_EQ(ppc.Memory(0x2000, 2), (Bytes{0x07, 0x08}));
}

TEST(VirtualPpcTest, StartPacketsAndStrayBytesAreRecorded) {
  VirtualPpc ppc;
  Capture link;
  Feed(ppc, link, {0x55, 0xFE, 0x02, 0xFF, 0xC0, 0x00, 0x00, 0xFE, 0x09});
  EXPECT_EQ(ppc.starts, (std::vector<uint32_t>{0xFFC00000}));
  EXPECT_EQ(ppc.stray_bytes, 2);
  EXPECT_TRUE(link.replies.empty());
}

}  // namespace
}  // namespace corvel::sim
