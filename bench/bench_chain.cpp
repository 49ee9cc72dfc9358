// A whole Solvane chain read (14 devices, 1888 sections of 8 bytes) against
// the virtual master board replying at the line rate of 19200 baud, measured
// against its lower bound: every byte on the wire at 10 bits per byte in both
// directions, plus the pauses the link must make.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "core/base/AppSettings.h"
#include "core/base/Settings.h"
#include "core/tool/app/ToolEnv.h"
#include "core/tool/chain/DeviceChainReader.h"
#include "core/protocol/devicepacket/DevicePacket.h"
#include "core/transport/SerialPort.h"
#include "cli/ConsoleUserInterface.h"
#include "sim/MasterBoardModel.h"
#include "sim/VirtualDeviceHost.h"

int main() {
  using namespace corvel;
  using Clock = std::chrono::steady_clock;

  sim::VirtualDeviceHost host(std::make_unique<sim::MasterBoardModel>());
  host.SetPacing(true);
  std::string error;
  if (!host.Start(&error)) {
    std::fprintf(stderr, "bench_chain: cannot start the virtual master board: %s\n", error.c_str());
    return 1;
  }

  SerialPort port;
  port.SetPortName(host.PortPath());
  port.SetBaudRate(SerialPort::kDefaultBaud);
  if (!port.Open()) {
    std::fprintf(stderr, "bench_chain: cannot open %s\n", host.PortPath().c_str());
    return 1;
  }

  std::istringstream in;
  std::ostringstream out;
  ConsoleUserInterface ui(in, out, out, ConsoleAnswerPolicy{});
  MemorySettings store;
  AppSettings app;
  ToolEnv env{ui, port, app, store, "./"};

  const auto folder = std::filesystem::temp_directory_path() / "corvel-bench-chain";
  std::filesystem::create_directories(folder);

  uint64_t sleep_ms = 0;
  SetLinkSleepObserver([&](uint32_t ms) { sleep_ms += ms; });

  DeviceChainReader reader(env);
  reader.Open();
  reader.SetOutputDirectory(folder.string());
  const auto start = Clock::now();
  const ChainRunSummary summary = reader.GetEepromFiles();
  const double measured = std::chrono::duration<double>(Clock::now() - start).count();
  SetLinkSleepObserver(nullptr);
  port.Close();

  const uint64_t bytes_out = host.BytesReceived();
  const uint64_t bytes_in = host.BytesSent();
  host.Stop();
  std::filesystem::remove_all(folder);

  if (summary.outcome != ChainRunSummary::Outcome::Completed || summary.files_written.size() != 14) {
    std::fprintf(stderr, "bench_chain: the chain read did not complete (%zu files)\n", summary.files_written.size());
    return 1;
  }
  const double wire = static_cast<double>(bytes_out + bytes_in) * 10.0 / SerialPort::kDefaultBaud;
  const double pauses = static_cast<double>(sleep_ms) / 1000.0;
  const double bound = wire + pauses;
  std::printf("whole Solvane chain, 14 files, 19200 baud, board paced at the line rate\n");
  std::printf("  bytes on the wire: %llu out, %llu in (%.3f s at 10 bits per byte)\n",
              static_cast<unsigned long long>(bytes_out), static_cast<unsigned long long>(bytes_in), wire);
  std::printf("  pauses the link must make: %.3f s\n", pauses);
  std::printf("  lower bound: %.3f s\n", bound);
  std::printf("  measured:    %.3f s\n", measured);
  std::printf("  ratio:       %.3f (target <= 1.10)\n", measured / bound);
  return 0;
}
