#pragma once
// A virtual PowerPC loader on a pseudo-terminal, the port opened at 115200.
#include <functional>
#include <memory>
#include <numeric>
#include <vector>

#include "core/protocol/kernel/KernelLink.h"
#include "sim/VirtualPpc.h"
#include "support/TestSupport.h"

namespace corvel::test {

class PpcTest : public SimTest {
 protected:
  void StartPpc(const std::function<void(sim::VirtualPpc&)>& setup = {}) {
    auto model = std::make_unique<sim::VirtualPpc>();
    if (setup) setup(*model);
    StartDevice(std::move(model));
    port.SetBaudRate(SerialPort::kHighBaud);
    ASSERT_TRUE(OpenPort());
  }

  template <typename F>
  auto Ppc(F&& f) {
    return WithModel<sim::VirtualPpc>(std::forward<F>(f));
  }

  // The data packets the loader heard, in order.
  std::vector<sim::VirtualPpc::Packet> DataPackets() {
    return Ppc([](sim::VirtualPpc& m) {
      std::vector<sim::VirtualPpc::Packet> data;
      for (const auto& p : m.packets) {
        if (p.type == 1) data.push_back(p);
      }
      return data;
    });
  }

  // Bytes of a realistic image: every value, 0xFE included, in a pattern
  // that differs between sections.
  static std::vector<uint8_t> Image(std::size_t size) {
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + i / 4096) & 0xFF);
    return bytes;
  }

  KernelLink link{port};
};

}  // namespace corvel::test
