// corvel-cli kernel ... against the virtual PowerPC loader started by --simulate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CliRun.h"

namespace corvel::test {
namespace {

TEST(KernelCommands, ExitStatusFollowsTheOutcome) {
  TempDir dir;
  std::vector<uint8_t> kernel(5000);
  for (std::size_t i = 0; i < kernel.size(); ++i) kernel[i] = static_cast<uint8_t>(i * 13);
  WriteBytes(dir.File("k.ldr"), kernel);
  WriteBytes(dir.File("empty.ldr"), {});
  WriteBytes(dir.File("huge.ldr"), std::vector<uint8_t>(8388608 + 1, 0));
  const std::string k = dir.File("k.ldr");
  struct Case {
    std::string args;
    int status;
    std::string text;
  };
  const Case cases[] = {
      {"--simulate ppc kernel probe", 0, ""},
      {"--simulate avr kernel probe", 1, "Could not connect to PowerPC!"},
      {"--simulate ppc kernel program " + k + " --address 0x1000", 0,
       "Programmed kernel file " + k + " (size: 5000 bytes) successfully at address 0x00001000"},
      {"--simulate ppc kernel program " + k + " --address 1000h", 1, "Invalid format for the kernel address!"},
      {"--simulate ppc kernel program " + dir.File("empty.ldr") + " --address 0", 1,
       "Invalid Firmware File!\nThe kernel file " + dir.File("empty.ldr") + " is empty; it was not programmed."},
      {"--simulate ppc kernel program " + dir.File("huge.ldr") + " --address 0", 1,
       "Invalid Firmware File!\nThe kernel file " + dir.File("huge.ldr") +
           " is larger than the loader takes (8388608 bytes); it was not programmed."},
      {"--simulate ppc kernel program " + dir.File("none.ldr") + " --address 0", 1,
       "Invalid Firmware File!\nThe kernel file " + dir.File("none.ldr") + " cannot be opened; it was not programmed."},
      {"--simulate ppc kernel program " + dir.Path() + " --address 0", 1,
       "The kernel file " + dir.Path() + " is not a regular file; it was not programmed."},
      {"--simulate ppc kernel program " + k, 2, "--address is required"},
      {"--simulate ppc kernel start --address x1000", 0, "Started application at 0x00001000"},
      {"--simulate ppc kernel start --address ABC", 1, "Invalid format for the kernel address!"},
  };
  for (const auto& c : cases) {
    const CliRun run = RunCli(dir, c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    EXPECT_TRUE(run.Has(c.text)) << c.args << "\n" << run.output;
  }
  // A refused address leaves the stored address at the last one taken.
  const CliRun shown = RunCli(dir, "--simulate ppc --trace kernel probe");
  EXPECT_TRUE(shown.Has("New kernel address: 0x00001000")) << shown.output;
}

TEST(KernelCommands, SlowRetriesAnswerTheRetryQuestion) {
  TempDir dir;
  WriteBytes(dir.File("k.ldr"), std::vector<uint8_t>(100, 0xFE));
  // The AVR never answers at 115200: every upload fails.
  const CliRun run = RunCli(dir, "--simulate avr --retries 1 kernel program " + dir.File("k.ldr") + " --address 0");
  EXPECT_EQ(run.status, 1) << run.output;
  std::size_t asked = 0;
  for (std::size_t at = 0; (at = run.output.find("Error programming application. Retry?", at)) != std::string::npos;
       ++at) {
    ++asked;
  }
  EXPECT_EQ(asked, 2u) << run.output;
  EXPECT_FALSE(run.Has("Programmed kernel file")) << run.output;
}

}  // namespace
}  // namespace corvel::test
