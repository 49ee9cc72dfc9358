// "Upload New Firmware" against the virtual AVR.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "AtmelTestSupport.h"
#include "core/base/SettingsKeys.h"
#include "core/tool/atmel/AtmelMessages.h"
#include "core/tool/atmel/FirmwareUploader.h"
#include "core/format/hex/FlashLayout.h"
#include "core/format/hex/IntelHex.h"

namespace corvel::test {
namespace {

using namespace atmel;
using sim::VirtualAvr;
using Bytes = std::vector<uint8_t>;
using Result = ToolOutcome;

class FirmwareUploaderTest : public AvrTest {
 protected:
  // A flash image with code in two pages and the device's own description.
  static Bytes Flash(const std::string& description = "Trelmark AVR") {
    Bytes image(kFlashImageSize, 0xFF);
    for (uint32_t i = 0; i < 300; ++i) image[i] = static_cast<uint8_t>(i * 3);
    for (uint32_t i = 0; i < 16; ++i) image[0x12340 + i] = static_cast<uint8_t>(0xA0 + i);
    std::copy(description.begin(), description.end(), image.begin() + kFlashDescriptionOffset);
    image[kFlashDescriptionOffset + description.size()] = 0;
    return image;
  }
  static Bytes Eeprom() {
    Bytes image(kEepromImageSize, 0xFF);
    for (uint32_t i = 0; i < 40; ++i) image[0x100 + i] = static_cast<uint8_t>(i);
    image[0xFFF] = 0x42;
    return image;
  }
  std::string Hex(const std::string& name, const Bytes& bytes) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(SaveIntelHex(path, bytes.data(), static_cast<uint32_t>(bytes.size())));
    return path;
  }

  // Opens the tool the way the launcher does, with the given last files.
  FirmwareUploader& Open(const std::string& flash, const std::string& eeprom, bool keep_eeprom = false,
                         bool turbo = true) {
    app.use_turbo_baud_rate = turbo ? 1 : 0;
    app.last_fw_file = flash;
    app.last_eeprom_file = eeprom;
    app.keep_eeprom = keep_eeprom ? 1 : 0;
    uploader = std::make_unique<FirmwareUploader>(Env());
    uploader->Open();
    ui.shown.clear();
    ui.progress.clear();
    return *uploader;
  }

  std::vector<unsigned> Captions() const {
    std::vector<unsigned> captions;
    for (const auto& p : ui.progress) captions.push_back(p.caption_id);
    return captions;
  }
  void ExpectNormalSpeedAtBothEnds() {
    EXPECT_EQ(port.BaudRate(), kNormalBaud);
    EXPECT_EQ(AvrSpeed(), kNormalBaud);
  }

  TempDir dir;
  std::unique_ptr<FirmwareUploader> uploader;
};

TEST_F(FirmwareUploaderTest, AFullRunProgramsAndVerifiesBothMemories) {
  StartAvr();
  const Bytes flash = Flash();
  const Bytes eeprom = Eeprom();
  auto& u = Open(Hex("app.hex", flash), Hex("settings.eep", eeprom));
  ASSERT_TRUE(u.m_flash_valid);
  ASSERT_TRUE(u.m_eeprom_valid);
  ui.answers = {Answer::Yes};  // overwrite the EEPROM

  EXPECT_EQ(u.ProgramNewFirmware(), Result::Done);

  EXPECT_EQ(ui.Texts(), (std::vector<std::string>{text::kOverwriteEeprom, text::kProgrammingSuccessful}));
  EXPECT_EQ(ui.shown.back().message.icon, MessageIcon::Information);
  EXPECT_EQ(Captions(), (std::vector<unsigned>{kCaptionErasingFlash, kCaptionProgrammingFirmware, kCaptionVerifying,
                                               kCaptionProgrammingEeprom, kCaptionVerifying}));
  // page x 100 / 480 before each page, block x 100 / 256 before each block
  EXPECT_EQ(ui.progress[1].positions.size(), 481u);
  EXPECT_EQ(ui.progress[1].positions[241], 240 * 100 / 480);
  EXPECT_EQ(ui.progress[1].positions.back(), 479 * 100 / 480);
  EXPECT_EQ(ui.progress[3].positions.back(), 255 * 100 / 256);
  for (const auto& p : ui.progress) EXPECT_TRUE(p.destroyed);

  Bytes expected = flash;
  const uint32_t sum = FlashChecksum(flash.data());
  for (int i = 0; i < 4; ++i) expected[kFlashChecksumOffset + i] = static_cast<uint8_t>(sum >> (8 * i));
  Avr([&](VirtualAvr& m) {
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + kBootLoaderStart, m.flash.begin()));
    for (uint32_t a = kBootLoaderStart; a < kFlashImageSize; ++a) {
      ASSERT_EQ(m.flash[a], VirtualAvr::BootSectionByte(a - kBootLoaderStart)) << a;
    }
    EXPECT_EQ(m.eeprom, eeprom);
    // Blocks of 0xFF are erased, never written: 0x100-0x127 and 0xFF0 hold data.
    EXPECT_EQ(m.counters.eeprom_writes, 4);
    EXPECT_EQ(m.counters.eeprom_erases, 252);
  });
  // The in-memory image keeps the checksum.
  EXPECT_EQ(u.m_flash_image, expected);
  ExpectNormalSpeedAtBothEnds();
}

