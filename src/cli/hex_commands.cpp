// corvel-cli hex ...: the Checksum Generator, Merge Hex Files and the hex
// viewer as commands. Each runs the same controller as its window; "-o OUT"
// answers the save dialog.
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>

#include "cli/Cli.h"
#include "core/format/hex/HexDump.h"
#include "core/tool/hex/ChecksumGenerator.h"
#include "core/tool/hex/HexTools.h"
#include "core/tool/hex/MergeHexFiles.h"

namespace corvel::cli {
namespace {

// Larger images than this are no hex file the tools deal with.
constexpr uint32_t kMaxDumpSize = 256u * 1024 * 1024;

struct HexOptions {
  std::string file;
  std::string second;
  std::string output;
  std::string boot_loader;
  std::optional<uint32_t> size;
  bool trim = false;
};

void SetupHex(CLI::App& app, Runner& runner) {
  static HexOptions o;
  auto* hex = app.add_subcommand("hex", "Intel HEX files: checksum, merge, dump");
  hex->require_subcommand(1);

  auto* checksum = hex->add_subcommand("checksum", "Print the application checksum as \"Generate!\" shows it");
  checksum->add_option("FILE", o.file, "Flash (.hex) or EEPROM (.eep) file")->required();
  checksum->callback([&runner] {
    runner.Run([](Session& s) {
      ChecksumGenerator tool(s.Env());
      tool.m_flash_file = o.file;
      if (!tool.Generate()) return kExitFailed;
      std::cout << tool.m_generated_checksum << '\n';
      return kExitOk;
    });
  });

  auto* insert = hex->add_subcommand("insert-checksum",
                                     "Insert the checksum at 0x1DF04 (\"Apply to File\"), optionally merging a boot loader");
  insert->add_option("FILE", o.file, "Flash file (.hex)")->required();
  insert->add_option("-o,--output", o.output, "The file to write")->required();
  insert->add_option("--bootloader", o.boot_loader, "Boot loader file whose 0x1E000-0x1FFFF is merged in");
  insert->callback([&runner] {
    runner.Run([](Session& s) {
      ChecksumGenerator tool(s.Env());
      tool.m_flash_file = o.file;
      tool.m_merge_boot_loader = !o.boot_loader.empty();
      if (tool.m_merge_boot_loader) tool.m_boot_loader_file = o.boot_loader;
      s.Ui().QueueFile(o.output);
      const bool saved = tool.Apply();
      if (!tool.m_generated_checksum.empty()) std::cout << tool.m_generated_checksum << '\n';
      return saved ? kExitOk : kExitFailed;
    });
  });

  auto* merge = hex->add_subcommand("merge", "Merge two .hex (or two .eep) files into one Intel HEX file");
  merge->add_option("FIRST", o.file, "First file")->required();
  merge->add_option("SECOND", o.second, "Second file")->required();
  merge->add_option("-o,--output", o.output, "The file to write")->required();
  merge->callback([&runner] {
    runner.Run([](Session& s) {
      MergeHexFiles tool(s.Env());
      tool.m_first_file = o.file;
      tool.m_second_file = o.second;
      s.Ui().QueueFile(o.output);
      return tool.Merge() ? kExitOk : kExitFailed;
    });
  });

  auto* dump = hex->add_subcommand("dump", "Print the file as the hex viewer shows it");
  dump->add_option("FILE", o.file, "Intel HEX file")->required();
  dump->add_option("--size", o.size, "Image size in bytes (default 131072 for .hex, 4096 for .eep)")
      ->check(CLI::Range(1u, kMaxDumpSize));
  dump->add_flag("--trim", o.trim, "End after the last byte that is not 0xFF");
  dump->callback([&runner] {
    runner.Run([](Session& s) {
      const auto image = LoadHexFileToView(s.Ui(), o.file, o.size);
      if (!image) return kExitFailed;
      // The viewer's text byte for byte (CR LF between lines), printed as it
      // is made: a large image's text never sits whole in memory. Then one
      // line feed so that the shell prompt starts on a line of its own.
      bool printed = false;
      const bool written = WriteHexDump(image->data(), image->size(), o.trim, [&printed](std::string_view piece) {
        printed = true;
        return static_cast<bool>(std::cout.write(piece.data(), static_cast<std::streamsize>(piece.size())));
      });
      if (printed) std::cout << '\n';
      std::cout.flush();
      return written && std::cout ? kExitOk : kExitFailed;
    });
  });
}
CORVEL_CLI_COMMAND(SetupHex);

}  // namespace
}  // namespace corvel::cli
