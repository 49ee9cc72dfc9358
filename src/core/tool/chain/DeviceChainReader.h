#pragma once
// "Read Device Chain EEPROM Files": reads the EEPROM of every board of a
// transmitter's device chain through the master board, eight bytes at a time,
// and saves each as an Intel HEX ".eep" file named after the board's role,
// with an optional prefix, suffix and serial number from a list.
//
// The controller owns the window's state and every decision; the Qt window
// and the console command render it and forward the person's actions.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/base/FileUtil.h"
#include "core/base/Outcome.h"
#include "core/tool/app/ToolEnv.h"

namespace corvel {

// Texts the person sees, byte for byte.
inline constexpr const char* kChainWindowTitle = "Read Device Chain EEPROM Files";
inline constexpr const char* kChainEquipmentLabel = "Please select the attached equipment:";
inline constexpr const char* kChainPrefixLabel = "Enter any prefix you would like added to all file names:";
inline constexpr const char* kChainSuffixLabel = "Enter any suffix you would like added to all file names:";
inline constexpr const char* kChainPreviewLabel = "Preview:";
inline constexpr const char* kChainOutputDirLabel = "Please select an output directory:";
inline constexpr const char* kChainSerialDisable = "Disable";
inline constexpr const char* kChainSerialStart = "Start of file name";
inline constexpr const char* kChainSerialEnd = "End of file name";
inline constexpr const char* kChainGetFilesButton = "Get EEPROM files";
inline constexpr const char* kChainFolderPickerTitle = "Please select a folder and press 'OK'.";
inline constexpr const char* kChainSerialFileFilter = "Serial Number Files (*.txt)|*.txt|All Files (*.*)|*.*||";
inline constexpr const char* kChainSerialFileExtension = "txt";
inline constexpr const char* kChainFailedToRespondBefore = "Device described as ";
inline constexpr const char* kChainFailedToRespondAfter = " failed to respond.";
inline constexpr const char* kChainCompleted = "Completed reading EEPROM files for all devices present";
inline constexpr const char* kChainUnknownSerial = "UNKNOWN_SERIAL";
inline constexpr const char* kChainFileExtension = ".eep";
// Beyond the run's usual texts: a file that could not be written is said so
// instead of passing for a saved one.
inline constexpr const char* kChainCannotWriteFile = "Could not write the file ";
// A run that could not have saved anything, or whose line went dead, says so
// instead of closing with kChainCompleted.
std::string ChainOutputFolderUnusable(const std::string& folder);
std::string ChainPortStopped(const std::string& port);
inline constexpr const char* kChainNoDeviceAnswered =
    "No device of the chain answered: no EEPROM file was read. Check the master board, its cable and the serial port.";

// A serial number list that is not a file, or not a list, ends the run
// before any device is read: files named without their serials would pass
// for good ones.
inline constexpr const char* kChainSerialListNotAFile =
    "The serial number list %s is not a regular file (a folder, pipe or device)";
inline constexpr const char* kChainSerialListTooLarge = "The serial number list %s is larger than %zu bytes";
// One serial number per board of a chain: a list needs a few hundred bytes.
inline constexpr std::size_t kMaxSerialListBytes = 1024u * 1024;

// The attached equipment the window offers; only the Solvane has a chain.
const std::vector<std::string>& ChainEquipmentList();
inline constexpr int kChainEquipmentSolvane = 1;
inline constexpr int kChainEquipmentDefault = kChainEquipmentSolvane;

struct ChainDeviceDescription {
  std::string name;
  uint8_t address = 0;         // 0: not a device, skipped
  uint32_t eeprom_size = 0;    // bytes
};
// Number of device indexes of an equipment entry (14 for the Solvane, else 0).
int ChainDeviceCount(int equipment);
// The Solvane chain by index; an index outside it is "INVALID_DEVICE_<i+1>".
ChainDeviceDescription DescribeChainDevice(int index);

// Where the serial number goes in a file name.
enum SerialNumberPosition : int {
  kSerialDisabled = 0,
  kSerialAtStart = 1,
  kSerialAtEnd = 2,
};

// A serial number from the list as it may appear in a file name: never a
// path separator, a parent-folder step or a control character ("_" instead).
std::string SanitiseSerialNumber(const std::string& serial);
// The same rule for any part of a file name the person types (prefix, suffix).
std::string SanitiseFileNamePart(const std::string& part);
// The first max_lines lines of a serial number list, each trimmed. Only a
// regular file of at most kMaxSerialListBytes is read, so a remembered path
// that now names a pipe or /dev/zero cannot hang a run.
Result<std::vector<std::string>, FileReadError> ReadSerialNumberList(const std::string& serial_file,
                                                                     std::size_t max_lines);
// Line `line` (from 1) of a serial number list, trimmed; "UNKNOWN_SERIAL"
// when the list is shorter; "" when the file cannot be read.
std::string ReadSerialNumber(const std::string& serial_file, int line);

// ReadSubDeviceEEPROM results.
enum ChainReadResult : int {
  kChainReadFailed = 0,
  kChainReadOk = 1,
  kChainReadNotPresent = 2,
  kChainReadCancelled = 3,
};

// One section being read, for a console progress line.
struct ChainSectionProgress {
  std::string device_name;
  uint8_t address = 0;
  int section = 0;   // from 1
  int sections = 0;
  int percent = 0;
};

// What a run did, for the console's exit status and summary.
struct ChainRunSummary {
  enum class Outcome {
    Completed,
    Aborted,
    Cancelled,
    FolderUnusable,  // the output folder could not be made or written: nothing was read
    PortLost,        // the serial port stopped working mid-run
  };
  Outcome outcome = Outcome::Completed;
  std::vector<std::string> files_written;
  std::vector<std::string> devices_absent;
  std::vector<std::string> devices_ignored;
  std::vector<std::string> files_not_written;
  // Some device gave an answer (its EEPROM, or that it is not there).
  bool AnyDeviceAnswered() const {
    return !files_written.empty() || !files_not_written.empty() || !devices_absent.empty();
  }
  // Done only when the run completed with every present device's file
  // written; the console's exit status.
  ToolOutcome Result() const;
};

class DeviceChainReader {
 public:
  static constexpr uint32_t kEepromBufferSize = 4096;
  static constexpr int kTriesPerSection = 3;

