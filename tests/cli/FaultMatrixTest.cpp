// The fault matrix: corvel-cli runs each device tool against virtual
// equipment behind the fault layer (a flipped bit, lost bytes, junk before a
// frame, a device gone silent, a cable pulled mid-transfer). Every case ends
// with the tool's message or a clean failure, in bounded time, with the
// equipment back at 19200 baud, and an output file either untouched or whole.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/format/hex/IntelHex.h"
#include "sim/FaultLayer.h"
#include "sim/MasterBoardModel.h"
#include "sim/VirtualAvr.h"
#include "sim/VirtualDeviceHost.h"
#include "sim/VirtualDsp.h"
#include "sim/VirtualPpc.h"
#include "support/CliProcess.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

using namespace std::chrono_literals;
using sim::FaultLayer;
using Bytes = std::vector<uint8_t>;

enum class Equipment { Avr, Dsp, Master, Ppc };

std::unique_ptr<sim::DeviceModel> Make(Equipment equipment) {
  switch (equipment) {
    case Equipment::Avr: return std::make_unique<sim::VirtualAvr>(sim::VirtualAvr::Mode::BootLoader);
    case Equipment::Dsp: return std::make_unique<sim::VirtualDsp>();
    case Equipment::Master: {
      // Two small devices keep a chain read short; the rest are absent.
      auto board = std::make_unique<sim::MasterBoardModel>();
      for (auto it = board->eeproms.begin(); it != board->eeproms.end();) {
        it = it->first == 2 || it->first == 3 ? std::next(it) : board->eeproms.erase(it);
      }
      return board;
    }
    case Equipment::Ppc: return std::make_unique<sim::VirtualPpc>();
  }
  return nullptr;
}

// The speed the equipment itself is at; nullopt for equipment of one speed.
std::optional<uint32_t> Speed(FaultLayer& layer, Equipment equipment) {
  if (equipment == Equipment::Avr) return layer.InnerAs<sim::VirtualAvr>().speed;
  if (equipment == Equipment::Dsp) return layer.InnerAs<sim::VirtualDsp>().speed;
  return std::nullopt;
}

// What a whole output file holds: the Intel HEX of the memory it was read from.
std::map<std::string, Bytes> Memories(FaultLayer& layer, Equipment equipment) {
  if (equipment == Equipment::Avr) return {{"out.hex", layer.InnerAs<sim::VirtualAvr>().flash}};
  if (equipment == Equipment::Dsp) {
    const auto& flash = layer.InnerAs<sim::VirtualDsp>().flash;
    return {{"out.hex", Bytes(flash.begin() + 0xE0000, flash.begin() + 0x100000)}};
  }
  if (equipment == Equipment::Master) {
    auto& board = layer.InnerAs<sim::MasterBoardModel>();
    return {{"chain/EXT_IF.eep", board.eeproms.at(2)}, {"chain/PA_MODULE_A.eep", board.eeproms.at(3)}};
  }
  return {};
}

struct Case {
  Equipment equipment;
  const char* fault;
  std::string args;
  int status;
  const char* text;  // the tool's message
  bool hangs_up = false;
};

