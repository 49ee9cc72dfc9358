// CDSPLoader against the virtual DSP loader over a pseudo-terminal.
#include <gtest/gtest.h>

#include "DspTestSupport.h"

namespace corvel::test {
namespace {

using sim::VirtualDsp;

TEST_F(DspTest, ConnectReadsTheMapAndTracesIt) {
  StartDsp();
  ASSERT_TRUE(loader.Connect());
  EXPECT_TRUE(loader.Connected());
  EXPECT_EQ(loader.BoardName(), "QXBD51");
  EXPECT_EQ(loader.NumSections(), 5u);
  EXPECT_EQ(loader.Section(2).section_name, "Calibration");
  EXPECT_EQ(loader.Section(2).requires_duplicate, 1u);
  EXPECT_EQ(loader.Section(3).extension, "bit");
  for (const char* line : {"DSP Conn OK", "Retrieving DSP memory map...", "Memory map:", "board_name: QXBD51",
                           "dspflashblocksize: 131072", "num_mem_sections: 5", "Memory section 4:",
                           "section_name: FPGA Config 2", "special flags: 0x00000001"}) {
    EXPECT_TRUE(trace.Contains(line)) << line;
  }
}

TEST_F(DspTest, MapVariants) {
  struct Case {
    const char* name;
    std::function<void(VirtualDsp&)> setup;
    std::string board;
    uint32_t sections;
    int valid;
    uint32_t page;
  };
  const Case cases[] = {
      {"seven claimed", [](VirtualDsp& m) { m.map.claimed_sections = 7; }, "QXBD51", 5, 5, 16384},
      {"128 bytes, three sections", [](VirtualDsp& m) { m.map.claimed_sections = 3; m.map.reply_length = 128; },
       "QXBD51", 3, 1, 16384},
      {"block 0x8000", [](VirtualDsp& m) { m.map.block_size = 0x8000; }, "QXBD51", 5, 5, 16384},
      {"block 0x2000", [](VirtualDsp& m) { m.map.block_size = 0x2000; }, "QXBD51", 5, 5, 0x2000},
      {"no map", [](VirtualDsp& m) { m.faults.no_map = true; }, "QXBD41", 1, 1, 16384},
      {"no wake-up answer", [](VirtualDsp& m) { m.faults.ignore_wake_up = true; }, "QXBD51", 5, 5, 16384},
      {"no sections", [](VirtualDsp& m) { m.map.sections.clear(); }, "QXBD51", 0, 0, 16384},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StartDsp(c.setup);
    CDSPLoader fresh(port);
    ASSERT_TRUE(fresh.Connect());
    EXPECT_EQ(fresh.BoardName(), c.board);
    EXPECT_EQ(fresh.NumSections(), c.sections);
    int valid = 0;
    for (uint32_t k = 0; k < 5; ++k) valid += fresh.Section(k).valid;
    EXPECT_EQ(valid, c.valid);
    EXPECT_EQ(fresh.PageSize(), c.page);
    host.reset();
    port.Close();
  }
}

TEST_F(DspTest, ShortMapReplyFailsAndKeepsTheOldMap) {
  StartDsp();
  ASSERT_TRUE(loader.Connect());
  Dsp([](VirtualDsp& m) { m.map.reply_length = 40; m.map.board_name = "OTHER"; });
  const LinkStatus again = loader.RetrieveMemoryMap();
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().kind, LinkErrorKind::ShortReply);
  EXPECT_EQ(loader.BoardName(), "QXBD51");
  EXPECT_EQ(loader.NumSections(), 5u);
}

TEST_F(DspTest, ChangeCommSpeedBothWays) {
  StartDsp();
  ASSERT_TRUE(loader.ChangeCommSpeed(true));
  EXPECT_EQ(port.BaudRate(), 115200u);
  EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.speed; }), 115200u);
  EXPECT_TRUE(trace.Contains("Got reply on packet 1 of 5"));
  EXPECT_TRUE(trace.Contains("DSP replied on old baud rate (19200)"));
  EXPECT_TRUE(trace.Contains("Got the proper reply at new baud rate (115200)"));
  ASSERT_TRUE(loader.ChangeCommSpeed(false));
  EXPECT_EQ(port.BaudRate(), 19200u);
  EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.speed; }), 19200u);
}