  explicit DeviceChainReader(ToolEnv& env);

  // Window opens: the stored fields, equipment entry 1, the preview.
  void Open();
  // Window closes: the fields go back to the settings.
  void Close();

  // Field changes; each updates the preview.
  void SetEquipment(int index);
  void SetPrefix(const std::string& prefix);
  void SetSuffix(const std::string& suffix);
  void SetSerialFile(const std::string& path);
  void SetSerialPosition(int position);
  void SetOutputDirectory(const std::string& directory);

  int Equipment() const { return m_equipment; }
  const std::string& Prefix() const { return m_prefix; }
  const std::string& Suffix() const { return m_suffix; }
  const std::string& SerialFile() const { return m_serial_file; }
  int SerialPosition() const { return m_serial_position; }
  const std::string& OutputDirectory() const { return m_output_dir; }
  // Worked out when it is looked at: a console run, which never shows it,
  // never reads the remembered serial number list for it.
  const std::string& Preview() const;

  // Browse buttons: the folder picker and the serial number file dialog.
  void BrowseOutputFolder();
  void BrowseSerialFile();

  void UpdatePreview() { m_preview.reset(); }
  std::string BuildFileName(int index) const;
  // The output directory as the run joins it to file names: "" or ending in "/".
  std::string DirectoryPrefix() const;

  // "Get EEPROM files": reads every device of the chain. The output folder is
  // made if it is missing and checked writable before the first device is
  // read, so a typo costs no reads.
  ChainRunSummary GetEepromFiles();
  // Makes the output folder if needed; false when it cannot be made or a
  // file cannot be created in it.
  bool PrepareOutputFolder() const;
  // Reads one device's EEPROM into buffer under a progress window whose text is
  // the path; one of ChainReadResult.
  int ReadSubDeviceEEPROM(uint8_t address, uint32_t size, uint8_t* buffer, const std::string& path);

  // Called before each section is read.
  std::function<void(const ChainSectionProgress&)> on_section;

 private:
  // The serials the file names take: none without a list or a position.
  bool UsesSerialList() const;
  // The serial numbers of the first `devices` devices, "UNKNOWN_SERIAL" past
  // the end of the list; empty when the names take none or the list cannot
  // be opened; an error for a list that is no file or far too large.
  Result<std::vector<std::string>, FileReadError> LoadSerials(std::size_t devices) const;
  std::string FileName(int index, const std::vector<std::string>& serials) const;

  ToolEnv& m_env;
  int m_equipment = kChainEquipmentDefault;
  std::string m_prefix;
  std::string m_suffix;
  std::string m_serial_file;
  int m_serial_position = kSerialDisabled;
  std::string m_output_dir;
  mutable std::optional<std::string> m_preview;
  std::string m_current_device;
  // Why the last ReadSubDeviceEEPROM that failed did.
  LinkErrorKind m_last_failure = LinkErrorKind::Timeout;
  std::array<uint8_t, kEepromBufferSize> m_eeprom{};
};

}  // namespace corvel