TEST_F(FirmwareUploaderTest, TheChecksumOfAnErasedImageIsStoredLeastSignificantByteFirst) {
  StartAvr();
  Bytes flash(kFlashImageSize, 0xFF);
  auto& u = Open(Hex("blank.hex", flash), "", true);
  u.controls.keep_eeprom = true;
  u.controls.verify_after_programming = false;
  ui.answers = {Answer::Yes};  // the description differs
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Done);
  EXPECT_EQ(ui.Texts().front(), text::kDescriptionDiffers);
  Avr([&](VirtualAvr& m) {
    EXPECT_EQ(Bytes(m.flash.begin() + 0x1DF04, m.flash.begin() + 0x1DF08), (Bytes{0x00, 0x21, 0xDD, 0x01}));
  });
}

TEST_F(FirmwareUploaderTest, TheChecksumReplacesWhateverTheFileHeldAndCanBeLeftOut) {
  for (bool insert : {true, false}) {
    StartAvr();
    Bytes flash = Flash();
    flash[0x1DF04] = 0x12;
    flash[0x1DF07] = 0x34;
    auto& u = Open(Hex("app.hex", flash), "", true);
    u.controls.keep_eeprom = true;
    u.controls.insert_checksum = insert;
    EXPECT_EQ(u.ProgramNewFirmware(), Result::Done);
    const uint32_t sum = FlashChecksum(flash.data());
    Avr([&](VirtualAvr& m) {
      const uint32_t stored = uint32_t{m.flash[0x1DF04]} | uint32_t{m.flash[0x1DF05]} << 8 |
                              uint32_t{m.flash[0x1DF06]} << 16 | uint32_t{m.flash[0x1DF07]} << 24;
      EXPECT_EQ(stored, insert ? sum : 0x34FFFF12u) << insert;
    });
    host->Stop();
    port.Close();
  }
}

TEST_F(FirmwareUploaderTest, TheBootLoaderSectionOfTheFileIsNeverSent) {
  StartAvr();
  Bytes flash = Flash();
  std::fill(flash.begin() + kBootLoaderStart, flash.end(), 0x00);
  auto& u = Open(Hex("with-boot.hex", flash), "", true);
  u.controls.keep_eeprom = true;
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Done);
  Avr([&](VirtualAvr& m) {
    EXPECT_LT(*m.counters.flash_pages_written.rbegin(), kBootLoaderStart);
    EXPECT_EQ(m.flash[0x1FFFF], VirtualAvr::BootSectionByte(0x1FFF));
  });
}

TEST_F(FirmwareUploaderTest, ThreeDifferingBytesGiveThreeMessagesAndAnUnsuccessfulRun) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.stuck_flash_bits = {0x10, 0x11, 0x1DF08}; });
  auto& u = Open(Hex("app.hex", Flash()), "", true);
  u.controls.keep_eeprom = true;
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Failed);
  EXPECT_EQ(ui.Texts(), (std::vector<std::string>{text::ApplicationMismatchAt(0x10),
                                                  text::ApplicationMismatchAt(0x11),
                                                  text::FixedStringsMismatchAt(0x1DF08),
                                                  text::kProgrammingUnsuccessful}));
  EXPECT_EQ(ui.shown.back().message.buttons, MessageButtons::RetryCancel);
  EXPECT_EQ(ui.shown.back().message.icon, MessageIcon::Exclamation);
  ExpectNormalSpeedAtBothEnds();
}