TEST_F(DspTest, LoaderAlreadyFastAnswersOnTheSecondPacket) {
  StartDsp([](VirtualDsp& m) { m.speed = 115200; });
  ASSERT_TRUE(loader.ChangeCommSpeed(true));
  EXPECT_TRUE(trace.Contains("Got reply on packet 2 of 5"));
  EXPECT_TRUE(trace.Contains("DSP replied on old baud rate (115200)"));
  EXPECT_TRUE(trace.Contains("High baud rate try 1 of 3"));
  EXPECT_EQ(port.BaudRate(), 115200u);
}

TEST_F(DspTest, GarbageAfterTheSwitchIsRetried) {
  StartDsp([](VirtualDsp& m) { m.faults.garbage_after_switch = true; });
  ASSERT_TRUE(loader.ChangeCommSpeed(true));
  EXPECT_TRUE(trace.Contains("High baud rate try 2 of 3"));
  EXPECT_EQ(port.BaudRate(), 115200u);
}

TEST_F(DspTest, SlowRefusedSpeedUpEndsAtLowSpeed) {
  StartDsp([](VirtualDsp& m) { m.faults.ignore_speed_up = true; });
  EXPECT_FALSE(loader.ChangeCommSpeed(true));
  EXPECT_TRUE(trace.Contains("Failed to get reply, dropping to 19200"));
  EXPECT_EQ(port.BaudRate(), 19200u);
  ASSERT_TRUE(loader.Connect());
}

TEST_F(DspTest, ProgramsASectionAndReadsItBack) {
  StartDsp();
  ASSERT_TRUE(loader.Connect());
  const auto image = Compressible(0x40000, 3);
  bool high = false;
  ASSERT_TRUE(loader.ProgramFlashSection(high, image, 0x40000, 0x140000, false, nullptr));
  EXPECT_EQ(Flash(0x140000, 0x40000), image);
  EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.counters.commits; }), (std::vector<uint32_t>{0x140000, 0x160000}));
  EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.counters.bad_pages + m.counters.bad_frames; }), 0);
  EXPECT_TRUE(trace.Contains("Succeeded in ProgramFlashSection"));
  EXPECT_TRUE(trace.Contains("All parameters matched"));

  std::vector<uint8_t> back(0x40000, 0);
  ASSERT_TRUE(loader.ReadFlashSection(high, back, 0x40000, 0x140000, nullptr));
  EXPECT_EQ(back, image);
  // A blank section reads as 0xFF from 0xC0 answers.
  std::vector<uint8_t> blank(0x20000, 0);
  ASSERT_TRUE(loader.ReadFlashSection(high, blank, 0x20000, 0x300000, nullptr));
  EXPECT_EQ(blank, std::vector<uint8_t>(0x20000, 0xFF));
}

TEST_F(DspTest, DuplicateCommitsTheBufferedBlockAgainBehindTheSection) {
  StartDsp();
  ASSERT_TRUE(loader.Connect());
  const auto image = Compressible(0x40000, 5);
  bool high = false;
  ASSERT_TRUE(loader.ProgramFlashSection(high, image, 0x40000, 0x20000, true, nullptr));
  EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.counters.commits; }),
            (std::vector<uint32_t>{0x20000, 0x60000, 0x40000, 0x80000}));
  // Pages went once: 8 pages per 0x20000 block, two blocks.
  EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.counters.page_addresses.size(); }), 16u);
  EXPECT_EQ(Flash(0x20000, 0x40000), image);
  EXPECT_EQ(Flash(0x60000, 0x40000), image);
}

