#include "core/base/AppSettings.h"

#include "core/base/SettingsKeys.h"

namespace corvel {

void AppSettings::Load(Settings& s) {
  using namespace keys;
  com_port = kComPort.Get(s);
  use_turbo_baud_rate = kUseTurboBaudRate.Get(s);
  timeout_setting = kTimeoutSetting.Get(s);
  last_eeprom_file = kLastEepromFile.Get(s);
  last_fw_file = kLastFwFile.Get(s);
  erase_atmel_before_programming = kEraseAtmelBeforeProgramming.Get(s);
  verify_atmel_after_programming = kVerifyAtmelAfterProgramming.Get(s);
  keep_eeprom = kKeepEeprom.Get(s);
  last_merge_file1 = kLastMergeFile1.Get(s);
  last_merge_file2 = kLastMergeFile2.Get(s);
  last_ppc_kernel_file = kLastPpcKernelFile.Get(s);
  last_ppc_kernel_address = kLastPpcKernelAddress.Get(s);
  use_debugging_window = kUseDebuggingWindow.Get(s);
  last_dsp_fw_file = kLastDspFwFile.Get(s);
  last_eep_file_output_dir = kLastEepFileOutputDir.Get(s);
  last_eep_file_prefix = kLastEepFilePrefix.Get(s);
  last_eep_file_suffix = kLastEepFileSuffix.Get(s);
  last_serial_number_file = kLastSerialNumberFile.Get(s);
  serial_number_position = kSerialNumberPosition.Get(s);
}

bool AppSettings::Save(Settings& s) const {
  using namespace keys;
  kComPort.Put(s, com_port);
  kUseTurboBaudRate.Put(s, use_turbo_baud_rate);
  kTimeoutSetting.Put(s, timeout_setting);
  kLastEepromFile.Put(s, last_eeprom_file);
  kLastFwFile.Put(s, last_fw_file);
  kEraseAtmelBeforeProgramming.Put(s, erase_atmel_before_programming);
  kVerifyAtmelAfterProgramming.Put(s, verify_atmel_after_programming);
  kKeepEeprom.Put(s, keep_eeprom);
  kLastMergeFile1.Put(s, last_merge_file1);
  kLastMergeFile2.Put(s, last_merge_file2);
  kLastPpcKernelFile.Put(s, last_ppc_kernel_file);
  kLastPpcKernelAddress.Put(s, last_ppc_kernel_address);
  kUseDebuggingWindow.Put(s, use_debugging_window);
  kLastDspFwFile.Put(s, last_dsp_fw_file);
  kLastEepFileOutputDir.Put(s, last_eep_file_output_dir);
  kLastEepFilePrefix.Put(s, last_eep_file_prefix);
  kLastEepFileSuffix.Put(s, last_eep_file_suffix);
  kLastSerialNumberFile.Put(s, last_serial_number_file);
  kSerialNumberPosition.Put(s, serial_number_position);
  return s.Flush();
}

}  // namespace corvel
