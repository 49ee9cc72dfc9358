#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

#include "cli/Cli.h"
#include "cli/ConsoleOutput.h"
#include "cli/OutOfMemory.h"
#include "cli/JsonRun.h"
#include "core/base/FileUtil.h"
#include "core/base/SettingsKeys.h"
#include "core/transport/PortList.h"
#include "sim/Models.h"
#include "sim/VirtualDeviceHost.h"
#ifdef CORVEL_HAVE_QSETTINGS
#include "qtstore/QSettingsStore.h"
#elif defined(CORVEL_HAVE_REGISTRY_SETTINGS)
#include "winstore/RegistrySettings.h"
#endif

namespace corvel::cli {

namespace {
std::vector<CommandSetup>& Setups() {
  static std::vector<CommandSetup> setups;
  return setups;
}
}  // namespace

CommandRegistrar::CommandRegistrar(CommandSetup setup) { Setups().push_back(setup); }

std::string ProgramFolder() {
  const std::string folder = ExecutableFolder();
  return folder.empty() ? "./" : folder;
}

Session::Session(const Globals& globals)
    : m_globals(globals),
      m_ui(std::cin, std::cout, std::cerr,
           ConsoleAnswerPolicy{globals.yes, globals.retries, ::isatty(STDIN_FILENO) == 1,
                               ::isatty(STDERR_FILENO) == 1 && !globals.json}) {
  m_ui.SetEventSink(globals.events);
}

Session::~Session() {
  if (m_store) {
    // Overrides given on the command line are for this run only.
    AppSettings to_save = m_app;
    if (!m_globals.port.empty() || !m_globals.simulate.empty()) to_save.com_port = m_app_as_loaded.com_port;
    if (m_globals.timeout) to_save.timeout_setting = m_app_as_loaded.timeout_setting;
    if (m_globals.high_speed) to_save.use_turbo_baud_rate = m_app_as_loaded.use_turbo_baud_rate;
    if (!to_save.Save(*m_store)) std::cerr << "corvel-cli: the settings could not be saved\n";
  }
  m_port.Close();
  m_sim.reset();
  if (ActiveDebugLog() == &m_log) SetActiveDebugLog(nullptr);
}

bool Session::Start() {
  if (!m_globals.settings_file.empty()) {
    if (m_globals.files) m_globals.files->Ignore(m_globals.settings_file);
    m_store = std::make_unique<IniFileSettings>(m_globals.settings_file);
  } else {
#ifdef CORVEL_HAVE_QSETTINGS
    m_store = std::make_unique<QSettingsStore>();
#elif defined(CORVEL_HAVE_REGISTRY_SETTINGS)
    m_store = std::make_unique<RegistrySettings>();
#else
    m_store = std::make_unique<MemorySettings>();
#endif
  }
  m_app.Load(*m_store);
  m_app_as_loaded = m_app;
  if (!m_globals.port.empty()) m_app.com_port = m_globals.port;
  if (m_globals.timeout) m_app.timeout_setting = *m_globals.timeout;
  if (m_globals.high_speed) m_app.use_turbo_baud_rate = *m_globals.high_speed ? 1 : 0;
  if (m_globals.trace) {
    m_log.SetSink([](const std::string& line) { std::cerr << line << '\n'; });
    SetActiveDebugLog(&m_log);
  }
  if (!m_globals.simulate.empty()) {
    auto model = sim::MakeDeviceModel(m_globals.simulate);
    if (!model) {
      std::cerr << "corvel-cli: unknown device '" << m_globals.simulate << "' for --simulate\n";
      return false;
    }
    m_sim = std::make_unique<sim::VirtualDeviceHost>(std::move(model));
    std::string error;
    if (!m_sim->Start(&error)) {
      std::cerr << "corvel-cli: cannot start the virtual equipment: " << error << '\n';
      return false;
    }
    m_app.com_port = m_sim->PortPath();
  }
  m_port.SetBaudRate(SerialPort::kDefaultBaud);
  m_port.SetPortName(m_app.com_port);
  m_port.SetAdditionalTimeoutSource([this] { return m_app.timeout_setting; });
  m_env = std::make_unique<ToolEnv>(ToolEnv{m_ui, m_port, m_app, *m_store, ProgramFolder()});
  return true;
}

int Session::RunTool(ToolId id, const std::function<bool()>& run_tool) {
  const InterruptibleRun interruptible;  // a signal now presses Cancel
  bool ok = false;
  if (!RunToolWithPort(*m_env, id, [&] { ok = run_tool(); })) {
    // The window's message stays as it is; a script's log also wants why.
    if (m_port.LastOpenError() != PortOpenError::None) {
      m_ui.Plain(std::string("Reason: ") + PortOpenErrorText(m_port.LastOpenError()));
    }
    return kExitFailed;
  }
  return ok ? kExitOk : kExitFailed;
}

Session* Runner::GetSession() {
  if (m_failed) return nullptr;
  if (!m_session) {
    m_session = std::make_unique<Session>(globals);
    if (!m_session->Start()) {
      m_session.reset();
      m_failed = true;
      return nullptr;
    }
  }
  return m_session.get();
}

void Runner::Run(const std::function<int(Session&)>& body) {
  Session* session = GetSession();
  exit_code = session ? RunOrReportOutOfMemory(std::cerr, kExitFailed, [&] { return body(*session); }) : kExitFailed;
  if (session) port = session->Env().port.PortName();
  m_session.reset();  // settings are saved as the program ends
}

namespace {

void SetupBuiltins(CLI::App& app, Runner& runner) {
  auto* port = app.add_subcommand("port", "Serial port checks");
  auto* open = port->add_subcommand("open", "Open the configured port as a tool would, then close it");
  open->callback([&runner] {
    runner.Run([](Session& s) {
      return s.RunTool(ToolId::ReadDeviceChain, [&] {
        std::cout << "Opened " << s.Env().port.PortName() << " at " << s.Env().port.BaudRate() << " baud\n";
        return true;
      });
    });
  });
  port->add_subcommand("list", "The port names the Settings page offers, with each adapter's by-id name and USB details")
      ->callback([&runner] {
        const std::vector<PortDetails> details = ListPortDetails();
        for (const auto& name : SerialPortChoices()) {
          std::cout << name;
          for (const auto& d : details) {
            if (d.device == name && !PortDetailsText(d).empty()) std::cout << "  " << PortDetailsText(d);
          }
          std::cout << '\n';
        }
        for (const auto& d : details) {
          ResultFacts()["ports"].push_back({{"device", d.device}, {"by_id", d.by_id}, {"vendor_id", d.vendor_id},
                                            {"product_id", d.product_id}, {"manufacturer", d.manufacturer},
                                            {"product", d.product}, {"serial", d.serial}});
        }
        runner.exit_code = kExitOk;
      });
  port->require_subcommand(1);

  auto* settings = app.add_subcommand("settings", "Stored settings");
  settings->add_subcommand("show", "Print the stored settings in their order")->callback([&runner] {
    runner.Run([](Session& s) {
      const AppSettings& a = s.Env().app;
      std::cout << "Com Port=" << a.com_port << "\nUse Turbo Baud Rate=" << a.use_turbo_baud_rate
                << "\nTimeout Setting=" << a.timeout_setting << "\nUse Debugging Window=" << a.use_debugging_window
                << "\nErase Atmel before Programming=" << a.erase_atmel_before_programming
                << "\nVerify Atmel after Programming=" << a.verify_atmel_after_programming
                << "\nKeep EEPROM=" << a.keep_eeprom << "\nBaud Rate=" << s.Env().port.BaudRate() << '\n';
      return kExitOk;
    });
  });
  auto* set = settings->add_subcommand("serial", "Apply the Serial Settings page");
  static std::string port_name, timeout_text;
  static int high = -1, debug = -1;
  set->add_option("--com-port", port_name, "Serial Port");
  set->add_option("--additional-timeout", timeout_text, "Additional time out (ms), 0 to 30000");
  set->add_option("--high-speed-programming", high, "Attempt high speed programming (0/1)")->check(CLI::Range(0, 1));
  set->add_option("--debug-window", debug, "Use debugging dialog (0/1)")->check(CLI::Range(0, 1));
  set->callback([&runner] {
    runner.Run([](Session& s) {
      // The page itself, so a refusal reads as the Settings sheet's does.
      SerialSettingsSheet sheet(s.Env());
      if (!port_name.empty()) sheet.SetPortName(port_name);
      if (!timeout_text.empty()) sheet.SetTimeoutText(timeout_text);
      if (high >= 0) sheet.SetHighSpeed(high != 0);
      if (debug >= 0) sheet.SetDebugWindow(debug != 0);
      return sheet.Apply() ? kExitOk : kExitFailed;
    });
  });
  settings->require_subcommand(1);
}
CORVEL_CLI_COMMAND(SetupBuiltins);

}  // namespace
}  // namespace corvel::cli

