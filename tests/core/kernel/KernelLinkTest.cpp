// The kernel loader link against the virtual loader over a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "KernelTestSupport.h"

namespace corvel::test {
namespace {

using sim::VirtualPpc;

// Never cancels unless told to at the n-th poll (from 1).
class Monitor : public TransferMonitor {
 public:
  explicit Monitor(int cancel_at = 0) : m_cancel_at(cancel_at) {}
  bool CancelRequested() override { return ++polls == m_cancel_at; }
  void SetPos(int percent) override { positions.push_back(percent); }
  int polls = 0;
  std::vector<int> positions;

 private:
  int m_cancel_at;
};

class KernelLinkTest : public PpcTest {};

TEST_F(KernelLinkTest, ProbeReadsTheStatusAndTracesIt) {
  StartPpc();
  ASSERT_TRUE(link.ProbeKernel());
  EXPECT_TRUE(trace.Contains("Sending Packet type 0x0"));
  EXPECT_TRUE(trace.Contains(
      "Status packet: Address: 0x0 0x0 0x0 0x0 Count: 0x0 0x0 0x0 0x0 Checksum: 0x0 0x0 0x0 0x0"));
}

TEST_F(KernelLinkTest, SectionWithFeGoesDoubledWithRawCountAndChecksum) {
  StartPpc();
  const std::vector<uint8_t> raw = {0xFE, 0x01, 0xFE, 0xFE, 0x02, 0xFE};
  ASSERT_TRUE(link.SendSection(raw, 0x00102030));
  const auto data = DataPackets();
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0].address, 0x00102030u);
  EXPECT_EQ(data[0].count, raw.size());
  EXPECT_EQ(data[0].payload, raw);
  EXPECT_EQ(data[0].wire_bytes, raw.size() + 4);
  EXPECT_EQ(Ppc([](VirtualPpc& m) { return m.Memory(0x00102030, 6); }), raw);
  const auto status = Ppc([](VirtualPpc& m) { return m.CurrentStatus(); });
  EXPECT_EQ(status.address, 0x00102036u);
  EXPECT_EQ(status.checksum, 4u * 0xFE + 3u);
  EXPECT_TRUE(trace.Contains("Sent address 0x0 0x10 0x20 0x30"));
  EXPECT_TRUE(trace.Contains("Sent count 0x0 0x0 0x0 0x6"));
  EXPECT_TRUE(trace.Contains("Sent data"));
}

TEST_F(KernelLinkTest, A4097ByteKernelGoesAs4096AndOneAtTheNextAddress) {
  StartPpc();
  const auto image = Image(4097);
  Monitor monitor;
  ASSERT_TRUE(link.UploadKernel(image, 0x10000, monitor));
  const auto data = DataPackets();
  ASSERT_EQ(data.size(), 2u);
  EXPECT_EQ(data[0].address, 0x10000u);
  EXPECT_EQ(data[0].count, 4096u);
  EXPECT_EQ(data[1].address, 0x11000u);
  EXPECT_EQ(data[1].count, 1u);
  EXPECT_EQ(Ppc([](VirtualPpc& m) { return m.Memory(0x10000, 4097); }), image);
  EXPECT_EQ(monitor.positions, (std::vector<int>{0, 50}));
  EXPECT_TRUE(trace.Contains("Programming flash section 2 of 2 ... Address: 0x00011000 Size: 1 bytes"));
}