TEST_F(FirmwareUploaderTest, TheDescriptionQuestionComesOncePerClickAcrossRetries) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.stuck_flash_bits = {0x20}; });
  auto& u = Open(Hex("other.hex", Flash("Other board")), "", true);
  u.controls.keep_eeprom = true;
  u.controls.erase_flash_first = false;
  ui.answers = {Answer::Yes, Answer::Retry, Answer::Cancel};
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Failed);
  const auto texts = ui.Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), text::kDescriptionDiffers), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), text::kProgrammingUnsuccessful), 2);
  EXPECT_EQ(ui.unexpected_questions, 0);

  // A new click asks again; No ends it at once.
  ui.shown.clear();
  ui.answers = {Answer::No};
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Cancelled);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{text::kDescriptionDiffers});
}

TEST_F(FirmwareUploaderTest, TheNotHexQuestionComesOnEveryPass) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.stuck_eeprom_bits = {0x105}; });
  auto& u = Open(Hex("app.hex", Flash()), Hex("settings.eep", Eeprom()));
  u.controls.flash_file = dir.File("APP.HEX");  // capitals: not a hex file
  ui.answers = {Answer::Yes, Answer::Yes, Answer::Retry, Answer::Yes, Answer::Cancel};
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Failed);
  const auto texts = ui.Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), text::kNotHexFile), 2);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), text::kOverwriteEeprom), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), text::EepromMismatchAt(0x105)), 2);
  EXPECT_FALSE(u.m_flash_valid);
  EXPECT_FALSE(u.FlashViewEnabled());
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.counters.flash_writes; }), 0);
  EXPECT_EQ(ui.unexpected_questions, 0);
}

TEST_F(FirmwareUploaderTest, NoToAQuestionEndsTheRunWithoutAVerdictAtNormalSpeed) {
  struct Case {
    const char* name;
    std::string flash_name;
    Bytes flash;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {"not hex", "app.bin", Flash(), {text::kNotHexFile}},
      {"description", "app.hex", Flash("Other"), {text::kDescriptionDiffers}},
      {"eeprom overwrite", "app.hex", Flash(), {text::kOverwriteEeprom}},
  };
  StartAvr();
  for (const auto& c : cases) {
    auto& u = Open(Hex(c.flash_name, c.flash), Hex("settings.eep", Eeprom()));
    ui.answers.clear();
    EXPECT_EQ(u.ProgramNewFirmware(), Result::Cancelled) << c.name;
    EXPECT_EQ(ui.Texts(), c.texts) << c.name;
    ExpectNormalSpeedAtBothEnds();
  }
}

TEST_F(FirmwareUploaderTest, CancelWhileProgrammingEndsSilentlyAtNormalSpeed) {
  StartAvr();
  auto& u = Open(Hex("app.hex", Flash()), Hex("settings.eep", Eeprom()), true);
  u.controls.keep_eeprom = true;
  u.controls.erase_flash_first = false;
  ui.cancel_at_poll = 40;
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Cancelled);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(Captions(), std::vector<unsigned>{kCaptionProgrammingFirmware});
  EXPECT_TRUE(ui.progress[0].destroyed);
  EXPECT_LT(Avr([](VirtualAvr& m) { return m.counters.flash_writes + m.counters.flash_erases; }), 480);
  ExpectNormalSpeedAtBothEnds();
}

