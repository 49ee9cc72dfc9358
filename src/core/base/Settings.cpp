#include "core/base/Settings.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <set>
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

std::string IniFileSettings::GetText(std::string_view name, std::string_view default_value) {
  if (!Has(name) && m_loaded.find(name) == m_loaded.end()) m_defaults_given.emplace(name, default_value);
  return MapSettings::GetText(name, default_value);
}

int IniFileSettings::GetInt(std::string_view name, int default_value) {
  if (!Has(name) && m_loaded.find(name) == m_loaded.end()) m_defaults_given.emplace(name, std::to_string(default_value));
  return MapSettings::GetInt(name, default_value);
}

namespace {

std::string TrimLineEnd(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool IsSectionHeader(const std::string& line) { return !line.empty() && line.front() == '['; }
bool IsOurSection(const std::string& line) { return line == std::string("[") + kSettingsSection + "]"; }

// The lines of the file as it stands now; none for a missing or unusable one.
std::vector<std::string> CurrentLines(const std::string& path) {
  std::vector<std::string> lines;
  const auto text = ReadWholeFile(path, IniFileSettings::kMaxFileBytes);
  if (!text) return lines;
  std::istringstream in(*text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(TrimLineEnd(line));
  return lines;
}

// Holds an advisory lock on a folder while the settings file in it is read
// and replaced, so runs sharing one file do not lose each other's values.
class FolderLock {
 public:
  explicit FolderLock([[maybe_unused]] const std::string& file) {
#ifndef _WIN32
    const auto slash = file.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
    m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd >= 0) {
      while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
#endif
  }
  ~FolderLock() {
#ifndef _WIN32
    if (m_fd >= 0) ::close(m_fd);
#endif
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int m_fd = -1;
};

}  // namespace

void IniFileSettings::Load() {
  bool in_section = false;
  for (const std::string& line : CurrentLines(m_path)) {
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (IsSectionHeader(line)) {
      in_section = IsOurSection(line);
      continue;
    }
    const auto eq = line.find('=');
    if (!in_section || eq == std::string::npos || eq == 0) continue;
    MapSettings::PutText(line.substr(0, eq), Unescape(std::string_view(line).substr(eq + 1)));
  }
  m_loaded = m_values;
}

bool IniFileSettings::Flush() {
  // The values this run changed, in the order they were first put.
  std::vector<std::pair<int, std::string>> changed;
  std::set<std::string, std::less<>> fill_ins;
  for (const auto& [name, order] : m_order) {
    const auto loaded = m_loaded.find(name);
    const std::string& value = m_values.find(name)->second;
    if (loaded != m_loaded.end()) {
      if (loaded->second != value) changed.emplace_back(order, name);
      continue;
    }
    // A default put back as it was handed out only fills in a value the file
    // lacks: another run's value for it stays.
    const auto given = m_defaults_given.find(name);
    if (given != m_defaults_given.end() && given->second == value) fill_ins.insert(name);
    changed.emplace_back(order, name);
  }
  std::sort(changed.begin(), changed.end());
  if (changed.empty()) return true;

  FolderLock lock(m_path);
  std::vector<std::string> lines = CurrentLines(m_path);
  std::vector<bool> written(changed.size(), false);
  auto index_of = [&](std::string_view key) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < changed.size(); ++i) {
      if (changed[i].second == key) return i;
    }
    return std::nullopt;
  };
  std::ostringstream out;
  auto append_unwritten = [&] {
    for (std::size_t i = 0; i < changed.size(); ++i) {
      if (written[i]) continue;
      out << changed[i].second << '=' << Escape(m_values.find(changed[i].second)->second) << '\n';
      written[i] = true;
    }
  };
  bool in_section = false;
  bool seen_section = false;
  for (const std::string& line : lines) {
    if (IsSectionHeader(line)) {
      if (in_section) append_unwritten();
      in_section = IsOurSection(line);
      seen_section = seen_section || in_section;
      out << line << '\n';
      continue;
    }
    const auto eq = line.find('=');
    if (in_section && eq != std::string::npos && eq != 0 && line[0] != ';' && line[0] != '#') {
      if (const auto i = index_of(std::string_view(line).substr(0, eq))) {
        if (fill_ins.count(changed[*i].second)) {
          out << line << '\n';
          written[*i] = true;
          continue;
        }
        if (!written[*i]) out << changed[*i].second << '=' << Escape(m_values.find(changed[*i].second)->second) << '\n';
        written[*i] = true;
        continue;
      }
    }
    out << line << '\n';
  }
  if (in_section) append_unwritten();
  if (!seen_section && !changed.empty()) {
    out << '[' << kSettingsSection << "]\n";
    append_unwritten();
  }
  if (!WriteFileAtomically(m_path, out.str())) return false;
  for (const auto& [order, name] : changed) m_loaded[name] = m_values.find(name)->second;
  return true;
}

}  // namespace corvel
