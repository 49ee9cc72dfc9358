#include "core/tool/atmel/DeviceReadBack.h"

#include <vector>

#include "core/tool/atmel/AtmelMessages.h"
#include "core/tool/hex/HexToolTexts.h"
#include "core/tool/hex/HexTools.h"
#include "core/format/hex/IntelHex.h"
#include "core/ui/HexViewer.h"

namespace corvel {

using namespace atmel;

namespace {

// What differs between the two memories.
struct MemoryTraits {
  uint32_t size;
  unsigned caption;
  const char* read_failed;
  const char* extension;
  const char* filter;
  const char* invalid_on_disk;
  const char* verified;
  bool (AtmelBootLoader::*read)(uint32_t, std::span<uint8_t, kReadLength>);
};

const MemoryTraits& Traits(AtmelMemory memory) {
  static const MemoryTraits flash{kFlashSize,          kCaptionReadingFirmwareFromDevice,
                                  text::kReadingFlashFailed,   text::kFlashExtension,
                                  text::kFlashFilter,          text::kInvalidFlashFileOnDisk,
                                  text::kVerifiedFlashFromDevice, &AtmelBootLoader::ReadFlash};
  static const MemoryTraits eeprom{kEepromSize,         kCaptionReadingEepromFromDevice,
                                   text::kReadingEepromFailed,  text::kEepromExtension,
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
    if (offset >= kFixedStringsPage) return text::kFixedStringsSectionMismatch;
    return text::kApplicationSectionMismatch;
  }
  return nullptr;
}

}  // namespace

bool DeviceReadBack::Run(AtmelMemory memory) {
  const MemoryTraits& traits = Traits(memory);
  UserInterface& ui = m_env.ui;
  const ReadBackOption option = ui.ChooseReadBackOption();
  if (option == ReadBackOption::Cancel) return false;

  LinkSpeedState speed;
  if (m_env.app.use_turbo_baud_rate) {
    speed.in_force = m_loader.SetLinkSpeed(true);
    if (!speed.in_force) m_loader.SetLinkSpeed(false);
  }

  auto progress = ui.MakeProgressWindow(traits.caption);
  progress->Create();
  std::vector<uint8_t> buffer(traits.size, 0xFF);
  const uint32_t reads = traits.size / kReadLength;
  bool read_failed = false;
  for (uint32_t k = 0; k < reads; ++k) {
    progress->SetPos(static_cast<int>(k * 100 / reads));
    const uint32_t address = k * kReadLength;
    std::span<uint8_t, kReadLength> into(buffer.data() + address, kReadLength);
    if (!WithRetries(m_loader, speed, [&] { return (m_loader.*traits.read)(address, into); })) {
      ui.Plain(traits.read_failed);
      read_failed = true;
      break;
    }
    if (progress->CheckCancelButton()) {
      EndHighSpeed(m_loader, speed);
      progress->DestroyWindow();
      return false;
    }
  }
  EndHighSpeed(m_loader, speed);

  bool ok = false;
  if (!read_failed) {
    FileDialogRequest request;
    request.filter = traits.filter;
    request.default_extension = traits.extension;
    switch (option) {
      case ReadBackOption::Save:
        request.open = false;
        request.overwrite_prompt = true;
        if (auto path = ui.ChooseFile(request)) {
          ok = SaveIntelHex(*path, buffer.data(), traits.size);
          // A refused disk must not look like a saved read-back.
          if (!ok) ui.Error(FormatFileMessage(kCannotWriteFile, *path));
        }
        break;
      case ReadBackOption::View:
        ShowHexViewer(ui, buffer.data(), buffer.size(), false);
        ok = true;
        break;
      case ReadBackOption::Verify: {
        request.must_exist = true;
        auto path = ui.ChooseFile(request);
        if (!path) break;
        std::vector<uint8_t> on_disk(traits.size, 0xFF);
        if (!LoadIntelHex(*path, on_disk.data(), traits.size, false)) {
          ui.Plain(traits.invalid_on_disk);
          break;
        }
        if (const char* difference = FirstDifference(memory, buffer, on_disk)) {
          ui.Plain(difference);
        } else {
          ui.Inform(traits.verified);
          ok = true;
        }
        break;
      }
      case ReadBackOption::Cancel: break;
    }
  }
  progress->DestroyWindow();
  return ok;
}

}  // namespace corvel
