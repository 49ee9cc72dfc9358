// corvel-cli dsp ...: the "Upload DSP Firmware" tool from the command line.
// Every command opens the tool as the launcher would (connecting, the
// board's last files), presses one button, and closes it again. The exit
// status is the button's outcome.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>

#include "cli/Cli.h"
#include "core/base/Text.h"
#include "core/tool/dsp/DspUploader.h"

namespace corvel::cli {

namespace {

struct DspOptions {
  std::vector<std::string> files;  // K=PATH
  std::vector<int> binary;
  int row = 0;
  bool read_binary = false;
  std::string out;
  std::string verify;
  bool view = false;
};

DspOptions& DspOpts() {
  static DspOptions options;
  return options;
}

int WithDspUploader(Runner& runner, const std::function<ToolOutcome(Session&, DspUploader&)>& button) {
  return RunToolButton<DspUploader>(runner, ToolId::UploadDspFirmware, button);
}

void PrintMap(DspUploader& u) {
  const CDSPLoader& loader = u.Loader();
  std::cout << "Board: " << loader.BoardName() << '\n';
  for (uint32_t k = 0; k < dsp::kMaxSections; ++k) {
    const DspMemorySection& s = loader.Section(k);
    if (!s.valid) continue;
    char line[200];
    std::snprintf(line, sizeof line,
                  "Section %u: %s (.%s) start 0x%08X size 0x%08X checksum %u duplicate %u flags 0x%08X", k,
                  s.section_name.c_str(), s.extension.c_str(), s.start_address, s.size, s.requires_checksum,
                  s.requires_duplicate, s.special_flags);
    std::cout << line << '\n';
  }
}

// "K=PATH" with K a row 0..4.
std::optional<std::pair<int, std::string>> ParseRowFile(const std::string& text) {
  const auto eq = text.find('=');
  if (eq != 1 || text[0] < '0' || text[0] > '4' || text.size() < 3) return std::nullopt;
  return std::make_pair(text[0] - '0', text.substr(2));
}

void SetupDsp(CLI::App& app, Runner& runner) {
  auto* dsp = app.add_subcommand("dsp", "Upload DSP Firmware: the DSP boot loader");
  dsp->require_subcommand(1);

  dsp->add_subcommand("connect", "Connect and show the loader's memory map")->callback([&runner] {
    // Opening the tool connects and says how that went.
    WithDspUploader(runner, [](Session&, DspUploader& u) {
      if (!u.Connected()) return ToolOutcome::Failed;
      PrintMap(u);
      return ToolOutcome::Done;
    });
  });

  auto* program = dsp->add_subcommand("program", "Program New Firmware");
  program
      ->add_option("--file", DspOpts().files, "Row K (0..4) from PATH; the rows given are the ones programmed")
      ->type_name("K=PATH")
      ->required()
      ->check([](const std::string& text) {
        return ParseRowFile(text) ? std::string() : std::string("expected K=PATH with K from 0 to 4");
      });
  program->add_option("--binary", DspOpts().binary, "Row K's file is raw bytes, not Intel HEX")
      ->check(CLI::Range(0, 4));
  program->callback([&runner] {
    WithDspUploader(runner, [](Session& s, DspUploader& u) {
      const DspOptions& o = DspOpts();
      std::map<int, std::string> rows;
      for (const auto& text : o.files) rows[ParseRowFile(text)->first] = ParseRowFile(text)->second;
      for (int k = 0; k < DspUploader::kRows; ++k) {
        const auto given = rows.find(k);
        if (!u.ProgramToggled(k, given != rows.end()) && u.Connected()) {
          s.Ui().Error(corvel::Format("Row %d is not in the board's memory map: %s was not programmed.", k,
                                      given->second.c_str()));
          return ToolOutcome::Failed;
        }
        if (given == rows.end()) continue;
        u.SetPath(k, given->second);
        for (int b : o.binary) {
          if (b == k) u.SetBinary(k, true);
        }
      }
      const ToolOutcome outcome = u.ProgramNewFirmware();
      // The window asks to recover a file that is not there at all; a
      // script's log should say what was wrong with it.
      for (const auto& [k, path] : rows) {
        std::error_code error;
        const auto type = std::filesystem::status(path, error).type();
        if (type == std::filesystem::file_type::regular) continue;
        const bool exists = type != std::filesystem::file_type::not_found && !error;
        s.Ui().Error(corvel::Format("The file %s for row %d %s; it was not programmed.", path.c_str(), k,
                                    exists ? "is not a regular file" : "cannot be opened"));
      }
      return outcome;
    });
  });

  auto* read = dsp->add_subcommand("read", "Read a memory section, then save, verify or view it");
  read->add_option("row", DspOpts().row, "The row (memory section) 0..4")->required()->check(CLI::Range(0, 4));
  auto* group = read->add_option_group("action");
  group->add_option("-o,--output", DspOpts().out, "Save it to this file");
  group->add_option("--verify", DspOpts().verify, "Compare it with this file");
  group->add_flag("--view", DspOpts().view, "Show it as a hex dump");
  group->require_option(1);
  read->add_flag("--binary", DspOpts().read_binary, "Save or compare raw bytes, not Intel HEX");
  read->callback([&runner] {
    WithDspUploader(runner, [](Session& s, DspUploader& u) {
      const DspOptions& o = DspOpts();
      if (o.read_binary) u.SetBinary(o.row, true);
      if (!o.out.empty()) {
        s.Ui().QueueReadBackOption(ReadBackOption::Save);
        s.Ui().QueueFile(o.out);
      } else if (!o.verify.empty()) {
        s.Ui().QueueReadBackOption(ReadBackOption::Verify);
        s.Ui().QueueFile(o.verify);
      } else {
        s.Ui().QueueReadBackOption(ReadBackOption::View);
      }
      if (!u.GetRow(o.row).visible) {
        std::cerr << "corvel-cli: the loader has no section " << o.row << '\n';
        return ToolOutcome::NothingDone;
      }
      const ToolOutcome outcome = u.Read(o.row);
      if (outcome == ToolOutcome::Done && !o.out.empty()) std::cout << "Saved " << o.out << '\n';
      return outcome;
    });
  });

  dsp->add_subcommand("start", "Start Application")->callback([&runner] {
    WithDspUploader(runner, [](Session&, DspUploader& u) { return u.StartApplication(); });
  });
}

}  // namespace

CORVEL_CLI_COMMAND(SetupDsp);

}  // namespace corvel::cli