TEST_F(FirmwareUploaderTest, CancelInEveryPhaseEndsTheRunSilentlyAtNormalSpeed) {
  // Polls are counted over all windows, two per page or block (the bar and
  // the Cancel check): 480 flash pages, 256 EEPROM blocks.
  struct Case {
    const char* name;
    bool erase;
    bool flash;  // else the flash path is not a hex file and only the EEPROM runs
    int cancel_at_poll;
    std::vector<unsigned> captions;
    std::function<int(VirtualAvr&)> work;  // what the device did in the cancelled phase
    int whole;                             // what the whole phase would have done
  };
  const Case cases[] = {
      {"erase", true, true, 2 * 20, {kCaptionErasingFlash},
       [](VirtualAvr& m) { return m.counters.flash_erases + m.counters.flash_writes; }, 480},
      {"flash verify", false, true, 2 * (480 + 20), {kCaptionProgrammingFirmware, kCaptionVerifying},
       [](VirtualAvr& m) { return m.counters.flash_reads; }, 480},
      {"EEPROM verify", false, false, 2 * (256 + 10), {kCaptionProgrammingEeprom, kCaptionVerifying},
       [](VirtualAvr& m) { return m.counters.eeprom_reads; }, 256},
  };
  for (const auto& c : cases) {
    StartAvr();
    auto& u = Open(Hex(c.flash ? "app.hex" : "app.txt", Flash()), Hex("settings.eep", Eeprom()), c.flash);
    u.controls.keep_eeprom = c.flash;
    u.controls.erase_flash_first = c.erase;
    ui.answers = {Answer::Yes, Answer::Yes};  // program the EEPROM alone; overwrite it
    ui.cancel_at_poll = c.cancel_at_poll;
    ui.polls = 0;
    EXPECT_EQ(u.ProgramNewFirmware(), Result::Cancelled) << c.name;
    // No verdict, no "Programming Successful!" after a Cancel.
    for (const auto& shown : ui.shown) EXPECT_TRUE(shown.message.IsQuestion()) << c.name << ": " << shown.message.text;
    EXPECT_EQ(Captions(), c.captions) << c.name;
    for (const auto& p : ui.progress) EXPECT_TRUE(p.destroyed) << c.name;
    EXPECT_LT(Avr(c.work), c.whole) << c.name;
    ExpectNormalSpeedAtBothEnds();
  }
}

TEST_F(FirmwareUploaderTest, AFailedPageOrBlockEndsItsPhaseAndTheRunGoesOn) {
  // Each failure names its phase and address, ends that phase (the second
  // faulty page or block is never reached), and the run still reaches the
  // later phases and the verdict.
  struct Case {
    const char* name;
    std::function<void(VirtualAvr&)> fault;
    bool flash;  // program the flash (else its path is not a hex file)
    bool erase;
    bool verify;
    bool eeprom;  // program the EEPROM (else keep it)
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {"erase, then program, at a refused page",
       [](VirtualAvr& m) { m.faults.refused_flash_pages = {0x300, 0x400}; },
       true, true, false, false,
       {text::EraseFailedAt(0x300), text::ProgramFlashFailedAt(0x300), text::kProgrammingUnsuccessful}},
      {"program flash, then the EEPROM",
       [](VirtualAvr& m) { m.faults.refused_flash_pages = {0x12300, 0x12400}; },
       true, false, false, true,
       {text::ProgramFlashFailedAt(0x12300), text::kOverwriteEeprom, text::kProgrammingUnsuccessful}},
      {"read flash for verification",
       [](VirtualAvr& m) { m.faults.garbled_flash_reads = {0x200, 0x300}; },
       true, false, true, false,
       {text::ReadFlashForVerifyFailedAt(0x200), text::kProgrammingUnsuccessful}},
      {"program EEPROM",
       [](VirtualAvr& m) { m.faults.refused_eeprom_blocks = {0x110, 0x120}; },
       false, false, false, true,
       {text::kNotHexFile, text::kOverwriteEeprom, text::ProgramEepromFailedAt(0x110),
        text::kProgrammingUnsuccessful}},
      {"read EEPROM for verification",
       [](VirtualAvr& m) { m.faults.garbled_eeprom_reads = {0x230, 0x240}; },
       false, false, true, true,
       {text::kNotHexFile, text::kOverwriteEeprom, text::ReadEepromForVerifyFailedAt(0x230),
        text::kProgrammingUnsuccessful}},
  };
  for (const auto& c : cases) {
    StartAvr(Mode::BootLoader, c.fault);
    const Bytes eeprom = Eeprom();
    auto& u = Open(Hex("app.hex", Flash()), Hex("settings.eep", eeprom), !c.eeprom);
    if (!c.flash) u.controls.flash_file = dir.File("app.bin");
    u.controls.erase_flash_first = c.erase;
    u.controls.verify_after_programming = c.verify;
    ui.answers = {Answer::Yes, Answer::Yes, Answer::Cancel};
    EXPECT_EQ(u.ProgramNewFirmware(), Result::Failed) << c.name;
    EXPECT_EQ(ui.Texts(), c.texts) << c.name;
    if (c.flash && c.eeprom) {
      // The flash failure did not keep the EEPROM from being programmed.
      EXPECT_EQ(Avr([](VirtualAvr& m) { return m.eeprom; }), eeprom) << c.name;
    }
    ExpectNormalSpeedAtBothEnds();
    host->Stop();
    port.Close();
  }
}

