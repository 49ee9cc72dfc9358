#pragma once
// "Upload New Firmware": the controller behind the dialog and the console's
// atmel commands. It owns the images, the options and the boot loader link,
// and talks to the person only through UserInterface; a view renders its
// state and forwards clicks.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/base/Outcome.h"
#include "core/tool/app/ToolEnv.h"
#include "core/protocol/atmel/AtmelBootLoader.h"
#include "core/tool/atmel/AtmelConnect.h"
#include "core/tool/atmel/DeviceReadBack.h"

namespace corvel {

class FirmwareUploader {
 public:
  // What the dialog's controls hold; the buttons that "take the controls"
  // copy these into the fields first, and the controller writes back what
  // it changes.
  struct Controls {
    std::string flash_file;
    std::string eeprom_file;
    bool keep_eeprom = false;
    bool insert_checksum = true;
    bool power_off_connect = false;
    bool erase_flash_first = true;
    bool verify_after_programming = true;
  };

  explicit FirmwareUploader(ToolEnv& env);

  // Opening: banner, versions, connect if needed, silent loads of the last files.
  void Open();
  // Done when the boot loader answered, else Failed.
  ToolOutcome ConnectToAtmel();
  void BrowseFlash();
  void BrowseEeprom();
  void ViewFlash();
  void ViewEeprom();
  // Done when the memory was saved, shown or verified equal; Failed when a
  // read, the file or the comparison failed; Cancelled when the person
  // stopped it.
  ToolOutcome ReadFlash();
  ToolOutcome ReadEeprom();
  // Done: "Programming Successful!"; Failed: the last pass was unsuccessful;
  // Cancelled: a No to a question or Cancel; NothingDone: no file to program.
  // A Done run may still have skipped a file it was given (the window's flow
  // goes on without it): LastRunFiles() says what became of each.
  ToolOutcome ProgramNewFirmware();

  // What the last "Program New Firmware" did with each file it was given.
  enum class FileRun {
    NotGiven,     // no path, or the EEPROM is kept
    Programmed,   // its phases ran (the verdict says how they went)
    CannotOpen,   // the file could not be opened
    Invalid,      // not Intel HEX, too large, not a regular file
    WrongType,    // the name does not end as the memory's files do
    NotReached,   // the run ended before it came to this file
  };
  struct ProgramFiles {
    FileRun flash = FileRun::NotGiven;
    FileRun eeprom = FileRun::NotGiven;
    // Every file given was programmed.
    bool AllGivenProgrammed() const {
      const auto done = [](FileRun r) { return r == FileRun::NotGiven || r == FileRun::Programmed; };
      return done(flash) && done(eeprom);
    }
  };
  const ProgramFiles& LastRunFiles() const { return m_run_files; }
  // Why each given file of the last run was not programmed, one text per
  // file; empty when every given file was.
  std::vector<std::string> FilesNotProgrammed() const;
  LinkStatus StartApplication();
  void GetVersions();
  void KeepEepromClicked();
  // Done (close_box false) or the window's close box.
  void Close(bool close_box = false);

  // State the view renders.
  Controls controls;
  bool FlashViewEnabled() const { return m_flash_view_enabled; }
  bool EepromViewEnabled() const { return m_eeprom_view_enabled; }
  bool EepromPathEnabled() const { return m_eeprom_path_enabled; }
  std::string ApplicationVersionText() const { return FormatVersion(m_versions.application); }
  std::string BootLoaderVersionText() const { return FormatVersion(m_versions.boot_loader); }
  const std::string& DescriptionText() const { return m_versions.description; }
  bool Connected() const { return m_loader.connected; }
  AtmelBootLoader& Loader() { return m_loader; }

