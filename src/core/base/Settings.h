#pragma once
// The per-user settings store: text and integer values in one section,
// "Serial Settings". Backends: the platform store (Qt), an INI file for
// scripting, and memory for tests.
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace corvel {

inline constexpr const char* kSettingsMaker = "Trelmark Limited";
inline constexpr const char* kSettingsApplication = "Corvel";
inline constexpr const char* kSettingsSection = "Serial Settings";
// The largest additional read time-out (ms) the Settings page accepts.
inline constexpr int kMaxTimeoutSetting = 30000;

class Settings {
 public:
  virtual ~Settings() = default;
  virtual std::string GetText(std::string_view name, std::string_view default_value) = 0;
  virtual void PutText(std::string_view name, std::string_view value) = 0;
  virtual int GetInt(std::string_view name, int default_value) = 0;
  virtual void PutInt(std::string_view name, int value) = 0;
  // Makes the values durable; false when the store refused them.
  virtual bool Flush() { return true; }
};

// Values kept as their stored text, integers in decimal: the common part of the
// memory and file backends.
class MapSettings : public Settings {
 public:
  std::string GetText(std::string_view name, std::string_view default_value) override;
  void PutText(std::string_view name, std::string_view value) override;
  int GetInt(std::string_view name, int default_value) override;
  void PutInt(std::string_view name, int value) override;
  const std::map<std::string, std::string, std::less<>>& Values() const { return m_values; }
  bool Has(std::string_view name) const { return m_values.find(name) != m_values.end(); }

 protected:
  std::map<std::string, std::string, std::less<>> m_values;
  std::map<std::string, int, std::less<>> m_order;  // first-put order, for writing
  int m_next_order = 0;
};

class MemorySettings : public MapSettings {};

// An INI file with a [Serial Settings] section. An unreadable or garbled file
// gives the defaults. Flush rewrites only the values this run changed, into
// the file as it is at that moment (under a lock on its folder), so other
// sections, comments and values another process wrote meanwhile survive; the
// write is atomic (a temporary file renamed over the old one).
class IniFileSettings : public MapSettings {
 public:
  // Files larger than this are not settings files: they are left alone.
  static constexpr std::size_t kMaxFileBytes = 1 << 20;

  explicit IniFileSettings(std::string path);
  std::string GetText(std::string_view name, std::string_view default_value) override;
  int GetInt(std::string_view name, int default_value) override;
  bool Flush() override;
  const std::string& Path() const { return m_path; }

 private:
  void Load();
  std::string m_path;
  std::map<std::string, std::string, std::less<>> m_loaded;  // as read at start
  // The defaults handed out for values the file did not have: one put back
  // unchanged only fills in what the file still lacks, and never overwrites
  // the value another run wrote meanwhile.
  std::map<std::string, std::string, std::less<>> m_defaults_given;
};

}  // namespace corvel