TEST_F(FirmwareUploaderTest, ErasedEepromBlocksFallBackToWritesWhenEraseIsRefused) {
  // Old settings in every block: a blank block the run skipped after the
  // refusal would keep them and show in the comparison below.
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) {
    m.faults.refuse_eeprom_erase = true;
    std::fill(m.eeprom.begin(), m.eeprom.end(), 0x5A);
  });
  const Bytes eeprom = Eeprom();
  auto& u = Open(Hex("app.hex", Flash()), Hex("settings.eep", eeprom));
  u.controls.flash_file = dir.File("none.txt");
  u.controls.verify_after_programming = false;
  ui.answers = {Answer::Yes, Answer::Yes};
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Done);
  Avr([&](VirtualAvr& m) {
    EXPECT_EQ(m.eeprom, eeprom);
    EXPECT_EQ(m.counters.eeprom_erases, 1);  // once refused, never asked again
    EXPECT_EQ(m.counters.eeprom_writes, 256);
  });
}

TEST_F(FirmwareUploaderTest, SlowRefusedFlashEraseFallsBackToBlankWritesAndSucceeds) {
  // Every page holds code except the last three of the application section,
  // which are blank in the image. The device holds old firmware in every
  // page, so a blank page the run skipped would show. The pages before them
  // go at high speed; the refused erase of the first blank page falls back
  // to normal speed, so only four pages are written slowly.
  constexpr uint32_t kFirstBlank = 0x1DC00;
  Bytes flash = Flash();
  for (uint32_t a = 0; a < kFirstBlank; ++a) flash[a] = static_cast<uint8_t>(a * 7 + (a >> 8));
  StartAvr(Mode::BootLoader, [&](VirtualAvr& m) {
    m.faults.refuse_flash_erase = true;
    m.faults.fail_flash_write_once = kFirstBlank;  // the first 0xFF write fails, the second holds
    std::fill(m.flash.begin(), m.flash.begin() + kApplicationAreaSize + kFlashPageSize, 0x00);
  });
  auto& u = Open(Hex("app.hex", flash), "", true);
  u.controls.keep_eeprom = true;
  u.controls.erase_flash_first = false;
  u.controls.verify_after_programming = false;
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Done);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{text::kProgrammingSuccessful});
  Avr([&](VirtualAvr& m) {
    // Asked once, then blank pages are written: 476 code pages, two attempts
    // at the first blank page, the two blank pages after it, the fixed strings.
    EXPECT_EQ(m.counters.flash_erases, 1);
    EXPECT_EQ(m.counters.flash_writes, 476 + 2 + 2 + 1);
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + kFlashChecksumOffset, m.flash.begin()));
  });
  ExpectNormalSpeedAtBothEnds();
}

TEST_F(FirmwareUploaderTest, AFailedPageWriteIsRetriedAtNormalSpeed) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.fail_flash_write_once = 0x100; });
  auto& u = Open(Hex("app.hex", Flash()), "", true);
  u.controls.keep_eeprom = true;
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Done);
  Avr([](VirtualAvr& m) {
    EXPECT_EQ(m.flash[0x101], 3 * 0x101 & 0xFF);
    // Up to the fall-back at high speed, after it at normal speed for good:
    // the program phase marks high speed failed.
    EXPECT_EQ(m.counters.speed_changes, 2);
  });
}

