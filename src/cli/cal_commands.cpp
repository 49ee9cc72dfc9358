// corvel-cli cal retrieve|send|show|text: "Send or Receive Calibration Data"
// as commands. --equipment is the window's list (0..7); choosing the K35 (2)
// ticks relaying as the window does, and --relay ticks it for any entry.
#include <cctype>
#include <iostream>
#include <string>

#include "cli/Cli.h"
#include "cli/DeviceToolsCli.h"
#include "core/tool/devicetools/CalibrationTransfer.h"

namespace corvel::cli {
namespace {

struct CalOptions {
  std::string file;
  std::string output;
  std::string text_output;
  int equipment = kCalEquipmentUnknown;
  bool relay = false;
  std::string position = "A";
};

// The window's controls as the options set them.
void SetControls(CalibrationTransfer& tool, const CalOptions& o) {
  tool.Open();
  tool.SetEquipment(o.equipment);
  if (o.relay) tool.SetRelay(true);
  tool.SetPosition(std::toupper(static_cast<unsigned char>(o.position[0])) - 'A');
}

void PrintBoxes(const CalibrationTransfer& tool) {
  std::cout << kCalScaleFactorsLabel << '\n' << ConsoleLines(tool.ScaleFactorBox()) << '\n';
  std::cout << kCalThresholdsLabel << '\n' << ConsoleLines(tool.ThresholdBox()) << '\n';
}

void AddEquipment(CLI::App* command, CalOptions& o, bool with_relay) {
  std::string help = "Attached equipment:";
  for (std::size_t i = 0; i < CalibrationEquipmentList().size(); ++i) {
    help += (i ? ", " : " ") + std::to_string(i) + " " + CalibrationEquipmentList()[i];
  }
  command->add_option("--equipment", o.equipment, help)->check(CLI::Range(0, kCalEquipmentCount - 1));
  if (!with_relay) return;
  command->add_flag("--relay", o.relay, "Serial connection is through another device");
  command->add_option("--position", o.position, "Position A to H of the relayed device")
      ->check(CLI::IsMember({"A", "B", "C", "D", "E", "F", "G", "H"}, CLI::ignore_case));
}

void SetupCal(CLI::App& app, Runner& runner) {
  static CalOptions o;
  auto* cal = app.add_subcommand("cal", "Send or Receive Calibration Data");
  cal->require_subcommand(1);

  auto* retrieve = cal->add_subcommand("retrieve", "Retrieve the calibration from the device into a .cal file");
  retrieve->add_option("-o,--output", o.output, "The .cal file to write")->required();
  retrieve->add_option("--text", o.text_output, "Also write the text export here");
  AddEquipment(retrieve, o, true);
  retrieve->callback([&runner] {
    runner.Run([](Session& s) {
      return s.RunTool(ToolId::SendReceiveCalibration, [&] {
        CalibrationTransfer tool(s.Env());
        SetControls(tool, o);
        if (tool.RetrieveFromDevice() != ToolOutcome::Done) {
          std::cerr << "corvel-cli: the calibration could not be retrieved; nothing written\n";
          return false;
        }
        PrintBoxes(tool);
        if (tool.SaveFile(o.output) != ToolOutcome::Done) return false;
        std::cout << "Wrote " << o.output << '\n';
        if (o.text_output.empty()) return true;
        if (tool.SaveTextFile(o.text_output) != ToolOutcome::Done) return false;
        std::cout << "Wrote " << o.text_output << '\n';
        return true;
      });
    });
  });

  auto* send = cal->add_subcommand("send", "Send a .cal file's calibration to the device");
  send->add_option("FILE", o.file, "The .cal file")->required();
  AddEquipment(send, o, true);
  send->callback([&runner] {
    runner.Run([](Session& s) {
      return s.RunTool(ToolId::SendReceiveCalibration, [&] {
        CalibrationTransfer tool(s.Env());
        SetControls(tool, o);
        if (tool.LoadFile(o.file) != ToolOutcome::Done) return false;
        if (tool.SendToDevice() != ToolOutcome::Done) {
          std::cerr << "corvel-cli: the device did not take the calibration\n";
          return false;
        }
        std::cout << "Sent " << tool.Data().scale_factors.size() << " scale factors and "
                  << tool.Data().thresholds.size() << " threshold values\n";
        return true;
      });
    });
  });

  auto* show = cal->add_subcommand("show", "Print a .cal file as the window's two boxes show it");
  show->add_option("FILE", o.file, "The .cal file")->required();
  AddEquipment(show, o, false);
  show->callback([&runner] {
    runner.Run([](Session& s) {
      CalibrationTransfer tool(s.Env());
      SetControls(tool, o);
      if (tool.LoadFile(o.file) != ToolOutcome::Done) return kExitFailed;
      PrintBoxes(tool);
      return kExitOk;
    });
  });

  auto* text = cal->add_subcommand("text", "Write a .cal file's text export");
  text->add_option("FILE", o.file, "The .cal file")->required();
  text->add_option("-o,--output", o.output, "The text file to write")->required();
  AddEquipment(text, o, false);
  text->callback([&runner] {
    runner.Run([](Session& s) {
      CalibrationTransfer tool(s.Env());
      SetControls(tool, o);
      if (tool.LoadFile(o.file) != ToolOutcome::Done) return kExitFailed;
      return tool.SaveTextFile(o.output) == ToolOutcome::Done ? kExitOk : kExitFailed;
    });
  });
}

}  // namespace

CORVEL_CLI_COMMAND(SetupCal);

}  // namespace corvel::cli
