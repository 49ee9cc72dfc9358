// The command layer against the virtual AVR over a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <optional>
#include <stdexcept>

#include "AtmelTestSupport.h"
#include "core/tool/atmel/AtmelConnect.h"
#include "core/tool/atmel/AtmelMessages.h"

namespace corvel::test {
namespace {

using namespace atmel;
using sim::VirtualAvr;

class AtmelBootLoaderTest : public AvrTest {};

TEST_F(AtmelBootLoaderTest, EveryCommandReachesTheMemories) {
  StartAvr();
  std::array<uint8_t, kFlashPageSize> page{};
  std::iota(page.begin(), page.end(), 1);
  std::array<uint8_t, kReadLength> read{};

  ASSERT_TRUE(loader.WriteFlash(0x1DF00, page));
  ASSERT_TRUE(loader.ReadFlash(0x1DF00, read));
  EXPECT_EQ(read, page);
  ASSERT_TRUE(loader.EraseFlashPage(0x1DF00));
  ASSERT_TRUE(loader.ReadFlash(0x1DF00, read));
  EXPECT_TRUE(std::all_of(read.begin(), read.end(), [](uint8_t b) { return b == 0xFF; }));

  const uint8_t block[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(loader.WriteEeprom(0x7F0, block, 16));
  ASSERT_TRUE(loader.ReadEeprom(0x7F0, read));
  EXPECT_TRUE(std::equal(block, block + 16, read.begin()));
  ASSERT_TRUE(loader.EraseEepromBlock(0x7F0));
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.eeprom[0x7F5]; }), 0xFF);

  EXPECT_EQ(loader.QueryBootLoaderVersion().value_or(0), 0x01020304u);
  const auto application = loader.QueryApplication();
  ASSERT_TRUE(application.ok());
  EXPECT_EQ(application->version, 0x02000107u);
  EXPECT_EQ(application->description, "Trelmark AVR");
  EXPECT_TRUE(loader.connected);
}

TEST_F(AtmelBootLoaderTest, StatusZeroFailsTheCommand) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.refuse_flash_erase = true; });
  std::array<uint8_t, kFlashPageSize> page{};
  const LinkStatus erased = loader.EraseFlashPage(0);
  ASSERT_FALSE(erased);
  EXPECT_EQ(erased.error().kind, LinkErrorKind::Refused);
  // The boot loader section is never writable.
  const LinkStatus written = loader.WriteFlash(0x1E000, page);
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().kind, LinkErrorKind::Refused);
  EXPECT_EQ(written.error().address, 0x1E000u);
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.flash[0x1E000]; }), VirtualAvr::BootSectionByte(0));
}

TEST_F(AtmelBootLoaderTest, ABadChecksumFailsTheCommandWhateverTheReplySays) {
  struct Case {
    uint8_t code;
    std::function<LinkStatus(AtmelBootLoader&)> command;
  };
  std::array<uint8_t, kFlashPageSize> page{};
  std::array<uint8_t, kReadLength> read{};
  const uint8_t block[16] = {};
  const Case cases[] = {
      {'u', [&](AtmelBootLoader& l) { return l.WriteFlash(0, page); }},  // status 1, checksum wrong
      {'w', [&](AtmelBootLoader& l) { return l.WriteEeprom(0, block, 16); }},
      {'y', [&](AtmelBootLoader& l) { return l.EraseFlashPage(0); }},
      {'v', [&](AtmelBootLoader& l) { return l.ReadFlash(0, read); }},
      {'t',
       [&](AtmelBootLoader& l) -> LinkStatus {
         auto version = l.QueryBootLoaderVersion();
         if (!version) return Fail(version.error());
         return {};
       }},
      {'r', [&](AtmelBootLoader& l) { return l.StartApplication(); }},
  };
  StartAvr();
  for (const auto& c : cases) {
    Avr([&](VirtualAvr& m) {
      m.faults.corrupt_reply_to = c.code;
      m.mode = Mode::BootLoader;
    });
    const LinkStatus corrupted = c.command(loader);
    ASSERT_FALSE(corrupted) << "command " << c.code;
    EXPECT_EQ(corrupted.error().kind, LinkErrorKind::BadChecksum) << "command " << c.code;
    Avr([&](VirtualAvr& m) { m.mode = Mode::BootLoader; });
    EXPECT_TRUE(c.command(loader).ok()) << "command " << c.code << " repeated";
  }
}

