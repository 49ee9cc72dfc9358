#include "core/tool/atmel/FirmwareUploader.h"

#include <algorithm>
#include <cstdio>

#include "core/base/DebugLog.h"
#include "core/base/FileUtil.h"
#include "core/base/SettingsKeys.h"
#include "core/base/Text.h"
#include "core/tool/atmel/AtmelMessages.h"
#include "core/format/hex/FlashLayout.h"
#include "core/format/hex/IntelHex.h"
#include "core/ui/HexViewer.h"

namespace corvel {

using namespace atmel;

namespace {

constexpr int kPlainWriteAttempts = 2;  // 0xFF writes after a refused erase

bool AllErased(const uint8_t* bytes, std::size_t n) {
  return std::all_of(bytes, bytes + n, [](uint8_t b) { return b == 0xFF; });
}

const std::array<uint8_t, kFlashPageSize>& ErasedPage() {
  static const auto page = [] {
    std::array<uint8_t, kFlashPageSize> p{};
    p.fill(0xFF);
    return p;
  }();
  return page;
}

}  // namespace

FirmwareUploader::FirmwareUploader(ToolEnv& env)
    : m_env(env),
      m_loader(env.port),
      m_read_back(env, m_loader) {
  m_flash_file = env.app.last_fw_file;
  m_eeprom_file = env.app.last_eeprom_file;
  m_keep_eeprom = env.app.keep_eeprom != 0;
  m_erase_flash_first = keys::kEraseFlashFirstFirmwareUploader.Get(env.store) != 0;
  m_verify_after_programming = keys::kVerifyAfterProgrammingFirmwareUploader.Get(env.store) != 0;
  m_versions.description = text::kNotFound;
  ShowFields();
}

void FirmwareUploader::TakeControls() {
  m_flash_file = controls.flash_file;
  m_eeprom_file = controls.eeprom_file;
  m_keep_eeprom = controls.keep_eeprom;
  m_insert_checksum = controls.insert_checksum;
  m_power_off_connect = controls.power_off_connect;
  m_erase_flash_first = controls.erase_flash_first;
  m_verify_after_programming = controls.verify_after_programming;
}

void FirmwareUploader::ShowFields() {
  controls = {m_flash_file,        m_eeprom_file,        m_keep_eeprom,
              m_insert_checksum,   m_power_off_connect,  m_erase_flash_first,
              m_verify_after_programming};
}

void FirmwareUploader::Open() {
  TraceToolBanner(text::kToolName);
  m_eeprom_path_enabled = !m_keep_eeprom;
  std::fill(m_flash_image.begin(), m_flash_image.end(), 0xFF);
  std::fill(m_eeprom_image.begin(), m_eeprom_image.end(), 0xFF);
  GetVersions();
  if (!m_loader.connected) {
    DebugPrintf("%s", text::kVersionNotFoundConnecting);
    ConnectToAtmel();
  }
  if (!m_eeprom_file.empty()) LoadFile(false, false, false);
  m_eeprom_view_enabled = m_eeprom_valid;
  if (!m_flash_file.empty()) LoadFile(true, false, false);
  m_flash_view_enabled = m_flash_valid;
}

ToolOutcome FirmwareUploader::ConnectToAtmel() {
  TakeControls();
  const bool connected = m_power_off_connect ? ConnectByPowerCycle(m_loader, m_env.ui, m_versions)
                                             : ConnectToBootLoader(m_loader, m_env.ui, m_versions);
  return connected ? ToolOutcome::Done : ToolOutcome::Failed;
}

void FirmwareUploader::GetVersions() { m_versions = corvel::GetVersions(m_loader); }

bool FirmwareUploader::LoadFile(bool flash, bool with_messages, bool with_trace) {
  const std::string& path = flash ? m_flash_file : m_eeprom_file;
  std::vector<uint8_t>& image = flash ? m_flash_image : m_eeprom_image;
  bool& valid = flash ? m_flash_valid : m_eeprom_valid;
  const HexLoad load = ReadIntelHexFile(path, image.data(), static_cast<uint32_t>(image.size()), false);
  valid = load.ok();
  (flash ? m_flash_load : m_eeprom_load) = valid ? FileRun::Programmed
                                           : HexLoadResultOf(load) == HexLoadResult::CannotOpen ? FileRun::CannotOpen
                                                                                                 : FileRun::Invalid;
  (flash ? m_flash_loaded_from : m_eeprom_loaded_from) = path;
  if (with_messages) {
    if (valid) {
      m_env.ui.Inform(flash ? text::kVerifiedFlashFile : text::kVerifiedEepromFile);
    } else {
      m_env.ui.Plain(flash ? text::kInvalidFlashFile : text::kInvalidEepromFile);
    }
  }
  if (with_trace) {
    DebugPrintf("Attempting to load %s file %s... %s", flash ? "Flash" : "EEPROM", path.c_str(), valid ? "OK" : "FAIL");
  }
  (flash ? m_flash_view_enabled : m_eeprom_view_enabled) = valid;
  return valid;
}

bool FirmwareUploader::ChooseAndLoad(bool flash) {
  TakeControls();
  FileDialogRequest request;
  request.open = true;
  request.must_exist = true;
  request.default_extension = DialogExtension(flash ? kFlashExtension : kEepromExtension);
  request.filter = flash ? text::kFlashFilter : text::kEepromFilter;
  request.initial_name = flash ? m_flash_file : m_eeprom_file;
  auto path = m_env.ui.ChooseFile(request);
  if (!path) return false;
  (flash ? m_flash_file : m_eeprom_file) = *path;
  ShowFields();
  return LoadFile(flash, true, true);
}

void FirmwareUploader::BrowseFlash() { ChooseAndLoad(true); }
void FirmwareUploader::BrowseEeprom() { ChooseAndLoad(false); }

void FirmwareUploader::ViewFlash() {
  if (m_flash_valid) ShowHexViewer(m_env.ui, m_flash_image.data(), m_flash_image.size(), false);
}

void FirmwareUploader::ViewEeprom() {
  if (m_eeprom_valid) ShowHexViewer(m_env.ui, m_eeprom_image.data(), m_eeprom_image.size(), false);
}

ToolOutcome FirmwareUploader::ReadFlash() { return m_read_back.Run(AtmelMemory::Flash); }
ToolOutcome FirmwareUploader::ReadEeprom() { return m_read_back.Run(AtmelMemory::Eeprom); }

LinkStatus FirmwareUploader::StartApplication() { return StartApplicationWithRetries(m_loader); }

void FirmwareUploader::KeepEepromClicked() {
  TakeControls();
  m_eeprom_path_enabled = !m_keep_eeprom;
}

void FirmwareUploader::Close(bool close_box) {
  if (close_box) DebugPrintf("%s", text::kExiting);
  m_env.port.Close();
  m_env.app.last_eeprom_file = m_eeprom_file;
  m_env.app.last_fw_file = m_flash_file;
  m_env.app.keep_eeprom = m_keep_eeprom ? 1 : 0;
  keys::kEraseFlashFirstFirmwareUploader.Put(m_env.store, m_erase_flash_first ? 1 : 0);
  keys::kVerifyAfterProgrammingFirmwareUploader.Put(m_env.store, m_verify_after_programming ? 1 : 0);
}

// ---- Programming ---------------------------------------------------------

ToolOutcome FirmwareUploader::ProgramNewFirmware() {
  Click click(m_loader);
  click.flash_loaded_path = m_flash_file;
  click.eeprom_loaded_path = m_eeprom_file;
  TakeControls();
  m_run_files.flash = m_flash_file.empty() ? FileRun::NotGiven : FileRun::NotReached;
  m_run_files.eeprom = m_keep_eeprom || m_eeprom_file.empty() ? FileRun::NotGiven : FileRun::NotReached;
  // Until a pass gives a verdict, a run that ends is one the person stopped.
  ToolOutcome result = ToolOutcome::Cancelled;
  for (;;) {
    Pass pass;
    if (!ProgrammingPass(click, pass)) break;
    // A pass that programmed nothing (flash file invalid, EEPROM kept) has
    // no verdict: "Programming Successful!" would report work never done.
    if (!pass.programmed) {
      if (result == ToolOutcome::Cancelled) result = ToolOutcome::NothingDone;
      break;
    }
    if (pass.successful) {
      m_env.ui.Inform(text::kProgrammingSuccessful);
      result = ToolOutcome::Done;
      break;
    }
    result = ToolOutcome::Failed;
    const Answer answer = m_env.ui.ShowMessage(
        {text::kProgrammingUnsuccessful, MessageIcon::Exclamation, MessageButtons::RetryCancel, true});
    if (answer != Answer::Retry) break;
  }
  return result;
}

std::vector<std::string> FirmwareUploader::FilesNotProgrammed() const {
  std::vector<std::string> texts;
  const auto add = [&texts](FileRun run, const char* memory, const std::string& path) {
    switch (run) {
      case FileRun::NotGiven:
      case FileRun::Programmed: return;
      case FileRun::CannotOpen: texts.push_back(text::FileCannotBeOpened(memory, path)); return;
      case FileRun::Invalid: texts.push_back(text::FileIsInvalid(memory, path)); return;
      case FileRun::WrongType: texts.push_back(text::FileIsOfTheWrongKind(memory, path)); return;
      case FileRun::NotReached: texts.push_back(text::FileNotReached(memory, path)); return;
    }
  };
  add(m_run_files.flash, "flash", m_flash_file);
  add(m_run_files.eeprom, "EEPROM", m_eeprom_file);
  return texts;
}

bool FirmwareUploader::ProgrammingPass(Click& click, Pass& pass) {
  const Step flash = CheckFlashFile(click);
  if (flash == Step::EndRun) return false;
  if (flash == Step::Go) {
    pass.programmed = true;
    m_run_files.flash = FileRun::Programmed;
    if (m_insert_checksum) InsertFlashChecksum(m_flash_image.data());
    SwitchToHighSpeed(click, false);
    const Memory flash = FlashMemory();
    if (m_erase_flash_first && EraseFlashPhase(click, pass) == Phase::Cancelled) return false;
    if (ProgramPhase(click, pass, flash) == Phase::Cancelled) return false;
    if (m_verify_after_programming && VerifyPhase(click, pass, flash) == Phase::Cancelled) return false;
  }
  const Step eeprom = CheckEepromFile(click);
  if (eeprom == Step::EndRun) return false;
  if (eeprom == Step::Go) {
    pass.programmed = true;
    m_run_files.eeprom = FileRun::Programmed;
    SwitchToHighSpeed(click, true);
    const Memory eeprom = EepromMemory();
    if (ProgramPhase(click, pass, eeprom) == Phase::Cancelled) return false;
    if (m_verify_after_programming && VerifyPhase(click, pass, eeprom) == Phase::Cancelled) return false;
  }
  return true;
}

FirmwareUploader::Step FirmwareUploader::CheckFlashFile(Click& click) {
  if (FileExtension(m_flash_file) != ".hex") {
    m_flash_valid = false;
    m_flash_view_enabled = false;
    if (!m_flash_file.empty()) m_run_files.flash = FileRun::WrongType;
    return m_env.ui.AskYesNo(text::kNotHexFile) ? Step::Skip : Step::EndRun;
  }
  // A path typed into the box is loaded as Browse would, without the trace
  // line; so is one typed before another button took the controls, or the
  // image would come from a file other than the one the box names.
  if (m_flash_file != click.flash_loaded_path || m_flash_file != m_flash_loaded_from) {
    LoadFile(true, true, false);
    click.flash_loaded_path = m_flash_file;
  }
  if (!m_flash_valid) {
    m_run_files.flash = m_flash_load;
    return Step::Skip;
  }
  if (!click.description_accepted) {
    if (FlashDescription(m_flash_image.data()) != m_versions.description &&
        !m_env.ui.AskYesNo(text::kDescriptionDiffers)) {
      return Step::EndRun;
    }
    click.description_accepted = true;
  }
  return Step::Go;
}

FirmwareUploader::Step FirmwareUploader::CheckEepromFile(Click& click) {
  if (m_keep_eeprom) return Step::Skip;
  if (!click.overwrite_confirmed) {
    if (!m_env.ui.AskYesNo(text::kOverwriteEeprom)) return Step::EndRun;
    click.overwrite_confirmed = true;
  }
  const std::string extension = FileExtension(m_eeprom_file);
  if (extension != ".eep" && extension != ".hex") {
    m_eeprom_valid = false;
    m_eeprom_view_enabled = false;
    if (!m_eeprom_file.empty()) m_run_files.eeprom = FileRun::WrongType;
    m_env.ui.Error(text::kNoValidEepromFile);
    return Step::Skip;
  }
  if (m_eeprom_file != click.eeprom_loaded_path || m_eeprom_file != m_eeprom_loaded_from) {
    LoadFile(false, true, false);
    click.eeprom_loaded_path = m_eeprom_file;
  }
  if (!m_eeprom_valid) {
    m_run_files.eeprom = m_eeprom_load;
    return Step::Skip;
  }
  return Step::Go;
}

void FirmwareUploader::SwitchToHighSpeed(Click& click, bool eeprom) {
  if (!m_env.app.use_turbo_baud_rate) return;
  // Before the EEPROM a failed switch gets the full fall-back; before the
  // flash one request for normal speed.
  click.speed.Begin(eeprom ? HighSpeedSession::Undo::FallBack : HighSpeedSession::Undo::OneRequest);
}

LinkStatus FirmwareUploader::Retry(Click& click, bool marks_failure, const std::function<LinkStatus()>& operation) {
  bool fell_back = false;
  LinkStatus status = WithRetries(m_loader, click.speed.State(), operation, &fell_back);
  if (fell_back && marks_failure) click.speed.State().failed = true;
  return status;
}

FirmwareUploader::Memory FirmwareUploader::FlashMemory() {
  Memory m;
  m.program_caption = kCaptionProgrammingFirmware;
  m.units = kProgrammedPages;
  m.unit_size = kFlashPageSize;
  m.image = m_flash_image.data();
  m.program_failed = text::ProgramFlashFailedAt;
  m.read_failed = text::ReadFlashForVerifyFailedAt;
  m.erase = [this](uint32_t address) { return m_loader.EraseFlashPage(address); };
  m.write = [this](uint32_t address, const uint8_t* data) {
    return m_loader.WriteFlash(address, std::span<const uint8_t, kFlashPageSize>(data, kFlashPageSize));
  };
  m.read = [this](uint32_t address, std::span<uint8_t, kReadLength> into) { return m_loader.ReadFlash(address, into); };
  m.mismatch = [](uint32_t page) -> Memory::AtMessage {
    // The page after the application holds the fixed strings.
    return page == kApplicationAreaSize ? text::FixedStringsMismatchAt : text::ApplicationMismatchAt;
  };
  return m;
}

FirmwareUploader::Memory FirmwareUploader::EepromMemory() {
  Memory m;
  m.program_caption = kCaptionProgrammingEeprom;
  m.units = kEepromBlocks;
  m.unit_size = kEepromBlockSize;
  m.image = m_eeprom_image.data();
  m.program_failed = text::ProgramEepromFailedAt;
  m.read_failed = text::ReadEepromForVerifyFailedAt;
  m.erase = [this](uint32_t address) { return m_loader.EraseEepromBlock(address); };
  m.write = [this](uint32_t address, const uint8_t* data) {
    return m_loader.WriteEeprom(address, data, kEepromBlockSize);
  };
  m.read = [this](uint32_t address, std::span<uint8_t, kReadLength> into) {
    return m_loader.ReadEeprom(address, into);
  };
  m.mismatch = [](uint32_t) -> Memory::AtMessage { return text::EepromMismatchAt; };
  return m;
}

LinkStatus FirmwareUploader::Blank(Click& click, const Memory& memory, uint32_t address) {
  const auto write_erased = [&] { return memory.write(address, ErasedPage().data()); };
  if (!click.erase_in_favour) return Retry(click, true, write_erased);
  if (memory.erase(address)) return {};
  // A boot loader that refuses to erase gets 0xFF written instead, for the
  // rest of the click.
  click.erase_in_favour = false;
  if (click.speed.InForce()) {
    click.speed.End();
    click.speed.State().failed = true;
  }
  LinkStatus status = write_erased();
  for (int attempt = 1; !status && attempt < kPlainWriteAttempts; ++attempt) status = write_erased();
  return status;
}

void FirmwareUploader::Fail(Pass& pass, const std::string& message) {
  m_env.ui.Plain(message);
  pass.successful = false;
}

FirmwareUploader::Phase FirmwareUploader::CancelPhase(Click& click, ProgressWindow& progress) {
  click.speed.End();
  progress.DestroyWindow();
  return Phase::Cancelled;
}

FirmwareUploader::Phase FirmwareUploader::EraseFlashPhase(Click& click, Pass& pass) {
  const Memory flash = FlashMemory();
  auto progress = m_env.ui.MakeProgressWindow(kCaptionErasingFlash);
  progress->Create();
  for (uint32_t page = 0; page < flash.units; ++page) {
    progress->SetPos(static_cast<int>(page * 100 / flash.units));
    const uint32_t address = page * flash.unit_size;
    if (!Blank(click, flash, address)) {
      Fail(pass, text::EraseFailedAt(address));
      break;
    }
    // A Cancel leaves the pages erased so far blank, as the person asked.
    if (progress->CheckCancelButton()) return CancelPhase(click, *progress);
  }
  progress->DestroyWindow();
  return Phase::Done;
}

FirmwareUploader::Phase FirmwareUploader::ProgramPhase(Click& click, Pass& pass, const Memory& memory) {
  auto progress = m_env.ui.MakeProgressWindow(memory.program_caption);
  progress->SetTotalBytes(uint64_t{memory.units} * memory.unit_size);
  progress->Create();
  for (uint32_t unit = 0; unit < memory.units; ++unit) {
    progress->SetPos(static_cast<int>(unit * 100 / memory.units));
    const uint32_t address = unit * memory.unit_size;
    const uint8_t* data = memory.image + address;
    const LinkStatus written = AllErased(data, memory.unit_size) && click.erase_in_favour
                                   ? Blank(click, memory, address)
                                   : Retry(click, true, [&] { return memory.write(address, data); });
    if (!written) {
      Fail(pass, memory.program_failed(address));
      break;
    }
    if (progress->CheckCancelButton()) return CancelPhase(click, *progress);
  }
  progress->DestroyWindow();
  return Phase::Done;
}

FirmwareUploader::Phase FirmwareUploader::VerifyPhase(Click& click, Pass& pass, const Memory& memory) {
  auto progress = m_env.ui.MakeProgressWindow(kCaptionVerifying);
  progress->SetTotalBytes(uint64_t{memory.units} * memory.unit_size);
  progress->Create();
  std::array<uint8_t, kReadLength> device{};
  for (uint32_t unit = 0; unit < memory.units; ++unit) {
    progress->SetPos(static_cast<int>(unit * 100 / memory.units));
    const uint32_t address = unit * memory.unit_size;
    if (!Retry(click, false, [&] { return memory.read(address, device); })) {
      Fail(pass, memory.read_failed(address));
      break;
    }
    // A read returns 256 bytes; an EEPROM block compares only its 16.
    const Memory::AtMessage mismatch = memory.mismatch(address);
    for (uint32_t i = 0; i < memory.unit_size; ++i) {
      if (device[i] != memory.image[address + i]) Fail(pass, mismatch(address + i));
    }
    if (progress->CheckCancelButton()) return CancelPhase(click, *progress);
  }
  progress->DestroyWindow();
  return Phase::Done;
}

}  // namespace corvel
