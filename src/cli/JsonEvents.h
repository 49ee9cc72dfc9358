#pragma once
// The console's event stream for scripts (--json): one JSON object per line
// on stdout, and nothing else there. The console's UserInterface reports each
// message, answered question and progress step to a ConsoleEventSink, so
// every command gets its events without code of its own; a command adds only
// the facts of its result (ResultFacts).
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/base/FileActivity.h"
#include "core/base/Outcome.h"
#include "core/ui/UserInterface.h"

namespace corvel::cli {

// The version of the event and record layout; raised when a field changes
// meaning or goes away (new fields do not raise it).
inline constexpr int kJsonSchemaVersion = 1;

class ConsoleEventSink {
 public:
  virtual ~ConsoleEventSink() = default;
  virtual void OnMessage(const Message& message) = 0;
  // by: "flag" (--yes, --retries), "default" (the safe answer, nobody asked)
  // or "person" (asked at the terminal).
  virtual void OnQuestion(const Message& message, Answer answer, const char* by) = 0;
  // unit "bytes" when the operation knows its size, else "percent".
  virtual void OnProgress(const std::string& phase, uint64_t done, uint64_t total, const char* unit,
                          double elapsed_s) = 0;
};

// Writes the events as JSON lines, each flushed as it goes.
class JsonEventWriter : public ConsoleEventSink {
 public:
  explicit JsonEventWriter(std::ostream& out) : m_out(out) {}
  void OnMessage(const Message& message) override;
  void OnQuestion(const Message& message, Answer answer, const char* by) override;
  void OnProgress(const std::string& phase, uint64_t done, uint64_t total, const char* unit,
                  double elapsed_s) override;
  void Write(const nlohmann::json& event);

 private:
  std::ostream& m_out;
};

const char* IconName(MessageIcon icon);
// "done", "failed", "cancelled", "nothing_done".
const char* OutcomeName(ToolOutcome outcome);
// "yes", "no", "retry", ... as the events name answers.
std::string AnswerEventName(Answer answer);

// The facts of this run's result that only the command knows (versions read,
// the checksum inserted, devices skipped); added to the result event.
nlohmann::json& ResultFacts();

// Which files the run read and wrote, in the order first seen; the settings
// file and anything else ignored is left out.
class RunFiles : public FileActivityListener {
 public:
  void Ignore(const std::string& path);
  void FileRead(const std::string& path) override;
  void FileWritten(const std::string& path) override;
  const std::vector<std::string>& Read() const { return m_read; }
  const std::vector<std::string>& Written() const { return m_written; }

 private:
  bool Ignored(const std::string& path) const;
  std::set<std::string> m_ignored;
  std::vector<std::string> m_read;
  std::vector<std::string> m_written;
};

// Files larger than this are named without a fingerprint.
inline constexpr std::size_t kMaxFingerprintBytes = std::size_t{256} << 20;
// [{"path":..., "sha256":...}], sha256 null where the file cannot be read.
nlohmann::json FileFingerprints(const std::vector<std::string>& paths);

struct RunSummary {
  std::string command;  // "atmel program"
  std::string outcome;  // "done", "failed", "cancelled", "nothing_done", "usage"
  int exit = 0;
  double elapsed_s = 0.0;
};
// The result event: the summary, the files written with their SHA-256, then
// the command's facts (never replacing a field above).
nlohmann::json ResultEvent(const RunSummary& summary, const RunFiles& files, const nlohmann::json& facts);
// The line a service record keeps: the result event plus the port, the
// program version, the start time and the input files' SHA-256.
nlohmann::json RecordLine(const nlohmann::json& result, const std::string& port, const std::string& version,
                          const std::string& started, const RunFiles& files);
// "2026-12-08T20:59:01Z".
std::string Iso8601Utc(std::chrono::system_clock::time_point time);

}  // namespace corvel::cli