TEST_F(AtmelBootLoaderTest, AFailedReadSaysWhyAndHowManyBytesCame) {
  struct Case {
    const char* name;
    std::function<void(VirtualAvr&)> fault;
    std::optional<LinkErrorKind> kind;
    uint32_t received;
  };
  const Case cases[] = {
      {"short reply", [](VirtualAvr& m) { m.faults.truncate_reply_to = 'v'; }, LinkErrorKind::ShortReply, 131},
      {"bad checksum", [](VirtualAvr& m) { m.faults.corrupt_reply_to = 'v'; }, LinkErrorKind::BadChecksum, 263},
      {"whole reply", [](VirtualAvr&) {}, {}, 263},
  };
  StartAvr(Mode::BootLoader);
  std::array<uint8_t, kReadLength> read{};
  for (const auto& c : cases) {
    Avr(c.fault);
    const LinkStatus status = loader.ReadFlash(0x1E000, read);
    if (!c.kind) {
      EXPECT_TRUE(status.ok()) << c.name;
      continue;
    }
    ASSERT_FALSE(status) << c.name;
    EXPECT_EQ(status.error().kind, *c.kind) << c.name;
    EXPECT_EQ(status.error().expected, kDataReplyLength) << c.name;
    EXPECT_EQ(status.error().received, c.received) << c.name;
  }
}

TEST_F(AtmelBootLoaderTest, SlowASilentDeviceTimesOut) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.silent = true; });
  const auto version = loader.QueryBootLoaderVersion();
  ASSERT_FALSE(version.ok());
  EXPECT_EQ(version.error().kind, LinkErrorKind::Timeout);
  EXPECT_EQ(version.error().received, 0u);
  const LinkStatus wake = loader.SendWakeUp();
  ASSERT_FALSE(wake);
  EXPECT_EQ(wake.error().kind, LinkErrorKind::Timeout);
}

TEST_F(AtmelBootLoaderTest, AHighSpeedSessionEndsAtNormalSpeedOnEveryWayOut) {
  StartAvr(Mode::BootLoader);
  for (const bool by_exception : {false, true}) {
    try {
      HighSpeedSession session(loader);
      session.Begin(HighSpeedSession::Undo::OneRequest);
      ASSERT_TRUE(session.InForce());
      EXPECT_EQ(AvrSpeed(), kHighBaud);
      if (by_exception) throw std::runtime_error("the run stops half-way");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(port.BaudRate(), kNormalBaud) << by_exception;
    EXPECT_EQ(AvrSpeed(), kNormalBaud) << by_exception;
  }
}

TEST_F(AtmelBootLoaderTest, AFailedSwitchIsNotTriedAgainInTheSameSession) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.wrong_speed_echo = 0x7C; });
  {
    HighSpeedSession session(loader);
    session.Begin(HighSpeedSession::Undo::OneRequest);
    EXPECT_FALSE(session.InForce());
    EXPECT_TRUE(session.State().failed);
    session.Begin(HighSpeedSession::Undo::OneRequest);
  }
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.counters.speed_up_requests; }), 1);
  // The failed switch was undone: both ends talk at normal speed.
  EXPECT_EQ(port.BaudRate(), kNormalBaud);
  EXPECT_EQ(AvrSpeed(), kNormalBaud);
  EXPECT_TRUE(loader.QueryBootLoaderVersion().ok());
}

TEST_F(AtmelBootLoaderTest, AFailedApplicationQueryKeepsTheCallersText) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.corrupt_reply_to = 's'; });
  const DeviceVersions versions = GetVersions(loader);
  EXPECT_EQ(versions.description, "Not found");
  EXPECT_EQ(versions.application, 0u);
  EXPECT_EQ(versions.boot_loader, 0x01020304u);

  Avr([](VirtualAvr& m) { m.faults.corrupt_reply_to = 's'; });
  loader.connected = false;
  const auto application = loader.QueryApplication();
  ASSERT_FALSE(application.ok());
  EXPECT_EQ(application.error().kind, LinkErrorKind::BadChecksum);
  EXPECT_FALSE(loader.connected);
}

