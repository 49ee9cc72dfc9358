// A 1 MiB kernel at 115200 baud against the virtual PowerPC loader pacing
// its replies at the line rate. Prints the run time against the bound:
// every byte each way (headers, status queries and reports, the escaped
// payload) at 10 bits per byte.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

#include "core/protocol/kernel/KernelLink.h"
#include "core/transport/SerialPort.h"
#include "sim/VirtualDeviceHost.h"
#include "sim/VirtualPpc.h"

using namespace corvel;
using namespace corvel::kernel;

namespace {

class NoCancel : public TransferMonitor {
 public:
  bool CancelRequested() override { return false; }
  void SetPos(int) override {}
};

// Machine code looks random to a byte counter: a linear congruential
// sequence gives 0xFE about once in 256 bytes, as a real image does.
std::vector<uint8_t> RealisticImage(std::size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = 12345;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 16);
  }
  return bytes;
}

}  // namespace

int main() {
  constexpr std::size_t kSize = 1 << 20;
  constexpr uint32_t kAddress = 0x00100000;
  const auto image = RealisticImage(kSize);

  auto model = std::make_unique<sim::VirtualPpc>();
  sim::VirtualDeviceHost host(std::move(model));
  host.SetPacing(true);
  std::string error;
  if (!host.Start(&error)) {
    std::fprintf(stderr, "bench_kernel: %s\n", error.c_str());
    return 1;
  }
  SerialPort port;
  port.SetPortName(host.PortPath());
  port.SetBaudRate(kLoaderBaud);
  if (!port.Open()) {
    std::fprintf(stderr, "bench_kernel: cannot open %s\n", host.PortPath().c_str());
    return 1;
  }
  KernelLink link(port);
  NoCancel monitor;

  const auto start = std::chrono::steady_clock::now();
  const LinkStatus sent = link.UploadKernel(image, kAddress, monitor);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  port.Close();

  const bool intact = host.WithModel<sim::VirtualPpc>([&](sim::VirtualPpc& m) {
    return m.Memory(kAddress, kSize) == image;
  });
  // Bytes on the wire, counted from the protocol: per section a header, a
  // query before and after the payload, the escaped payload, two reports.
  uint64_t host_bytes = 0;
  uint64_t loader_bytes = 0;
  for (std::size_t offset = 0; offset < kSize; offset += kSectionSize) {
    const std::size_t length = std::min<std::size_t>(kSectionSize, kSize - offset);
    const auto section = std::span(image).subspan(offset, length);
    host_bytes += kDataHeaderLength + 2 * kStatusQueryLength + EscapePayload(section).size();
    loader_bytes += 2 * kStatusLength;
  }
  const double bound = static_cast<double>(host_bytes + loader_bytes) * 10.0 / kLoaderBaud;
  std::printf("kernel upload: %zu bytes in %zu sections at %u baud: %s, memory %s\n", kSize,
              (kSize + kSectionSize - 1) / kSectionSize, kLoaderBaud, sent ? "sent" : "FAILED",
              intact ? "intact" : "DIFFERENT");
  std::printf("bytes on the line: host %llu (loader heard %llu), loader %llu (sent %llu)\n",
              static_cast<unsigned long long>(host_bytes), static_cast<unsigned long long>(host.BytesReceived()),
              static_cast<unsigned long long>(loader_bytes), static_cast<unsigned long long>(host.BytesSent()));
  std::printf("run time %.2f s, bound %.2f s, ratio %.3f (target at most 1.05)\n", seconds, bound, seconds / bound);
  return sent && intact ? 0 : 1;
}
