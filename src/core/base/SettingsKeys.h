#pragma once
// Every stored value: name, type and default, defined once.
#include <climits>
#include <string>

#include "core/base/Settings.h"

namespace corvel {

struct TextSetting {
  const char* name;
  const char* default_value;
  std::string Get(Settings& s) const { return s.GetText(name, default_value); }
  void Put(Settings& s, const std::string& v) const { s.PutText(name, v); }
};

// A stored number outside the range its page accepts (a hand-edited file, an
// old version) reads as the default, as if it had never been stored.
struct IntSetting {
  const char* name;
  int default_value;
  int min_value = INT_MIN;
  int max_value = INT_MAX;
  int Get(Settings& s) const {
    const int value = s.GetInt(name, default_value);
    return value < min_value || value > max_value ? default_value : value;
  }
  void Put(Settings& s, int v) const { s.PutInt(name, v); }
};

namespace keys {
// Loaded by the application at start and saved at exit, in this order.
inline constexpr TextSetting kComPort{"Com Port", "COM1"};
inline constexpr IntSetting kUseTurboBaudRate{"Use Turbo Baud Rate", 0, 0, 1};
inline constexpr IntSetting kTimeoutSetting{"Timeout Setting", 0, 0, kMaxTimeoutSetting};
inline constexpr TextSetting kLastEepromFile{"Last EEPROM File", ""};
inline constexpr TextSetting kLastFwFile{"Last FW File", ""};
inline constexpr IntSetting kEraseAtmelBeforeProgramming{"Erase Atmel before Programming", 1, 0, 1};
inline constexpr IntSetting kVerifyAtmelAfterProgramming{"Verify Atmel after Programming", 1, 0, 1};
inline constexpr IntSetting kKeepEeprom{"Keep EEPROM", 1, 0, 1};
inline constexpr TextSetting kLastMergeFile1{"Last Merge File 1", ""};
inline constexpr TextSetting kLastMergeFile2{"Last Merge File 2", ""};
inline constexpr TextSetting kLastPpcKernelFile{"Last PPC Kernel File", ""};
inline constexpr IntSetting kLastPpcKernelAddress{"Last PPC Kernel Address", 0};
inline constexpr IntSetting kUseDebuggingWindow{"Use Debugging Window", 0, 0, 1};
inline constexpr TextSetting kLastDspFwFile{"Last DSP FW File", ""};
inline constexpr TextSetting kLastEepFileOutputDir{"Last EEP File Output Dir", ""};
inline constexpr TextSetting kLastEepFilePrefix{"Last EEP File Prefix", ""};
inline constexpr TextSetting kLastEepFileSuffix{"Last EEP File Suffix", ""};
inline constexpr TextSetting kLastSerialNumberFile{"Last Serial Number File", ""};
inline constexpr IntSetting kSerialNumberPosition{"Serial Number Position", 0};

// Read by a tool when its window opens and written when it closes.
inline constexpr TextSetting kLastChksumFile{"Last Chksum File", ""};
inline constexpr IntSetting kMergeBlChecked{"Merge BL Checked", 0};
inline constexpr TextSetting kLastBlFile{"Last BL File", ""};
// DSP tool keys are the DSP board name followed by these.
inline constexpr const char* kDspLastFilePrefix = "DSPLoaderDlg_lastFile";  // 0..3, text, ""
inline constexpr const char* kDspProgFilePrefix = "DSPLoaderDlg_progFile";  // 0..3, int, 1 for 0 else 0
inline constexpr IntSetting kEraseFlashFirstFirmwareUploader{"m_erase_flash_first_FirmwareUploader", 1};
inline constexpr IntSetting kVerifyAfterProgrammingFirmwareUploader{
    "m_verify_after_programming_FirmwareUploader", 1};
inline constexpr IntSetting kBlankFile1EepromDlg{"m_blank_file1_EEPROM_Dlg", 0};
inline constexpr IntSetting kBlankFile2EepromDlg{"m_blank_file2_EEPROM_Dlg", 0};
inline constexpr TextSetting kEepFile1EepromDlg{"m_eep_file1_EEPROM_Dlg", ""};
inline constexpr TextSetting kEepFile2EepromDlg{"m_eep_file2_EEPROM_Dlg", ""};
inline constexpr TextSetting kEepType1EepromDlg{"m_eep_type1_EEPROM_Dlg", ""};
inline constexpr TextSetting kEepType2EepromDlg{"m_eep_type2_EEPROM_Dlg", ""};
inline constexpr TextSetting kEquipment1EepromDlg{"m_equipment1_EEPROM_Dlg", ""};
inline constexpr TextSetting kEquipment2EepromDlg{"m_equipment2_EEPROM_Dlg", ""};
inline constexpr TextSetting kSwVersion1EepromDlg{"m_sw_version1_EEPROM_Dlg", ""};
inline constexpr TextSetting kSwVersion2EepromDlg{"m_sw_version2_EEPROM_Dlg", ""};
inline constexpr TextSetting kFile1SizeStringEepromDlg{"m_file1_size_string_EEPROM_Dlg", "512 B"};
inline constexpr TextSetting kFile2SizeStringEepromDlg{"m_file2_size_string_EEPROM_Dlg", "512 B"};
inline constexpr TextSetting kExportFileExportEepDataDlg{"m_export_file_ExportEEPDataDlg", ""};
inline constexpr TextSetting kImportFileImportEepDataDlg{"m_import_file_ImportEEPDataDlg", ""};
inline constexpr TextSetting kMeridelDialUpInitString{"MeridelModemInit_dial_up_init_string", ""};
inline constexpr TextSetting kMeridelLeasedLineInitString{"MeridelModemInit_leased_line_init_string", ""};
inline constexpr TextSetting kMeridelDialUpCommandString{"MeridelModemInit_dial_up_command_string", ""};
}  // namespace keys

}  // namespace corvel