TEST_F(FirmwareUploaderTest, SlowADeviceThatStaysAtNormalSpeedIsAskedOncePerClick) {
  StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.normal_speed_only = true; });
  const Bytes flash = Flash();
  const Bytes eeprom = Eeprom();
  auto& u = Open(Hex("app.hex", flash), Hex("settings.eep", eeprom));
  u.controls.verify_after_programming = false;
  ui.answers = {Answer::Yes};  // overwrite the EEPROM
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Done);
  Avr([&](VirtualAvr& m) {
    // The failed switch before the flash marks high speed failed, so the
    // EEPROM phases do not try again.
    EXPECT_EQ(m.counters.speed_up_requests, 1);
    EXPECT_EQ(m.eeprom, eeprom);
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + kFlashChecksumOffset, m.flash.begin()));
  });
  ExpectNormalSpeedAtBothEnds();
}

TEST_F(FirmwareUploaderTest, ABrowsedFileIsCheckedAndTraced) {
  struct Memory {
    bool flash;
    const char* verified;
    const char* invalid;
    const char* trace;
    const char* filter;
    const char* extension;
    const char* too_large;  // one byte just past the memory
  };
  const Memory memories[] = {
      {true, text::kVerifiedFlashFile, text::kInvalidFlashFile, "Attempting to load Flash file ", text::kFlashFilter,
       "hex", ":020000040002F8\r\n:0100000000FF\r\n"},
      {false, text::kVerifiedEepromFile, text::kInvalidEepromFile, "Attempting to load EEPROM file ",
       text::kEepromFilter, "eep", ":0110000000EF\r\n:00000001FF\r\n"},
  };
  struct Case {
    const char* name;
    std::string contents;
    bool valid;
  };
  StartAvr();
  auto& u = Open("", "", true);
  for (const auto& m : memories) {
    const Case cases[] = {
        {"good", ":0400000001020304F2\r\n:00000001FF\r\n", true},
        {"not-hex", "this is not a hex file\n", false},
        {"too-large", m.too_large, false},
        {"overlapping", ":0100000001FE\r\n:0100000002FD\r\n", false},
        {"missing", "", false},
    };
    ui.file_requests.clear();
    for (const auto& c : cases) {
      const std::string path = dir.File(std::string(c.name) + "." + m.extension);
      const std::string what = std::string(c.name) + (m.flash ? " flash" : " EEPROM");
      if (std::string(c.name) != "missing") WriteText(path, c.contents);
      ui.shown.clear();
      ui.files = {path};
      if (m.flash) {
        u.BrowseFlash();
      } else {
        u.BrowseEeprom();
      }
      EXPECT_EQ(m.flash ? u.m_flash_valid : u.m_eeprom_valid, c.valid) << what;
      EXPECT_EQ(m.flash ? u.FlashViewEnabled() : u.EepromViewEnabled(), c.valid) << what;
      EXPECT_EQ(ui.Texts(), std::vector<std::string>{c.valid ? m.verified : m.invalid}) << what;
      EXPECT_EQ(ui.shown[0].message.icon, c.valid ? MessageIcon::Information : MessageIcon::None) << what;
      EXPECT_TRUE(trace.Contains(m.trace + path + (c.valid ? "... OK" : "... FAIL"))) << what;
      EXPECT_EQ(m.flash ? u.controls.flash_file : u.controls.eeprom_file, path) << what;
    }
    ASSERT_FALSE(ui.file_requests.empty());
    EXPECT_EQ(ui.file_requests[0].filter, m.filter);
    EXPECT_EQ(ui.file_requests[0].default_extension, m.extension);
    EXPECT_TRUE(ui.file_requests[0].must_exist);
  }
}

TEST_F(FirmwareUploaderTest, AnInvalidFlashFileIsSkippedAndTheEepromStillProgrammed) {
  StartAvr();
  WriteText(dir.File("broken.hex"), "garbage\n");
  auto& u = Open(dir.File("broken.hex"), Hex("settings.eep", Eeprom()));
  EXPECT_FALSE(u.m_flash_valid);
  ui.answers = {Answer::Yes};
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Done);
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.counters.flash_writes + m.counters.flash_erases; }), 0);
}

