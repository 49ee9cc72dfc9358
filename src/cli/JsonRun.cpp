#include "cli/JsonRun.h"

#include <cstring>

#include "cli/RecordFile.h"

namespace corvel::cli {

RunReporter::RunReporter(int argc, char** argv, Globals& globals)
    : m_globals(globals),
      m_stdout(std::cout.rdbuf()),
      m_events_out(m_stdout),
      m_writer(m_events_out),
      m_started(std::chrono::steady_clock::now()),
      m_started_wall(std::chrono::system_clock::now()) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    if (std::strcmp(argv[i], "--json") == 0) m_json = true;
  }
  if (m_json) {
    // Whatever a command prints for people goes where the messages go.
    std::cout.rdbuf(std::cerr.rdbuf());
    m_globals.json = true;
    m_globals.events = &m_writer;
  }
  m_globals.files = &m_files;
  SetFileActivityListener(&m_files);
}

RunReporter::~RunReporter() {
  SetFileActivityListener(nullptr);
  std::cout.rdbuf(m_stdout);
}

void RunReporter::AddOptions(CLI::App& app) {
  app.add_flag("--json", m_globals.json, "Events as JSON lines on stdout; texts for people on stderr");
  app.add_option("--record", m_globals.record, "Append one JSON line about this run to FILE")
      ->check(CLI::Validator(
          [](std::string& path) {
            const std::string problem = RecordPathProblem(path);
            return problem.empty() ? std::string() : "the record " + path + " cannot be used: " + problem;
          },
          "FILE", "record file"));
}

std::string CommandName(const CLI::App& app) {
  std::string name;
  const CLI::App* at = &app;
  for (;;) {
    const auto given = at->get_subcommands();
    if (given.empty()) break;
    at = given.front();
    name += (name.empty() ? "" : " ") + at->get_name();
  }
  return name;
}

int RunReporter::Finish(const CLI::App& app, const Runner& runner, int status, const std::string& usage_error) {
  // Fingerprinting reads the files again; those reads are no part of the run.
  SetFileActivityListener(nullptr);
  if (m_json && !usage_error.empty()) m_writer.Write({{"event", "message"}, {"text", usage_error}, {"icon", "error"}});

  RunSummary summary;
  summary.command = CommandName(app);
  summary.exit = status;
  if (status == kExitUsage) {
    summary.outcome = "usage";
  } else if (runner.outcome) {
    summary.outcome = OutcomeName(*runner.outcome);
  } else {
    summary.outcome = status == kExitOk ? "done" : "failed";
  }
  summary.elapsed_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
  nlohmann::json facts = ResultFacts();

  // A usage error did no work and has no port; it is not a run to record.
  if (!m_globals.record.empty() && status != kExitUsage) {
    const nlohmann::json line = RecordLine(ResultEvent(summary, m_files, facts), runner.port, kProgramVersion,
                                           Iso8601Utc(m_started_wall), m_files);
    const auto appended =
        AppendRecordLine(m_globals.record, line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    if (!appended) {
      const std::string text = RecordErrorText(m_globals.record, appended.error());
      std::cerr << text << '\n';
      // The record was asked for: a run without it did not do all it should.
      if (status == kExitOk) status = kExitFailed;
      summary.exit = status;
      facts["record_error"] = text;
    }
  }
  if (m_json) m_writer.Write(ResultEvent(summary, m_files, facts));
  return status;
}

}  // namespace corvel::cli
