#include "core/base/Settings.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/base/FileUtil.h"

namespace corvel {

std::string MapSettings::GetText(std::string_view name, std::string_view default_value) {
  auto it = m_values.find(name);
  return it == m_values.end() ? std::string(default_value) : it->second;
}

void MapSettings::PutText(std::string_view name, std::string_view value) {
  auto it = m_values.find(name);
  if (it == m_values.end()) {
    m_values.emplace(std::string(name), std::string(value));
    m_order.emplace(std::string(name), m_next_order++);
  } else {
    it->second = std::string(value);
  }
}

int MapSettings::GetInt(std::string_view name, int default_value) {
  auto it = m_values.find(name);
  if (it == m_values.end()) return default_value;
  const std::string& text = it->second;
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < INT32_MIN ||
      value > UINT32_MAX) {
    return default_value;
  }
  // Stored as a 32-bit number: values above INT32_MAX read back as negatives.
  return static_cast<int>(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

void MapSettings::PutInt(std::string_view name, int value) { PutText(name, std::to_string(value)); }

namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

IniFileSettings::IniFileSettings(std::string path) : m_path(std::move(path)) { Load(); }

void IniFileSettings::Load() {
  std::ifstream in(m_path, std::ios::binary);
  if (!in) return;
  std::string line;
  bool in_section = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      in_section = line == std::string("[") + kSettingsSection + "]";
      continue;
    }
    const auto eq = line.find('=');
    if (!in_section || eq == std::string::npos || eq == 0) continue;
    PutText(line.substr(0, eq), Unescape(std::string_view(line).substr(eq + 1)));
  }
}

bool IniFileSettings::Flush() {
  std::vector<std::pair<int, std::string>> ordered;
  for (const auto& [name, order] : m_order) ordered.emplace_back(order, name);
  std::sort(ordered.begin(), ordered.end());
  std::ostringstream out;
  out << '[' << kSettingsSection << "]\n";
  for (const auto& [order, name] : ordered) out << name << '=' << Escape(m_values.find(name)->second) << '\n';
  return WriteFileAtomically(m_path, out.str());
}

}  // namespace corvel
