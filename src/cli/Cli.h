#pragma once
// corvel-cli: every tool as a scriptable command. Each command file registers
// itself with CORVEL_CLI_COMMAND and runs the same controller the window does.
#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/base/AppSettings.h"
#include "core/base/Outcome.h"
#include "core/base/DebugLog.h"
#include "core/tool/app/ToolEnv.h"
#include "core/tool/app/ToolLauncher.h"
#include "core/transport/SerialPort.h"
#include "cli/ConsoleUserInterface.h"

namespace corvel::sim {
class VirtualDeviceHost;
}

namespace corvel::cli {

class ConsoleEventSink;
class RunFiles;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Globals {
  std::string port;
  std::string settings_file;
  std::optional<int> timeout;
  std::optional<bool> high_speed;
  bool trace = false;
  bool yes = false;
  int retries = -1;
  std::string simulate;
  std::string library;  // EEPROM definition library; "" = the program folder's
  bool json = false;    // --json: events on stdout, texts on stderr
  std::string record;   // --record FILE: one line per run appended
  ConsoleEventSink* events = nullptr;  // where the console reports, if anywhere
  RunFiles* files = nullptr;           // the files the run reads and writes, if kept
};

// Everything one run of a command works with, set up after parsing.
class Session {
 public:
  explicit Session(const Globals& globals);
  ~Session();
  // Loads settings, starts --simulate's virtual equipment; false with a message.
  bool Start();
  ToolEnv& Env() { return *m_env; }
  ConsoleUserInterface& Ui() { return m_ui; }
  sim::VirtualDeviceHost* Simulator() { return m_sim.get(); }
  // Opens the port as the tool needs (printing "Failed to open %s!" when it
  // cannot), runs it, closes the port. Exit status 0 when run_tool says so.
  int RunTool(ToolId id, const std::function<bool()>& run_tool);

 private:
  Globals m_globals;
  std::unique_ptr<Settings> m_store;
  AppSettings m_app;
  AppSettings m_app_as_loaded;
  SerialPort m_port;
  ConsoleUserInterface m_ui;
  DebugLog m_log;
  std::unique_ptr<ToolEnv> m_env;
  std::unique_ptr<sim::VirtualDeviceHost> m_sim;
};

class Runner {
 public:
  Globals globals;
  int exit_code = kExitOk;
  // The typed outcome exit_code came from, where a tool's button gave one.
  std::optional<ToolOutcome> outcome;
  std::string port;  // the port the run was set up with
  // The session, started on first use; nullptr when it could not start.
  Session* GetSession();
  // Runs a command body and records its exit status.
  void Run(const std::function<int(Session&)>& body);

 private:
  std::unique_ptr<Session> m_session;
  bool m_failed = false;
};

// Opens a tool as its window would (the port first), runs one button of it,
// closes the tool; the exit status comes from the button's outcome.
template <typename Tool>
int RunToolButton(Runner& runner, ToolId id, const std::function<ToolOutcome(Session&, Tool&)>& button) {
  int status = kExitFailed;
  runner.Run([&](Session& s) {
    status = s.RunTool(id, [&] {
      Tool tool(s.Env());
      tool.Open();
      const ToolOutcome outcome = button(s, tool);
      runner.outcome = outcome;
      tool.Close();
      return ExitStatus(outcome) == kExitOk;
    });
    return status;
  });
  return status;
}

using CommandSetup = void (*)(CLI::App& app, Runner& runner);
struct CommandRegistrar {
  explicit CommandRegistrar(CommandSetup setup);
};
#define CORVEL_CLI_COMMAND(setup) static ::corvel::cli::CommandRegistrar corvel_cli_registrar_##setup(setup)

// The program folder (where the EEPROM library lives), with a trailing "/".
std::string ProgramFolder();

}  // namespace corvel::cli
