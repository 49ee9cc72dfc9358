#pragma once
// "Checksum Generator": computes the application checksum of a flash image,
// inserts it, optionally merges a boot loader into the top 8 KiB, and saves.
// The window renders this state and forwards its buttons here.
#include <string>

#include "core/tool/app/ToolEnv.h"

namespace corvel {

class ChecksumGenerator {
 public:
  // Loads the last file, check box and boot loader file; traces the banner.
  explicit ChecksumGenerator(ToolEnv& env);
  // Stores the state, as closing the window does (once).
  ~ChecksumGenerator();
  void Close();

  // The open-file dialog for each path; the chosen path replaces the text.
  void BrowseFlashFile();
  void BrowseBootLoaderFile();
  // The boot loader path and its Browse button follow the check box.
  bool BootLoaderControlsEnabled() const { return m_merge_boot_loader; }

  // "Generate!": the checksum of what the file defines below 0x1DF00.
  // False when the file was refused (a message was shown).
  bool Generate();
  // "Apply to File": checksum into 0x1DF04, boot loader merged if asked, saved
  // where the person says. True only when the file was written.
  bool Apply();

  std::string m_flash_file;
  bool m_merge_boot_loader = false;
  std::string m_boot_loader_file;
  std::string m_generated_checksum;  // the read-only "Generated Checksum:" field

 private:
  void Browse(std::string& path);
  void Report(const char* text);
  void ReportFile(const char* format, const std::string& path);

  ToolEnv& m_env;
  bool m_closed = false;
};

}  // namespace corvel