int main(int argc, char** argv) {
  using namespace corvel::cli;
  if (!StandardOutputIsOpen()) return kExitFailed;
  corvel::CatchInterruptions();
  CLI::App app{"Corvel: service tool for Trelmark transmitter equipment", "corvel-cli"};
  app.set_version_flag("--version", std::string("Corvel ") + corvel::kProgramVersion);
  Runner runner;
  Globals& g = runner.globals;
  RunReporter reporter(argc, argv, g);  // before anything is printed: --json takes stdout
  app.add_option("--port", g.port, "Serial port: a path, COMn, or a name under /dev");
  app.add_option("--settings", g.settings_file, "Settings INI file instead of the per-user store");
  app.add_option("--timeout", g.timeout, "Additional read time-out in ms (0 to 30000)")->check(CLI::Range(0, 30000));
  // Only a flag that is given overrides the stored "Use Turbo Baud Rate".
  app.add_flag_function(
      "--high-speed,!--no-high-speed", [&g](std::int64_t count) { g.high_speed = count > 0; },
      "Switch to 115200 baud for transfers");
  app.add_flag("--trace", g.trace, "Trace lines to stderr");
  app.add_flag("--yes", g.yes, "Answer Yes to confirmations that are not retry questions");
  app.add_option("--retries", g.retries, "Answer Retry to retry questions at most N times")->check(CLI::NonNegativeNumber);
  std::string devices;
  for (const auto& name : corvel::sim::DeviceModelNames()) devices += (devices.empty() ? "" : ", ") + name;
  // An unknown device is a usage error, as an out-of-range --timeout is.
  app.add_option("--simulate", g.simulate, "Run against virtual equipment: " + devices)
      ->check(CLI::IsMember(corvel::sim::DeviceModelNames()));
  app.add_option("--library", g.library, "EEPROM definition library file");
  reporter.AddOptions(app);
  app.require_subcommand(1);
  app.fallthrough();
  for (CommandSetup setup : corvel::cli::Setups()) setup(app, runner);
  try {
    app.parse(argc, argv);
  } catch (const std::bad_alloc&) {
    // Outside a command's body (while the options are read, say).
    std::cerr << kOutOfMemory << '\n';
    return kExitFailed;
  } catch (const CLI::Success& e) {
    return FinishStandardOutput(app.exit(e));
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return reporter.Finish(app, runner, kExitUsage, e.what());
  }
  const int status = corvel::ExitStatusAfterInterruption(runner.exit_code);
  return FinishStandardOutput(reporter.Finish(app, runner, status));
}
