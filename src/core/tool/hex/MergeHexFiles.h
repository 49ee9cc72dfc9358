#pragma once
// "Select Hex Files to Merge": overlays two Intel HEX (or two EEPROM) files
// into one image, refusing different bytes at the same address, and saves it.
#include <string>

#include "core/tool/app/ToolEnv.h"

namespace corvel {

class MergeHexFiles {
 public:
  // Starts from the last two files; traces the banner.
  explicit MergeHexFiles(ToolEnv& env);

  void BrowseFirstFile();
  void BrowseSecondFile();
  // "Merge": true only when the merged image was written.
  bool Merge();

  std::string m_first_file;
  std::string m_second_file;

 private:
  ToolEnv& m_env;
};

}  // namespace corvel