TEST_F(DspTest, PagesGoCompressedOrRaw) {
  StartDsp();
  ASSERT_TRUE(loader.Connect());
  std::vector<uint8_t> image(0x20000, 0xFF);
  std::mt19937 random(1);
  for (std::size_t i = 0; i < 16384; ++i) image[i] = static_cast<uint8_t>(random());  // first page random
  // The raw page goes at 115200 to keep the test short.
  ASSERT_TRUE(loader.ChangeCommSpeed(true));
  bool high = true;
  ASSERT_TRUE(loader.ProgramFlashSection(high, image, 0x20000, 0x20000, false, nullptr));
  EXPECT_TRUE(high);
  EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.counters.raw_pages; }), 1);
  EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.counters.rle_pages; }), 7);
  EXPECT_EQ(Flash(0x20000, 0x20000), image);
}

TEST_F(DspTest, RefusedGeometrySendsNothing) {
  StartDsp();
  ASSERT_TRUE(loader.Connect());
  const std::vector<uint8_t> image(0x40000, 0);
  const std::pair<uint32_t, uint32_t> cases[] = {{0, 0x20000}, {0x20000, 0x1000}, {0x30000, 0x20000}};
  for (auto [size, start] : cases) {
    trace.Clear();
    bool high = false;
    const uint64_t before = host->BytesReceived();
    EXPECT_FALSE(loader.ProgramFlashSection(high, image, size, start, false, nullptr));
    char line[64];
    std::snprintf(line, sizeof line, "Offset: 0x%08X, Size: 0x%08X", start, size);
    EXPECT_TRUE(trace.Contains(line)) << line;
    EXPECT_EQ(host->BytesReceived(), before);
  }
  // An image shorter than the size it claims is refused, not read past.
  bool high = false;
  EXPECT_FALSE(loader.ProgramFlashSection(high, std::span<const uint8_t>(image.data(), 0x10000), 0x20000, 0x20000,
                                          false, nullptr));
}

TEST_F(DspTest, BlockSmallerThanAPageIsRefused) {
  StartDsp([](VirtualDsp& m) { m.map.block_size = 0; });
  ASSERT_TRUE(loader.Connect());
  const std::vector<uint8_t> image(0x20000, 0);
  bool high = false;
  EXPECT_FALSE(loader.ProgramFlashSection(high, image, 0x20000, 0x20000, false, nullptr));
  std::vector<uint8_t> back(0x20000);
  EXPECT_FALSE(loader.ReadFlashSection(high, back, 0x20000, 0x20000, nullptr));
}

TEST_F(DspTest, CommitAckedAtOnceIsRetried) {
  struct Case {
    int at_once;
    bool ok;
    const char* last;
  };
  const Case cases[] = {{1, true, "Failed TryToProgramBlock once"},
                        {2, true, "Failed TryToProgramBlock twice"},
                        {3, false, "Failed TryToProgramBlock thrice: giving up"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.at_once);
    StartDsp([&](VirtualDsp& m) { m.faults.ack_commit_at_once = c.at_once; });
    CDSPLoader fresh(port);
    ASSERT_TRUE(fresh.Connect());
    trace.Clear();
    const std::vector<uint8_t> image(0x20000, 0x12);
    bool high = false;
    EXPECT_EQ(fresh.ProgramFlashSection(high, image, 0x20000, 0x20000, false, nullptr).ok(), c.ok);
    EXPECT_TRUE(trace.Contains(c.last));
    EXPECT_TRUE(trace.Contains("ExecuteProgrammingonBlock failed"));
    EXPECT_EQ(trace.Contains("Could not program block"), !c.ok);
    host.reset();
    port.Close();
  }
}

TEST_F(DspTest, FastLinkDyingMidSectionDropsToLowAndFinishes) {
  StartDsp([](VirtualDsp& m) { m.faults.high_speed_dies_after_pages = 3; });
  ASSERT_TRUE(loader.Connect());
  bool high = false;
  ASSERT_TRUE(loader.ChangeCommSpeed(true));
  high = true;
  const auto image = Compressible(0x20000, 9);
  ASSERT_TRUE(loader.ProgramFlashSection(high, image, 0x20000, 0xE0000, false, nullptr));
  EXPECT_FALSE(high);
  EXPECT_EQ(port.BaudRate(), 19200u);
  EXPECT_TRUE(trace.Contains("TryToSendFlashPage (Address: 0x000F0000, Low speed)"));
  EXPECT_EQ(Flash(0xE0000, 0x20000), image);
}

