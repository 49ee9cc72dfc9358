#pragma once
// A virtual DSP loader on a pseudo-terminal with CDSPLoader pointed at it.
#include <functional>
#include <memory>
#include <random>

#include "core/protocol/dsp/DSPLoader.h"
#include "sim/VirtualDsp.h"
#include "support/TestSupport.h"

namespace corvel::test {

class DspTest : public SimTest {
 protected:
  void StartDsp(const std::function<void(sim::VirtualDsp&)>& setup = {}) {
    auto model = std::make_unique<sim::VirtualDsp>();
    if (setup) setup(*model);
    StartDevice(std::move(model));
    ASSERT_TRUE(OpenPort());
  }

  template <typename F>
  auto Dsp(F&& f) {
    return WithModel<sim::VirtualDsp>(std::forward<F>(f));
  }

  std::vector<uint8_t> Flash(uint32_t start, uint32_t size) {
    return Dsp([&](sim::VirtualDsp& m) {
      return std::vector<uint8_t>(m.flash.begin() + start, m.flash.begin() + start + size);
    });
  }

  // Firmware-like bytes: code with blank stretches and repeated fill.
  static std::vector<uint8_t> FirmwareLike(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size, 0xFF);
    for (std::size_t i = 0; i < size;) {
      const std::size_t len = std::min<std::size_t>(size - i, 64 + random() % 4096);
      const int kind = random() % 3;
      for (std::size_t k = 0; k < len; ++k) {
        bytes[i + k] = kind == 0 ? 0xFF : kind == 1 ? static_cast<uint8_t>(k % 4) : static_cast<uint8_t>(random());
      }
      i += len;
    }
    return bytes;
  }

  // Image bytes that vary everywhere yet compress well, so a section travels
  // in seconds at 19200 baud: a short pattern per 4096 bytes, a few odd bytes
  // (backslashes among them) in each.
  static std::vector<uint8_t> Compressible(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; i += 4096) {
      uint8_t pattern[8];
      const std::size_t length = 1 + random() % 8;
      for (auto& b : pattern) b = static_cast<uint8_t>(random());
      for (std::size_t k = 0; k < 4096 && i + k < size; ++k) bytes[i + k] = pattern[k % length];
      for (int odd = 0; odd < 2; ++odd) bytes[std::min(size - 1, i + random() % 4096)] = odd == 0 ? 0x5C : static_cast<uint8_t>(random());
    }
    return bytes;
  }

  CDSPLoader loader{port};
};

}  // namespace corvel::test