// The window goes on without a file that did not load; the run says which
// given file became what, so the console can refuse to call it done.
TEST_F(FirmwareUploaderTest, EachGivenFileReportsWhetherItWasProgrammed) {
  using File = FirmwareUploader::FileRun;
  StartAvr();
  WriteText(dir.File("broken.hex"), "garbage\n");
  WriteText(dir.File("broken.eep"), ":0100000011\r\n");
  const std::string flash = Hex("app.hex", Flash());
  const std::string eeprom = Hex("settings.eep", Eeprom());
  struct Case {
    const char* name;
    std::string flash;
    std::string eeprom;
    bool keep_eeprom;
    File flash_run;
    File eeprom_run;
  };
  const Case cases[] = {
      {"missing flash", dir.File("MISSING.hex"), eeprom, false, File::CannotOpen, File::Programmed},
      {"invalid flash", dir.File("broken.hex"), eeprom, false, File::Invalid, File::Programmed},
      {"flash of another type", dir.File("app.bin"), eeprom, false, File::WrongType, File::Programmed},
      {"missing EEPROM", flash, dir.File("MISSING.eep"), false, File::Programmed, File::CannotOpen},
      {"invalid EEPROM", flash, dir.File("broken.eep"), false, File::Programmed, File::Invalid},
      {"EEPROM kept", flash, dir.File("MISSING.eep"), true, File::Programmed, File::NotGiven},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto& u = Open(c.flash, c.eeprom, c.keep_eeprom);
    u.controls.erase_flash_first = false;
    u.controls.verify_after_programming = false;
    ui.answers = {Answer::Yes, Answer::Yes, Answer::Yes};
    const ToolOutcome outcome = u.ProgramNewFirmware();
    // The window's verdict is unchanged: what was programmed went well.
    EXPECT_EQ(outcome, Result::Done);
    EXPECT_EQ(u.LastRunFiles().flash, c.flash_run);
    EXPECT_EQ(u.LastRunFiles().eeprom, c.eeprom_run);
    const bool all = c.flash_run == File::Programmed && c.eeprom_run != File::CannotOpen &&
                     c.eeprom_run != File::Invalid;
    EXPECT_EQ(u.LastRunFiles().AllGivenProgrammed(), all);
    EXPECT_EQ(u.FilesNotProgrammed().size(), all ? 0u : 1u);
  }
}

TEST_F(FirmwareUploaderTest, ARunThatProgramsNothingClaimsNoSuccess) {
  StartAvr();
  WriteText(dir.File("broken.hex"), "garbage\n");
  // The EEPROM file loads at opening, but the EEPROM is kept.
  auto& u = Open(dir.File("broken.hex"), Hex("settings.eep", Eeprom()), true);
  ASSERT_TRUE(u.m_eeprom_valid);
  EXPECT_EQ(u.ProgramNewFirmware(), Result::NothingDone);
  EXPECT_FALSE(ui.Showed(text::kProgrammingSuccessful));
}

TEST_F(FirmwareUploaderTest, ATypedPathIsLoadedWithItsMessage) {
  StartAvr();
  auto& u = Open("", "", true);
  u.controls.flash_file = Hex("typed.hex", Flash());
  u.controls.keep_eeprom = true;
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Done);
  EXPECT_EQ(ui.Texts(), (std::vector<std::string>{text::kVerifiedFlashFile, text::kProgrammingSuccessful}));
  EXPECT_FALSE(trace.ContainsSubstring("Attempting to load"));
}

TEST_F(FirmwareUploaderTest, APathTypedBeforeAnotherButtonIsStillLoaded) {
  // A path typed into a box and taken into the fields by another button
  // (here the "Keep my current EEPROM file" check box, or a Browse the
  // person cancelled) must not leave the image of the previous file behind.
  struct Case {
    const char* name;
    bool flash;
    bool cancelled_browse;
  };
  const Case cases[] = {
      {"flash, keep-EEPROM box", true, false},
      {"flash, cancelled Browse", true, true},
      {"EEPROM, keep-EEPROM box", false, false},
  };
  for (const auto& c : cases) {
    StartAvr();
    Bytes new_flash = Flash();
    new_flash[0x40] = 0x5A;
    Bytes new_eeprom = Eeprom();
    new_eeprom[0x300] = 0x5A;
    auto& u = Open(Hex("old.hex", Flash()), Hex("old.eep", Eeprom()), false);
    if (c.flash) {
      u.controls.flash_file = Hex("new.hex", new_flash);
    } else {
      u.controls.eeprom_file = Hex("new.eep", new_eeprom);
    }
    if (c.cancelled_browse) {
      ui.files = {std::nullopt};
      u.BrowseFlash();
    } else {
      u.KeepEepromClicked();
    }
    u.controls.verify_after_programming = false;
    ui.answers = {Answer::Yes};  // overwrite the EEPROM
    EXPECT_EQ(u.ProgramNewFirmware(), Result::Done) << c.name;
    EXPECT_TRUE(ui.Showed(c.flash ? text::kVerifiedFlashFile : text::kVerifiedEepromFile)) << c.name;
    Avr([&](VirtualAvr& m) {
      EXPECT_EQ(m.flash[0x40], c.flash ? 0x5A : Flash()[0x40]) << c.name;
      EXPECT_EQ(m.eeprom[0x300], c.flash ? 0xFF : 0x5A) << c.name;
    });
    host->Stop();
    port.Close();
  }
}

