// corvel-cli kernel ...: the "Pyrel Kernel Uploader" from the command line.
// Every command opens the tool as the launcher would (at 115200 baud, the
// stored file and address, connecting), presses one button and closes it;
// the line is back at 19200 afterwards.
#include <iostream>

#include "cli/Cli.h"
#include "core/tool/kernel/KernelUploader.h"

namespace corvel::cli {

namespace {

struct KernelOptions {
  std::string file;
  std::string address;
};

KernelOptions& KernelOpts() {
  static KernelOptions options;
  return options;
}

// Opens the tool, runs the button, closes the tool; the exit status comes
// from the button's outcome.
void WithKernelUploader(Runner& runner, const std::function<ToolOutcome(Session&, KernelUploader&)>& button) {
  runner.Run([&](Session& s) {
    return s.RunTool(ToolId::UploadPyrelKernel, [&] {
      KernelUploader uploader(s.Env());
      const ToolOutcome outcome = button(s, uploader);
      uploader.Close();
      return ExitStatus(outcome) == kExitOk;
    });
  });
}

void SetupKernel(CLI::App& app, Runner& runner) {
  auto* kernel = app.add_subcommand("kernel", "Pyrel Kernel Uploader: the PowerPC kernel loader");
  kernel->require_subcommand(1);

  kernel->add_subcommand("probe", "Connect to Pyrel")->callback([&runner] {
    WithKernelUploader(runner, [](Session&, KernelUploader& u) { return u.Open(); });
  });

  auto* program = kernel->add_subcommand("program", "Program Kernel");
  program->add_option("FILE", KernelOpts().file, "Kernel file (any extension, typically .ldr)")->required();
  program->add_option("--address", KernelOpts().address, "Kernel starting address: 0x1000, x1000 or 4096")->required();
  program->callback([&runner] {
    WithKernelUploader(runner, [](Session& s, KernelUploader& u) {
      u.Open();
      u.controls.file_path = KernelOpts().file;
      u.controls.address_text = KernelOpts().address;
      const ToolOutcome outcome = u.Program();
      // The window's "Invalid Firmware File!" does not say why; a script's log should.
      if (const std::string why = u.FileProblemText(); !why.empty()) s.Ui().Error(why);
      if (outcome == ToolOutcome::Done) {
        std::cout << "Programmed kernel file " << u.controls.file_path << " (size: " << u.Image().size()
                  << " bytes) successfully at address " << FormatKernelAddress(u.Address()) << '\n';
      }
      return outcome;
    });
  });

  auto* start = kernel->add_subcommand("start", "Start Application");
  start->add_option("--address", KernelOpts().address, "Kernel starting address: 0x1000, x1000 or 4096")->required();
  start->callback([&runner] {
    WithKernelUploader(runner, [](Session&, KernelUploader& u) {
      u.Open();
      u.controls.address_text = KernelOpts().address;
      const ToolOutcome outcome = u.Start();
      if (outcome == ToolOutcome::Done) std::cout << "Started application at " << FormatKernelAddress(u.Address()) << '\n';
      return outcome;
    });
  });
}

}  // namespace

CORVEL_CLI_COMMAND(SetupKernel);

}  // namespace corvel::cli
