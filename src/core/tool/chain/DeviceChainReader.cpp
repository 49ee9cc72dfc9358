#include "core/tool/chain/DeviceChainReader.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string_view>

#include "core/base/DebugLog.h"
#include "core/base/Text.h"
#include "core/protocol/devicepacket/DevicePacket.h"
#include "core/format/hex/IntelHex.h"

namespace corvel {

namespace {

constexpr int kSolvaneChainLength = 14;
constexpr uint32_t kControllerEepromSize = 4096;
constexpr uint32_t kModuleEepromSize = 256;
constexpr uint32_t kSectionSize = devicepacket::kEepromBlockSize;

}  // namespace

const std::vector<std::string>& ChainEquipmentList() {
  static const std::vector<std::string> list = {
      "Unknown",          "Solvane Series FM Transmitter", "K35 FM Exciter", "G2400 AM Transmitter", "RQ4",
      "ZT Series AM Transmitter", "Meridel Series",
  };
  return list;
}

int ChainDeviceCount(int equipment) { return equipment == kChainEquipmentSolvane ? kSolvaneChainLength : 0; }

ChainDeviceDescription DescribeChainDevice(int index) {
  ChainDeviceDescription device;
  if (index < 0 || index >= kSolvaneChainLength) {
    char name[40];
    std::snprintf(name, sizeof name, "INVALID_DEVICE_%d", index + 1);
    device.name = name;
    return device;
  }
  device.address = static_cast<uint8_t>(index + 1);
  if (index == 0) {
    device.name = "QXCT_207";
    device.eeprom_size = kControllerEepromSize;
  } else if (index == 1) {
    device.name = "EXT_IF";
    device.eeprom_size = kModuleEepromSize;
  } else if (index <= 9) {
    device.name = std::string("PA_MODULE_") + static_cast<char>('A' + (index - 2));
    device.eeprom_size = kModuleEepromSize;
  } else if (index <= 11) {
    device.name = std::string("IPA_MODULE_") + static_cast<char>('A' + (index - 10));
    device.eeprom_size = kModuleEepromSize;
  } else {
    device.name = std::string("EXCITER_") + static_cast<char>('A' + (index - 12)) + "_QXCT_207";
    device.eeprom_size = kControllerEepromSize;
  }
  return device;
}

std::string SanitiseSerialNumber(const std::string& serial) {
  std::string safe;
  safe.reserve(serial.size());
  for (std::size_t i = 0; i < serial.size(); ++i) {
    const char c = serial[i];
    const auto u = static_cast<unsigned char>(c);
    if (c == '.' && i + 1 < serial.size() && serial[i + 1] == '.') {
      safe.push_back('_');  // a parent-folder step
      ++i;
    } else {
      safe.push_back(c == '/' || c == '\\' || u < 0x20 || u == 0x7F ? '_' : c);
    }
  }
  return safe;
}

std::string ChainOutputFolderUnusable(const std::string& folder) {
  return Format("The output folder %s cannot be created or written.", folder.c_str());
}

std::string ChainPortStopped(const std::string& port) {
  return Format("The serial port %s stopped working; reading the chain ends.", port.c_str());
}

std::string SanitiseFileNamePart(const std::string& part) { return SanitiseSerialNumber(part); }

Result<std::vector<std::string>, FileReadError> ReadSerialNumberList(const std::string& serial_file,
                                                                     std::size_t max_lines) {
  auto read = ReadRegularFile(serial_file, kMaxSerialListBytes);
  if (!read) return Fail(read.error());
  const std::string_view text = read.value();
  std::vector<std::string> lines;
  // Lines end at a line feed; a last line without one still counts.
  for (std::size_t start = 0; start < text.size() && lines.size() < max_lines;) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(Trim(text.substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

std::string ReadSerialNumber(const std::string& serial_file, int line) {
  if (line < 1) return "";
  const auto lines = ReadSerialNumberList(serial_file, static_cast<std::size_t>(line));
  if (!lines) return "";
  return lines->size() < static_cast<std::size_t>(line) ? kChainUnknownSerial : (*lines)[line - 1];
}

DeviceChainReader::DeviceChainReader(ToolEnv& env) : m_env(env) {}

void DeviceChainReader::Open() {
  m_prefix = m_env.app.last_eep_file_prefix;
  m_suffix = m_env.app.last_eep_file_suffix;
  m_output_dir = m_env.app.last_eep_file_output_dir;
  m_serial_file = m_env.app.last_serial_number_file;
  m_serial_position = m_env.app.serial_number_position;
  m_equipment = kChainEquipmentDefault;
  UpdatePreview();
}

void DeviceChainReader::Close() {
  m_env.app.last_eep_file_prefix = m_prefix;
  m_env.app.last_eep_file_suffix = m_suffix;
  m_env.app.last_eep_file_output_dir = m_output_dir;
  m_env.app.last_serial_number_file = m_serial_file;
  m_env.app.serial_number_position = m_serial_position;
}

void DeviceChainReader::SetEquipment(int index) {
  m_equipment = index;
  UpdatePreview();
}

void DeviceChainReader::SetPrefix(const std::string& prefix) {
  m_prefix = prefix;
  UpdatePreview();
}

void DeviceChainReader::SetSuffix(const std::string& suffix) {
  m_suffix = suffix;
  UpdatePreview();
}

void DeviceChainReader::SetSerialFile(const std::string& path) {
  m_serial_file = path;
  UpdatePreview();
}

void DeviceChainReader::SetSerialPosition(int position) {
  m_serial_position = position;
  UpdatePreview();
}

void DeviceChainReader::SetOutputDirectory(const std::string& directory) {
  m_output_dir = directory;
  UpdatePreview();
}

void DeviceChainReader::BrowseOutputFolder() {
  if (auto folder = m_env.ui.ChooseFolder(kChainFolderPickerTitle, m_output_dir)) SetOutputDirectory(*folder);
}

void DeviceChainReader::BrowseSerialFile() {
  FileDialogRequest request;
  request.open = true;
  request.filter = kChainSerialFileFilter;
  request.default_extension = kChainSerialFileExtension;
  request.initial_name = m_serial_file.empty() ? m_output_dir : m_serial_file;
  request.must_exist = true;
  if (auto file = m_env.ui.ChooseFile(request)) m_serial_file = *file;
  UpdatePreview();
}

const std::string& DeviceChainReader::Preview() const {
  if (!m_preview) m_preview = BuildFileName(0);
  return *m_preview;
}

bool DeviceChainReader::UsesSerialList() const {
  return (m_serial_position == kSerialAtStart || m_serial_position == kSerialAtEnd) && !m_serial_file.empty();
}

Result<std::vector<std::string>, FileReadError> DeviceChainReader::LoadSerials(std::size_t devices) const {
  if (!UsesSerialList()) return std::vector<std::string>{};
  auto lines = ReadSerialNumberList(m_serial_file, devices);
  if (!lines) {
    const FileReadErrorKind kind = lines.error().kind;
    if (kind == FileReadErrorKind::NotRegular || kind == FileReadErrorKind::TooLarge) return lines;
    // A list that cannot be opened leaves the serial numbers empty.
    return std::vector<std::string>{};
  }
  lines->resize(std::max(lines->size(), devices), kChainUnknownSerial);
  return lines;
}

std::string DeviceChainReader::BuildFileName(int index) const {
  const std::size_t devices = index < 0 ? 0 : static_cast<std::size_t>(index) + 1;
  return FileName(index, LoadSerials(devices).value_or({}));
}

std::string DeviceChainReader::FileName(int index, const std::vector<std::string>& serials) const {
  const std::string name = DescribeChainDevice(index).name;
  // The prefix and suffix obey the serial numbers' rule: a typed "../x" must
  // not carry the files out of the output folder.
  // Appended piece by piece: GCC 12's optimiser warns falsely about
  // "_" + std::string&& in a Release build.
  std::string prefix_part;
  if (!m_prefix.empty()) prefix_part.append(SanitiseFileNamePart(m_prefix)).append("_");
  std::string suffix_part;
  if (!m_suffix.empty()) suffix_part.append("_").append(SanitiseFileNamePart(m_suffix));
  std::string serial;
  if (index >= 0 && static_cast<std::size_t>(index) < serials.size()) serial = SanitiseSerialNumber(serials[index]);
  switch (m_serial_position) {
    case kSerialAtStart: return serial + "_" + prefix_part + name + suffix_part + kChainFileExtension;
    case kSerialAtEnd: return prefix_part + name + suffix_part + "_" + serial + kChainFileExtension;
    default: return prefix_part + name + suffix_part + kChainFileExtension;
  }
}

std::string DeviceChainReader::DirectoryPrefix() const {
  if (m_output_dir.empty() || m_output_dir.back() == '/') return m_output_dir;
  return m_output_dir + "/";
}

ToolOutcome ChainRunSummary::Result() const {
  switch (outcome) {
    case Outcome::Cancelled: return ToolOutcome::Cancelled;
    case Outcome::Aborted:
    case Outcome::FolderUnusable:
    case Outcome::PortLost: return ToolOutcome::Failed;
    case Outcome::Completed: break;
  }
  // A device skipped or a file not written is work asked for and not done.
  return devices_ignored.empty() && files_not_written.empty() ? ToolOutcome::Done : ToolOutcome::Failed;
}

bool DeviceChainReader::PrepareOutputFolder() const {
  namespace fs = std::filesystem;
  const fs::path folder = m_output_dir.empty() ? fs::path(".") : fs::path(m_output_dir);
  std::error_code error;
  fs::create_directories(folder, error);
  if (!fs::is_directory(folder, error)) return false;
  // Only a file made there shows that the files can be: permissions, a
  // read-only mount and quotas all have their say.
  std::random_device random;
  const fs::path probe = folder / Format(".corvel-write-check-%08x", random());
  {
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    if (!out) return false;
  }
  fs::remove(probe, error);
  return true;
}

ChainRunSummary DeviceChainReader::GetEepromFiles() {
  UpdatePreview();
  ChainRunSummary summary;
  const std::string directory = DirectoryPrefix();
  const int count = ChainDeviceCount(m_equipment);
  // The list is read once, and only when the names take serial numbers.
  std::vector<std::string> serials;
  if (count > 0) {
    auto list = LoadSerials(static_cast<std::size_t>(count));
    if (!list) {
      m_env.ui.Error(list.error().kind == FileReadErrorKind::TooLarge
                         ? Format(kChainSerialListTooLarge, m_serial_file.c_str(), kMaxSerialListBytes)
                         : Format(kChainSerialListNotAFile, m_serial_file.c_str()));
      summary.outcome = ChainRunSummary::Outcome::Aborted;
      return summary;
    }
    serials = std::move(list.value());
  }
  if (count > 0 && !PrepareOutputFolder()) {
    m_env.ui.Error(ChainOutputFolderUnusable(m_output_dir));
    summary.outcome = ChainRunSummary::Outcome::FolderUnusable;
    return summary;
  }
  for (int i = 0; i < count; ++i) {
    const ChainDeviceDescription device = DescribeChainDevice(i);
    const std::string path = directory + FileName(i, serials);
    if (device.address == 0) continue;
    m_current_device = device.name;
    for (;;) {
      DebugPrintf("Current device address: %d", device.address);
      const int result = ReadSubDeviceEEPROM(device.address, device.eeprom_size, m_eeprom.data(), path);
      if (result == kChainReadOk) {
        if (SaveIntelHex(path, m_eeprom.data(), device.eeprom_size)) {
          summary.files_written.push_back(path);
        } else {
          summary.files_not_written.push_back(path);
          m_env.ui.Error(kChainCannotWriteFile + path);
        }
        break;
      }
      if (result == kChainReadNotPresent) {
        summary.devices_absent.push_back(device.name);
        break;
      }
      if (result == kChainReadCancelled) {
        summary.outcome = ChainRunSummary::Outcome::Cancelled;
        return summary;
      }
      // A port that no longer takes writes (unplugged, gone) fails every
      // device the same way: asking about each would only hide it.
      if (m_last_failure == LinkErrorKind::PortFailure) {
        m_env.ui.Error(ChainPortStopped(m_env.port.PortName()));
        summary.outcome = ChainRunSummary::Outcome::PortLost;
        return summary;
      }
      const Answer answer = m_env.ui.ShowMessage(
          {kChainFailedToRespondBefore + device.name + kChainFailedToRespondAfter, MessageIcon::None,
           MessageButtons::AbortRetryIgnore});
      if (answer == Answer::Retry) continue;
      if (answer == Answer::Ignore) {
        summary.devices_ignored.push_back(device.name);
        break;
      }
      summary.outcome = ChainRunSummary::Outcome::Aborted;
      return summary;
    }
  }
  if (!summary.devices_ignored.empty() && !summary.AnyDeviceAnswered()) {
    // Not one device answered, not even the master's "not present": the
    // line is dead, and nothing was completed.
    m_env.ui.Error(kChainNoDeviceAnswered);
  } else {
    m_env.ui.Inform(kChainCompleted);
  }
  return summary;
}

int DeviceChainReader::ReadSubDeviceEEPROM(uint8_t address, uint32_t size, uint8_t* buffer,
                                           const std::string& path) {
  DebugPrintf("ReadSubDeviceEEPROM: DestAddress is %d", address);
  size = std::min(size, kEepromBufferSize);
  const int sections = static_cast<int>((size + kSectionSize - 1) / kSectionSize);
  auto progress = m_env.ui.MakeProgressWindow(kCaptionReadingEepromFromDevice, path);
  progress->Create();
  for (int s = 0; s < sections; ++s) {
    const int percent = 100 * s / sections;
    progress->SetPos(percent);
    if (progress->CheckCancelButton()) {
      progress->DestroyWindow();
      return kChainReadCancelled;
    }
    const uint32_t section_address = kSectionSize * static_cast<uint32_t>(s);
    const uint32_t count = std::min(kSectionSize, size - section_address);
    if (on_section) on_section({m_current_device, address, s + 1, sections, percent});
    DebugPrintf("Reading EEPROM section %d of %d ... Address: 0x%.8X Size: %d bytes", s + 1, sections,
                section_address, static_cast<int>(count));
    // A device that says it is not there is not asked again.
    const auto absent = [](const LinkStatus& status) { return status.error().kind == LinkErrorKind::NoDevice; };
    LinkStatus result;
    for (int attempt = 1; attempt <= kTriesPerSection; ++attempt) {
      result = ReadDeviceEepromBlock(m_env.port, address, static_cast<uint16_t>(section_address), count,
                                     buffer + section_address);
      if (result || absent(result)) break;
      DebugPrintf("FAILURE! Reading EEPROM section %d of %d ... Address: 0x%.8X Size: %d bytes", s + 1, sections,
                  section_address, static_cast<int>(count));
    }
    if (!result && absent(result)) return kChainReadNotPresent;
    if (!result) {
      m_last_failure = result.error().kind;
      DebugPrintf("FAILURE! Could not read EEPROM section %d of %d ... Address: 0x%.8X Size: %d bytes", s + 1,
                  sections, section_address, static_cast<int>(count));
      return kChainReadFailed;
    }
  }
  progress->DestroyWindow();
  return kChainReadOk;
}

}  // namespace corvel
