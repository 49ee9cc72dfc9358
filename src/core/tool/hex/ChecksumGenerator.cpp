#include "core/tool/hex/ChecksumGenerator.h"

#include <vector>

#include "core/base/SettingsKeys.h"
#include "core/format/hex/FlashLayout.h"
#include "core/tool/hex/HexToolTexts.h"
#include "core/tool/hex/HexTools.h"
#include "core/format/hex/IntelHex.h"

namespace corvel {

ChecksumGenerator::ChecksumGenerator(ToolEnv& env) : m_env(env) {
  m_flash_file = keys::kLastChksumFile.Get(env.store);
  m_merge_boot_loader = keys::kMergeBlChecked.Get(env.store) != 0;
  m_boot_loader_file = keys::kLastBlFile.Get(env.store);
  TraceToolBanner(kChecksumGeneratorBanner);
}

ChecksumGenerator::~ChecksumGenerator() { Close(); }

void ChecksumGenerator::Close() {
  if (m_closed) return;
  m_closed = true;
  keys::kLastChksumFile.Put(m_env.store, m_flash_file);
  keys::kMergeBlChecked.Put(m_env.store, m_merge_boot_loader ? 1 : 0);
  keys::kLastBlFile.Put(m_env.store, m_boot_loader_file);
}

void ChecksumGenerator::Browse(std::string& path) {
  if (auto chosen = m_env.ui.ChooseFile(HexOpenRequest(path))) path = *chosen;
}

void ChecksumGenerator::BrowseFlashFile() { Browse(m_flash_file); }
void ChecksumGenerator::BrowseBootLoaderFile() { Browse(m_boot_loader_file); }

void ChecksumGenerator::Report(const char* text) { m_env.ui.Warn(text); }

void ChecksumGenerator::ReportFile(const char* format, const std::string& path) {
  m_env.ui.Error(FormatFileMessage(format, path));
}

bool ChecksumGenerator::Generate() {
  const HexFileType type = HexFileTypeOf(m_flash_file);
  if (type == HexFileType::Unknown) {
    Report(kFileTypeNotRecognized);
    return false;
  }
  // Only the application area is read: the load stops quietly at the first
  // record above it (boot loader, a checksum already inserted), and what came
  // before counts.
  const uint32_t size = type == HexFileType::Flash ? kApplicationAreaSize : kEepromImageSize;
  std::vector<uint8_t> image(size);
  if (!LoadHexFileOrSay(m_env.ui, m_flash_file, image.data(), size, kPartialLoadCounts)) return false;
  m_generated_checksum = FormatChecksum(ByteSum(image.data(), size));
  return true;
}

bool ChecksumGenerator::Apply() {
  const HexFileType type = HexFileTypeOf(m_flash_file);
  if (type == HexFileType::Unknown) {
    Report(kFileTypeNotRecognized);
    return false;
  }
  const uint32_t size = ImageSizeFor(type);
  std::vector<uint8_t> image(size);
  if (!LoadHexFileOrSay(m_env.ui, m_flash_file, image.data(), size, {kInputFileFormatInvalid})) return false;
  const uint32_t sum = ByteSum(image.data(), type == HexFileType::Flash ? kApplicationAreaSize : size);
  m_generated_checksum = FormatChecksum(sum);
  if (type == HexFileType::Eeprom) {
    Report(kEepromNotSupported);
    return false;
  }
  InsertFlashChecksum(image.data());

  if (m_merge_boot_loader) {
    std::vector<uint8_t> boot_loader(kFlashImageSize);
    if (!LoadHexFileOrSay(m_env.ui, m_boot_loader_file, boot_loader.data(), kFlashImageSize,
                          {kBootLoaderFormatInvalid})) {
      return false;
    }
    for (uint32_t at = kBootLoaderStart; at < kBootLoaderEnd; ++at) {
      if (image[at] != kErasedByte) {
        Report(kBootLoaderAreaInUse);
        return false;
      }
      image[at] = boot_loader[at];
    }
  }

  FileDialogRequest save = HexSaveRequest(m_flash_file);
  const auto target = m_env.ui.ChooseFile(save);
  if (!target) return false;
  if (!SaveIntelHex(*target, image.data(), kFlashImageSize)) {
    ReportFile(kCannotWriteFile, *target);
    return false;
  }
  return true;
}

}  // namespace corvel
