// "Read Flash" and "Read EEPROM" against the virtual AVR.
#include <gtest/gtest.h>

#include <filesystem>

#include "AtmelTestSupport.h"
#include "core/tool/atmel/AtmelMessages.h"
#include "core/tool/atmel/DeviceReadBack.h"
#include "core/tool/atmel/FirmwareUploader.h"
#include "core/format/hex/IntelHex.h"

namespace corvel::test {
namespace {

using namespace atmel;
using sim::VirtualAvr;
using Bytes = std::vector<uint8_t>;

class DeviceReadBackTest : public AvrTest {
 protected:
  void SetUp() override {
    StartAvr(Mode::BootLoader, [](VirtualAvr& m) {
      for (uint32_t i = 0; i < 0x400; ++i) m.flash[i] = static_cast<uint8_t>(i);
      m.flash[0x1DF08] = 'T';
      for (uint32_t i = 0; i < 0x20; ++i) m.eeprom[0x200 + i] = static_cast<uint8_t>(0x80 + i);
    });
    app.use_turbo_baud_rate = 1;
  }
  Bytes DeviceFlash() {
    return Avr([](VirtualAvr& m) { return m.flash; });
  }
  Bytes DeviceEeprom() {
    return Avr([](VirtualAvr& m) { return m.eeprom; });
  }
  std::string Hex(const std::string& name, const Bytes& bytes) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(SaveIntelHex(path, bytes.data(), static_cast<uint32_t>(bytes.size())));
    return path;
  }
  ToolOutcome Run(AtmelMemory memory) { return DeviceReadBack(Env(), loader).Run(memory); }
  void ExpectNormalSpeedAtBothEnds() {
    EXPECT_EQ(port.BaudRate(), kNormalBaud);
    EXPECT_EQ(AvrSpeed(), kNormalBaud);
  }

  TempDir dir;
};

TEST_F(DeviceReadBackTest, SavingWritesTheWholeMemoryAsIntelHex) {
  struct Case {
    AtmelMemory memory;
    uint32_t size;
    unsigned caption;
    std::size_t reads;
    const char* extension;
    const char* filter;
  };
  const Case cases[] = {
      {AtmelMemory::Flash, kFlashImageSize, kCaptionReadingFirmwareFromDevice, 512, "hex", text::kFlashFilter},
      {AtmelMemory::Eeprom, kEepromImageSize, kCaptionReadingEepromFromDevice, 16, "eep", text::kEepromFilter},
  };
  for (const auto& c : cases) {
    ui.progress.clear();
    ui.file_requests.clear();
    const std::string out = dir.File("out." + std::string(c.extension));
    ui.read_back_options = {ReadBackOption::Save};
    ui.files = {out};
    EXPECT_EQ(Run(c.memory), ToolOutcome::Done);
    Bytes saved(c.size);
    ASSERT_TRUE(LoadIntelHex(out, saved.data(), c.size, false));
    EXPECT_EQ(saved, c.memory == AtmelMemory::Flash ? DeviceFlash() : DeviceEeprom());
    ASSERT_EQ(ui.progress.size(), 1u);
    EXPECT_EQ(ui.progress[0].caption_id, c.caption);
    // k x 100 / reads before read k, after the window's initial 0
    EXPECT_EQ(ui.progress[0].positions.size(), c.reads + 1);
    EXPECT_EQ(ui.progress[0].positions.back(), static_cast<int>((c.reads - 1) * 100 / c.reads));
    EXPECT_TRUE(ui.progress[0].destroyed);
    ASSERT_EQ(ui.file_requests.size(), 1u);
    EXPECT_FALSE(ui.file_requests[0].open);
    EXPECT_TRUE(ui.file_requests[0].overwrite_prompt);
    EXPECT_EQ(ui.file_requests[0].default_extension, c.extension);
    EXPECT_EQ(ui.file_requests[0].filter, c.filter);
    EXPECT_EQ(ui.file_requests[0].initial_name, "");
    EXPECT_TRUE(ui.shown.empty());
    ExpectNormalSpeedAtBothEnds();
  }
}

TEST_F(DeviceReadBackTest, ASaveTheDiskRefusesSaysSo) {
  const std::string out = dir.File("no-such-folder/eeprom.eep");
  ui.read_back_options = {ReadBackOption::Save};
  ui.files = {out};
  EXPECT_EQ(Run(AtmelMemory::Eeprom), ToolOutcome::Failed);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].message.text, "The file " + out + " could not be written.");
  EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Error);
  EXPECT_FALSE(std::filesystem::exists(out));
  ExpectNormalSpeedAtBothEnds();
}