TEST_F(FirmwareUploaderTest, AnEepromPathOfTheWrongKindIsRefused) {
  StartAvr();
  auto& u = Open("", "", false);
  u.controls.flash_file = dir.File("none");
  u.controls.eeprom_file = dir.File("settings.EEP");
  ui.answers = {Answer::Yes, Answer::Yes};
  EXPECT_EQ(u.ProgramNewFirmware(), Result::NothingDone);
  EXPECT_EQ(ui.Texts().back(), text::kNoValidEepromFile);
  EXPECT_EQ(ui.shown.back().message.icon, MessageIcon::Error);
  EXPECT_FALSE(u.EepromViewEnabled());
}

TEST_F(FirmwareUploaderTest, OpeningAndClosingKeepTheSettings) {
  StartAvr(Mode::Application);
  store.PutInt(keys::kEraseFlashFirstFirmwareUploader.name, 0);
  const std::string flash = Hex("app.hex", Flash());
  auto& u = Open(flash, "", true);
  // The application did not answer the queries, so the tool connected.
  EXPECT_TRUE(trace.Contains("----------------------------------------"));
  EXPECT_TRUE(trace.Contains("Atmel Corvel"));
  EXPECT_TRUE(trace.Contains("Version information not found, attempting to connect to Atmel"));
  EXPECT_TRUE(u.Connected());
  EXPECT_EQ(u.DescriptionText(), "Trelmark AVR");
  EXPECT_EQ(u.BootLoaderVersionText(), "1 2 3 4");
  EXPECT_EQ(u.ApplicationVersionText(), "2 0 1 7");
  EXPECT_TRUE(u.m_flash_valid);
  EXPECT_TRUE(u.FlashViewEnabled());
  EXPECT_FALSE(u.EepromViewEnabled());
  EXPECT_FALSE(u.EepromPathEnabled());
  EXPECT_FALSE(u.controls.erase_flash_first);

  u.controls.keep_eeprom = false;
  u.KeepEepromClicked();
  EXPECT_TRUE(u.EepromPathEnabled());
  u.ViewFlash();
  ASSERT_EQ(ui.hex_views.size(), 1u);
  EXPECT_EQ(ui.hex_views[0].substr(0, 14), "0x000000: 00 0");
  u.m_verify_after_programming = false;
  u.Close(true);
  EXPECT_TRUE(trace.Contains("Exiting Atmel Uploader"));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(app.last_fw_file, flash);
  EXPECT_EQ(app.keep_eeprom, 0);
  EXPECT_EQ(store.GetInt(keys::kVerifyAfterProgrammingFirmwareUploader.name, 1), 0);
  EXPECT_EQ(store.GetInt(keys::kEraseFlashFirstFirmwareUploader.name, 1), 0);
}

TEST_F(FirmwareUploaderTest, ADeviceThatVanishesMidRunEndsInMessagesNotAHang) {
  StartAvr();
  auto& u = Open(Hex("app.hex", Flash()), Hex("settings.eep", Eeprom()));
  ui.answers = {Answer::Yes};
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    host->Disconnect();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(u.ProgramNewFirmware(), Result::Failed);
  unplug.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(ui.LastText(), text::kProgrammingUnsuccessful);
  // The run was at high speed when the line went; the port is left at 19200.
  EXPECT_EQ(port.BaudRate(), kNormalBaud);
}

}  // namespace
}  // namespace corvel::test