TEST_F(KernelLinkTest, FaultsInASectionAreRetriedUntilTheMemoryHoldsIt) {
  struct Case {
    const char* name;
    std::function<void(VirtualPpc&)> fault;
    std::size_t data_packets;
    bool payload_withheld;  // the first try's payload never went
  };
  const Case cases[] = {
      {"non-zero checksum before the payload", [](VirtualPpc& m) { m.faults.refuse_once.insert(0x1000); }, 2, true},
      {"dropped payload byte", [](VirtualPpc& m) { m.faults.drop_byte_once = 0x1010; }, 2, false},
      {"corrupted payload byte", [](VirtualPpc& m) { m.faults.corrupt_byte_once = 0x1FFF; }, 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StartPpc(c.fault);
    const auto image = Image(4096);
    Monitor monitor;
    ASSERT_TRUE(link.UploadKernel(image, 0x1000, monitor));
    const auto data = DataPackets();
    ASSERT_EQ(data.size(), c.data_packets);
    EXPECT_EQ(data[0].payload.empty(), c.payload_withheld);
    EXPECT_EQ(Ppc([](VirtualPpc& m) { return m.Memory(0x1000, 4096); }), image);
    EXPECT_TRUE(trace.Contains("FAILURE! Reprogramming flash section 1 of 1 ... Address: 0x00001000 Size: 4096 bytes"));
    TearDown();
    trace.Clear();
  }
}

TEST_F(KernelLinkTest, ASectionRefusedThreeTimesFailsWithoutAPayload) {
  StartPpc([](VirtualPpc& m) { m.faults.refuse_always.insert(0x2000); });
  Monitor monitor;
  const auto sent = link.UploadKernel(Image(8192), 0x1000, monitor);
  ASSERT_FALSE(sent);
  EXPECT_EQ(sent.error().kind, LinkErrorKind::Refused);
  const auto data = DataPackets();
  ASSERT_EQ(data.size(), 4u);  // the first section, then three tries of the second
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(data[i].address, 0x2000u);
    EXPECT_TRUE(data[i].payload.empty());
  }
  EXPECT_TRUE(trace.Contains("Status mismatch with Power PC. Not sending data."));
  EXPECT_TRUE(trace.Contains("FAILURE! Could not program flash section 2 of 2 ... Address: 0x00002000 Size: 4096 bytes"));
}

TEST_F(KernelLinkTest, CancelBetweenSectionsSendsNoFurtherSection) {
  StartPpc();
  Monitor monitor(2);
  const auto sent = link.UploadKernel(Image(3 * 4096), 0x0, monitor);
  ASSERT_FALSE(sent);
  EXPECT_EQ(sent.error().kind, LinkErrorKind::Cancelled);
  EXPECT_EQ(DataPackets().size(), 1u);
}

TEST_F(KernelLinkTest, AnImageReachingPastTheTopOfMemoryIsRefusedBeforeAnyPacket) {
  StartPpc();
  Monitor monitor;
  EXPECT_FALSE(link.UploadKernel(Image(4097), 0xFFFFF000, monitor));
  EXPECT_EQ(Ppc([](VirtualPpc& m) { return m.packets.size(); }), 0u);
  // Exactly up to the top is fine.
  EXPECT_TRUE(link.UploadKernel(Image(4096), 0xFFFFF000, monitor));
}

TEST_F(KernelLinkTest, EmptyImageSucceedsAtOnceAndStartIsOneWay) {
  StartPpc();
  Monitor monitor;
  EXPECT_TRUE(link.UploadKernel({}, 0x1000, monitor));
  EXPECT_EQ(monitor.polls, 0);
  ASSERT_TRUE(link.StartKernel(0x00400000));
  // The start packet has no reply; wait until the loader has heard it.
  for (int i = 0; i < 100 && Ppc([](VirtualPpc& m) { return m.starts.size(); }) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(Ppc([](VirtualPpc& m) { return m.starts; }), (std::vector<uint32_t>{0x00400000}));
}

TEST_F(KernelLinkTest, AnUnknownPacketTypeFailsUnsent) {
  StartPpc();
  kernel::KernelPacket packet = kernel::KernelPacket::Start(0);
  packet.type = 7;
  const auto sent = link.SendPacket(packet);
  ASSERT_FALSE(sent);
  EXPECT_EQ(sent.error().kind, LinkErrorKind::WrongType);
}

TEST_F(KernelLinkTest, SlowSilentOrVanishedLoaderFailsInBoundedTime) {
  struct Case {
    const char* name;
    std::function<void(VirtualPpc&)> fault;
    bool vanish;
    std::size_t sections_in_memory;
  };
  const Case cases[] = {
      {"silent", [](VirtualPpc& m) { m.faults.silent = true; }, false, 0},
      {"silent after one section", [](VirtualPpc& m) { m.faults.silent_after_sections = 1; }, false, 1},
      {"unplugged", {}, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StartPpc(c.fault);
    if (c.vanish) host->Disconnect();
    Monitor monitor;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.UploadKernel(Image(3 * 4096), 0x1000, monitor));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
    if (!c.vanish) {
      EXPECT_EQ(Ppc([](VirtualPpc& m) { return m.sections_completed; }), static_cast<int>(c.sections_in_memory));
      EXPECT_FALSE(link.ProbeKernel());
    }
    TearDown();
  }
}

}  // namespace
}  // namespace corvel::test
