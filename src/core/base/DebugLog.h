#pragma once
// The program-wide trace: a ring of the last 200 lines that the protocol layers
// write with DebugPrintf. When no log exists, tracing does nothing at all.
#include <array>
#include <functional>
#include <string>
#include <vector>

namespace corvel {

class DebugLog {
 public:
  static constexpr int kLines = 200;
  static constexpr std::size_t kLineLength = 200;

  // Called with every appended line (already cut to kLineLength); the Qt window,
  // the console's --trace and tests attach here.
  using Sink = std::function<void(const std::string& line)>;

  int Append(const std::string& text);
  // Right-click on the window: "String Entry %d" with a counter from 0.
  int AppendStringEntry();
  // The window's whole text: all 200 slots oldest first, CR LF between them,
  // never-written slots empty, nothing after the newest. Empty while no line exists.
  std::string Text() const;
  // Only the written lines, oldest first.
  std::vector<std::string> Lines() const;
  int Newest() const { return m_newest; }
  void SetSink(Sink sink) { m_sink = std::move(sink); }

 private:
  std::array<std::string, kLines> m_entries;
  int m_newest = -1;
  int m_written = 0;
  int m_string_entry = 0;
  Sink m_sink;
};

// The log DebugPrintf writes to; nullptr means tracing is off.
DebugLog* ActiveDebugLog();
void SetActiveDebugLog(DebugLog* log);

// Checks a printf-style format against its arguments. MinGW's plain "printf"
// means the old Microsoft runtime, which lacks %zu and %lld; the program uses
// the C99 one there.
#if defined(__MINGW32__)
#define CORVEL_PRINTF_FORMAT(format_index, first_arg) __attribute__((format(gnu_printf, format_index, first_arg)))
#else
#define CORVEL_PRINTF_FORMAT(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#endif

// printf-style trace line; returns the formatted length, or 0 when no log exists.
int DebugPrintf(const char* format, ...) CORVEL_PRINTF_FORMAT(1, 2);

}  // namespace corvel