TEST(FaultMatrix, SlowEveryFaultEndsCleanlyInBoundedTimeAtNormalSpeed) {
  TempDir dir;
  const Bytes old_file = {'o', 'l', 'd', '\n'};
  Bytes kernel(10000);
  for (std::size_t i = 0; i < kernel.size(); ++i) kernel[i] = static_cast<uint8_t>(i * 5 + (i >> 8));
  WriteBytes(dir.File("kernel.ldr"), kernel);
  const std::string out = " -o " + dir.File("out.hex");
  const std::string avr_read = "--high-speed atmel read-flash" + out;
  const std::string dsp_read = "--high-speed dsp read 1" + out;
  const std::string chain = "chain read --equipment 1 --out " + dir.File("chain");
  const std::string ppc = "kernel program " + dir.File("kernel.ldr") + " --address 0x1000";
  const char* chain_done = "Completed reading EEPROM files for all devices present";
  // Request codes: 0x76 ReadFlash, 0x75 WriteFlash (boot loader); 0x93 page
  // read (DSP loader).
  const Case cases[] = {
      {Equipment::Avr, "flip:5@0x76", avr_read, 0, "Saved"},
      {Equipment::Avr, "drop:9@0x76", avr_read, 0, "Saved"},
      {Equipment::Avr, "silent:20@0x76", avr_read, 1, "Reading Flash failed!"},
      {Equipment::Avr, "close:20@0x76", avr_read, 1, "Reading Flash failed!", true},
      {Equipment::Avr, "flip:3@0x75",
       "--high-speed --yes atmel program --keep-eeprom --no-erase --no-verify --flash " +
           TestDataPath("atmel-sample.hex"),
       0, "Programming Successful!"},
      {Equipment::Dsp, "flip:3@0x93", dsp_read, 0, "Saved"},
      {Equipment::Dsp, "junk:2@0x93", dsp_read, 0, "Saved"},
      {Equipment::Dsp, "silent:4@0x93", dsp_read, 1, "Error in reading data"},
      {Equipment::Dsp, "close:2@0x93", dsp_read, 1, "Error in reading data", true},
      {Equipment::Master, "flip:10", chain, 0, chain_done},
      {Equipment::Master, "junk:40", chain, 0, chain_done},
      {Equipment::Master, "silent:30", chain, 1, "failed to respond."},
      {Equipment::Master, "close:30", chain, 1, "stopped working; reading the chain ends.", true},
      {Equipment::Ppc, "flip:2", ppc, 0, "Programmed kernel file"},
      {Equipment::Ppc, "drop:3", ppc, 0, "Programmed kernel file"},
      {Equipment::Ppc, "silent:4", ppc, 1, "Error programming application. Retry?"},
      {Equipment::Ppc, "close:3", ppc, 1, "Error programming application. Retry?", true},
  };
  for (const auto& c : cases) {
    const std::string name = std::string(c.fault) + " " + c.args;
    std::error_code ignored;
    std::filesystem::remove_all(dir.File("chain"), ignored);
    WriteBytes(dir.File("out.hex"), old_file);
    std::string error;
    auto plan = sim::ParseFaultPlan(c.fault, &error);
    ASSERT_TRUE(plan) << error;
    plan->seed = 7;
    sim::VirtualDeviceHost host(std::make_unique<FaultLayer>(Make(c.equipment), *plan));
    ASSERT_TRUE(host.Start(&error)) << error;

    const auto started = std::chrono::steady_clock::now();
    CliProcess run("--settings " + dir.File("corvel.ini") + " --port " + host.PortPath() + " " + c.args);
    const int status = run.Wait(30s);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(status, c.status) << name << "\n" << run.Output();
    EXPECT_NE(run.Output().find(c.text), std::string::npos) << name << "\n" << run.Output();
    EXPECT_LT(took, 20s) << name;
    host.WithModel<FaultLayer>([&](FaultLayer& layer) {
      EXPECT_TRUE(layer.fired) << name << ": the fault never came";
      // A pulled cable leaves the equipment where it was.
      if (!c.hangs_up) {
        const auto speed = Speed(layer, c.equipment);
        if (speed) {
          EXPECT_EQ(*speed, 19200u) << name;
        }
      }
      for (const auto& [file, memory] : Memories(layer, c.equipment)) {
        if (!std::filesystem::exists(dir.File(file))) continue;
        const Bytes written = ReadBytes(dir.File(file));
        if (written == old_file) continue;
        const std::string whole = dir.File("whole.hex");
        EXPECT_TRUE(SaveIntelHex(whole, memory.data(), static_cast<uint32_t>(memory.size())));
        EXPECT_EQ(written, ReadBytes(whole)) << name << ": " << file << " is not whole";
      }
      return 0;
    });
    host.Stop();
  }
}

}  // namespace
}  // namespace corvel::test
