#pragma once
// Settings in the Windows registry, under
// HKEY_CURRENT_USER\Software\<maker>\<application>\<section>: integers as
// REG_DWORD, texts as REG_SZ (UTF-16), the layout the Qt program's native
// store reads and writes, so the window and the console share one store.
#include <string>

#include "core/base/Settings.h"

namespace corvel {

// "Software\Trelmark Limited\Corvel\Serial Settings"
std::string RegistrySettingsKeyPath();

class RegistrySettings : public Settings {
 public:
  // key_path below HKEY_CURRENT_USER; tests give a scratch key.
  explicit RegistrySettings(std::string key_path = RegistrySettingsKeyPath());
  std::string GetText(std::string_view name, std::string_view default_value) override;
  void PutText(std::string_view name, std::string_view value) override;
  int GetInt(std::string_view name, int default_value) override;
  void PutInt(std::string_view name, int value) override;
  // Every write goes straight to the registry; false when one was refused.
  bool Flush() override { return !m_write_failed; }
  const std::string& KeyPath() const { return m_key_path; }

 private:
  std::string m_key_path;
  bool m_write_failed = false;
};

}  // namespace corvel
