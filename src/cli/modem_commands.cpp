// corvel-cli modem get|set: "Meridel Modem Init" as commands. Both open the
// window's controller (which reads the board's settings) and close it, so the
// three strings are stored as the window stores them.
#include <iostream>
#include <optional>
#include <string>

#include "cli/Cli.h"
#include "cli/DeviceToolsCli.h"
#include "core/tool/devicetools/ModemInit.h"

namespace corvel::cli {
namespace {

struct ModemOptions {
  std::optional<std::string> dial_init;
  std::optional<std::string> leased_init;
  std::optional<std::string> dial_command;
};


void PrintReport(const ModemInit& modem) {
  std::cout << kModemReportLabel << '\n' << ConsoleLines(modem.Report()) << '\n';
}

void SetupModem(CLI::App& app, Runner& runner) {
  static ModemOptions o;
  auto* modem = app.add_subcommand("modem", "Meridel Modem Init");
  modem->require_subcommand(1);

  auto* get = modem->add_subcommand("get", "Print the modem settings the Meridel reports");
  get->callback([&runner] {
    runner.Run([](Session& s) {
      return s.RunTool(ToolId::MeridelModemInit, [&] {
        ModemInit tool(s.Env());
        const bool reported = tool.Open() == ToolOutcome::Done;
        PrintReport(tool);
        tool.Close();
        return reported;
      });
    });
  });

  auto* set = modem->add_subcommand(
      "set", "Send new modem settings; a string not given keeps its edit's text (stored, or as the board reports it)");
  set->add_option("--dial-init", o.dial_init, "Dial-up initialization (at most 121 characters)");
  set->add_option("--leased-init", o.leased_init, "Leased line initialization (at most 121 characters)");
  set->add_option("--dial-command", o.dial_command, "Dial-up command (at most 13 characters)");
  set->callback([&runner] {
    runner.Run([](Session& s) {
      return s.RunTool(ToolId::MeridelModemInit, [&] {
        ModemInit tool(s.Env());
        (void)tool.Open();
        if (o.dial_init) tool.SetDialUpInit(*o.dial_init);
        if (o.leased_init) tool.SetLeasedLineInit(*o.leased_init);
        if (o.dial_command) tool.SetDialUpCommand(*o.dial_command);
        const ToolOutcome outcome = tool.Send();
        PrintReport(tool);
        tool.Close();
        return outcome == ToolOutcome::Done;
      });
    });
  });
}

}  // namespace

CORVEL_CLI_COMMAND(SetupModem);

}  // namespace corvel::cli
