#include "core/base/DebugLog.h"

#include <cstdarg>
#include <cstdio>

namespace corvel {

namespace {
DebugLog* g_active_log = nullptr;
}

DebugLog* ActiveDebugLog() { return g_active_log; }
void SetActiveDebugLog(DebugLog* log) { g_active_log = log; }

int DebugLog::Append(const std::string& text) {
  m_newest = (m_newest + 1) % kLines;
  m_entries[static_cast<std::size_t>(m_newest)] = text.substr(0, kLineLength);
  if (m_written < kLines) ++m_written;
  if (m_sink) m_sink(m_entries[static_cast<std::size_t>(m_newest)]);
  return static_cast<int>(text.size());
}

int DebugLog::AppendStringEntry() {
  return Append("String Entry " + std::to_string(m_string_entry++));
}

std::string DebugLog::Text() const {
  if (m_newest < 0) return {};
  std::string text;
  text.reserve(static_cast<std::size_t>(kLines) * (kLineLength + 2));
  for (int i = 1; i <= kLines; ++i) {
    const int slot = (m_newest + i) % kLines;
    text += m_entries[static_cast<std::size_t>(slot)];
    if (slot != m_newest) text += "\r\n";
  }
  return text;
}

std::vector<std::string> DebugLog::Lines() const {
  std::vector<std::string> lines;
  for (int i = m_written - 1; i >= 0; --i) {
    const int slot = ((m_newest - i) % kLines + kLines) % kLines;
    lines.push_back(m_entries[static_cast<std::size_t>(slot)]);
  }
  return lines;
}

int DebugPrintf(const char* format, ...) {
  DebugLog* log = g_active_log;
  if (log == nullptr) return 0;
  char small[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (length < 0) {
    va_end(copy);
    return 0;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    text.assign(small, static_cast<std::size_t>(length));
  } else {
    text.resize(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, copy);
    text.resize(static_cast<std::size_t>(length));
  }
  va_end(copy);
  return log->Append(text);
}

}  // namespace corvel
