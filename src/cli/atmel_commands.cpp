// corvel-cli atmel ...: the "Upload New Firmware" tool from the command line.
// Every command opens the tool as the launcher would (versions, connecting
// if needed, the last files), presses one button, and closes it again.
#include <iostream>

#include "cli/Cli.h"
#include "cli/ConsoleOutput.h"
#include "cli/JsonEvents.h"
#include "core/format/hex/FlashLayout.h"
#include "core/tool/atmel/FirmwareUploader.h"

namespace corvel::cli {

namespace {

struct AtmelOptions {
  bool power_cycle = false;
  std::string flash;
  std::string eeprom;
  bool keep_eeprom = false;
  bool no_erase = false;
  bool no_verify = false;
  bool no_checksum = false;
  std::string out;
  std::string verify;
  bool view = false;
};

AtmelOptions& AtmelOpts() {
  static AtmelOptions options;
  return options;
}

int WithAtmelUploader(Runner& runner, const std::function<ToolOutcome(Session&, FirmwareUploader&)>& button) {
  return RunToolButton<FirmwareUploader>(runner, ToolId::UploadAtmelFirmware, button);
}

// The versions the tool read when it opened, for the run's result.
void NoteVersions(const FirmwareUploader& u) {
  nlohmann::json& facts = ResultFacts();
  facts["boot_loader_version"] = u.BootLoaderVersionText();
  facts["application_version"] = u.ApplicationVersionText();
  facts["description"] = u.DescriptionText();
}

void PrintVersions(const FirmwareUploader& u) {
  NoteVersions(u);
  std::cout << "Current Boot Loader Version: " << u.BootLoaderVersionText() << '\n'
            << "Current Application Version: " << u.ApplicationVersionText() << '\n'
            << "Description: " << u.DescriptionText() << '\n';
}

void AddReadBack(CLI::App& atmel, Runner& runner, const char* name, const char* what, AtmelMemory memory) {
  auto* cmd = atmel.add_subcommand(name, std::string("Read the device's ") + what + ", then save, verify or view it");
  auto* group = cmd->add_option_group("action");
  group->add_option("-o,--output", AtmelOpts().out, "Save it as Intel HEX to this file");
  group->add_option("--verify", AtmelOpts().verify, "Compare it with this Intel HEX file");
  group->add_flag("--view", AtmelOpts().view, "Show it as a hex dump");
  group->require_option(1);
  cmd->callback([&runner, memory] {
    WithAtmelUploader(runner, [memory](Session& s, FirmwareUploader& u) {
      const AtmelOptions& o = AtmelOpts();
      if (!o.out.empty()) {
        s.Ui().QueueReadBackOption(ReadBackOption::Save);
        s.Ui().QueueFile(o.out);
      } else if (!o.verify.empty()) {
        s.Ui().QueueReadBackOption(ReadBackOption::Verify);
        s.Ui().QueueFile(o.verify);
      } else {
        s.Ui().QueueReadBackOption(ReadBackOption::View);
      }
      const ToolOutcome outcome = memory == AtmelMemory::Flash ? u.ReadFlash() : u.ReadEeprom();
      if (outcome == ToolOutcome::Done && !o.out.empty()) std::cout << "Saved " << TerminalSafe(o.out) << '\n';
      return outcome;
    });
  });
}

void SetupAtmel(CLI::App& app, Runner& runner) {
  auto* atmel = app.add_subcommand("atmel", "Upload New Firmware: the AVR boot loader");
  atmel->require_subcommand(1);

  atmel->add_subcommand("versions", "Show the boot loader and application versions")->callback([&runner] {
    WithAtmelUploader(runner, [](Session&, FirmwareUploader& u) {
      u.GetVersions();
      PrintVersions(u);
      return u.Connected() ? ToolOutcome::Done : ToolOutcome::Failed;
    });
  });

  auto* connect = atmel->add_subcommand("connect", "Connect to Atmel");
  connect->add_flag("--power-cycle", AtmelOpts().power_cycle, "Connect using power off sequence");
  connect->callback([&runner] {
    WithAtmelUploader(runner, [](Session&, FirmwareUploader& u) {
      u.controls.power_off_connect = AtmelOpts().power_cycle;
      const ToolOutcome outcome = u.ConnectToAtmel();
      PrintVersions(u);
      return outcome;
    });
  });

  atmel->add_subcommand("start", "Start Application")->callback([&runner] {
    WithAtmelUploader(runner, [](Session&, FirmwareUploader& u) {
      const bool ok = u.StartApplication().ok();
      std::cout << "Starting application... " << (ok ? "OK" : "FAIL") << '\n';
      return ok ? ToolOutcome::Done : ToolOutcome::Failed;
    });
  });

  auto* program = atmel->add_subcommand("program", "Program New Firmware");
  program->add_option("--flash", AtmelOpts().flash, "Flash file (.hex); default: the last one");
  auto* eeprom = program->add_option("--eeprom", AtmelOpts().eeprom, "EEPROM file (.eep or .hex); default: the last one");
  program->add_flag("--keep-eeprom", AtmelOpts().keep_eeprom, "Keep my current EEPROM file")->excludes(eeprom);
  program->add_flag("--no-erase", AtmelOpts().no_erase, "Do not erase all flash before programming");
  program->add_flag("--no-verify", AtmelOpts().no_verify, "No full verification after programming");
  program->add_flag("--no-checksum", AtmelOpts().no_checksum, "Do not insert the proper flash checksum");
  program->callback([&runner] {
    WithAtmelUploader(runner, [](Session& s, FirmwareUploader& u) {
      const AtmelOptions& o = AtmelOpts();
      if (!o.flash.empty()) u.controls.flash_file = o.flash;
      if (!o.eeprom.empty()) {
        u.controls.eeprom_file = o.eeprom;
        u.controls.keep_eeprom = false;
      }
      if (o.keep_eeprom) u.controls.keep_eeprom = true;
      u.controls.erase_flash_first = !o.no_erase;
      u.controls.verify_after_programming = !o.no_verify;
      u.controls.insert_checksum = !o.no_checksum;
      NoteVersions(u);
      const ToolOutcome outcome = u.ProgramNewFirmware();
      if (u.m_insert_checksum && u.m_flash_valid) {
        ResultFacts()["checksum_inserted"] = FormatChecksum(StoredFlashChecksum(u.m_flash_image.data()));
      }
      // The window goes on without a file that did not load; a script that
      // named it must not take the run for done.
      const auto not_programmed = u.FilesNotProgrammed();
      for (const auto& why : not_programmed) s.Ui().Error(why);
      if (outcome == ToolOutcome::Done && !u.LastRunFiles().AllGivenProgrammed()) return ToolOutcome::Failed;
      return outcome;
    });
  });

  AddReadBack(*atmel, runner, "read-flash", "flash", AtmelMemory::Flash);
  AddReadBack(*atmel, runner, "read-eeprom", "EEPROM", AtmelMemory::Eeprom);
}

}  // namespace

CORVEL_CLI_COMMAND(SetupAtmel);

}  // namespace corvel::cli
