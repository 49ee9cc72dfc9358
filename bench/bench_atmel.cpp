// A full "Program New Firmware" run at 115200 baud against the virtual AVR
// pacing its replies at the line rate: erase, program and verify all 480
// flash pages, program and verify all 256 EEPROM blocks. Prints the run
// time against the lower bound (every byte each way at 10 bits per byte
// plus the device's stated per-command times) and the program's CPU share.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/base/AppSettings.h"
#include "core/base/Settings.h"
#include "core/protocol/atmel/AtmelProtocol.h"
#include "core/tool/atmel/FirmwareUploader.h"
#include "core/format/hex/IntelHex.h"
#include "core/transport/SerialPort.h"
#include "sim/VirtualAvr.h"
#include "sim/VirtualDeviceHost.h"

using namespace corvel;
using namespace corvel::atmel;

namespace {

// Answers Yes, shows nothing, never cancels.
class QuietDisplay : public ProgressDisplay {
 public:
  bool OwnerEnabled() const override { return true; }
  void SetOwnerEnabled(bool) override {}
  bool CreateWindow(const std::string&, bool, ProgressWindow&) override { return true; }
  void SetBar(int) override {}
  void SetText(const std::string&) override {}
  void PumpMessages() override {}
  void DestroyWindow() override {}
};

class QuietUi : public UserInterface {
 public:
  Answer ShowMessage(const Message& m) override {
    last = m.text;
    return m.buttons == MessageButtons::YesNo ? Answer::Yes : Answer::Ok;
  }
  std::optional<std::string> ChooseFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }
  ReadBackOption ChooseReadBackOption() override { return ReadBackOption::Cancel; }
  void ShowHexViewer(const std::string&) override {}
  std::unique_ptr<ProgressWindow> MakeProgressWindow(unsigned id, const std::string& text) override {
    return std::make_unique<ProgressWindow>(id, text, std::make_unique<QuietDisplay>());
  }
  std::string last;
};

double ThreadCpuSeconds() {
  struct rusage usage {};
  ::getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ProcessCpuSeconds() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double LineSeconds(double bytes, double baud) { return bytes * 10.0 / baud; }

}  // namespace

int main() {
  auto model = std::make_unique<sim::VirtualAvr>(sim::VirtualAvr::Mode::BootLoader);
  const sim::VirtualAvr::Timing t = sim::VirtualAvr::DataSheetTiming();
  model->timing = t;
  sim::VirtualDeviceHost host(std::move(model));
  std::string error;
  if (!host.Start(&error)) {
    std::fprintf(stderr, "cannot start the virtual AVR: %s\n", error.c_str());
    return 1;
  }
  host.SetPacing(true);

  // Images with data in every page and block, so nothing is skipped.
  std::vector<uint8_t> flash(kFlashImageSize, 0xFF), eeprom(kEepromImageSize);
  uint32_t x = 12345;
  for (uint32_t i = 0; i < kApplicationAreaSize; ++i) flash[i] = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  const std::string description = "Trelmark AVR";
  std::fill_n(flash.begin() + kApplicationAreaSize, 256, 0);
  std::copy(description.begin(), description.end(), flash.begin() + kFlashDescriptionOffset);
  for (uint32_t i = 0; i < kEepromImageSize; ++i) eeprom[i] = static_cast<uint8_t>(i * 7);
  const auto dir = std::filesystem::temp_directory_path() / ("corvel-bench-atmel-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string flash_path = (dir / "bench.hex").string();
  const std::string eeprom_path = (dir / "bench.eep").string();
  SaveIntelHex(flash_path, flash.data(), kFlashImageSize);
  SaveIntelHex(eeprom_path, eeprom.data(), kEepromImageSize);

  QuietUi ui;
  SerialPort port;
  MemorySettings store;
  AppSettings app;
  app.use_turbo_baud_rate = 1;
  app.last_fw_file = flash_path;
  app.last_eeprom_file = eeprom_path;
  app.keep_eeprom = 0;
  port.SetPortName(host.PortPath());
  port.SetBaudRate(kNormalBaud);
  if (!port.Open()) {
    std::fprintf(stderr, "cannot open %s\n", host.PortPath().c_str());
    return 1;
  }
  ToolEnv env{ui, port, app, store, "./"};
  FirmwareUploader uploader(env);
  uploader.Open();

  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = ThreadCpuSeconds();
  const double process_start = ProcessCpuSeconds();
  const auto result = uploader.ProgramNewFirmware();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = ThreadCpuSeconds() - cpu_start;
  const double process = ProcessCpuSeconds() - process_start;
  uploader.Close();
  std::filesystem::remove_all(dir);
  if (result != ToolOutcome::Done) {
    std::fprintf(stderr, "the run did not succeed: %s\n", ui.last.c_str());
    return 1;
  }

  // Lower bound: the bytes each exchange must carry, and the device's time.
  const double hi = kHighBaud, lo = kNormalBaud, us = 1e-6;
  const double pages = kProgrammedPages, blocks = kEepromBlocks;
  double bound = 0;
  // Speed up (request at 19200, echo, confirmation) and back down at the end.
  bound += LineSeconds(3, lo) + LineSeconds(3 + 6, hi) + sim::VirtualAvr::kSpeedSwitchUs * us + t.other_us * us;
  bound += LineSeconds(3, hi) + LineSeconds(3 + 6, lo) + sim::VirtualAvr::kSpeedSwitchUs * us + t.other_us * us;
  bound += pages * (LineSeconds(kAddressedRequestLength + kStatusReplyLength, hi) + t.flash_erase_us * us);
  bound += pages * (LineSeconds(kFlashWriteRequestLength + kStatusReplyLength, hi) + t.flash_write_us * us);
  bound += pages * (LineSeconds(kAddressedRequestLength + kDataReplyLength, hi) + t.read_us * us);
  bound += blocks * (LineSeconds(kEepromWriteOverhead + kEepromBlockSize + kStatusReplyLength, hi) +
                     t.eeprom_write_us * us);
  bound += blocks * (LineSeconds(kAddressedRequestLength + kDataReplyLength, hi) + t.read_us * us);

  std::printf("full run at 115200 baud (480 pages erased, programmed, verified; 256 EEPROM blocks programmed, verified)\n");
  std::printf("run time            %8.3f s\n", wall);
  std::printf("lower bound         %8.3f s\n", bound);
  std::printf("ratio               %8.3f   (target <= 1.10)\n", wall / bound);
  std::printf("program CPU share   %8.2f %%  (target < 10 %%; the uploader's thread)\n", 100.0 * cpu / wall);
  std::printf("process CPU share   %8.2f %%  (with the virtual AVR's thread)\n", 100.0 * process / wall);
  std::printf("%s\n", wall / bound <= 1.10 && cpu / wall < 0.10 ? "targets met" : "TARGETS MISSED");
  return 0;
}
