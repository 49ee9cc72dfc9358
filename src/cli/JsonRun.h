#pragma once
// One run of corvel-cli as a script or a service record sees it: with --json,
// stdout carries the events and nothing else (the texts for people go to
// stderr) and the run ends with its result event; with --record FILE, the
// result, the port, the program version, the start time and the input files'
// fingerprints are appended to FILE as one line.
#include <CLI/CLI.hpp>

#include <chrono>
#include <iostream>
#include <string>

#include "cli/Cli.h"
#include "cli/JsonEvents.h"

namespace corvel::cli {

class RunReporter {
 public:
  // Looks for --json among the arguments before they are parsed, so that
  // even a usage error is reported as events, and takes stdout for them.
  RunReporter(int argc, char** argv, Globals& globals);
  ~RunReporter();
  RunReporter(const RunReporter&) = delete;
  RunReporter& operator=(const RunReporter&) = delete;

  void AddOptions(CLI::App& app);
  // Writes the record and the result event; returns the exit status, which
  // is status unless the record asked for could not be written.
  int Finish(const CLI::App& app, const Runner& runner, int status, const std::string& usage_error = "");

 private:
  Globals& m_globals;
  bool m_json = false;
  std::streambuf* m_stdout;
  std::ostream m_events_out;
  JsonEventWriter m_writer;
  RunFiles m_files;
  std::chrono::steady_clock::time_point m_started;
  std::chrono::system_clock::time_point m_started_wall;
};

// "atmel program": the subcommands given, outermost first.
std::string CommandName(const CLI::App& app);

}  // namespace corvel::cli
