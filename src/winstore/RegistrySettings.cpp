#include "winstore/RegistrySettings.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "core/base/DebugLog.h"

namespace corvel {

namespace {

// A stored text longer than this is not a setting; it reads as the default.
constexpr DWORD kMaxValueBytes = 1u << 20;
// The Qt store marks its own encodings with a leading '@' and doubles a '@'
// that starts a plain text; both stores keep to that.
constexpr char kQtMarker = '@';

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
  }
  return text;
}

struct RawValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

std::optional<RawValue> ReadRaw(const std::string& key_path, std::string_view name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, Widen(key_path).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const std::wstring wide_name = Widen(name);
  RawValue value;
  DWORD size = 0;
  LONG result = ::RegQueryValueExW(key, wide_name.c_str(), nullptr, &value.type, nullptr, &size);
  if (result == ERROR_SUCCESS && size <= kMaxValueBytes) {
    value.data.resize(size);
    result = ::RegQueryValueExW(key, wide_name.c_str(), nullptr, &value.type, value.data.data(), &size);
    value.data.resize(size);
  }
  ::RegCloseKey(key);
  if (result != ERROR_SUCCESS || size > kMaxValueBytes) return std::nullopt;
  return value;
}

std::string TextOf(const RawValue& value) {
  std::wstring wide(value.data.size() / sizeof(wchar_t), L'\0');
  if (!wide.empty()) std::memcpy(wide.data(), value.data.data(), wide.size() * sizeof(wchar_t));
  // Stored sizes may or may not count the terminating zero.
  const auto end = wide.find(L'\0');
  if (end != std::wstring::npos) wide.resize(end);
  std::string text = Narrow(wide);
  if (text.size() >= 2 && text[0] == kQtMarker && text[1] == kQtMarker) text.erase(0, 1);
  return text;
}

// Integers are 32-bit: above INT32_MAX they read back as negatives.
std::optional<int> IntFromNumber(long long number) {
  if (number < INT32_MIN || number > static_cast<long long>(UINT32_MAX)) return std::nullopt;
  return static_cast<int>(static_cast<int32_t>(static_cast<uint32_t>(number)));
}

std::optional<int> IntOf(const RawValue& value) {
  if (value.type == REG_DWORD && value.data.size() == sizeof(uint32_t)) {
    uint32_t number = 0;
    std::memcpy(&number, value.data.data(), sizeof number);
    return static_cast<int>(static_cast<int32_t>(number));
  }
  if (value.type == REG_QWORD && value.data.size() == sizeof(int64_t)) {
    int64_t number = 0;
    std::memcpy(&number, value.data.data(), sizeof number);
    return IntFromNumber(number);
  }
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
    const std::string text = TextOf(value);
    long long number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return IntFromNumber(number);
  }
  return std::nullopt;
}

}  // namespace

std::string RegistrySettingsKeyPath() {
  return std::string("Software\\") + kSettingsMaker + "\\" + kSettingsApplication + "\\" + kSettingsSection;
}

RegistrySettings::RegistrySettings(std::string key_path) : m_key_path(std::move(key_path)) {}

std::string RegistrySettings::GetText(std::string_view name, std::string_view default_value) {
  const auto value = ReadRaw(m_key_path, name);
  if (!value) return std::string(default_value);
  if (value->type == REG_SZ || value->type == REG_EXPAND_SZ) return TextOf(*value);
  if (const auto number = IntOf(*value)) return std::to_string(*number);
  return std::string(default_value);
}

int RegistrySettings::GetInt(std::string_view name, int default_value) {
  const auto value = ReadRaw(m_key_path, name);
  if (!value) return default_value;
  return IntOf(*value).value_or(default_value);
}

namespace {

bool WriteRaw(const std::string& key_path, std::string_view name, DWORD type, const BYTE* data, DWORD size) {
  HKEY key = nullptr;
  LONG result = ::RegCreateKeyExW(HKEY_CURRENT_USER, Widen(key_path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    result = ::RegSetValueExW(key, Widen(name).c_str(), 0, type, data, size);
    ::RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS) {
    DebugPrintf("Cannot store the setting %.*s in HKEY_CURRENT_USER\\%s (Windows error %ld)",
                static_cast<int>(name.size()), name.data(), key_path.c_str(), static_cast<long>(result));
    return false;
  }
  return true;
}

}  // namespace

void RegistrySettings::PutText(std::string_view name, std::string_view value) {
  std::wstring wide = Widen(value);
  if (!wide.empty() && wide[0] == static_cast<wchar_t>(kQtMarker)) wide.insert(wide.begin(), L'@');
  const DWORD size = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
  if (!WriteRaw(m_key_path, name, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()), size)) m_write_failed = true;
}

void RegistrySettings::PutInt(std::string_view name, int value) {
  const uint32_t number = static_cast<uint32_t>(value);
  if (!WriteRaw(m_key_path, name, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number)) {
    m_write_failed = true;
  }
}

}  // namespace corvel