TEST_F(DspTest, BadChecksumReplyIsRejectedAndRetried) {
  StartDsp();
  ASSERT_TRUE(loader.Connect());
  Dsp([](VirtualDsp& m) { m.faults.corrupt_replies = 1; });
  DspLoaderPacket reply;
  ASSERT_TRUE(loader.SendPacket([] { DspLoaderPacket p; p.Fill(0x9E, 0); return p; }()));
  const LinkStatus status = loader.ReceivePacket(reply);
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().kind, LinkErrorKind::BadChecksum);
  EXPECT_EQ(reply.type, 0);  // nothing stored from a bad frame
  Dsp([](VirtualDsp& m) { m.faults.corrupt_replies = 2; });
  EXPECT_TRUE(loader.RetrieveMemoryMap());  // the third try gets through
}

TEST_F(DspTest, ShortReadReplyFails) {
  StartDsp([](VirtualDsp& m) { m.faults.short_read_replies = 1; });
  ASSERT_TRUE(loader.Connect());
  std::vector<uint8_t> page(16384, 0xAB);
  const LinkStatus status = loader.ReadFlashPage(page.data(), 0x20000);
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().kind, LinkErrorKind::ShortReply);
  EXPECT_TRUE(trace.Contains("CDSPLoader::ReadFlashPage - expected 16385 bytes, got 16384"));
  EXPECT_EQ(page, std::vector<uint8_t>(16384, 0xAB));
  EXPECT_FALSE(loader.ReadFlashPage(page.data(), 0x20001));
  EXPECT_TRUE(trace.Contains("CDSPLoader::ReadFlashPage bad address"));
}

TEST_F(DspTest, ComposeAndStart) {
  StartDsp([](VirtualDsp& m) { m.timing.compose_wait_ms = 30; });
  ASSERT_TRUE(loader.Connect());
  EXPECT_TRUE(loader.ComposeChecksum());
  EXPECT_TRUE(trace.Contains("Wait Command 1"));
  ASSERT_TRUE(loader.StartApp());
  EXPECT_FALSE(loader.Connected());
  EXPECT_TRUE(trace.Contains("Sending StartApp packet try #1"));
  EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.counters.starts; }), 1);
}

TEST_F(DspTest, SlowSilentLoaderFailsEveryStep) {
  StartDsp([](VirtualDsp& m) { m.faults.silent = true; });
  EXPECT_FALSE(loader.Connect());
  EXPECT_FALSE(loader.Connected());
  EXPECT_FALSE(loader.StartApp());
  EXPECT_TRUE(trace.Contains("Sending StartApp packet try #3"));
}

TEST_F(DspTest, SpeedSessionReturnsTheLineToLowSpeed) {
  StartDsp();
  ASSERT_TRUE(loader.Connect());
  {
    DspSpeedSession session(loader, 1);
    ASSERT_TRUE(loader.ChangeCommSpeed(true));
    session.high() = true;
  }
  EXPECT_EQ(port.BaudRate(), 19200u);
  EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.speed; }), 19200u);
  // Even when the loader is gone, this end goes back to 19200.
  {
    DspSpeedSession session(loader, 1);
    ASSERT_TRUE(loader.ChangeCommSpeed(true));
    session.high() = true;
    Dsp([](VirtualDsp& m) { m.faults.silent = true; });
  }
  EXPECT_EQ(port.BaudRate(), 19200u);
}

TEST_F(DspTest, SlowLoaderVanishingMidSectionFails) {
  StartDsp();
  ASSERT_TRUE(loader.Connect());
  const auto image = Compressible(0x40000, 4);
  bool high = false;
  host->Disconnect();
  EXPECT_FALSE(loader.ProgramFlashSection(high, image, 0x40000, 0x20000, false, nullptr));
  EXPECT_TRUE(trace.Contains("Could not send flash page (Address 0x00000000)"));
}

}  // namespace
}  // namespace corvel::test