  // The fields.
  std::string m_flash_file;
  std::string m_eeprom_file;
  bool m_keep_eeprom = false;
  bool m_insert_checksum = true;
  bool m_power_off_connect = false;
  bool m_erase_flash_first = true;
  bool m_verify_after_programming = true;
  std::vector<uint8_t> m_flash_image = std::vector<uint8_t>(kFlashImageSize, 0xFF);
  std::vector<uint8_t> m_eeprom_image = std::vector<uint8_t>(kEepromImageSize, 0xFF);
  bool m_flash_valid = false;
  bool m_eeprom_valid = false;

 private:
  // The flags one click keeps across its passes. The click's high-speed
  // session returns the link to normal speed however the click ends.
  struct Click {
    explicit Click(AtmelBootLoader& loader) : speed(loader) {}
    bool description_accepted = false;
    bool overwrite_confirmed = false;
    bool erase_in_favour = true;
    HighSpeedSession speed;
    std::string flash_loaded_path;   // the paths the boxes held before the click
    std::string eeprom_loaded_path;
  };
  struct Pass {
    bool successful = true;
    bool programmed = false;  // a flash or EEPROM phase ran
  };
  enum class Phase { Done, Cancelled };
  enum class Step { Go, Skip, EndRun };

  void TakeControls();
  void ShowFields();
  // Loads the flash (or EEPROM) file into its image, as Browse does when
  // with_messages and with_trace are set.
  bool LoadFile(bool flash, bool with_messages, bool with_trace);
  bool ChooseAndLoad(bool flash);

  // One pass of a click; false when the run ends without a verdict (a No to
  // a question, or Cancel).
  bool ProgrammingPass(Click& click, Pass& pass);
  Step CheckFlashFile(Click& click);
  Step CheckEepromFile(Click& click);
  void SwitchToHighSpeed(Click& click, bool eeprom);
  // Fall-backs in erase and program phases also mark high speed failed.
  LinkStatus Retry(Click& click, bool marks_failure, const std::function<LinkStatus()>& operation);
  // What the phases need to know of the memory they work on.
  struct Memory {
    unsigned program_caption = 0;
    uint32_t units = 0;      // flash pages or EEPROM blocks
    uint32_t unit_size = 0;  // 256 or 16 bytes
    const uint8_t* image = nullptr;
    using AtMessage = std::string (*)(uint32_t address);
    AtMessage program_failed = nullptr;
    AtMessage read_failed = nullptr;
    std::function<LinkStatus(uint32_t address)> erase;
    std::function<LinkStatus(uint32_t address, const uint8_t* data)> write;  // unit_size bytes
    std::function<LinkStatus(uint32_t address, std::span<uint8_t, atmel::kReadLength> into)> read;
    std::function<AtMessage(uint32_t unit_address)> mismatch;  // the message for a differing byte
  };
  Memory FlashMemory();
  Memory EepromMemory();
  // Erases one page or block, or writes it with 0xFF once the device has
  // refused to erase.
  LinkStatus Blank(Click& click, const Memory& memory, uint32_t address);
  // Each phase polls Cancel after every page or block; a Cancel ends the
  // run at once, back at normal speed, with no further message.
  Phase EraseFlashPhase(Click& click, Pass& pass);
  Phase ProgramPhase(Click& click, Pass& pass, const Memory& memory);
  Phase VerifyPhase(Click& click, Pass& pass, const Memory& memory);
  Phase CancelPhase(Click& click, ProgressWindow& progress);
  void Fail(Pass& pass, const std::string& message);

  ToolEnv& m_env;
  AtmelBootLoader m_loader;
  DeviceReadBack m_read_back;
  DeviceVersions m_versions;
  bool m_flash_view_enabled = false;
  bool m_eeprom_view_enabled = false;
  bool m_eeprom_path_enabled = true;
  // The paths the images were last loaded from (whether or not they loaded).
  std::string m_flash_loaded_from;
  std::string m_eeprom_loaded_from;
  // How the last load of each file ended.
  FileRun m_flash_load = FileRun::NotGiven;
  FileRun m_eeprom_load = FileRun::NotGiven;
  ProgramFiles m_run_files;
};

}  // namespace corvel