TEST_F(AtmelBootLoaderTest, OnlyTheExactAnswerBLCountsAsConnected) {
  struct Case {
    std::vector<uint8_t> answer;
    bool connected;
    LinkErrorKind kind;  // when not connected
  };
  const Case cases[] = {
      {{0x42, 0x4C}, true, {}},
      {{0x42, 0x58}, false, LinkErrorKind::WrongType},  // "BX"
      {{0x4C, 0x42}, false, LinkErrorKind::WrongType},  // "LB"
      {{0x42}, false, LinkErrorKind::ShortReply},       // one byte only
      {{}, false, LinkErrorKind::Timeout},              // nothing at all
  };
  StartAvr();
  for (const auto& c : cases) {
    Avr([&](VirtualAvr& m) { m.faults.wake_up_answer = c.answer; });
    loader.connected = false;
    const LinkStatus greeted = loader.SendWakeUp();
    EXPECT_EQ(greeted.ok(), c.connected) << c.answer.size();
    if (!greeted) {
      EXPECT_EQ(greeted.error().kind, c.kind) << c.answer.size();
    }
    EXPECT_EQ(loader.connected, c.connected);
  }
}

TEST_F(AtmelBootLoaderTest, SpeedChangesMoveBothEnds) {
  StartAvr();
  ASSERT_TRUE(loader.SetLinkSpeed(true));
  EXPECT_EQ(port.BaudRate(), kHighBaud);
  EXPECT_EQ(AvrSpeed(), kHighBaud);
  std::array<uint8_t, kReadLength> read{};
  EXPECT_TRUE(loader.ReadFlash(0x1E000, read));
  EXPECT_EQ(read[1], VirtualAvr::BootSectionByte(1));
  ASSERT_TRUE(loader.FallBackToNormalSpeed());
  EXPECT_EQ(port.BaudRate(), kNormalBaud);
  EXPECT_EQ(AvrSpeed(), kNormalBaud);
  EXPECT_TRUE(loader.QueryBootLoaderVersion().ok());
}

TEST_F(AtmelBootLoaderTest, AWrongEchoFailsTheSpeedChangeEvenWithAValidChecksum) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.wrong_speed_echo = 0x7C; });
  const LinkStatus sped_up = loader.SetLinkSpeed(true);
  ASSERT_FALSE(sped_up);
  EXPECT_EQ(sped_up.error().kind, LinkErrorKind::WrongEcho);
  EXPECT_EQ(sped_up.error().expected, kCmdHighSpeed);
  EXPECT_EQ(sped_up.error().received, 0x7Cu);
}

TEST_F(AtmelBootLoaderTest, SlowSpeedChangeFailsWithoutAnEchoAfterFiveRepeats) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.normal_speed_only = true; });
  const auto start = std::chrono::steady_clock::now();
  const LinkStatus sped_up = loader.SetLinkSpeed(true);
  ASSERT_FALSE(sped_up);
  EXPECT_EQ(sped_up.error().kind, LinkErrorKind::Timeout);
  const auto waited = std::chrono::steady_clock::now() - start;
  // The first read and five repeats each wait out the 203 ms read time-out.
  EXPECT_GE(waited, std::chrono::milliseconds(6 * 200));
  EXPECT_LT(waited, std::chrono::milliseconds(7 * 203 + 500));
  // The fall-back finds the device still at normal speed.
  EXPECT_TRUE(loader.FallBackToNormalSpeed());
  EXPECT_TRUE(loader.QueryBootLoaderVersion().ok());
}

TEST_F(AtmelBootLoaderTest, TheRetryRuleFallsBackToNormalSpeedAfterAFailureAtHighSpeed) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.fail_flash_write_once = 0x300; });
  std::array<uint8_t, kFlashPageSize> page{};
  page.fill(0x5A);
  LinkSpeedState speed;
  speed.in_force = loader.SetLinkSpeed(true).ok();
  ASSERT_TRUE(speed.in_force);
  bool fell_back = false;
  int attempts = 0;
  EXPECT_TRUE(WithRetries(
      loader, speed, [&] { return ++attempts, loader.WriteFlash(0x300, page); }, &fell_back));
  EXPECT_EQ(attempts, 2);
  EXPECT_TRUE(fell_back);
  EXPECT_FALSE(speed.in_force);
  EXPECT_EQ(port.BaudRate(), kNormalBaud);
  EXPECT_EQ(AvrSpeed(), kNormalBaud);

  // Three attempts in all when every one fails.
  attempts = 0;
  EXPECT_FALSE(WithRetries(loader, speed, [&] { return ++attempts, loader.WriteFlash(0x1E000, page); }));
  EXPECT_EQ(attempts, 3);
}