TEST_F(DeviceReadBackTest, VerifyingFlashNamesTheSectionOfTheFirstDifference) {
  const Bytes device = DeviceFlash();
  auto changed = [&](std::initializer_list<uint32_t> offsets) {
    Bytes file = device;
    for (uint32_t o : offsets) file[o] ^= 0x40;
    return file;
  };
  Bytes no_boot_loader = device;
  ASSERT_EQ(no_boot_loader.size(), kBootLoaderEnd);
  std::fill(no_boot_loader.begin() + kBootLoaderStart, no_boot_loader.begin() + kBootLoaderEnd, 0xFF);
  struct Case {
    const char* name;
    Bytes file;
    std::string message;
    MessageIcon icon;
  };
  const Case cases[] = {
      {"equal", device, text::kVerifiedFlashFromDevice, MessageIcon::Information},
      {"application", changed({0x1DEFF, 0x1DF00, 0x1E000}), text::kApplicationSectionMismatch, MessageIcon::None},
      {"fixed strings", changed({0x1DF00, 0x1E000}), text::kFixedStringsSectionMismatch, MessageIcon::None},
      {"boot loader absent from the file", no_boot_loader, text::kBootLoaderSectionMismatch, MessageIcon::None},
  };
  for (const auto& c : cases) {
    ui.shown.clear();
    ui.read_back_options = {ReadBackOption::Verify};
    ui.files = {Hex("disk.hex", c.file)};
    const ToolOutcome expected = c.icon == MessageIcon::Information ? ToolOutcome::Done : ToolOutcome::Failed;
    EXPECT_EQ(Run(AtmelMemory::Flash), expected) << c.name;
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{c.message}) << c.name;
    EXPECT_EQ(ui.shown[0].message.icon, c.icon) << c.name;
  }
  EXPECT_TRUE(ui.file_requests.back().must_exist);
}

TEST_F(DeviceReadBackTest, VerifyingEepromAndFilesThatDoNotLoad) {
  Bytes shorter = DeviceEeprom();
  const std::string short_path = dir.File("short.eep");
  // A file that stops early compares as 0xFF beyond its last record.
  ASSERT_TRUE(SaveIntelHex(short_path, shorter.data(), 0x300));
  Bytes different = DeviceEeprom();
  different[0xFFF] = 0;
  WriteText(dir.File("bad.eep"), "not a hex file\n");
  struct Case {
    AtmelMemory memory;
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {AtmelMemory::Eeprom, short_path, text::kVerifiedEepromFromDevice},
      {AtmelMemory::Eeprom, Hex("diff.eep", different), text::kEepromDoesNotMatch},
      {AtmelMemory::Eeprom, dir.File("bad.eep"), text::kInvalidEepromFileOnDisk},
      {AtmelMemory::Flash, dir.File("bad.eep"), text::kInvalidFlashFileOnDisk},
  };
  for (const auto& c : cases) {
    ui.shown.clear();
    ui.read_back_options = {ReadBackOption::Verify};
    ui.files = {c.path};
    Run(c.memory);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{c.message}) << c.path;
  }
}

TEST_F(DeviceReadBackTest, ViewingShowsTheWholeMemoryUntrimmed) {
  ui.read_back_options = {ReadBackOption::View};
  EXPECT_EQ(Run(AtmelMemory::Eeprom), ToolOutcome::Done);
  ASSERT_EQ(ui.hex_views.size(), 1u);
  // 256 lines of 16 bytes, the erased tail included.
  EXPECT_EQ(std::count(ui.hex_views[0].begin(), ui.hex_views[0].end(), '\n'), 255);
  EXPECT_NE(ui.hex_views[0].find("0x000200: 80 81 82"), std::string::npos);
}

TEST_F(DeviceReadBackTest, VerifyingAgainstTheProgrammedFileFindsTheInsertedChecksum) {
  Bytes file(kFlashImageSize, 0xFF);
  for (uint32_t i = 0; i < 0x100; ++i) file[i] = static_cast<uint8_t>(i ^ 0x33);
  std::fill(file.begin() + kBootLoaderStart, file.end(), 0);
  for (uint32_t a = kBootLoaderStart; a < kFlashImageSize; ++a) file[a] = VirtualAvr::BootSectionByte(a - kBootLoaderStart);
  const std::string path = Hex("programmed.hex", file);
  app.last_fw_file = path;
  app.keep_eeprom = 1;
  FirmwareUploader uploader(Env());
  uploader.Open();
  ui.answers = {Answer::Yes};  // the description differs
  ASSERT_EQ(uploader.ProgramNewFirmware(), ToolOutcome::Done);

  ui.shown.clear();
  ui.read_back_options = {ReadBackOption::Verify};
  ui.files = {path};
  EXPECT_EQ(uploader.ReadFlash(), ToolOutcome::Failed);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{text::kFixedStringsSectionMismatch});
}

TEST_F(DeviceReadBackTest, CancelDuringReadingLeavesNoFileAndNoMessage) {
  const std::string out = dir.File("never.hex");
  ui.read_back_options = {ReadBackOption::Save};
  ui.files = {out};
  ui.cancel_at_poll = 50;
  EXPECT_EQ(Run(AtmelMemory::Flash), ToolOutcome::Cancelled);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_TRUE(ui.file_requests.empty());
  EXPECT_TRUE(ui.progress[0].destroyed);
  ExpectNormalSpeedAtBothEnds();
}

TEST_F(DeviceReadBackTest, ChoosingCancelReadsNothing) {
  ui.read_back_options = {ReadBackOption::Cancel};
  EXPECT_EQ(Run(AtmelMemory::Flash), ToolOutcome::Cancelled);
  EXPECT_TRUE(ui.progress.empty());
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.counters.flash_reads; }), 0);
}

TEST_F(DeviceReadBackTest, AReadThatFailsThreeTimesEndsTheReading) {
  ui.read_back_options = {ReadBackOption::Save};
  ui.files = {dir.File("never.eep")};
  host->Disconnect();
  EXPECT_EQ(Run(AtmelMemory::Eeprom), ToolOutcome::Failed);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{text::kReadingEepromFailed});
  EXPECT_TRUE(ui.file_requests.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("never.eep")));
  EXPECT_EQ(port.BaudRate(), kNormalBaud);
}

}  // namespace
}  // namespace corvel::test
