#include "cli/JsonEvents.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "core/base/Sha256.h"

namespace corvel::cli {

// Seconds to the millisecond: finer is noise, and longer lines for nothing.
namespace {
double Seconds(double seconds) { return std::round(seconds * 1000.0) / 1000.0; }
}  // namespace

const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Exclamation: return "warning";
    case MessageIcon::Error: return "error";
    case MessageIcon::Question: return "question";
    case MessageIcon::Information:
    case MessageIcon::None: return "information";
  }
  return "information";
}

const char* OutcomeName(ToolOutcome outcome) {
  switch (outcome) {
    case ToolOutcome::Done: return "done";
    case ToolOutcome::Failed: return "failed";
    case ToolOutcome::Cancelled: return "cancelled";
    case ToolOutcome::NothingDone: return "nothing_done";
  }
  return "failed";
}

std::string AnswerEventName(Answer answer) {
  std::string name = AnswerName(answer);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

void JsonEventWriter::Write(const nlohmann::json& event) {
  // Texts come from files and devices too: never let bad UTF-8 stop the stream.
  m_out << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n' << std::flush;
}

void JsonEventWriter::OnMessage(const Message& message) {
  Write({{"event", "message"}, {"text", message.text}, {"icon", IconName(message.icon)}});
}

void JsonEventWriter::OnQuestion(const Message& message, Answer answer, const char* by) {
  Write({{"event", "question"}, {"text", message.text}, {"answer", AnswerEventName(answer)}, {"by", by}});
}

void JsonEventWriter::OnProgress(const std::string& phase, uint64_t done, uint64_t total, const char* unit,
                                 double elapsed_s) {
  Write({{"event", "progress"},
         {"phase", phase},
         {"done", done},
         {"total", total},
         {"unit", unit},
         {"elapsed_s", Seconds(elapsed_s)}});
}

nlohmann::json& ResultFacts() {
  static nlohmann::json facts = nlohmann::json::object();
  return facts;
}

namespace {
std::string Absolute(const std::string& path) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}
}  // namespace

void RunFiles::Ignore(const std::string& path) { m_ignored.insert(Absolute(path)); }

bool RunFiles::Ignored(const std::string& path) const { return m_ignored.count(path) != 0; }

void RunFiles::FileRead(const std::string& path) {
  const std::string absolute = Absolute(path);
  if (Ignored(absolute)) return;
  if (std::find(m_read.begin(), m_read.end(), absolute) == m_read.end()) m_read.push_back(absolute);
}

void RunFiles::FileWritten(const std::string& path) {
  const std::string absolute = Absolute(path);
  if (Ignored(absolute)) return;
  if (std::find(m_written.begin(), m_written.end(), absolute) == m_written.end()) m_written.push_back(absolute);
}

nlohmann::json FileFingerprints(const std::vector<std::string>& paths) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& path : paths) {
    const auto sha = FileSha256(path, kMaxFingerprintBytes);
    list.push_back({{"path", path}, {"sha256", sha ? nlohmann::json(*sha) : nlohmann::json(nullptr)}});
  }
  return list;
}

nlohmann::json ResultEvent(const RunSummary& summary, const RunFiles& files, const nlohmann::json& facts) {
  nlohmann::json event = {{"event", "result"},     {"schema", kJsonSchemaVersion}, {"command", summary.command},
                          {"outcome", summary.outcome}, {"exit", summary.exit},       {"elapsed_s", Seconds(summary.elapsed_s)},
                          {"files_written", FileFingerprints(files.Written())}};
  if (facts.is_object()) {
    for (const auto& [key, value] : facts.items()) {
      if (!event.contains(key)) event[key] = value;
    }
  }
  return event;
}

nlohmann::json RecordLine(const nlohmann::json& result, const std::string& port, const std::string& version,
                          const std::string& started, const RunFiles& files) {
  nlohmann::json line = result;
  line["port"] = port;
  line["program_version"] = version;
  line["started"] = started;
  line["inputs"] = FileFingerprints(files.Read());
  return line;
}

std::string Iso8601Utc(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(time);
  const auto day = floor<days>(seconds);
  const year_month_day date(day);
  const hh_mm_ss clock(seconds - day);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

}  // namespace corvel::cli
