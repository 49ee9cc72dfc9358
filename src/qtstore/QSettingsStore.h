#pragma once
#include <memory>

#include "core/base/Settings.h"

class QSettings;

namespace corvel {

// "Trelmark Limited" / "Corvel", section "Serial Settings". QSettings itself
// writes through a temporary file and renames it.
class QSettingsStore : public Settings {
 public:
  QSettingsStore();
  ~QSettingsStore() override;
  std::string GetText(std::string_view name, std::string_view default_value) override;
  void PutText(std::string_view name, std::string_view value) override;
  int GetInt(std::string_view name, int default_value) override;
  void PutInt(std::string_view name, int value) override;
  bool Flush() override;

 private:
  std::unique_ptr<QSettings> m_settings;
};

}  // namespace corvel
