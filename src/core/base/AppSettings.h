#pragma once
// The values the application loads at start and saves at exit, plus the store
// the tools read and write their own values through.
#include <string>

#include "core/base/Settings.h"

namespace corvel {

struct AppSettings {
  std::string com_port = "COM1";
  int use_turbo_baud_rate = 0;
  int timeout_setting = 0;
  std::string last_eeprom_file;
  std::string last_fw_file;
  int erase_atmel_before_programming = 1;
  int verify_atmel_after_programming = 1;
  int keep_eeprom = 1;
  std::string last_merge_file1;
  std::string last_merge_file2;
  std::string last_ppc_kernel_file;
  int last_ppc_kernel_address = 0;
  int use_debugging_window = 0;
  std::string last_dsp_fw_file;
  std::string last_eep_file_output_dir;
  std::string last_eep_file_prefix;
  std::string last_eep_file_suffix;
  std::string last_serial_number_file;
  int serial_number_position = 0;

  void Load(Settings& store);
  // Writes every value in table order and flushes; false when the store refused.
  bool Save(Settings& store) const;
};

}  // namespace corvel
