// corvel-cli chain read: "Read Device Chain EEPROM Files" as a command. It runs
// the window's controller; a silent device's Abort/Retry/Ignore question is
// answered by --retries (Retry) and then --yes (Ignore), else Abort.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/Cli.h"
#include "cli/ConsoleOutput.h"
#include "cli/JsonEvents.h"
#include "core/tool/chain/DeviceChainReader.h"

namespace corvel::cli {

namespace {

struct ChainReadOptions {
  int equipment = kChainEquipmentDefault;
  std::string out;
  std::string prefix;
  std::string suffix;
  std::string serials;
  std::optional<int> serial_position;
};

// One line on the terminal per device, rewritten as its sections go by.
class TerminalSectionLine {
 public:
  void Show(const ChainSectionProgress& p) {
    if (m_open && p.section == 1) std::fputc('\n', stderr);
    std::fprintf(stderr, "\r%s: section %d of %d, %d%%   ", p.device_name.c_str(), p.section, p.sections, p.percent);
    std::fflush(stderr);
    m_open = true;
  }
  void End() {
    if (m_open) std::fputc('\n', stderr);
    m_open = false;
  }

 private:
  bool m_open = false;
};

int RunChainRead(Session& s, const ChainReadOptions& o) {
  // A folder named on the command line is made if it is missing; the
  // window's folder picker only offers existing ones.
  std::error_code error;
  std::filesystem::create_directories(o.out, error);
  if (!std::filesystem::is_directory(o.out)) {
    std::cerr << "corvel-cli: cannot make the output directory " << TerminalSafe(o.out) << '\n';
    return kExitFailed;
  }
  return s.RunTool(ToolId::ReadDeviceChain, [&] {
    DeviceChainReader reader(s.Env());
    reader.Open();
    reader.SetEquipment(o.equipment);
    reader.SetOutputDirectory(o.out);
    reader.SetPrefix(o.prefix);
    reader.SetSuffix(o.suffix);
    reader.SetSerialFile(o.serials);
    // A list without a position would be ignored; put it at the start.
    reader.SetSerialPosition(o.serial_position.value_or(o.serials.empty() ? kSerialDisabled : kSerialAtStart));

    // On a terminal the section line replaces the plain bar.
    TerminalSectionLine line;
    if (s.Ui().Policy().progress) {
      s.Ui().Policy().progress = false;
      reader.on_section = [&line](const ChainSectionProgress& p) { line.Show(p); };
    }
    const ChainRunSummary summary = reader.GetEepromFiles();
    line.End();
    reader.Close();

    for (const auto& path : summary.files_written) std::cout << "Wrote " << TerminalSafe(path) << '\n';
    for (const auto& name : summary.devices_absent) std::cout << "Not present: " << name << '\n';
    for (const auto& name : summary.devices_ignored) std::cout << "Ignored: " << name << '\n';
    for (const auto& path : summary.files_not_written) std::cout << "Not written: " << TerminalSafe(path) << '\n';
    nlohmann::json& facts = ResultFacts();
    facts["devices_absent"] = summary.devices_absent;
    facts["devices_ignored"] = summary.devices_ignored;
    facts["files_not_written"] = summary.files_not_written;
    return ExitStatus(summary.Result()) == kExitOk;
  });
}

void SetupChain(CLI::App& app, Runner& runner) {
  static ChainReadOptions options;
  auto* chain = app.add_subcommand("chain", "Device chain EEPROM files");
  auto* read = chain->add_subcommand("read", "Read Device Chain EEPROM Files: every device's EEPROM into .eep files");
  std::string equipment_help = "Attached equipment:";
  for (std::size_t i = 0; i < ChainEquipmentList().size(); ++i) {
    equipment_help += (i ? ", " : " ") + std::to_string(i) + " " + ChainEquipmentList()[i];
  }
  read->add_option("--equipment", options.equipment, equipment_help)
      ->required()
      ->check(CLI::Range(0, static_cast<int>(ChainEquipmentList().size()) - 1));
  read->add_option("--out", options.out, "Output directory")->required();
  read->add_option("--prefix", options.prefix, "Prefix added to all file names");
  read->add_option("--suffix", options.suffix, "Suffix added to all file names");
  read->add_option("--serials", options.serials, "Serial number list: line n for the n-th device")
      ->check(CLI::ExistingFile);
  read->add_option("--serial-position", options.serial_position,
                   "Serial number: 0 disabled, 1 start of file name (default with --serials), 2 end of file name")
      ->check(CLI::Range(0, 2));
  read->callback([&runner] { runner.Run([](Session& s) { return RunChainRead(s, options); }); });
  chain->require_subcommand(1);
}

}  // namespace

CORVEL_CLI_COMMAND(SetupChain);

}  // namespace corvel::cli