TEST_F(AtmelBootLoaderTest, TheApplicationHandsTheLineToItsBootLoader) {
  StartAvr(Mode::Application);
  EXPECT_FALSE(loader.SendWakeUp());
  ASSERT_TRUE(loader.RequestBootLoader());
  EXPECT_TRUE(loader.connected);
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.mode; }), Mode::BootLoader);
  EXPECT_TRUE(loader.SendWakeUp());
  EXPECT_TRUE(StartApplicationWithRetries(loader));
  EXPECT_TRUE(trace.Contains("Starting application... OK"));
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.mode; }), Mode::Application);
}

TEST(AtmelVersions, ShowFromTheMostSignificantByteDown) {
  struct Case {
    uint32_t version;
    const char* text;
  };
  const Case cases[] = {{0x01020304, "1 2 3 4"}, {0, "0 0 0 0"}, {0xFF00FE01, "255 0 254 1"}};
  for (const auto& c : cases) EXPECT_EQ(FormatVersion(c.version), c.text);
}

TEST_F(AtmelBootLoaderTest, SlowFailedQueriesShowNotFoundAndZeros) {
  StartAvr(Mode::Application);  // the application answers no boot loader query
  const DeviceVersions versions = GetVersions(loader);
  EXPECT_EQ(versions.description, "Not found");
  EXPECT_EQ(FormatVersion(versions.application), "0 0 0 0");
  EXPECT_EQ(FormatVersion(versions.boot_loader), "0 0 0 0");
  EXPECT_FALSE(loader.connected);
}

TEST_F(AtmelBootLoaderTest, ConnectingToARunningApplication) {
  StartAvr(Mode::Application);
  DeviceVersions versions;
  EXPECT_TRUE(ConnectToBootLoader(loader, ui, versions));
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Established connection!"});
  EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Information);
  ASSERT_EQ(ui.progress.size(), 1u);
  EXPECT_EQ(ui.progress[0].caption_id, kCaptionConnecting);
  EXPECT_EQ(ui.progress[0].positions, (std::vector<int>{0, 78}));
  EXPECT_TRUE(ui.progress[0].destroyed);
  EXPECT_EQ(versions.description, "Trelmark AVR");
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.counters.entry_requests; }), 1);
  // A success in the first stage still greets the boot loader.
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.counters.wake_ups; }), 1);
}

TEST_F(AtmelBootLoaderTest, CancelEndsOnlyTheStageInWhichItIsSeen) {
  StartAvr(Mode::BootLoader);  // the boot loader ignores the entry packet
  ui.cancel_at_poll = 1;
  DeviceVersions versions;
  EXPECT_TRUE(ConnectToBootLoader(loader, ui, versions));
  // One entry request, then the greeting stage answered at once.
  EXPECT_EQ(ui.progress[0].positions, (std::vector<int>{0, 4, 78}));
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.counters.wake_ups; }), 1);
}

TEST_F(AtmelBootLoaderTest, SlowConnectingToNothingMakesEveryAttempt) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.silent = true; });
  DeviceVersions versions;
  EXPECT_FALSE(ConnectToBootLoader(loader, ui, versions));
  // 3 entry requests (n = 100..300), 15 greetings (n = 400..1800), the
  // versions at 78 and three more passes (n = 2000..2200), all n / 23.
  std::vector<int> expected = {0};
  for (int n = 100; n <= 1800; n += 100) expected.push_back(n / 23);
  expected.push_back(78);
  for (int n = 2000; n <= 2200; n += 100) expected.push_back(n / 23);
  EXPECT_EQ(ui.progress[0].positions, expected);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{text::kConnectionFailed});
  EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::None);
  EXPECT_EQ(versions.description, "Not found");
}

TEST_F(AtmelBootLoaderTest, SlowPowerCycleConnectGreetsUntilTheBootLoaderWakes) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.silent_wake_ups = 6; });
  DeviceVersions versions;
  EXPECT_TRUE(ConnectByPowerCycle(loader, ui, versions));
  EXPECT_TRUE(trace.Contains("Entering Power Off connection sequence"));
  EXPECT_EQ(ui.progress[0].caption_id, kCaptionCyclePowerToConnect);
  // Failed greetings i = 0..5 move the bar to i / 5.
  EXPECT_EQ(ui.progress[0].positions, (std::vector<int>{0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.counters.wake_ups; }), 7);
  EXPECT_EQ(ui.LastText(), "Established connection!");
  EXPECT_EQ(FormatVersion(versions.boot_loader), "1 2 3 4");
}

}  // namespace
}  // namespace corvel::test
