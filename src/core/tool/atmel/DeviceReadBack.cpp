#include "core/tool/atmel/DeviceReadBack.h"

#include <vector>

#include "core/tool/atmel/AtmelMessages.h"
#include "core/tool/hex/HexToolTexts.h"
#include "core/tool/hex/HexTools.h"
#include "core/format/hex/IntelHex.h"
#include "core/ui/HexViewer.h"

namespace corvel {

using namespace atmel;

// What differs between the two memories.
struct ReadBackTraits {
  uint32_t size;
  unsigned caption;
  const char* read_failed;
  const char* extension;
  const char* filter;
  const char* invalid_on_disk;
  const char* verified;
  LinkStatus (AtmelBootLoader::*read)(uint32_t, std::span<uint8_t, kReadLength>);
};

namespace {

const ReadBackTraits& Traits(AtmelMemory memory) {
  static const ReadBackTraits flash{kFlashImageSize,          kCaptionReadingFirmwareFromDevice,
                                  text::kReadingFlashFailed,   kFlashExtension,
                                  text::kFlashFilter,          text::kInvalidFlashFileOnDisk,
                                  text::kVerifiedFlashFromDevice, &AtmelBootLoader::ReadFlash};
  static const ReadBackTraits eeprom{kEepromImageSize,         kCaptionReadingEepromFromDevice,
                                   text::kReadingEepromFailed,  kEepromExtension,
                                   text::kEepromFilter,         text::kInvalidEepromFileOnDisk,
                                   text::kVerifiedEepromFromDevice, &AtmelBootLoader::ReadEeprom};
  return memory == AtmelMemory::Flash ? flash : eeprom;
}

// The message for the first difference, or nullptr when the memories agree.
const char* FirstDifference(AtmelMemory memory, const std::vector<uint8_t>& device,
                            const std::vector<uint8_t>& file) {
  for (uint32_t offset = 0; offset < device.size(); ++offset) {
    if (device[offset] == file[offset]) continue;
    if (memory == AtmelMemory::Eeprom) return text::kEepromDoesNotMatch;
    if (offset >= kBootLoaderStart) return text::kBootLoaderSectionMismatch;
    if (offset >= kApplicationAreaSize) return text::kFixedStringsSectionMismatch;
    return text::kApplicationSectionMismatch;
  }
  return nullptr;
}

FileDialogRequest DialogFor(const ReadBackTraits& traits) {
  FileDialogRequest request;
  request.filter = traits.filter;
  request.default_extension = DialogExtension(traits.extension);
  return request;
}

}  // namespace

ToolOutcome DeviceReadBack::Run(AtmelMemory memory) {
  const ReadBackTraits& traits = Traits(memory);
  const ReadBackOption option = m_env.ui.ChooseReadBackOption();
  if (option == ReadBackOption::Cancel) return ToolOutcome::Cancelled;

  // The window stays up until the chosen action is over.
  auto progress = m_env.ui.MakeProgressWindow(traits.caption);
  progress->SetTotalBytes(traits.size);
  progress->Create();
  std::vector<uint8_t> buffer(traits.size, 0xFF);
  const ToolOutcome read = Read(traits, *progress, buffer);
  if (read != ToolOutcome::Done) return read;
  switch (option) {
    case ReadBackOption::Save: return Save(traits, buffer);
    case ReadBackOption::View:
      ShowHexViewer(m_env.ui, buffer.data(), buffer.size(), false);
      return ToolOutcome::Done;
    case ReadBackOption::Verify: return Verify(memory, traits, buffer);
    case ReadBackOption::Cancel: break;
  }
  return ToolOutcome::Cancelled;
}

ToolOutcome DeviceReadBack::Read(const ReadBackTraits& traits, ProgressWindow& progress, std::vector<uint8_t>& buffer) {
  HighSpeedSession speed(m_loader);
  if (m_env.app.use_turbo_baud_rate) speed.Begin(HighSpeedSession::Undo::OneRequest);
  const uint32_t reads = traits.size / kReadLength;
  for (uint32_t k = 0; k < reads; ++k) {
    progress.SetPos(static_cast<int>(k * 100 / reads));
    const uint32_t address = k * kReadLength;
    std::span<uint8_t, kReadLength> into(buffer.data() + address, kReadLength);
    if (!WithRetries(m_loader, speed.State(), [&] { return (m_loader.*traits.read)(address, into); })) {
      m_env.ui.Plain(traits.read_failed);
      return ToolOutcome::Failed;
    }
    if (progress.CheckCancelButton()) return ToolOutcome::Cancelled;
  }
  return ToolOutcome::Done;
}

ToolOutcome DeviceReadBack::Save(const ReadBackTraits& traits, const std::vector<uint8_t>& buffer) {
  FileDialogRequest request = DialogFor(traits);
  request.open = false;
  request.overwrite_prompt = true;
  const auto path = m_env.ui.ChooseFile(request);
  if (!path) return ToolOutcome::Cancelled;
  if (SaveIntelHex(*path, buffer.data(), traits.size)) return ToolOutcome::Done;
  // A refused disk must not look like a saved read-back.
  m_env.ui.Error(FormatFileMessage(kCannotWriteFile, *path));
  return ToolOutcome::Failed;
}

ToolOutcome DeviceReadBack::Verify(AtmelMemory memory, const ReadBackTraits& traits,
                                   const std::vector<uint8_t>& buffer) {
  FileDialogRequest request = DialogFor(traits);
  request.must_exist = true;
  const auto path = m_env.ui.ChooseFile(request);
  if (!path) return ToolOutcome::Cancelled;
  std::vector<uint8_t> on_disk(traits.size, 0xFF);
  if (!LoadIntelHex(*path, on_disk.data(), traits.size, false)) {
    m_env.ui.Plain(traits.invalid_on_disk);
    return ToolOutcome::Failed;
  }
  if (const char* difference = FirstDifference(memory, buffer, on_disk)) {
    m_env.ui.Plain(difference);
    return ToolOutcome::Failed;
  }
  m_env.ui.Inform(traits.verified);
  return ToolOutcome::Done;
}

}  // namespace corvel
