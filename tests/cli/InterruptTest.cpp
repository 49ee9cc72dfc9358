// Interrupting corvel-cli mid-run (SIGINT, SIGTERM, SIGHUP) against virtual
// equipment served by this process on a pseudo-terminal: the run ends as a
// cancelled run, the equipment is back at 19200 baud, the program exits
// 128 + the signal, and the next run talks to the equipment at once.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/format/hex/IntelHex.h"
#include "sim/VirtualAvr.h"
#include "sim/VirtualDeviceHost.h"
#include "sim/VirtualDsp.h"
#include "support/CliProcess.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

using namespace std::chrono_literals;
using sim::VirtualAvr;
using sim::VirtualDsp;

struct Case {
  const char* name;
  int signal_number;
  std::string args;                                    // after --port
  std::function<bool(sim::VirtualDeviceHost&)> mid_run;  // the moment to send the signal
  std::function<uint32_t(sim::VirtualDeviceHost&)> speed;
  std::function<int(sim::VirtualDeviceHost&)> work;     // pages or reads done
  int whole;                                            // what the uninterrupted run does
  std::string next_run;                                 // must succeed at 19200 afterwards
  std::string next_text;
};

int AvrFlashWork(sim::VirtualDeviceHost& host) {
  return host.WithModel<VirtualAvr>([](VirtualAvr& m) { return m.counters.flash_writes + m.counters.flash_erases; });
}
int AvrReads(sim::VirtualDeviceHost& host) {
  return host.WithModel<VirtualAvr>([](VirtualAvr& m) { return m.counters.flash_reads; });
}
int AvrEepromReads(sim::VirtualDeviceHost& host) {
  return host.WithModel<VirtualAvr>([](VirtualAvr& m) { return m.counters.eeprom_reads; });
}
uint32_t AvrSpeed(sim::VirtualDeviceHost& host) {
  return host.WithModel<VirtualAvr>([](VirtualAvr& m) { return m.speed; });
}
uint32_t DspSpeed(sim::VirtualDeviceHost& host) {
  return host.WithModel<VirtualDsp>([](VirtualDsp& m) { return m.speed; });
}
int DspPages(sim::VirtualDeviceHost& host) {
  return host.WithModel<VirtualDsp>([](VirtualDsp& m) { return m.counters.raw_pages + m.counters.rle_pages; });
}

// The equipment works at the pace of a real line and a real flash, so a run
// lasts long enough to be interrupted in the phase the case names.
std::unique_ptr<sim::VirtualDeviceHost> Serve(bool dsp) {
  std::unique_ptr<sim::DeviceModel> model;
  if (dsp) {
    auto d = std::make_unique<VirtualDsp>();
    d->timing.wait_for_request = true;
    model = std::move(d);
  } else {
    auto avr = std::make_unique<VirtualAvr>(VirtualAvr::Mode::BootLoader);
    avr->timing = VirtualAvr::DataSheetTiming();
    model = std::move(avr);
  }
  auto host = std::make_unique<sim::VirtualDeviceHost>(std::move(model));
  host->SetPacing(true);
  std::string error;
  EXPECT_TRUE(host->Start(&error)) << error;
  return host;
}

TEST(Interrupt, SlowASignalMidRunCancelsItAndLeavesTheLineAt19200) {
  TempDir dir;
  std::vector<uint8_t> flash(0x20000, 0xFF);
  for (std::size_t i = 0; i < 0x1DF00; ++i) flash[i] = static_cast<uint8_t>(i * 13 + 1);
  ASSERT_TRUE(SaveIntelHex(dir.File("app.hex"), flash.data(), 0x20000));
  std::vector<uint8_t> firmware(0xC0000);
  for (std::size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<uint8_t>(i * 7 + i / 251);
  WriteBytes(dir.File("fw.bin"), firmware);
  const std::string program = "--high-speed --yes atmel program --keep-eeprom --no-checksum --flash " + dir.File("app.hex");
  const auto avr_at_high = [](int pages) {
    return [pages](sim::VirtualDeviceHost& h) { return AvrSpeed(h) == VirtualAvr::kHighBaud && AvrFlashWork(h) >= pages; };
  };
  const std::string avr_versions = "atmel versions";
  const std::string avr_answer = "Current Boot Loader Version: 1 2 3 4";
  const Case cases[] = {
      {"SIGINT while erasing", SIGINT, program, avr_at_high(20), AvrSpeed, AvrFlashWork, 480, avr_versions,
       avr_answer},
      {"SIGTERM while programming", SIGTERM, program + " --no-erase", avr_at_high(20), AvrSpeed, AvrFlashWork, 480,
       avr_versions, avr_answer},
      {"SIGHUP while verifying the EEPROM", SIGHUP,
       "--high-speed --yes atmel program --flash " + dir.File("none.txt") + " --eeprom " +
           TestDataPath("atmel-sample.eep"),
       [](sim::VirtualDeviceHost& h) { return AvrSpeed(h) == VirtualAvr::kHighBaud && AvrEepromReads(h) >= 20; },
       AvrSpeed, AvrEepromReads, 256, avr_versions, avr_answer},
      {"SIGINT while reading back", SIGINT, "--high-speed atmel read-flash -o " + dir.File("read.hex"),
       [](sim::VirtualDeviceHost& h) { return AvrSpeed(h) == VirtualAvr::kHighBaud && AvrReads(h) >= 20; },
       AvrSpeed, AvrReads, 512, avr_versions, avr_answer},
      {"SIGTERM while programming the DSP", SIGTERM, "--high-speed dsp program --binary 0 --file 0=" + dir.File("fw.bin"),
       // Under a heavy load the loader may miss the switch to 115200; the
       // run then goes on at 19200, and the signal must still end it.
       [](sim::VirtualDeviceHost& h) { return DspPages(h) >= 2; },
       DspSpeed, DspPages, 48, "dsp connect", "Connected to DSP successfully!"},
  };
  for (const auto& c : cases) {
    const bool dsp = c.args.find("dsp ") != std::string::npos;
    auto host = Serve(dsp);
    const std::string port = "--settings " + dir.File("corvel.ini") + " --port " + host->PortPath() + " ";
    CliProcess child(port + c.args);
    ASSERT_TRUE(WaitFor([&] { return c.mid_run(*host); }, 60s)) << c.name;
    child.Signal(c.signal_number);
    const int status = child.Wait(30s);
    EXPECT_EQ(status, 128 + c.signal_number) << c.name << "\n" << child.Output();
    EXPECT_EQ(c.speed(*host), 19200u) << c.name;
    EXPECT_LT(c.work(*host), c.whole) << c.name << ": the run went on after the signal";
    EXPECT_EQ(child.Output().find("Programming Successful!"), std::string::npos) << c.name;
    EXPECT_FALSE(std::filesystem::exists(dir.File("read.hex"))) << c.name;
    const CliRun next = RunCli(dir, "--port " + host->PortPath() + " " + c.next_run);
    EXPECT_EQ(next.status, 0) << c.name << "\n" << next.output;
    EXPECT_TRUE(next.Has(c.next_text)) << c.name << "\n" << next.output;
  }
}

}  // namespace
}  // namespace corvel::test
