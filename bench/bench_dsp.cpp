// The DSP loader's hot spots. First the page compressor's throughput on
// random and on blank 16384-byte pages (target at least 100 MB/s each).
// Then programming a 0xC0000-byte section of firmware-like bytes (code with
// blank stretches) at 115200 baud against the virtual loader pacing its
// replies at the line rate: run time against the bound (every byte each way
// at 10 bits per byte plus the loader's commit times), target ratio <= 1.05.
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "core/protocol/dsp/DSPLoader.h"
#include "core/transport/SerialPort.h"
#include "sim/VirtualDeviceHost.h"
#include "sim/VirtualDsp.h"

using namespace corvel;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double RleMegabytesPerSecond(const std::vector<uint8_t>& page, int rounds) {
  std::vector<uint8_t> out(page.size());
  uint64_t total = 0;
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    total += dsp::VariableLengthRLE(page.data(), out.data(), static_cast<uint32_t>(page.size()),
                                    static_cast<uint32_t>(page.size()));
  }
  const double seconds = Seconds(Clock::now() - start);
  if (total == 0xFFFFFFFFFFFFull) std::puts("");  // keeps the calls
  return page.size() * double(rounds) / seconds / 1e6;
}

std::vector<uint8_t> FirmwareLike(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size, 0xFF);
  for (std::size_t i = 0; i < size;) {
    const std::size_t len = std::min<std::size_t>(size - i, 256 + random() % 8192);
    const int kind = random() % 4;
    for (std::size_t k = 0; k < len; ++k) {
      bytes[i + k] = kind == 0   ? 0xFF                                  // blank
                     : kind == 1 ? static_cast<uint8_t>(k % 4 == 0 ? 0 : 0x18)  // tables
                                 : static_cast<uint8_t>(random() & 0x7F);       // code
    }
    i += len;
  }
  return bytes;
}

}  // namespace

int main() {
  std::mt19937 random(1);
  std::vector<uint8_t> noise(16384);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  const std::vector<uint8_t> blank(16384, 0xFF);
  std::printf("VariableLengthRLE random page   %8.1f MB/s  (target >= 100)\n", RleMegabytesPerSecond(noise, 2000));
  std::printf("VariableLengthRLE blank page    %8.1f MB/s  (target >= 100)\n", RleMegabytesPerSecond(blank, 2000));

  constexpr uint32_t kCommitMs = 20;
  auto model = std::make_unique<sim::VirtualDsp>();
  model->timing.commit_wait_ms = kCommitMs;
  model->timing.commit_work_ms = kCommitMs;
  model->timing.wait_for_request = true;
  sim::VirtualDeviceHost host(std::move(model));
  std::string error;
  if (!host.Start(&error)) {
    std::fprintf(stderr, "cannot start the virtual loader: %s\n", error.c_str());
    return 1;
  }
  host.SetPacing(true);
  SerialPort port;
  port.SetPortName(host.PortPath());
  if (!port.Open()) return 1;
  CDSPLoader loader(port);
  if (!loader.Connect() || !loader.ChangeCommSpeed(true)) {
    std::fprintf(stderr, "the virtual loader did not answer\n");
    return 1;
  }
  const auto image = FirmwareLike(0xC0000, 7);
  const uint64_t rx0 = host.BytesReceived();
  const uint64_t tx0 = host.BytesSent();
  bool high = true;
  const auto start = Clock::now();
  const bool ok = loader.ProgramFlashSection(high, image, 0xC0000, 0x20000, false, nullptr).ok();
  const double run = Seconds(Clock::now() - start);
  const uint64_t bytes = (host.BytesReceived() - rx0) + (host.BytesSent() - tx0);
  const uint32_t commits = 0xC0000 / loader.BlockSize();
  const double bound = bytes * 10.0 / 115200.0 + commits * kCommitMs / 1000.0;
  const bool same = host.WithModel<sim::VirtualDsp>([&](sim::VirtualDsp& m) {
    return std::equal(image.begin(), image.end(), m.flash.begin() + 0x20000);
  });
  std::printf("program 0xC0000 at 115200 %s\n", ok && same ? "(flash matches)" : "(FAILED)");
  std::printf("    run time              %7.3f s\n", run);
  std::printf("    bound                 %7.3f s  (%llu bytes on the line, %u commits of %u ms)\n", bound,
              static_cast<unsigned long long>(bytes), commits, kCommitMs);
  std::printf("    ratio                 %7.3f    (target <= 1.05)\n", run / bound);
  return ok && same ? 0 : 1;
}
